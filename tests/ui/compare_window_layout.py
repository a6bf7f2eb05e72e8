#!/usr/bin/env python3
"""compare_window_layout.py REFERENCE.png OTHER.png [TOLERANCE]

Compares the layout of two screenshots of the window's client area: every
area of one flat colour (panels, lists, text fields, labels, the window
itself) and every control drawn inside them (buttons: shaded, so not flat)
must be at the same place and of the same size in both, within TOLERANCE
pixels (default 2; widths also within 2 %, for labels as wide as their text). Text is left out: glyphs differ between font renderers.
Prints each difference and exits 1 when there is one.
"""

import subprocess
import sys

MIN_FLAT_AREA = 300  # pixels of one exact colour, connected
MIN_CONTROL_SIDE = 16  # a shaded control is at least this wide and high


def load(path):
    size = subprocess.run(["identify", "-format", "%w %h", path + "[0]"], check=True,
                          capture_output=True, text=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    raw = subprocess.run(["convert", path + "[0]", "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    pixels = [raw[i:i + 3] for i in range(0, len(raw), 3)]
    return width, height, pixels


def components(width, height, member):
    """Connected (4-neighbour) runs of indices for which member(i) holds,
    each as (first index, bounding box, pixel count)."""
    seen = bytearray(width * height)
    found = []
    for start in range(width * height):
        if seen[start] or not member(start):
            continue
        seen[start] = 1
        stack = [start]
        x0 = x1 = start % width
        y0 = y1 = start // width
        count = 0
        while stack:
            i = stack.pop()
            count += 1
            x, y = i % width, i // width
            x0, x1, y0, y1 = min(x0, x), max(x1, x), min(y0, y), max(y1, y)
            for n, ok in ((i - 1, x > 0), (i + 1, x + 1 < width), (i - width, y > 0),
                          (i + width, y + 1 < height)):
                if ok and not seen[n] and member(n):
                    seen[n] = 1
                    stack.append(n)
        found.append((start, (x0, y0, x1 - x0 + 1, y1 - y0 + 1), count))
    return found


def layout(path):
    width, height, pixels = load(path)
    flat = []
    in_flat = bytearray(width * height)
    by_colour = {}
    for i, p in enumerate(pixels):
        by_colour.setdefault(p, []).append(i)
    for colour, where in by_colour.items():
        if len(where) < MIN_FLAT_AREA:
            continue
        mask = bytearray(width * height)
        for i in where:
            mask[i] = 1
        for start, box, count in components(width, height, lambda i, m=mask: m[i]):
            if count >= MIN_FLAT_AREA:
                flat.append(("#%02x%02x%02x" % tuple(colour), box))
                _mark(in_flat, mask, start, width, height)
    controls = []
    for start, box, count in components(width, height, lambda i: not in_flat[i]):
        if box[2] >= MIN_CONTROL_SIDE and box[3] >= MIN_CONTROL_SIDE:
            controls.append(("control", box))
            controls += edges(pixels, width, box)
    return (width, height), flat, controls


def luminance(p):
    return (299 * p[0] + 587 * p[1] + 114 * p[2]) // 1000


def edges(pixels, width, box):
    """Controls that touch (a column of buttons) form one area: the lines
    between them are found along its left side, two pixels in, where no
    caption is drawn, and along its top, likewise."""
    x, y, w, h = box
    found = []
    for offset in range(1, h):
        a = luminance(pixels[(y + offset - 1) * width + x + 2])
        b = luminance(pixels[(y + offset) * width + x + 2])
        if abs(a - b) > 40:
            found.append(("line across", (x, y + offset, 0, 0)))
    for offset in range(1, w):
        a = luminance(pixels[(y + 2) * width + x + offset - 1])
        b = luminance(pixels[(y + 2) * width + x + offset])
        if abs(a - b) > 40:
            found.append(("line down", (x + offset, y, 0, 0)))
    return found


def _mark(target, mask, start, width, height):
    stack = [start]
    target[start] = 1
    while stack:
        i = stack.pop()
        x, y = i % width, i // width
        for n, ok in ((i - 1, x > 0), (i + 1, x + 1 < width), (i - width, y > 0),
                      (i + width, y + 1 < height)):
            if ok and mask[n] and not target[n]:
                target[n] = 1
                stack.append(n)


def close(a, b, tolerance):
    """Same place and size within tolerance; a width may also differ by 2 %,
    as labels that are as wide as their text do with another font renderer."""
    return all(abs(p - q) <= tolerance or (i == 2 and abs(p - q) * 50 <= max(p, q))
               for i, (p, q) in enumerate(zip(a, b)))


def unmatched(items, others, tolerance):
    """Items of `items` with no item of the same kind in `others` within
    tolerance."""
    return [(kind, box) for kind, box in items
            if not any(kind == k and close(box, b, tolerance) for k, b in others)]


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    tolerance = int(sys.argv[3]) if len(sys.argv) == 4 else 2
    ref_size, ref_flat, ref_controls = layout(sys.argv[1])
    size, flat, controls = layout(sys.argv[2])
    problems = []
    if not close(ref_size, size, tolerance):
        problems.append("size %dx%d, reference %dx%d" % (size + ref_size))
    for kind, box in unmatched(ref_flat + ref_controls, flat + controls, tolerance):
        problems.append("missing or moved: %s at %d,%d size %dx%d" % ((kind,) + box))
    for kind, box in unmatched(flat + controls, ref_flat + ref_controls, tolerance):
        problems.append("not in the reference: %s at %d,%d size %dx%d" % ((kind,) + box))
    problems = [p.replace(" size 0x0", "") for p in problems]
    for p in problems:
        print("layout: " + p)
    print("layout: %d areas and %d controls compared, %d differences" %
          (len(ref_flat), len(ref_controls), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

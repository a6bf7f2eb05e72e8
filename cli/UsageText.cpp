#include "UsageText.h"

namespace velmar::cli {

std::string UsageText() {
    return R"(usage:
  velmar-cli [-q | -v | -vv] convert [--from FMT] [--to FMT]
                     [--device NAME | --limit HEX] [--offset HEX]
                     [--buffer-start HEX] [--end HEX] [--fill XX] [--fold]
                     [--skip-bad-lines] [--json] IN OUT
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] list
  velmar-cli [--usb | --virtual[=OPTIONS]] doctor
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] [--serial SN] probe
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] [--serial SN]
             firmware FILE
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] [--serial SN]
             [-q | -v | -vv] [--progress=lines|none] --device NAME
             [--format FMT] [--buffer-start HEX] [--offset HEX] [--fill XX]
             [--fold] [--max-diffs N] [--hash] [--passes N]
             [--precheck] [--changed-only] [--strict] OPERATION [FILE]
      OPERATION: read | verify | blank | compare | program | erase | lock N
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] [--serial SN]
             disasm [--device NAME | --cpu 8048|8051] [--format FMT] [--fold]
             [--from HEX] [--to HEX] FILE | --device NAME --read
  velmar-cli [...] --device NAME [--repeat [N]]
             [--serial-number ADDR:FORMAT:START[:STEP] [--serial-state FILE]
             [--reuse-failed] [--serial-overwrite] [--serial-resume]]
             [--lock-bits 1,2,3]
             [--log FILE.jsonl] [--log-csv FILE.csv] program FILE
  velmar-cli [...] --device NAME [program options] job new FILE [JOB.toml]
  velmar-cli job check JOB.toml
  velmar-cli [--usb | --virtual[=OPTIONS]] [--serial SN] job run JOB.toml
  velmar-cli sum [--device NAME] [--format FMT] [--offset HEX]
             [--buffer-start HEX] [--fill XX] [--fold]
             [--exclude ADDR-ADDR]... [--json] FILE
  velmar-cli report [--target N/h --handling S] [--json] LOG.jsonl...
  velmar-cli --help | --version

Commands:
  list           every attached USB bridge: index, serial, description and
                 whether it answers as a programmer (with its firmware)
  probe          look for the programmer and print its firmware version
  doctor         say why the programmer is not reached: the USB driver in
                 use, every FTDI bridge with its ids, device node, udev rule,
                 kernel driver and claims, and a version query to each;
                 every problem with its fix
  firmware FILE  write the firmware image FILE into the programmer
  read FILE      read the device and write exactly the bytes read to FILE,
                 in device order, whatever --buffer-start is; ends with the
                 byte count, CRC-32 and SHA-1 of the bytes read:
                 "4096 bytes  CRC-32 1a2b3c4d  SHA-1 <40 hex digits>"
  verify FILE    load FILE and compare the device with it
  blank          check that the device is erased
  compare FILE   load FILE and check that it can still be programmed over the
                 device's contents
  program FILE   load FILE, program it and verify it
  erase          erase a flash device (89C51 ... 89LS8252)
  lock N         program security bit N (1, 2 or 3)
  disasm FILE    list the code of FILE (loaded as program loads it) on
                 stdout: address, bytes, mnemonic and operands
                 ("0000  02 01 00     LJMP  0100h"), following the flow from
                 the reset and interrupt vectors; bytes no jump reaches list
                 as DB, jump targets get a label line ("L0100:"). The 874X
                 parts list as MCS-48, the others as MCS-51; with --read the
                 part in the socket is read and listed instead of a file

FILE (and convert's IN and OUT) may be "-": standard input for the file to
load, standard output for the file read. The format must then be given with
--format, or it is told from the contents when loading.

Options:
  --usb              the programmer on USB (default): the vendor's D2XX library
                     when it is installed, libftdi1 otherwise
  --virtual[=OPTIONS]
                     the virtual programmer, in this process. OPTIONS is a
                     comma-separated key=value list (see virtual/OPTIONS.md),
                     e.g. firmware=1.22, chip=FILE, save-chip=FILE,
                     timing=on|off, fail-block=HEX, no-reply-from=N,
                     devices=0|1|2, weak-bits=ADDR:MASK[;ADDR:MASK...],
                     programmers=N, state-dir=DIR, swap=on (a fresh part
                     for each part of --repeat), save-parts=DIR. The
                     timing model is off unless timing=on. Unless chip-type=
                     or family= names another part, the socket holds an
                     erased part of the --device given (chip=FILE fills it
                     from address 0).
  --trace FILE       write every packet sent to the programmer to FILE, one
                     line each: "92 00 00 00 F7 3F B0 78"; a longer packet as
                     its first 8 bytes and " +" the count of the rest
  --serial SN        the programmer with serial number SN when several
                     bridges are attached (see list); other bridges are never
                     opened, so several velmar-cli can run side by side
  --device NAME      the device: 8741A 8742 8748 8748H 8749H 8751H 87C51H
                     87C52H 87C54H 87C58H 87C51FA 87C51FB 87C51FC 89C51 89C52
                     89S52 89S53 89LS53 89C55 89S8252 89LS8252 (any case)
  --format FMT       binary, intel, motorola or ascii; by default from FILE's
                     extension: .bin binary, .hex .ihx Intel,
                     .s19 .s28 .s37 .srec .mot Motorola. A .hex file, and
                     any other extension (.dat, .rom, none, or "-"): a file
                     to load is judged by its contents (first non-blank ":"
                     Intel, "S" and a digit Motorola, lines of hex digits
                     only ASCII hex, bytes that are not text binary); other
                     text is refused rather than taken as binary, and so is
                     a file named as hex that is not text; a file to write
                     needs --format
  --buffer-start HEX buffer position of the device's first byte, 0 to FFFF;
                     the device's whole range must fit below 10000. A binary
                     FILE loads there; hex records load at their own address
  --offset HEX       program, verify, compare: added to every Intel and
                     Motorola record address of FILE (the Hex Offset), 0 to
                     FFFFF; the sum wraps at 20 bits, so D0000 brings a
                     file linked at 30000 down to 0
  --fill XX          program, verify, compare: the value the buffer holds before
                     FILE is loaded, so bytes FILE does not name are XX; by
                     default the part's erased value (00 for the 874X parts,
                     FF for the others)
  --fold             program, verify, compare: load data that lie beyond the
                     device's end folded onto lower addresses (hex) or cut
                     (binary) instead of refusing FILE
  --max-diffs N      print at most N difference lines (default 64 when
                     standard output is a terminal, else all); they are all
                     counted in the summary line
  --hash             verify, compare: also print the byte count, CRC-32 and
                     SHA-1 of the buffer range compared with the device
  --passes N         read: read the device N times (2 to 9), write the
                     majority of each bit, and list every address whose
                     reads differed: "0123  UNSTABLE-04 MAJORITY-5C" (on
                     stdout, on stderr when FILE is "-"); exit 1 when any
                     bit was unstable
  --precheck         program: read the part first and refuse (exit 1, nothing
                     programmed) when a byte holds a bit the image needs back
                     at the erased value; say how many bytes already hold it
  --changed-only     program: read the part first (as --precheck) and program
                     only the 256-byte blocks that differ from it
  --strict           program: exit 1 before the programmer is touched when the
                     image's reset vector holds only erased bytes or its data
                     start far from the part's first address (otherwise a
                     warning)
  --cpu 8048|8051    disasm without a part: the instruction set; FILE is
                     then loaded as for an 8749H or an 87C58H
  --from HEX, --to HEX
                     disasm: the addresses listed (default: from the part's
                     first address to its last byte that is not erased)
  --read             disasm: list the part in the socket (needs --device)
  --progress=lines   one line per tenth on stderr,
                     "progress program 48 15872 32768" (operation, percent,
                     bytes done, bytes in all), terminal or not;
                     --progress=none: no progress at all
  -q                 only errors and difference lines (and the summary line
                     when bytes differ)
  -v                 also the programmer, its firmware, the device and its
                     address range, Vpp, the file's format (and how it was
                     told) and the range of its data
  -vv                also every packet sent, on stderr, as --trace writes it
  --json             every command but doctor and disasm: one JSON object on
                     stdout at the end and nothing else there (difference
                     lines and the diagnosis go into it); its fields are in
                     docs/velmar-cli-result.schema.json

Production line (program, and job run):
  --repeat [N]       program part after part, each after "Insert part 3 and
                     press Enter, q to stop"; ends after N parts (0 or none:
                     no limit), on q or at the end of input; a summary line
                     ends the run
  --repeat-when-changed
                     refused: its blank checks between parts put programming
                     voltage on the socket while parts are changed; press
                     Enter for each part
  --serial-number ADDR:FORMAT:START[:STEP]
                     write a number at device address ADDR (hex) of each
                     part's image: FORMAT le16, be16, le32, be32, bcd4, bcd8,
                     ascii8 (decimal digits) or hex8 (ASCII hex); it must lie
                     inside the part and not over the file's data unless
                     --serial-overwrite
  --serial-state FILE
                     the numbers' state (default: beside the job or the image,
                     NAME.serial.json), locked and shared between runs; a
                     failed part's number is spoiled, used again only with
                     --reuse-failed; a state that is missing, replaced or of
                     another rule stops the run
  --serial-resume    continue after the highest serial number the log holds
                     when the state is missing or behind it
  --lock-bits 1,2,3  program these lock bits in order after a good verify
  --log FILE.jsonl   append one JSON line per part, synced before the next
  --log-csv FILE.csv the same columns as CSV with a header
  job new FILE [JOB] write the TOML job for the program command line to JOB
                     (names relative to its folder), or print it (names
                     whole), pinning FILE by its SHA-1; refused when job run
                     would refuse it
  job check JOB      read the job, compare its file's SHA-1 and check the
                     file as job run does
  job run JOB        run the job; refused when its file's SHA-1 is not the
                     job's
  --report           job run: after the summary, the job report of the run's
                     parts (as report prints it from logs) on stderr, or in
                     --json's object as "report"

Labels and reports (no programmer):
  sum FILE           load FILE as program loads it and print the checksums of
                     the device's range (without --device: of FILE's data,
                     from its lowest address to its highest): the 16-bit
                     byte sum (the window's Check Sum), the 16-bit sum of
                     little-endian words, CRC-16/CCITT-FALSE, CRC-32 and
                     SHA-1; --json adds them to the object as "checksums"
  --exclude ADDR-ADDR
                     sum: the same checksums again over the range less these
                     addresses (hex, repeatable), such as a part's serial
                     number, so that one number names the image
  report LOG.jsonl...
                     from the logs of --log (several stations and days
                     together): parts, passed, failed and yield per site and
                     for the line, failures by cause, median and 95th
                     percentile time per part, units per hour and the time
                     sites waited for the operator; a line that is not a
                     part's record is named (file:line) and skipped
  --target N/h, --handling S
                     report: how many sites reach N parts per hour (or N/min)
                     when each part takes S (8s, 800ms) of handling,
                     round-robin and in a lock-step gang

Before the programmer is touched, program, verify and compare load FILE and
refuse it (exit 1) when it holds no data, has a malformed record (named by
file and line), has lines that are neither blank nor a record the format
defines, or records that give one address two different values (both named
by file and line: "image.hex:7: ..."), has records with a wrong checksum, has
data beyond the device's end without --fold, or has none of its data in the
buffer positions the device uses (--buffer-start onwards). Blanks before a
record's ":" or "S" are no part of it.

The device is selected as the window selects it; adapter prompts are printed
and taken as confirmed. Difference lines go to stdout, sentences and boxes to
stderr. On a terminal, stderr shows a progress line redrawn in place (at most
ten times a second), "Program |#########           |  48%  15.9/32.0 KiB
0:41 left", left with the elapsed time when the operation ends. Blank check,
verify and program end with a summary on stderr: "3 differing bytes, 5
differing bits, first 0010, last 0FFF".

Exit status: 0 success; 1 the operation failed (a difference, a failed block,
a stopped run, no programmer, unstable bits, a data file refused as above,
which is never programmed); 2 bad arguments or a file that cannot be read or
written. Ctrl-C stops a load, and an operation as the Quit button does. Every
error line starts with "velmar-cli: ".

usage: velmar-cli [-q|-v] convert [--from FMT] [--to FMT]
                          [--device NAME | --limit HEX]
                          [--offset HEX] [--buffer-start HEX] [--end HEX]
                          [--fill XX] [--fold] [--skip-bad-lines] IN OUT

Loads IN into a buffer of 65,536 zero bytes and writes OUT, with the same
reader and writer as the window's Load Buffer and Save Buffer.

  --from, --to FMT    binary, intel, motorola or ascii; by default from the
                      file's extension (.bin .hex .ihx .s19 .s28 .s37 .srec
                      .mot); an IN that has none of these (or is -) is
                      judged by its contents, and -v says what was found
  IN, OUT             a file, or - for standard input / standard output
  --device NAME       a device caption such as 8741A, 87C51H or 89S8252
                      (case-insensitive); sets the fold mask and the end
  --limit HEX         fold mask of hex record addresses (DeviceLimit);
                      default the device's, 0xFFFFF without a device
  --offset HEX        added to Intel and Motorola record addresses (Hex Offset),
                      wrapping at 20 bits (D0000 brings 30000 down to 0)
  --buffer-start HEX  buffer position of the first byte of a binary IN
  --end HEX           last buffer position written (DeviceEnd); default the
                      device's last address, else the highest address IN
                      stored; never beyond 0xFFFF
  --fill XX           the buffer's value before IN is loaded (default 00);
                      with a hex IN and an Intel or Motorola OUT, also
                      writes the gaps between IN's records as XX
  --fold              with --device: write a binary IN longer than the
                      device cut at the device's end instead of refusing it;
                      without: fold data past FFFF into 64 KiB (hex) or cut
                      them off (binary) instead of refusing IN
  --skip-bad-lines    write what was read although IN has lines that are no
                      records, or records that disagree on an address

A hex IN written as Intel or Motorola OUT keeps its gaps: only the addresses
IN stored are written, one run of records per range (--fill gives the gaps a
value). Binary and ASCII hex OUT have no addresses: they hold the gaps as
the buffer does, 00 unless --fill says otherwise.
Hex records beyond the device's end are folded onto lower addresses, as the
window folds them, and a line on stderr says how many bytes were.
HEX values are up to five hexadecimal digits, with or without 0x.
Exit status: 0 done; 1 IN is malformed, holds no data, is text judged as
binary, has lines that are no records or records that disagree (without
--skip-bad-lines), holds data past FFFF without a device (without --fold),
is a binary file longer than the device (without --fold or --end), or has
records with a wrong checksum (OUT is still written then; in every other
case nothing is written); 2 bad arguments or a file that cannot be read or
written.
)";
}

std::string TryHelpLine() {
    return "try: velmar-cli --help";
}

std::string ConvertUsageLine() {
    return "usage: velmar-cli convert [--from FMT] [--to FMT] [--device NAME | --limit HEX] "
           "[--offset HEX] [--buffer-start HEX] [--end HEX] [--fill XX] [--fold] "
           "[--skip-bad-lines] IN OUT";
}

} // namespace velmar::cli

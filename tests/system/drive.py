#!/usr/bin/env python3
"""Host side of the system test: velmar-virtual-programmer behind QEMU's FTDI
bridge, the guest booted on Debian's kernel, and the guest's requests
("@@host N WHAT" on its console) carried out:

  server OPTIONS [--pull-at HEX]  a fresh programmer with these options
  pull                            once the programmer says the pull point
                                  came, the bridge is removed (device_del)
  plug                            the bridge is added again (device_add)

Prints the guest's console; exits with the guest's verdict."""
import argparse
import os
import socket
import subprocess
import sys
import threading
import time

BRIDGE = "usb-serial,id=bridge,bus=xhci.0,chardev=bridgeport,serial=BP123001"


class Programmer:
    def __init__(self, binary, path, log):
        self.binary, self.path, self.log = binary, path, log
        self.process = None
        self.lines = []
        self.cond = threading.Condition()

    def start(self, options, pull_at=None):
        self.stop()
        args = [self.binary, "--socket", self.path]
        if pull_at:
            args += ["--pull-at", pull_at]
        if options:
            args.append(options)
        self.lines = []
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=self.log, text=True)
        threading.Thread(target=self._read, args=(self.process,), daemon=True).start()
        self.wait_for("listening", 10)

    def _read(self, process):
        for line in process.stdout:
            with self.cond:
                self.lines.append(line.strip())
                self.cond.notify_all()

    def wait_for(self, word, seconds):
        end = time.time() + seconds
        with self.cond:
            while not any(l.startswith(word) for l in self.lines):
                left = end - time.time()
                if left <= 0:
                    return False
                self.cond.wait(left)
        return True

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)
        self.process = None


def monitor(path, command):
    with socket.socket(socket.AF_UNIX) as s:
        s.connect(path)
        s.settimeout(10)
        s.sendall((command + "\n").encode())
        time.sleep(0.3)
        try:
            return s.recv(65536).decode(errors="replace")
        except socket.timeout:
            return ""


def kvm_works(kernel, initrd):
    """KVM only when a guest really boots on it: on some hosts /dev/kvm opens
    but the guest hangs. The probe boots the guest's init just far enough to
    say so."""
    if os.environ.get("VELMAR_SYSTEM_ACCEL") in ("kvm", "tcg"):
        return os.environ["VELMAR_SYSTEM_ACCEL"] == "kvm"
    if not os.access("/dev/kvm", os.R_OK | os.W_OK):
        return False
    try:
        r = subprocess.run(["qemu-system-x86_64", "-machine", "q35", "-accel", "kvm", "-cpu",
                            "host", "-m", "256", "-nodefaults", "-nographic", "-no-reboot",
                            "-serial", "stdio", "-kernel", kernel, "-initrd", initrd,
                            "-append", "console=ttyS0 quiet panic=-1 velmar.probe"],
                           capture_output=True, text=True, errors="replace", timeout=8)
        return "@@alive" in r.stdout
    except (OSError, subprocess.TimeoutExpired):
        return False


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--build", required=True)
    a.add_argument("--work", required=True)
    a.add_argument("--kernel", required=True)
    a.add_argument("--initrd", required=True)
    a.add_argument("--guest", required=True)
    a.add_argument("--timeout", type=int, default=600)
    o = a.parse_args()

    work = o.work
    os.makedirs(os.path.join(work, "ack"), exist_ok=True)
    server_log = open(os.path.join(work, "programmer.log"), "w")
    programmer = Programmer(os.path.join(o.build, "virtual", "velmar-virtual-programmer"),
                            os.path.join(work, "bridge.sock"), server_log)
    programmer.start("")
    monitor_path = os.path.join(work, "monitor.sock")
    accel = "kvm" if kvm_works(o.kernel, o.initrd) else "tcg"
    print("tests/system: QEMU on %s" % accel, flush=True)
    qemu = ["qemu-system-x86_64", "-machine", "q35", "-accel", accel, "-m", "512", "-smp", "1",
            "-nodefaults", "-nographic", "-no-reboot", "-serial", "stdio",
            "-kernel", o.kernel, "-initrd", o.initrd,
            "-append", "console=ttyS0 quiet panic=-1 velmar.script=%s velmar.build=%s "
                       "velmar.work=%s" % (o.guest, o.build, work),
            "-fsdev", "local,id=root,path=/,security_model=none,readonly=on,multidevs=remap",
            "-device", "virtio-9p-pci,fsdev=root,mount_tag=host",
            "-device", "qemu-xhci,id=xhci",
            "-chardev", "socket,id=bridgeport,path=%s,reconnect=1" % programmer.path,
            "-device", BRIDGE,
            "-monitor", "unix:%s,server=on,wait=off" % monitor_path]
    if accel == "kvm":
        qemu[qemu.index("-m"):qemu.index("-m")] = ["-cpu", "host"]
    console = open(os.path.join(work, "console.log"), "w")
    guest = subprocess.Popen(qemu, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                             errors="replace")
    killer = threading.Timer(o.timeout, guest.kill)
    killer.start()
    verdict = None
    try:
        for line in guest.stdout:
            console.write(line)
            console.flush()
            text = line.strip()
            if "@@" not in text:
                if text.startswith(("ok ", "FAIL ", "guest:", "  ", "<", ">", "---")) or \
                        text[:1].isdigit():
                    print(text, flush=True)
                continue
            text = text[text.index("@@"):]
            words = text.split()
            if words[0] == "@@host":
                number, what, rest = words[1], words[2], words[3:]
                answer = "done"
                if what == "server":
                    pull = None
                    if "--pull-at" in rest:
                        i = rest.index("--pull-at")
                        pull = rest[i + 1]
                        rest = rest[:i] + rest[i + 2:]
                    programmer.start(rest[0] if rest else "", pull)
                elif what == "pull":
                    if not programmer.wait_for("pulled", 60):
                        answer = "the pull point never came"
                    monitor(monitor_path, "device_del bridge")
                elif what == "plug":
                    monitor(monitor_path, "device_add " + BRIDGE)
                with open(os.path.join(work, "ack", number), "w") as f:
                    f.write(answer + "\n")
            elif words[0] == "@@done":
                verdict = int(words[1])
                print("guest: %d failed" % verdict, flush=True)
    finally:
        guest.wait()
        killer.cancel()
        programmer.stop()
    if verdict is None:
        print("tests/system: the guest did not finish (see %s/console.log)" % work)
        return 1
    return 1 if verdict else 0


if __name__ == "__main__":
    sys.exit(main())

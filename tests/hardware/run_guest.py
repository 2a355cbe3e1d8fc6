#!/usr/bin/env python3
"""Boots the emulated machine for scripts/run-hardware-tests and plays the host's part:
splicer-sim on the far end of each emulated serial port, and the hand that pulls and
plugs the USB adapter (QMP device_del / device_add) when the guest asks for it."""
import argparse
import atexit
import json
import os
import select
import shutil
import socket
import subprocess
import sys
import time

parser = argparse.ArgumentParser()
parser.add_argument("--kernel", required=True)
parser.add_argument("--initrd", required=True)
parser.add_argument("--sim", required=True)
parser.add_argument("--run", required=True, help="the program the guest runs, and its one argument",
                    nargs=2, metavar=("PATH", "ARG"))
parser.add_argument("--work", required=True, help="folder for the QMP socket, the console log and the guest's files")
parser.add_argument("--timeout", type=float, default=480)
args = parser.parse_args()

# The guest appends to its record logs there, so each run starts from an empty folder.
shutil.rmtree(args.work + "/out", ignore_errors=True)
os.makedirs(args.work + "/out")
qmp_path = args.work + "/qmp.sock"
if os.path.exists(qmp_path):
    os.unlink(qmp_path)
# A real FTDI chip carries its serial number wherever it is plugged in; QEMU's would
# otherwise make one from the USB port it lands on.
ADAPTER = {"driver": "usb-serial", "chardev": "f0", "id": "ftdi0", "bus": "xhci.0", "serial": "SPLICE01"}

qemu = subprocess.Popen(
    ["qemu-system-x86_64", "-nodefaults", "-display", "none", "-no-reboot", "-S",
     "-accel", "tcg", "-cpu", "max", "-smp", "2", "-m", "1024",
     "-kernel", args.kernel, "-initrd", args.initrd,
     "-append", "console=ttyS0 quiet loglevel=3 panic=-1 splice.run=%s splice.arg=%s" % tuple(args.run),
     "-serial", "stdio",
     "-virtfs", "local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap",
     "-virtfs", "local,path=%s/out,mount_tag=out,security_model=none" % args.work,
     "-device", "qemu-xhci,id=xhci",
     "-chardev", "pty,id=f0", "-device", ",".join(["usb-serial"] + ["%s=%s" % kv for kv in list(ADAPTER.items())[1:]]),
     "-chardev", "pty,id=u0", "-device", "isa-serial,chardev=u0,index=1",
     "-qmp", "unix:%s,server=on,wait=off" % qmp_path],
    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
sims = []
# Whatever ends this script, an exception included, takes the simulators with it: left
# behind, they serve a terminal nobody holds.
atexit.register(lambda: [sim.kill() for sim in sims if sim.poll() is None])
deadline = time.monotonic() + args.timeout


def stop(code, message=""):
    if message:
        print("run-hardware-tests: " + message, flush=True)
    for sim in sims:
        sim.terminate()
    if qemu.poll() is None:
        qemu.terminate()
        try:
            qemu.wait(timeout=10)
        except subprocess.TimeoutExpired:
            qemu.kill()
    for sim in sims:
        try:
            sim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sim.kill()
    sys.exit(code)


class Qmp:
    def __init__(self, path):
        for _ in range(100):
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                time.sleep(0.1)
        else:
            stop(1, "no QMP socket at " + path)
        self.sock.settimeout(30)
        self.buffer = b""
        self.events = []
        self.read()  # greeting
        self.command("qmp_capabilities")

    def read(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                stop(1, "QMP closed")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def command(self, name, **arguments):
        self.sock.sendall(json.dumps({"execute": name, "arguments": arguments}).encode() + b"\n")
        while True:
            answer = self.read()
            if "event" in answer:
                self.events.append(answer)
                continue
            if "error" in answer:
                stop(1, "QMP %s failed: %s" % (name, answer["error"]))
            return answer["return"]

    def wait_event(self, name, timeout=30):
        end = time.monotonic() + timeout
        while not any(e["event"] == name for e in self.events):
            if time.monotonic() > end:
                return False
            self.events.append(self.read())
        self.events = [e for e in self.events if e["event"] != name]
        return True


qmp = Qmp(qmp_path)
ptys = {c["label"]: c["filename"][len("pty:"):] for c in qmp.command("query-chardev")
        if c["filename"].startswith("pty:")}
for label in ("f0", "u0"):
    if label not in ptys:
        stop(1, "QEMU made no pty for " + label)
    sim = subprocess.Popen([args.sim, "--serve", ptys[label], "--paced"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    sims.append(sim)
    if sim.stdout.readline().strip() != ptys[label]:
        stop(1, "splicer-sim could not serve " + ptys[label])
print("host: splicer-sim serves %s (ftdi) and %s (16550)" % (ptys["f0"], ptys["u0"]), flush=True)
qmp.command("cont")
booted = time.monotonic()

console = open(args.work + "/console.log", "wb")
pending = b""
exit_code = None
while exit_code is None:
    left = deadline - time.monotonic()
    if left <= 0:
        stop(1, "the guest did not finish within %.0f s (console: %s/console.log)" % (args.timeout, args.work))
    ready, _, _ = select.select([qemu.stdout], [], [], min(left, 1.0))
    if not ready:
        continue
    chunk = os.read(qemu.stdout.fileno(), 65536)
    if not chunk:
        stop(75, "QEMU ended before the guest finished (console: %s/console.log)" % args.work)
    console.write(chunk)
    console.flush()
    pending += chunk
    while b"\n" in pending:
        raw, pending = pending.split(b"\n", 1)
        line = raw.decode(errors="replace").rstrip("\r")
        print("guest| " + line, flush=True)
        if line == "@@unplug":
            try:
                qmp.command("device_del", id="ftdi0")
            except OSError as error:  # QEMU itself went away: not the program's fault
                stop(75, "QEMU went away while unplugging the adapter: %s" % error)
            if not qmp.wait_event("DEVICE_DELETED"):
                stop(1, "the adapter was not removed")
            print("host: adapter unplugged %.1f s after boot" % (time.monotonic() - booted), flush=True)
        elif line == "@@plug":
            try:
                qmp.command("device_add", **ADAPTER)
            except OSError as error:
                stop(75, "QEMU went away while plugging the adapter in: %s" % error)
            print("host: adapter plugged in", flush=True)
        elif line.startswith("@@exit "):
            exit_code = int(line.split()[1])

try:
    qemu.wait(timeout=60)
except subprocess.TimeoutExpired:
    pass
stop(exit_code)

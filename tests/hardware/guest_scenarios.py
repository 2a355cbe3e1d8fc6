#!/usr/bin/env python3
"""The scenarios inside the emulated machine: the program (hw_driver, the real window
and serial port driven from stdin) under Xvfb against the kernel's own drivers, 8250 on
/dev/ttyS1 and ftdi_sio on /dev/ttyUSB0, each served on the host by splicer-sim.

Lines starting with "@@" ask the host for something (unplug, plug); the host answers by
doing it, and we watch the device nodes. Every check prints PASS or FAIL."""
import fcntl
import os
import queue
import struct
import subprocess
import sys
import threading
import time

BUILD = sys.argv[1]
RECORDS = 57
CPU_LIMIT = 20.0  # percent of a core; a spinning program shows about 100
failures = []


def say(text):
    print(text, flush=True)


def check(name, ok, detail=""):
    say(("PASS " if ok else "FAIL ") + name + ("" if ok else ": " + detail))
    if not ok:
        failures.append(name)
    return ok


def record_line(n):
    # The simulated splicer's records, worked out here afresh: one splice every 37
    # minutes of ten-hour days from 2024-03-01 07:00; loss in hundredths of a dB.
    minutes = (n - 1) * 37
    day_index, in_day = divmod(minutes, 600)
    year = 24 + day_index // 280
    month = 3 + (day_index // 28) % 10
    day = 1 + day_index % 28
    loss = 120 + n % 100 if n % 29 == 0 else (n * 7) % 23 + 1
    return "NO %05d: 20%02d-%02d-%02d %02d:%02d   LOSS:%d.%02ddB\r\n" % (
        n, year % 100, month, day, 7 + in_day // 60, in_day % 60, loss // 100, loss % 100)


def expected_log(*runs):
    return "".join(record_line(n) for first, last in runs for n in range(first, last + 1)).encode()


def log_lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().count(b"\r\n")
    except FileNotFoundError:
        return 0


def check_log(name, path, *runs):
    with open(path, "rb") as f:
        got = f.read()
    want = expected_log(*runs)
    if got == want:
        return check(name, True)
    lines_got, lines_want = got.split(b"\r\n"), want.split(b"\r\n")
    first = next((i for i, (a, b) in enumerate(zip(lines_got, lines_want)) if a != b), min(len(lines_got), len(lines_want)))
    return check(name, False, "log has %d lines, expected %d; first difference at line %d: %r, expected %r" % (
        got.count(b"\r\n"), want.count(b"\r\n"), first + 1,
        lines_got[first] if first < len(lines_got) else b"", lines_want[first] if first < len(lines_want) else b""))


def wait_for(condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def latency_timer(name):
    try:
        with open("/sys/bus/usb-serial/devices/%s/latency_timer" % name) as f:
            return f.read().strip()
    except OSError as error:
        return "unreadable (%s)" % error.strerror


def port_fds(pid):
    """The serial devices the process holds open."""
    held = []
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            try:
                target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
            except OSError:
                continue
            if target.startswith("/dev/tty") and target != "/dev/tty":
                held.append(target)
    except OSError:
        pass
    return held


TIOCGSERIAL = 0x541E
ASYNC_LOW_LATENCY = 1 << 13


def low_latency_flag(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        data = fcntl.ioctl(fd, TIOCGSERIAL, bytes(72))
        return bool(struct.unpack_from("iiiii", data)[4] & ASYNC_LOW_LATENCY)
    finally:
        os.close(fd)


class Program:
    def __init__(self, port, log):
        self.log = log
        env = dict(os.environ, DISPLAY=":7", QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR="/tmp/runtime")
        self.process = subprocess.Popen([BUILD + "/tests/hardware/hw_driver", "--port", port, "--log", log],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        env=env, text=True, bufsize=1)
        self.lines = queue.Queue()
        self.seen = []
        self.boxes = []
        self.state = {}
        threading.Thread(target=self._read, daemon=True).start()
        self.pid = int(self.expect("ready", timeout=120) or 0)

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def _take(self, timeout):
        try:
            line = self.lines.get(timeout=max(timeout, 0))
        except queue.Empty:
            return False
        if line is None:
            raise EOFError("the program ended")
        self.seen.append(line)
        key, _, value = line.partition(": ")
        if key == "box":
            self.boxes.append(value)
        elif key in ("status", "buttons", "port", "page-last"):
            self.state[key] = value
        elif key not in ("click", "ok", "cpu", "ready", "disabled"):
            say("  program| " + line)
        return True

    def expect(self, key, value=None, timeout=60):
        """Waits for the report `key: value` (any value if None) and returns the value."""
        deadline = time.monotonic() + timeout
        start = len(self.seen)
        while True:
            for line in self.seen[start:]:
                k, _, v = line.partition(": ")
                if k == key and (value is None or (value(v) if callable(value) else v == value)):
                    return v
            start = len(self.seen)
            try:
                if not self._take(deadline - time.monotonic()):
                    return None
            except EOFError:
                return None

    def pump(self, seconds):
        deadline = time.monotonic() + seconds
        try:
            while self._take(deadline - time.monotonic()):
                pass
        except EOFError:
            pass

    def send(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()

    def click(self, name):
        self.send("click " + name)
        return self.expect("click", lambda v: v.startswith(name), timeout=30) is not None

    def cpu(self, ms=1000):
        self.pump(0.2)
        self.send("cpu %d" % ms)
        value = self.expect("cpu", timeout=60)
        return float(value) if value else 999.0

    def quit(self):
        try:
            self.send("quit")
            self.process.wait(timeout=30)
        except Exception:
            self.process.kill()
            self.process.wait()


def com_test(program, name):
    program.click("Command5")
    status = program.expect("status", lambda v: v.startswith("Communication success") or "fail" in v.lower(), 60)
    return check(name + ": Com Test", status == "Communication success !%d records in the device!" % RECORDS,
                 "status %r, boxes %r" % (status, program.boxes))


def read_all_to_completion(program, name):
    boxes = len(program.boxes)
    program.click("Command3")
    box = program.expect("box", timeout=120)
    ok = check(name + ": ReadAll completes", box is not None and box.startswith("RECORD DOWNLOAD COMPLETE !")
               and len(program.boxes) == boxes + 1, "boxes %r" % program.boxes[boxes:])
    cpu = program.cpu()
    check(name + ": CPU after ReadAll %.1f%% < %.0f%%" % (cpu, CPU_LIMIT), cpu < CPU_LIMIT, "%.1f%%" % cpu)
    program.send("ok")
    program.expect("ok")
    return ok


def basic(port, name, logdir):
    """Com Test, Start, Next Page, ReadAll to completion."""
    log = "%s/%s.log" % (logdir, name)
    program = Program(port, log)
    try:
        if not com_test(program, name):
            return program
        if port.startswith("/dev/ttyS"):
            check(name + ": low latency set while the program holds the port", low_latency_flag(port))
        program.click("Command1")
        check(name + ": Start shows records 1-20", program.expect("page-last", "20", 60) == "20", repr(program.state))
        program.pump(0.5)
        check_log(name + ": log after Start", log, (1, 20))
        program.click("Command4")
        check(name + ": Next Page shows records 21-40", program.expect("page-last", "40", 60) == "40", repr(program.state))
        program.pump(0.5)
        check_log(name + ": log after Next Page", log, (1, 40))
        read_all_to_completion(program, name)
        check_log(name + ": log after ReadAll", log, (1, RECORDS))
        check(name + ": one box only", len(program.boxes) == 1, repr(program.boxes))
    except EOFError:
        check(name + ": program alive", False, "it ended")
    return program


def unplug_during_read_all(program, name, device, runs):
    """ReadAll, pulled after ten records: returns how many records the log got."""
    com_test(program, name)
    before = log_lines(program.log)
    boxes = len(program.boxes)
    program.click("Command3")
    wait_for(lambda: log_lines(program.log) >= before + 10, 120)
    asked_at = log_lines(program.log) - before
    say("@@unplug")
    box = program.expect("box", timeout=60)
    program.pump(3)  # a second box would come now
    # The port's own failure, not a timeout of the protocol a while later.
    check(name + ": one message, the connection to %s lost" % device,
          box is not None and box.startswith("The connection to %s was lost: the adapter was unplugged" % device)
          and len(program.boxes) == boxes + 1,
          "boxes %r" % program.boxes[boxes:])
    say("  box: %r" % box)
    check(name + ": port closed", program.state.get("port") == "closed" and not port_fds(program.pid),
          "port %s, holds %r" % (program.state.get("port"), port_fds(program.pid)))
    cpu = program.cpu()
    check(name + ": no spin after the unplug (%.1f%% < %.0f%%)" % (cpu, CPU_LIMIT), cpu < CPU_LIMIT, "%.1f%%" % cpu)
    got = log_lines(program.log) - before
    check(name + ": records before the unplug logged (%d >= %d)" % (got, asked_at), got >= asked_at and got < RECORDS)
    check_log(name + ": log after the unplug", program.log, *runs, (1, got))
    program.send("ok")
    program.expect("ok")
    return got


def main():
    logdir = "/out"
    os.makedirs("/tmp/runtime", mode=0o700, exist_ok=True)
    started = time.monotonic()
    xvfb = subprocess.Popen(["Xvfb", ":7", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not check("Xvfb up", wait_for(lambda: os.path.exists("/tmp/.X11-unix/X7"), 60)):
        return 1
    say("guest: Xvfb after %.1f s" % (time.monotonic() - started))

    # 8250 UART
    program = basic("/dev/ttyS1", "ttyS1", logdir)
    program.quit()

    for line in subprocess.run([BUILD + "/src/splice-records", "--list-ports"], capture_output=True, text=True,
                               timeout=60).stdout.splitlines():
        say("  ports| " + line)
    # ftdi_sio: the same, then pulled and plugged in again, under the old name and a new one
    check("ttyUSB0: latency timer not 1 before the program opens it", latency_timer("ttyUSB0") != "1",
          latency_timer("ttyUSB0"))
    program = basic("/dev/ttyUSB0", "ttyUSB0", logdir)
    try:
        check("ttyUSB0: latency_timer reads 1 while the program holds the port", latency_timer("ttyUSB0") == "1",
              latency_timer("ttyUSB0"))
        runs = [(1, RECORDS)]
        got = unplug_during_read_all(program, "unplug", "/dev/ttyUSB0", runs)
        runs.append((1, got))

        say("@@plug")
        check("replug: /dev/ttyUSB0 back", wait_for(lambda: os.path.exists("/dev/ttyUSB0"), 60))
        time.sleep(0.5)
        com_test(program, "replug same name")
        read_all_to_completion(program, "replug same name")
        runs.append((1, RECORDS))
        check_log("replug same name: log", program.log, *runs)
        check("replug same name: latency_timer 1", latency_timer("ttyUSB0") == "1", latency_timer("ttyUSB0"))

        # An old descriptor kept open makes the adapter come back as ttyUSB1.
        holder = os.open("/dev/ttyUSB0", os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        got = unplug_during_read_all(program, "unplug held", "/dev/ttyUSB0", runs)
        runs.append((1, got))
        say("@@plug")
        check("replug: back as /dev/ttyUSB1", wait_for(lambda: os.path.exists("/dev/ttyUSB1"), 60),
              "dev has %r" % sorted(n for n in os.listdir("/dev") if n.startswith("ttyUSB")))
        for line in subprocess.run([BUILD + "/src/splice-records", "--list-ports"], capture_output=True, text=True,
                                   timeout=60).stdout.splitlines():
            say("  ports| " + line)
        time.sleep(0.5)
        com_test(program, "replug new name")
        check("replug new name: the program holds /dev/ttyUSB1", port_fds(program.pid) == ["/dev/ttyUSB1"],
              repr(port_fds(program.pid)))
        check("replug new name: latency_timer 1", latency_timer("ttyUSB1") == "1", latency_timer("ttyUSB1"))
        read_all_to_completion(program, "replug new name")
        runs.append((1, RECORDS))
        check_log("replug new name: log", program.log, *runs)
        os.close(holder)
    except EOFError:
        check("ttyUSB0: program alive", False, "it ended")
    program.quit()

    # Without --port the adapter is looked for at Com Test, wherever it is now.
    program = Program("", "%s/automatic.log" % logdir)
    try:
        com_test(program, "no --port")
        check("no --port: the program holds the adapter, /dev/ttyUSB1", port_fds(program.pid) == ["/dev/ttyUSB1"],
              repr(port_fds(program.pid)))
    except EOFError:
        check("no --port: program alive", False, "it ended")
    program.quit()

    xvfb.terminate()
    xvfb.wait()
    say("guest: scenarios took %.1f s, %d failed" % (time.monotonic() - started, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

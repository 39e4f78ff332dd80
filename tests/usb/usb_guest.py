#!/usr/bin/env python3
"""zev1-wifi on a real kernel's USB serial driver.

Debian's kernel runs under qemu-system-x86_64 (software emulation) with QEMU's emulated
FTDI adapter on an xhci controller; the guest's ftdi_sio makes /dev/ttyUSB0, whose far
end is zev1-sim on the host (QEMU holds the simulator's pseudo-terminal). QEMU's monitor
pulls the adapter and plugs it back; its usb_serial_* trace events show every control
request the guest's driver sends to the adapter.

    usb_guest.py DIR start KERNEL INITRD ZEV1_SIM [web]
                                                    boot the guest, leave it running (web:
                                                    with what the browser checks need)
    usb_guest.py DIR check NAME                     one check against the running guest
    usb_guest.py DIR stop                           end QEMU and the simulator

Everything lands in DIR: the simulator's JSON lines (sim.log), the guest's console
(console.log), QEMU's trace (trace.log) and its own output (qemu.log). A failing check
prints their tails. The production line's checks (batch_checks.py) add three adapters,
each with its own simulator in DIR/units/.
"""

import contextlib
import json
import os
import re
import select
import signal
import socket
import statistics
import subprocess
import sys
import termios
import time

SSID, SECURITY, ENDPOINT, KEY = "Heizraum", "WPA2", "192.168.1.20,5555", "geheim-42"
EXPECTED = {"id": "ZEV1-SIM", "ssid": SSID, "key": KEY, "security": SECURITY,
            "endpoint": ENDPOINT}
BOOT_TIMEOUT = 120
TOOL = "zev1-wifi --settings /tmp/zev1-wifi.INI"
QEMU = "qemu-system-x86_64"
SIM = "zev1-sim"
# QEMU logs a vendor request to the FTDI device as 0x40 << 8 | request; 1 sets the modem
# lines: low byte the new states (bit 0 DTR, bit 1 RTS), high byte which of them change.
MODEM_CONTROL = 0x4001
SET_BAUD = 0x4003


class Failure(Exception):
    pass


def path(*parts):
    return os.path.join(*parts)


def read_text(p):
    try:
        with open(p, "r", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def tail(p, n=40, keep=None):
    lines = read_text(p).splitlines()
    if keep:
        lines = [l for l in lines if keep(l)]
    return "\n".join(lines[-n:])


def load_json(p):
    """The JSON object kept in the file `p`, {} when there is none."""
    try:
        with open(p) as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def keep_json(p, name, value):
    """Keeps `value` under `name` in the JSON object in the file `p`."""
    data = dict(load_json(p), **{name: value})
    with open(p, "w") as f:
        json.dump(data, f, indent=1)


def poll(get, timeout, step, failed):
    """get()'s first true value, asked every `step` seconds; a Failure saying `failed` (or
    what failed() returns) once `timeout` seconds have passed without one."""
    end = time.time() + timeout
    while True:
        value = get()
        if value:
            return value
        if time.time() > end:
            raise Failure(failed() if callable(failed) else failed)
        time.sleep(step)


def fail_on(problems):
    if problems:
        raise Failure("; ".join(problems))


# ---- the simulator: commands into its FIFO, events from its log --------------------------

class Sim:
    def __init__(self, d, proc=None):
        self.d, self.proc = d, proc

    def command(self, line):
        # Non-blocking: with no simulator reading the FIFO this fails at once instead of
        # waiting for a reader forever.
        try:
            fd = os.open(path(self.d, "sim.in"), os.O_WRONLY | os.O_NONBLOCK)
        except OSError as e:
            raise Failure("the simulator does not read its commands (%s)" % e)
        try:
            os.write(fd, (line + "\n").encode())
        finally:
            os.close(fd)

    def lines(self):
        return read_text(path(self.d, "sim.log")).splitlines()

    def frames(self, direction, frame_type, start=0):
        mark = '"dir":"%s","type":%d,' % (direction, frame_type)
        return [l for l in self.lines()[start:] if mark in l]

    def wait_line(self, parts, timeout, start=0):
        def found():
            line = next((l for l in self.lines()[start:] if all(p in l for p in parts)), None)
            if line is None and self.proc is not None and self.proc.poll() is not None:
                raise Failure("the simulator ended with status %s:\n%s"
                              % (self.proc.returncode, tail(path(self.d, "sim.log"), 20)))
            return line
        return poll(found, timeout, 0.005,
                    "the simulator printed no line with %s within %.0f s" % (parts, timeout))

    def command_done(self, line):
        start = len(self.lines())
        self.command(line)
        self.wait_line(['"line":"%s"' % line], 5, start)


# ---- the adapters and QEMU's monitor (QMP) --------------------------------------------------

class Adapter:
    """One of QEMU's emulated FTDI adapters and the simulator at its far end."""
    # The one named "" is on xhci port 1 whatever else is plugged in, so that the guest's
    # ftdi_sio makes it ttyUSB0 and QEMU puts it back there after a replug.

    def __init__(self, sim, name="", port="1", serial=None):
        self.sim, self.name, self.serial = sim, name, serial
        self.device = dict(driver="usb-serial", id="adapter" + name, chardev="ftdi" + name,
                           bus="xhci.0", port=port)
        if serial:
            self.device["serial"] = serial

    def options(self, pty):
        """QEMU's options for it, its far end the pseudo-terminal `pty`."""
        return ["-chardev", "serial,id=%s,path=%s" % (self.device["chardev"], pty), "-device",
                ",".join(["usb-serial"] + ["%s=%s" % kv for kv in list(self.device.items())[1:]])]


class Qmp:
    def __init__(self, d):
        self.s = socket.socket(socket.AF_UNIX)
        self.s.settimeout(20)
        self.s.connect(path(d, "qmp.sock"))
        self.buf, self.events, self.out = b"", [], []  # out: the adapters it pulled
        self._message()  # greeting
        self.execute("qmp_capabilities")

    def _message(self):
        while b"\n" not in self.buf:
            data = self.s.recv(65536)
            if not data:
                raise Failure("QEMU closed its monitor")
            self.buf += data
        line, self.buf = self.buf.split(b"\n", 1)
        return json.loads(line)

    def execute(self, command, **arguments):
        self.s.sendall(json.dumps({"execute": command, "arguments": arguments}).encode() + b"\n")
        while True:
            reply = self._message()
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise Failure("QMP %s: %s" % (command, reply["error"]))
            elif "return" in reply:
                return reply["return"]

    def wait_event(self, name, timeout=10):
        end = time.time() + timeout
        while time.time() < end:
            for e in self.events:
                if e["event"] == name:
                    self.events.remove(e)
                    return e
            self.s.settimeout(max(0.01, end - time.time()))
            try:
                reply = self._message()
            except socket.timeout:
                break
            finally:
                self.s.settimeout(20)
            if "event" in reply:
                self.events.append(reply)
        raise Failure("QEMU sent no %s event within %.0f s" % (name, timeout))

    def unplug(self, adapter):
        self.execute("device_del", id=adapter.device["id"])
        self.wait_event("DEVICE_DELETED")
        self.out.append(adapter)

    def plug(self, adapter):
        flush_pty(adapter.sim)
        self.execute("device_add", **adapter.device)
        self.out.remove(adapter)

    def close(self):
        # An adapter still out (a check failed meanwhile) goes back in for the checks after.
        for adapter in list(self.out):
            with contextlib.suppress(Failure, OSError):
                self.plug(adapter)
        self.s.close()


def flush_pty(sim):
    """What the simulator sent while the adapter was out is gone, as on a pulled cable:
    the bytes waiting in the pseudo-terminal for QEMU are dropped."""
    pty = json.loads(sim.wait_line(['"event":"ready"'], 1))["pty"]
    fd = os.open(pty, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        termios.tcflush(fd, termios.TCIFLUSH)
    finally:
        os.close(fd)


def pull_in_answer(qmp, adapter, begin, at, out_seconds, answer=20, settle=0.1, timeout=60):
    """Pulls `adapter` once its simulator has sent `at` bytes of the answer to the
    `answer`-th block read of what begin() sets going, and plugs it back `out_seconds`
    later. The simulator stays mute from the cut until just before the plug (as a
    controller behind a pulled cable is, to the tool), and the adapter is pulled `settle`
    seconds after the cut, once the bytes before it have reached the guest. Returns the
    cut event and when begin() was called, the cut seen and the adapter pulled."""
    sim = adapter.sim
    sim.command_done("cut 6 %d %d mute %d"
                     % (answer, at, int((settle + out_seconds) * 1000) - 100))
    start_line = len(sim.lines())
    since = time.time()
    begin()
    cut = json.loads(sim.wait_line(['"event":"cut"'], timeout, start_line))
    seen = time.time()
    time.sleep(settle)
    qmp.unplug(adapter)
    pulled = time.time()
    time.sleep(out_seconds)
    qmp.plug(adapter)
    return cut, since, seen, pulled


# ---- the guest's command port (its ttyS1) ------------------------------------------------

class Guest:
    def __init__(self, d, sync=True, sock=None):
        if sock is None:
            sock = socket.socket(socket.AF_UNIX)
            sock.connect(path(d, "cmd.sock"))
        self.s, self.buf = sock, b""
        if sync:
            # Whatever an earlier check left running ends first; its output is skipped.
            nonce = "sync-%d-%d" % (os.getpid(), time.time_ns())
            self.start("echo " + nonce)
            self._until(rb"@@OUT\n" + nonce.encode() + rb"\n@@ERR\n@@RC 0\n", 90)

    def _until(self, pattern, timeout, proc=None):
        end = time.time() + timeout
        while True:
            m = re.search(pattern, self.buf, re.S)
            if m:
                self.buf = self.buf[m.end():]
                return m
            left = end - time.time()
            if left <= 0:
                raise Failure("the guest did not answer within %.0f s (so far: %r)"
                              % (timeout, self.buf[-300:]))
            if proc is not None and proc.poll() is not None:
                raise Failure("QEMU ended with status %s while the guest was starting"
                              % proc.returncode)
            self.s.settimeout(min(left, 1.0))
            try:
                data = self.s.recv(65536)
            except socket.timeout:
                continue
            if not data:
                raise Failure("the guest's command port closed")
            self.buf += data

    def wait_ready(self, timeout, proc):
        self._until(rb"@@READY\n", timeout, proc)

    def start(self, command):
        self.s.sendall(command.encode() + b"\n")

    def result(self, timeout=60):
        m = self._until(rb"@@OUT\n(.*?)@@ERR\n(.*?)@@RC (\d+)\n", timeout)
        return int(m.group(3)), m.group(1).decode(errors="replace"), \
            m.group(2).decode(errors="replace")

    def run(self, command, timeout=60):
        self.start(command)
        return self.result(timeout)

    def must(self, command, what=None, timeout=60):
        """The standard output of `command`, which must end with status 0; else a failure
        saying `what` (by default the command and its status) and its standard error."""
        rc, out, err = self.run(command, timeout)
        if rc != 0:
            what = what or "`%s` ended with status %d" % (command, rc)
            raise Failure("%s: %s" % (what, err.strip()) if err.strip() else what)
        return out

    def close(self):
        self.s.close()


# ---- QEMU's trace: the modem-control requests ----------------------------------------------

TRACE_LINE = re.compile(r"@(\d+\.\d+):usb_serial_handle_control dev \d+:(\d+) got control "
                        r"0x([0-9a-f]+), value 0x([0-9a-f]+)")
# xhci gives each device the number of its slot as its address; QEMU traces which port
# a slot was addressed on.
SLOT_LINE = re.compile(r"@(\d+\.\d+):usb_xhci_slot_address slotid (\d+), port (\S+)")


def control_requests(d, since, until, port=None):
    """(time, request, value) of every control request QEMU traced in [since, until]; with
    `port`, only those to the device addressed on that QEMU port, whatever its address."""
    out, holder = [], {}
    for line in read_text(path(d, "trace.log")).splitlines():
        m = SLOT_LINE.search(line)
        if m:
            holder[int(m.group(2))] = m.group(3)
        m = TRACE_LINE.search(line)
        if m and since <= float(m.group(1)) <= until and \
                port in (None, holder.get(int(m.group(2)))):
            out.append((float(m.group(1)), int(m.group(3), 16), int(m.group(4), 16)))
    return out


def modem_pulses(requests, open_window=0.2):
    """Each time DTR or RTS went high: (time, how long until both were low again or None,
    whether it came with an open of the device). The kernel raises both inside open(),
    right after it has set the line (its baud-rate request); a raise without one is the
    tool's. A raise by the tool right after its own line settings would pass for an
    open: the count of raises per check catches that."""
    pulses, high, raised_at, came_with_open, last_baud = [], 0, None, False, None
    for t, request, value in requests:
        if request == SET_BAUD:
            last_baud = t
        if request != MODEM_CONTROL:
            continue
        mask, state = value >> 8, value & 0xFF
        before, high = high, (high & ~mask) | (state & mask)
        if before == 0 and high != 0:
            raised_at = t
            came_with_open = last_baud is not None and t - last_baud < open_window
        elif before != 0 and high == 0 and raised_at is not None:
            pulses.append((raised_at, t - raised_at, came_with_open))
            raised_at = None
    if raised_at is not None:
        pulses.append((raised_at, None, came_with_open))
    return pulses


def pulse_problems(pulses, opens, where=""):
    """What is wrong with the DTR/RTS raises `pulses` of the adapter `where`: one without
    an open of the device or never lowered, a count not in `opens`."""
    problems = []
    for t, length, with_open in pulses:
        if not with_open:
            problems.append("%sDTR/RTS raised at %.3f without an open of the device" % (where, t))
        if length is None:
            problems.append("%sDTR/RTS raised at %.3f and never lowered" % (where, t))
    if len(pulses) not in opens:
        problems.append("%s%d raises of DTR/RTS (one per open of the device), expected %s"
                        % (where, len(pulses), " or ".join(map(str, opens))))
    return problems


def check_pulses(d, since, until, opens, open_window=0.2, record=None):
    """The modem lines in [since, until]: raised only by the kernel's open, `opens` times
    (a list of acceptable counts), and lowered again by the tool. The raise-to-lower times
    are kept under the name `record` for the summary check."""
    pulses = modem_pulses(control_requests(d, since, until), open_window)
    fail_on(pulse_problems(pulses, opens))
    if record:
        keep_json(path(d, "pulses.json"), record,
                  [length for _, length, _ in pulses if length is not None])
    return pulses


def ms(pulses):
    return ", ".join("%.1f" % (length * 1000) for _, length, _ in pulses)


# ---- start and stop ------------------------------------------------------------------------

def spawn(argv, d, stdin, out_name, pid_name):
    with open(path(d, out_name), "ab") as out:
        proc = subprocess.Popen(argv, stdin=stdin, stdout=out, stderr=subprocess.STDOUT,
                                cwd=d, start_new_session=True)
    with open(path(d, pid_name), "w") as f:
        f.write(str(proc.pid))
    return proc


def start_sim(sim_path, d, args):
    """zev1-sim in `d`, its commands from the FIFO d/sim.in; its ready event."""
    os.mkfifo(path(d, "sim.in"))
    # Opened for reading and writing, so the simulator never sees the end of its input.
    fifo = os.open(path(d, "sim.in"), os.O_RDWR)
    proc = spawn([sim_path] + args, d, fifo, "sim.log", "sim.pid")
    os.close(fifo)
    return json.loads(Sim(d, proc).wait_line(['"event":"ready"'], 10))


KVM_PROBE_SECONDS = 5


def probe_prints(argv, timeout):
    """Whether the program `argv` writes a line to its standard output within `timeout`
    seconds; it is ended either way."""
    try:
        p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, start_new_session=True)
    except OSError:
        return False
    try:
        end = time.time() + timeout
        data = b""
        while time.time() < end:
            ready, _, _ = select.select([p.stdout], [], [], max(0.0, end - time.time()))
            if not ready:
                break
            chunk = os.read(p.stdout.fileno(), 4096)
            if not chunk:
                break
            data += chunk
            if b"\n" in data.lstrip(b"\r\n\0"):
                return True
        return False
    finally:
        p.kill()
        p.wait()
        p.stdout.close()


def choose_accel(requested, kvm_device, probe_argv, timeout=KVM_PROBE_SECONDS):
    """QEMU's accelerator: `requested` (ZEV1_USB_ACCEL) when it names one; otherwise KVM
    only when its device is usable and a guest started on it prints its first console
    line within `timeout` seconds. A /dev/kvm on a processor without virtualisation can
    initialise and then never run the guest, so its presence alone proves nothing."""
    if requested in ("kvm", "tcg"):
        return requested
    if not os.access(kvm_device, os.R_OK | os.W_OK):
        return "tcg"
    return "kvm" if probe_prints(probe_argv, timeout) else "tcg"


def kvm_probe(kernel):
    """A guest that prints the kernel's first console lines on standard output."""
    return [QEMU, "-accel", "kvm", "-m", "128", "-smp", "1", "-nodefaults", "-display",
            "none", "-no-reboot", "-kernel", kernel, "-append", "console=ttyS0 panic=-1",
            "-serial", "stdio"]


def owned_by_us(pid, program):
    """Whether pid is a live process running `program` (a pid file of an earlier run may
    name a number the system has since given to something else)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            argv0 = f.read().split(b"\0", 1)[0].decode(errors="replace")
    except OSError:
        return False
    return running(pid) and os.path.basename(argv0) == os.path.basename(program)


def connect(sock_path, proc, log, timeout):
    """A connection to the Unix socket `sock_path` that `proc` serves. QEMU makes the
    socket's file before it listens, so a refused or missing socket is tried again until
    it answers, the process ends (its log is shown) or `timeout` passes."""
    def connected():
        s = socket.socket(socket.AF_UNIX)
        try:
            s.connect(sock_path)
            return s
        except (FileNotFoundError, ConnectionRefusedError):
            s.close()
        if proc.poll() is not None:
            raise Failure("%s ended with status %s before it served %s:\n%s"
                          % (os.path.basename(log), proc.returncode,
                             os.path.basename(sock_path), tail(log, 20)))
    return poll(connected, timeout, 0.05,
                "nothing served %s within %.0f s" % (sock_path, timeout))


RUN_FILES = ("sim.log", "console.log", "trace.log", "qemu.log", "sim.in", "pulses.json",
             "cmd.sock", "qmp.sock", "qemu.pid", "sim.pid")


def start(d, kernel, initrd, sim_path, web=False):
    stop(d, quiet=True)
    for name in RUN_FILES:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(path(d, name))
    os.makedirs(path(d, "ports"), exist_ok=True)
    ready = start_sim(sim_path, d, ["--link", path(d, "ports/ZEV1-SIM"), "--ssid", SSID,
                                    "--key", KEY, "--security", SECURITY, "--endpoint", ENDPOINT])
    accel = choose_accel(os.environ.get("ZEV1_USB_ACCEL", ""), "/dev/kvm", kvm_probe(kernel))
    print("accelerator: %s" % accel)
    # The browser checks need more memory and processors for Chromium.
    qemu = [QEMU, "-accel", accel, "-m", "2048" if web else "256", "-smp", "2" if web else "1",
            "-nodefaults", "-display", "none", "-no-reboot",
            "-kernel", kernel, "-initrd", initrd,
            "-append", "console=ttyS0 panic=-1 quiet loglevel=4",
            "-chardev", "file,id=con,path=" + path(d, "console.log"), "-serial", "chardev:con",
            "-chardev", "socket,id=cmd,path=%s,server=on,wait=off" % path(d, "cmd.sock"),
            "-serial", "chardev:cmd",
            "-qmp", "unix:%s,server=on,wait=off" % path(d, "qmp.sock"),
            "-device", "qemu-xhci,id=xhci"] + Adapter(None).options(ready["pty"]) + [
            "-trace", "enable=usb_serial_*,file=" + path(d, "trace.log"),
            "-msg", "timestamp=on"] + batch_checks.start_adapters(d, sim_path)
    if web:
        # The host's root shared read-only (the guest chroots into it to run Debian's
        # chromium and node), and -cpu max since Debian's chromium refuses a processor
        # without SSE3, as QEMU's default model is.
        qemu += ["-cpu", "max", "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,"
                 "readonly=on,multidevs=remap"]
    proc = spawn(qemu, d, subprocess.DEVNULL, "qemu.log", "qemu.pid")
    began = time.time()
    guest = Guest(d, sync=False, sock=connect(path(d, "cmd.sock"), proc,
                                              path(d, "qemu.log"), 20))
    try:
        guest.wait_ready(BOOT_TIMEOUT, proc)
        guest.must("ls /dev/ttyUSB0", "the guest has no /dev/ttyUSB0")
        batch_checks.wait_adapters(guest)
    finally:
        guest.close()
    print("guest ready after %.1f s" % (time.time() - began))


def running(pid):
    """Whether pid is a live process (one that ended but was not reaped yet is not)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


def stop(d, quiet=False):
    for name, program in [("qemu.pid", QEMU), ("sim.pid", SIM)] + batch_checks.pid_files(d):
        try:
            with open(path(d, name)) as f:
                pid = int(f.read())
        except (OSError, ValueError):
            continue
        if owned_by_us(pid, program):
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGTERM)
                for _ in range(100):
                    if not running(pid):
                        break
                    time.sleep(0.05)
                else:
                    os.kill(pid, signal.SIGKILL)
        os.unlink(path(d, name))
    if not quiet:
        print("stopped")


# ---- the checks ------------------------------------------------------------------------------

def read_json(guest, command, timeout=60):
    out = guest.must(command, timeout=timeout)
    try:
        return json.loads(out)
    except ValueError:
        raise Failure("`%s` printed no JSON: %r" % (command, out))


def usb_attributes(guest, keys=("idVendor", "idProduct", "manufacturer", "product", "serial")):
    """ttyUSB0's USB device as the guest's sysfs shows it."""
    return {k: guest.must("cat /sys/class/tty/ttyUSB0/device/../../" + k,
                          "sysfs has no %s for ttyUSB0" % k).strip() for k in keys}


def check_ports(d, guest):
    since = time.time()
    plain = guest.must(TOOL + " ports")
    listed = read_json(guest, TOOL + " ports --json")
    until = time.time()
    sysfs = usb_attributes(guest)
    entry = next((p for p in listed if p.get("name") == "ttyUSB0"), None)
    if entry is None:
        raise Failure("ports --json lists no ttyUSB0: %s" % listed)
    want = dict(zip(("vid", "pid", "manufacturer", "product", "serial"), sysfs.values()))
    got = {k: entry.get(k) for k in want}
    if got != want:
        raise Failure("ports --json says %s, sysfs %s" % (got, want))
    line = next((l for l in plain.splitlines() if l.split()[:1] == ["ttyUSB0"]), "")
    for part in (sysfs["product"], "USB %s:%s" % (sysfs["idVendor"], sysfs["idProduct"]),
                 "serial " + sysfs["serial"]):
        if part not in line:
            raise Failure("ports prints %r, which lacks %r" % (line, part))
    if line.split(None, 1)[1] != entry["description"]:
        raise Failure("ports prints %r, ports --json %r" % (line, entry["description"]))
    opened = control_requests(d, since, until)
    if any(request >> 8 == 0x40 for _, request, _ in opened):
        raise Failure("listing the ports sent requests to the adapter (it opened it): %s"
                      % opened)
    print("ttyUSB0: %s" % entry["description"])


def check_read_auto(d, guest, sim):
    since = time.time()
    got = read_json(guest, TOOL + " read --port ttyUSB0 --json")
    if got != EXPECTED:
        raise Failure("read returned %s, the simulator holds %s" % (got, EXPECTED))
    written = read_json(guest, TOOL + " auto --port ttyUSB0 --json")
    stored = sim.wait_line(['"event":"stored"'], 5)
    back = read_json(guest, TOOL + " read --port ttyUSB0 --json")
    # Put the simulator's endpoint back for the checks that follow.
    read_json(guest, TOOL + " write --port ttyUSB0 --endpoint %s --json" % ENDPOINT)
    until = time.time()
    endpoint = written.get("endpoint") if isinstance(written, dict) else None
    if not endpoint or back.get("endpoint") != endpoint or endpoint not in stored:
        raise Failure("auto wrote %s, the simulator stored %s, read back %s"
                      % (written, stored, back))
    pulses = check_pulses(d, since, until, [4], record="read_auto")
    print("read, auto, read, write: exact; DTR/RTS high %s ms at each open" % ms(pulses))


def check_replug(d, guest, sim, at, out_seconds):
    """A read with the adapter pulled in an answer (pull_in_answer) ends exact."""
    qmp = Qmp(d)
    try:
        cut, since, seen, pulled = pull_in_answer(
            qmp, Adapter(sim), lambda: guest.start(TOOL + " read --port ttyUSB0 --json"), at,
            out_seconds)
        rc, out, err = guest.result(60)
        until = time.time()
        if rc != 0:
            raise Failure("the read ended with status %d (%s) after the adapter was pulled at "
                          "byte %d of %d of an answer and was out %.1f s"
                          % (rc, err.strip(), cut["at"], cut["len"], out_seconds))
        got = json.loads(out)
        if got != EXPECTED:
            raise Failure("the read returned %s, the simulator holds %s" % (got, EXPECTED))
        pulses = check_pulses(d, since, until, [2], record="replug_%d" % at)
        print("pulled at byte %d of %d (%.0f ms after the cut), out %.1f s: read exact after "
              "%.1f s; DTR/RTS high %s ms at each open"
              % (cut["at"], cut["len"], (pulled - seen) * 1000, out_seconds, until - since,
                 ms(pulses)))
    finally:
        sim.command("cut off")
        qmp.close()


def check_silent(d, guest, sim):
    """A controller that falls silent in the middle of a read: the tool waits its five
    time-outs and gives up, with the device opened once, so the reset lines see one pulse."""
    start_line = len(sim.lines())
    since = time.time()
    guest.start(TOOL + " read --port ttyUSB0 --json")
    try:
        poll(lambda: len(sim.frames("tx", 6, start_line)) >= 10, 60, 0.01,
             "the read did not get going")
        sim.command_done("silent on")
        rc, out, err = guest.result(60)
        until = time.time()
    finally:
        sim.command("silent off")
    if rc != 5:
        raise Failure("a silent controller ended the read with status %d (%s), expected 5"
                      % (rc, err.strip()))
    check_pulses(d, since, until, [1], record="silent")
    print("silent controller: exit 5 after %.1f s, the device opened once" % (until - since))


def check_summary(d):
    data = load_json(path(d, "pulses.json"))
    if not data:
        raise Failure("no measurements: the other usb checks did not run")
    lengths = sorted(x * 1000 for v in data.values() for x in v)
    if not lengths:
        raise Failure("no raise of DTR/RTS was measured")
    print("DTR/RTS high from the kernel's raise in open() to the tool's lower, %d opens: "
          "min %.1f ms, median %.1f ms, max %.1f ms"
          % (len(lengths), lengths[0], statistics.median(lengths), lengths[-1]))


CHECKS = {
    "ports": lambda d, g, s: check_ports(d, g),
    "read_auto": check_read_auto,
    "replug_between": lambda d, g, s: check_replug(d, g, s, 291, 1.0),
    "replug_middle": lambda d, g, s: check_replug(d, g, s, 145, 1.0),
    "replug_end": lambda d, g, s: check_replug(d, g, s, 280, 1.0),
    "replug_middle_short": lambda d, g, s: check_replug(d, g, s, 100, 0.3),
    "replug_end_long": lambda d, g, s: check_replug(d, g, s, 288, 3.0),
    "silent": check_silent,
}


def report(d):
    print("--- simulator (sim.log), last lines:")
    print("\n".join(l[:200] for l in tail(path(d, "sim.log"), 15).splitlines()))
    print("--- guest console (console.log), last lines:")
    print(tail(path(d, "console.log"), 25))
    print("--- QEMU trace (trace.log), last modem-control and baud requests:")
    print(tail(path(d, "trace.log"), 20, lambda l: "0x4001" in l or "0x4003" in l))
    print("--- QEMU (qemu.log):")
    print(tail(path(d, "qemu.log"), 10))


def main(argv):
    d, action = os.path.abspath(argv[1]), argv[2]
    name = argv[3] if action == "check" else None
    checks = dict(CHECKS, **batch_checks.CHECKS, **web_checks.CHECKS)
    os.makedirs(d, exist_ok=True)
    try:
        if action == "start":
            start(d, *(os.path.abspath(a) for a in argv[3:6]), web=argv[6:7] == ["web"])
        elif action == "stop":
            stop(d)
        elif name == "summary":
            check_summary(d)
        elif name == "web_signals":
            if web_checks.web_paths() is None:
                return web_checks.skipped()
            web_checks.check_signals(d)
        elif name in checks:
            if not os.path.exists(path(d, "qemu.pid")):
                raise Failure("the guest is not running (the usb.guest fixture failed)")
            guest = Guest(d)
            try:
                # The browser checks need the wasm variant's page and Playwright.
                if name.startswith("web_") and web_checks.web_paths() is None:
                    return web_checks.skipped()
                checks[name](d, guest, Sim(d))
            finally:
                guest.close()
        else:
            print("usage: usb_guest.py DIR start|stop|check NAME", file=sys.stderr)
            return 2
    except (Failure, OSError) as e:
        print("FAILED: %s" % e)
        report(d)
        return 1
    return 0


# The production line's and the browser's checks live in modules of their own, which use
# this one's helpers under its own name also when this file runs as the program.
sys.modules.setdefault("usb_guest", sys.modules[__name__])
import batch_checks  # noqa: E402
import web_checks  # noqa: E402

if __name__ == "__main__":
    sys.exit(main(sys.argv))

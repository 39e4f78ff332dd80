"""The production line on the guest's ftdi_sio: `zev1-wifi batch` against three more of
QEMU's emulated FTDI adapters, each with its own zev1-sim on the host.

    adapter B   xhci port 2, sysfs place 1-2             serial ZV1B0002
    QEMU's usb-hub on xhci port 3
    adapter C   port 1 of that hub, sysfs place 1-3.1    serial ZV1C0003
    adapter D   port 2 of that hub, sysfs place 1-3.2    serial ZV1D0004

The other checks' adapter stays on xhci port 1, so the guest's ftdi_sio names it ttyUSB0.
Each simulator keeps its FIFO, its log and its pid file in DIR/units/NAME/. The checks find
the ttys through the guest's sysfs, never by their numbers, and derive what each
controller must end up holding from its own log, so no check depends on what an earlier
one left behind.

usb_guest.py imports this module and hands itself over with use() (for its Sim, Qmp,
spawn and Failure).
"""

import base64
import glob
import json
import os
import re
import shutil
import time

h = None  # the harness module (usb_guest)


def use(harness):
    global h
    h = harness


DEFAULT_ENDPOINT = "zev1.example,5555"  # what `auto` sets when its row names none
KEY_FILE = "/tmp/batch-key.txt"
FIELDS = ("ssid", "key", "security", "endpoint")

# name, QEMU port path, the sysfs place the guest gives it, USB serial number, settings.
ADAPTERS = (
    ("B", "2", "1-2", "ZV1B0002", ("net-b", "key-b", "WPA2", "10.0.2.2,5555")),
    ("C", "3.1", "1-3.1", "ZV1C0003", ("net-c", "key-c", "WPA", "10.0.3.3,5555")),
    ("D", "3.2", "1-3.2", "ZV1D0004", ("net-d", "key-d", "OPEN", "10.0.4.4,5555")),
)
HUB = ["-device", "usb-hub,id=hub,bus=xhci.0,port=3"]


class Adapter:
    def __init__(self, d, name, port, place, serial, settings):
        self.name, self.port, self.place, self.serial = name, port, place, serial
        self.dir = h.path(h.path(d, "units"), name)
        self.sim = h.Sim(self.dir)
        self.id = "ZEV1-" + name
        self.initial = dict(zip(FIELDS, settings))

    def device(self):
        return dict(driver="usb-serial", id="adapter" + self.name, chardev="ftdi" + self.name,
                    bus="xhci.0", port=self.port, serial=self.serial)

    def stored(self, start=0):
        return [json.loads(l) for l in self.sim.lines()[start:]
                if '"event":"stored"' in l and '"what":"wifi"' in l]

    def holds(self):
        """The settings the simulator holds now: its start values, then each store."""
        s = dict(self.initial)
        for e in self.stored():
            s.update({k: e[k] for k in FIELDS})
        return s


def adapters(d):
    return [Adapter(d, *a) for a in ADAPTERS]


def first_holds(sim):
    s = {"ssid": h.SSID, "key": h.KEY, "security": h.SECURITY, "endpoint": h.ENDPOINT}
    for l in sim.lines():
        if '"event":"stored"' in l and '"what":"wifi"' in l:
            e = json.loads(l)
            s.update({k: e[k] for k in FIELDS})
    return s


# ---- start and stop ------------------------------------------------------------------------

def start_adapters(d, sim_path):
    """Starts the simulators of the adapters; returns QEMU's arguments for them."""
    shutil.rmtree(h.path(d, "units"), ignore_errors=True)
    args = ["-trace", "enable=usb_xhci_slot_address,file=" + h.path(d, "trace.log")]
    for a in adapters(d):
        os.makedirs(a.dir)
        os.mkfifo(h.path(a.dir, "sim.in"))
        fifo = os.open(h.path(a.dir, "sim.in"), os.O_RDWR)
        settings = [x for k in FIELDS for x in ("--" + k, a.initial[k])]
        proc = h.spawn([sim_path, "--link", h.path(a.dir, "link"), "--id", a.id] + settings,
                       a.dir, fifo, "sim.log")
        os.close(fifo)
        with open(h.path(a.dir, "sim.pid"), "w") as f:
            f.write(str(proc.pid))
        ready = json.loads(h.Sim(a.dir, proc).wait_line(['"event":"ready"'], 10))
        if a.port.startswith("3.") and HUB[1] not in args:
            args += HUB
        args += ["-chardev", "serial,id=ftdi%s,path=%s" % (a.name, ready["pty"]),
                 "-device", ",".join(["usb-serial"] + ["%s=%s" % (k, v) for k, v in
                                                       a.device().items() if k != "driver"])]
    return args


def pid_files(d):
    return [(os.path.relpath(p, d), h.SIM) for p in
            sorted(glob.glob(h.path(h.path(d, "units"), "*/sim.pid")))]


# ---- the guest ----------------------------------------------------------------------------

SYSFS_LINE = re.compile(r"^(ttyUSB\d+) (\S+) (\S*)$")


def guest_ports(guest, want, timeout=60):
    """{sysfs place: (tty, USB serial)} of the guest's ttyUSB ports, once they are at the
    places `want`, no more, no fewer."""
    command = ('for t in /sys/class/tty/ttyUSB*; do [ -e "$t/device" ] || continue; '
               'u=$(readlink -f "$t/device/../.."); '
               'echo "${t##*/} ${u##*/} $(cat "$u/serial")"; done')
    end = time.time() + timeout
    while True:
        rc, out, err = guest.run(command)
        found = {}
        for line in out.splitlines():
            m = SYSFS_LINE.match(line.strip())
            if m:
                found[m.group(2)] = (m.group(1), m.group(3))
        if set(found) == set(want):
            return found
        if time.time() > end:
            raise h.Failure("the guest's ttyUSB ports are at %s, expected %s"
                            % (sorted(found), sorted(want)))
        time.sleep(0.2)


def wait_adapters(guest):
    """Once the guest is up: every adapter has its tty (so that no driver's probe of a
    late one falls into the first checks), and ttyUSB0 is the one on xhci port 1."""
    ports = guest_ports(guest, ["1-1"] + [a[2] for a in ADAPTERS])
    if ports["1-1"][0] != "ttyUSB0":
        raise h.Failure("the adapter at 1-1 is %s, not ttyUSB0: %s" % (ports["1-1"][0], ports))


def put_file(guest, name, text):
    data = base64.b64encode(text.encode()).decode()
    rc, _, err = guest.run("echo %s | base64 -d > %s" % (data, name))
    if rc != 0:
        raise h.Failure("cannot write %s in the guest: %s" % (name, err.strip()))


# A batch that hangs would keep the guest's command line busy for every later check; it
# gets Ctrl+C after this long (and then reports its units as interrupted).
BATCH_LIMIT = 150


def start_batch(guest, plan, options):
    put_file(guest, "/tmp/plan.csv", plan)
    guest.start("timeout -s INT %d %s batch /tmp/plan.csv --json %s"
                % (BATCH_LIMIT, h.TOOL, options))


def batch_report(guest, timeout, statuses=(0,)):
    """The batch's exit status, its unit lines by port and its summary (the last line)."""
    rc, out, err = guest.result(timeout)
    if rc not in statuses:
        raise h.Failure("the batch ended with status %d: %s %s" % (rc, err.strip(), out))
    try:
        lines = [json.loads(line) for line in out.splitlines()]
    except ValueError:
        raise h.Failure("the batch printed lines that are not JSON: %r" % out)
    units = {}
    for j in lines[:-1]:
        if "port" not in j or j["port"] in units:
            raise h.Failure("not one line per unit, then the summary: %s" % out)
        units[j["port"]] = j
    if not lines or "port" in lines[-1]:
        raise h.Failure("no summary line at the end: %s" % out)
    return rc, units, lines[-1]


def masked(settings):
    return {k: ("***" if k == "key" and v else v) for k, v in settings.items()}


def wanted(before, action, fields):
    """What a row's unit writes: the settings read, with the row's fields (auto: the
    endpoint alone, else the default one)."""
    if action == "read":
        return None
    out = dict(before)
    if action == "auto":
        out["endpoint"] = fields.get("endpoint") or DEFAULT_ENDPOINT
    else:
        out.update({k: v for k, v in fields.items() if v})
    return out


def check_unit(units, tty, fields, before, after, problems, attempts=(1,)):
    """One unit's report line: `fields` as given, a number of attempts in `attempts`,
    `written` what it had to write (the key masked), a read's `read` the settings
    `before` it."""
    got = units.get(tty)
    if got is None:
        problems.append("no report line for %s" % tty)
        return
    for k, v in dict(fields, status=0, ok=True).items():
        if got.get(k) != v:
            problems.append("%s: %s is %r, expected %r" % (tty, k, got.get(k), v))
    if got.get("attempts") not in attempts:
        problems.append("%s: %s attempts" % (tty, got.get("attempts")))
    written = masked(after) if after else None
    if got.get("written") != written:
        problems.append("%s: written %s, expected %s" % (tty, got.get("written"), written))
    if after is None and got.get("read") != masked(before):
        problems.append("%s: read %s, the controller held %s"
                        % (tty, got.get("read"), masked(before)))


def check_stores(a, start, after, problems):
    """The simulator stored exactly what its unit wrote (key included), once, or nothing
    for a read."""
    stores = [{k: e[k] for k in FIELDS} for e in a.stored(start)]
    if after is None:
        if stores:
            problems.append("adapter %s: a read stored %s" % (a.name, stores))
        return
    if stores != [after]:
        problems.append("adapter %s: stored %s, expected %s once" % (a.name, stores, after))


CONTROL_LINE = re.compile(r"@(\d+\.\d+):usb_serial_handle_control dev \d+:(\d+) got control "
                          r"0x([0-9a-f]+), value 0x([0-9a-f]+)")
# xhci gives each device the number of its slot as its address; QEMU traces which port
# a slot was addressed on.
SLOT_LINE = re.compile(r"@(\d+\.\d+):usb_xhci_slot_address slotid (\d+), port (\S+)")


def port_pulses(d, place, since, until):
    """The DTR/RTS raises in [since, until] of the adapter at a sysfs place: the control
    requests of the device addressed on its QEMU port, whatever address it had."""
    port = place.split("-", 1)[1]
    holder = {}
    requests = []
    for line in h.read_text(h.path(d, "trace.log")).splitlines():
        m = SLOT_LINE.search(line)
        if m:
            holder[int(m.group(2))] = m.group(3)
            continue
        m = CONTROL_LINE.search(line)
        if m and holder.get(int(m.group(2))) == port and since <= float(m.group(1)) <= until:
            requests.append((float(m.group(1)), int(m.group(3), 16), int(m.group(4), 16)))
    # Three opens at once on the guest's one processor: the kernel's raise may come a
    # while after its line settings. A raise of the tool's own would still show in the
    # count of raises.
    return h.modem_pulses(requests, open_window=1.0)


def check_opens(d, opens, since, until, problems):
    """Each adapter opened as often as `opens[place]` allows (a number or a range), DTR and
    RTS raised only by the kernel's open and lowered again by its unit; returns the
    raise-to-lower times in ms."""
    lengths = []
    for place, count in opens.items():
        allowed = count if isinstance(count, range) else (count,)
        pulses = port_pulses(d, place, since, until)
        if len(pulses) not in allowed:
            problems.append("%s opened %d times, expected %s"
                            % (place, len(pulses), "/".join(map(str, allowed))))
        for t, length, with_open in pulses:
            if not with_open or length is None:
                problems.append("%s: DTR/RTS raised at %.3f %s" % (
                    place, t, "without an open" if not with_open else "and never lowered"))
            else:
                lengths.append(length * 1000)
    return lengths


def finish(problems, what):
    if problems:
        raise h.Failure("; ".join(problems))
    print(what)


# ---- the checks ----------------------------------------------------------------------------

def plan_text(rows):
    lines = ["port,action,ssid,key,security,endpoint,label"]
    for port, action, fields, label in rows:
        cells = [port, action] + [fields.get(k, "") for k in FIELDS] + [label]
        lines.append(",".join('"%s"' % c if "," in c else c for c in cells))
    return "\n".join(lines) + "\n"


def check_plan(d, guest, sim, rows, by_place, options="", key=None):
    """Runs the plan `rows` ((port, action, fields, label), each naming one or more
    places in `by_place[index]`) once every adapter is there, and checks the report
    line of each unit, what each simulator stored and how often each adapter was
    opened (the first adapter included: a plan that does not name it leaves it shut)."""
    units_of = {a.place: a for a in adapters(d)}
    ports = guest_ports(guest, ["1-1"] + list(units_of))
    before = {p: a.holds() for p, a in units_of.items()}
    before["1-1"] = first_holds(sim)
    starts = {p: len(a.sim.lines()) for p, a in units_of.items()}
    first_start = len(sim.lines())
    if key is not None:
        put_file(guest, KEY_FILE, key + "\n")
        options += " --key-file " + KEY_FILE
    since = time.time()
    start_batch(guest, plan_text(rows), options)
    rc, units, summary = batch_report(guest, 120)
    until = time.time()
    problems = []
    after_of = {}
    for line, (port, action, fields, label) in enumerate(rows, start=2):
        given = dict(fields)
        if key is not None and action == "write" and not given.get("key"):
            given["key"] = key
        for place in by_place[line - 2]:
            tty, serial = ports[place]
            after = wanted(before[place], action, given)
            after_of[place] = after
            check_unit(units, tty, {
                "label": label, "usb_serial": serial, "action": action, "line": line,
                "message": "", "id": units_of[place].id if place in units_of else
                h.EXPECTED["id"]}, before[place], after, problems)
    extra = set(units) - {ports[p][0] for p in after_of}
    if extra:
        problems.append("report lines for ports the plan does not name: %s" % sorted(extra))
    if summary != {"ok": len(after_of), "failed": 0, "seconds": summary.get("seconds")}:
        problems.append("summary %s, expected %d ok" % (summary, len(after_of)))
    for place, a in units_of.items():
        check_stores(a, starts[place], after_of.get(place), problems)
    first_rx = [l for l in sim.lines()[first_start:] if '"dir":"rx"' in l]
    if "1-1" not in after_of and first_rx:
        problems.append("the first adapter, named by no row, got %d frames" % len(first_rx))
    if "1-1" in after_of and after_of["1-1"] is not None:
        problems.append("a plan may only read the first adapter")
    lengths = check_opens(d, {p: int(p in after_of) for p in ports}, since, until,
                          problems)
    if key is not None and key in json.dumps(units):
        problems.append("the key of the key file is in the report")
    return problems, "%d units, exact, in %.1f s (batch's own %.2f s); each adapter opened " \
        "once, DTR/RTS high %s ms" % (len(after_of), until - since, summary.get("seconds", 0),
                                      ", ".join("%.1f" % x for x in sorted(lengths)))


def check_serial(d, guest, sim):
    """A plan naming each unit by its adapter's USB serial number, out of the ports'
    order: write (the key from a key file), auto and read."""
    rows = [("serial=ZV1D0004", "write", {"ssid": "line-d", "security": "WPA2",
                                          "endpoint": "10.4.0.1,6000"}, "unit-d"),
            ("serial=ZV1B0002", "auto", {}, "unit-b"),
            ("serial=ZV1C0003", "read", {}, "unit-c")]
    problems, what = check_plan(d, guest, sim, rows, [["1-3.2"], ["1-2"], ["1-3.1"]],
                                key="kf-%d" % os.getpid())
    finish(problems, "by serial=: " + what)


def check_location(d, guest, sim):
    """A plan naming units by their sysfs place (one behind the hub), and `*` for every
    other present port: the first adapter and the hub's other one, but none of the
    guest's 8250 UARTs (one of them carries the harness's own commands)."""
    rows = [("location=1-3.2", "write", {"ssid": "slot-3.2", "key": "k-3.2", "security": "WPA",
                                         "endpoint": "10.3.2.1,7000"}, "slot-3.2"),
            ("location=1-2", "auto", {"endpoint": "10.1.2.1,4000"}, "slot-2"),
            ("*", "read", {}, "rest")]
    problems, what = check_plan(d, guest, sim, rows, [["1-3.2"], ["1-2"], ["1-1", "1-3.1"]])
    finish(problems, "by location= and *: " + what)


def plug_all_back(d, qmp, want):
    """Cleanup: every adapter that is out is plugged in again."""
    for a in adapters(d):
        if a.place in want:
            continue
        try:
            h.flush_pty(a.sim)
            qmp.execute("device_add", **a.device())
        except (h.Failure, OSError):
            pass


def check_replug(d, guest, sim):
    """Adapter C pulled through QEMU's monitor in the middle of an answer of its read and
    plugged back a second later, while B and D run: all three end exact, C's report line
    says how many attempts it took."""
    units_of = {a.name: a for a in adapters(d)}
    c = units_of["C"]
    ports = guest_ports(guest, ["1-1"] + [a.place for a in units_of.values()])
    before = {n: a.holds() for n, a in units_of.items()}
    starts = {n: len(a.sim.lines()) for n, a in units_of.items()}
    rows = [("serial=ZV1B0002", "auto", {}, "b"),
            ("serial=ZV1C0003", "write", {"ssid": "pulled", "key": "k-pulled",
                                          "security": "WPA2", "endpoint": "10.3.1.9,5555"}, "c"),
            ("serial=ZV1D0004", "auto", {"endpoint": "10.4.4.9,4000"}, "d")]
    answer, at, out_seconds, settle = 20, 145, 1.0, 0.1
    qmp = h.Qmp(d)
    pulled = False
    try:
        c.sim.command_done("cut 6 %d %d mute %d"
                           % (answer, at, int((settle + out_seconds) * 1000) - 100))
        since = time.time()
        start_batch(guest, plan_text(rows), "")
        cut = json.loads(c.sim.wait_line(['"event":"cut"'], 90, starts["C"]))
        time.sleep(settle)
        qmp.execute("device_del", id="adapterC")
        qmp.wait_event("DEVICE_DELETED")
        pulled = True
        time.sleep(out_seconds)
        h.flush_pty(c.sim)
        qmp.execute("device_add", **c.device())
        pulled = False
        rc, units, summary = batch_report(guest, 120)
        until = time.time()
    finally:
        c.sim.command("cut off")
        if pulled:
            plug_all_back(d, qmp, ["1-2", "1-3.2"])
        qmp.close()
    problems = []
    for line, (port, action, fields, label) in enumerate(rows, start=2):
        a = units_of[label.upper()]
        after = wanted(before[a.name], action, fields)
        check_unit(units, ports[a.place][0], {
            "label": label, "usb_serial": a.serial, "action": action, "line": line,
            "id": a.id}, before[a.name], after, problems, attempts=(1, 2) if a is c else (1,))
        check_stores(a, starts[a.name], after, problems)
    if summary != {"ok": 3, "failed": 0, "seconds": summary.get("seconds")}:
        problems.append("summary %s, expected 3 ok" % summary)
    again = guest_ports(guest, ["1-1"] + [a.place for a in units_of.values()])
    if again["1-3.1"][0] != ports["1-3.1"][0]:
        problems.append("C came back as %s, was %s" % (again["1-3.1"][0], ports["1-3.1"][0]))
    # C: opened before the pull and again after the replug, by the same attempt or a retry.
    check_opens(d, {"1-2": 1, "1-3.2": 1, "1-1": 0, "1-3.1": range(2, 4)}, since, until,
                problems)
    c_line = units.get(ports["1-3.1"][0], {})
    finish(problems, "C pulled at byte %d of %d, out %.1f s: %d attempt(s), %.1f s; B and D "
           "exact in %.1f and %.1f s; batch %.1f s"
           % (cut["at"], cut["len"], out_seconds, c_line.get("attempts", 0),
              c_line.get("seconds", 0), units[ports["1-2"][0]]["seconds"],
              units[ports["1-3.2"][0]]["seconds"], until - since))


def check_watch(d, guest, sim):
    """`--watch --count 4` with B, C and D pulled first, then plugged in through QEMU's
    monitor one after another, each once the one before has stored its settings: the
    first adapter, named by a row, is read at the start, C is set up by the row naming its
    serial number, B and D by `*`, and none twice."""
    units_of = {a.name: a for a in adapters(d)}
    out = []
    qmp = h.Qmp(d)
    try:
        for a in units_of.values():
            qmp.execute("device_del", id="adapter" + a.name)
            qmp.wait_event("DEVICE_DELETED")
            out.append(a)
        guest_ports(guest, ["1-1"])
        before = {n: a.holds() for n, a in units_of.items()}
        first_before = first_holds(sim)
        starts = {n: len(a.sim.lines()) for n, a in units_of.items()}
        rows = [("ttyUSB0", "read", {}, "bench"),
                ("serial=ZV1C0003", "write", {"ssid": "named", "key": "k-named",
                                              "security": "WPA2", "endpoint": "10.3.3.3,3000"},
                 "named"),
                ("*", "auto", {"endpoint": "10.7.7.7,7000"}, "line")]
        since = time.time()
        start_batch(guest, plan_text(rows), "--watch --count 4")
        waits = []
        for name in ("B", "C", "D"):
            a = units_of[name]
            h.flush_pty(a.sim)
            t = time.time()
            qmp.execute("device_add", **a.device())
            out.remove(a)
            a.sim.wait_line(['"event":"stored"'], 90, starts[name])
            waits.append(time.time() - t)
        rc, units, summary = batch_report(guest, 120)
        until = time.time()
    finally:
        if out:
            plug_all_back(d, qmp, [a.place for a in units_of.values() if a not in out])
        qmp.close()
    ports = guest_ports(guest, ["1-1"] + [a.place for a in units_of.values()])
    problems = []
    check_unit(units, ports["1-1"][0], {"label": "bench", "action": "read", "line": 2,
                                        "id": h.EXPECTED["id"]}, first_before, None, problems)
    for a in units_of.values():
        row = 3 if a.name == "C" else 4
        _, action, fields, label = rows[row - 2]
        after = wanted(before[a.name], action, fields)
        check_unit(units, ports[a.place][0], {
            "label": label, "usb_serial": a.serial, "action": action, "line": row,
            "id": a.id}, before[a.name], after, problems)
        check_stores(a, starts[a.name], after, problems)
    if len(units) != 4 or summary != {"ok": 4, "failed": 0, "seconds": summary.get("seconds")}:
        problems.append("%d units, summary %s; expected 4 ok" % (len(units), summary))
    check_opens(d, {p: 1 for p in ports}, since, until, problems)
    finish(problems, "--watch --count 4: ttyUSB0 read at the start, B, C, D plugged in one "
           "after another and each set up once (plug to stored %s s); batch %.1f s"
           % (", ".join("%.1f" % w for w in waits), until - since))


CHECKS = {
    "batch.serial": check_serial,
    "batch.location": check_location,
    "batch.replug": check_replug,
    "batch.watch": check_watch,
}

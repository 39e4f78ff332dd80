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
"""

import base64
import glob
import json
import os
import re
import shutil
import time

import usb_guest as h

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


def stored(sim, start=0):
    return [json.loads(l) for l in sim.lines()[start:]
            if '"event":"stored"' in l and '"what":"wifi"' in l]


class Unit(h.Adapter):
    """An adapter with its sysfs place, its controller's id and the settings its simulator
    starts with."""

    def __init__(self, sim, name, port, place, serial, settings, id=None):
        super().__init__(sim, name, port, serial)
        self.place, self.initial = place, dict(zip(FIELDS, settings))
        self.id = id or "ZEV1-" + name

    def mark(self):
        """Before a batch: the settings the simulator holds (its start values, then each
        store) and where its log ends."""
        self.before = dict(self.initial)
        for e in stored(self.sim):
            self.before.update({k: e[k] for k in FIELDS})
        self.start = len(self.sim.lines())
        return self


def adapters(d):
    return [Unit(h.Sim(h.path(d, "units", a[0])), *a) for a in ADAPTERS]


def first_adapter(sim):
    """The other checks' adapter (ttyUSB0), whose simulator starts with h.EXPECTED."""
    return Unit(sim, "", "1", "1-1", None, [h.EXPECTED[k] for k in FIELDS], h.EXPECTED["id"])


# ---- start and stop ------------------------------------------------------------------------

def start_adapters(d, sim_path):
    """Starts the simulators of the adapters; returns QEMU's arguments for them."""
    shutil.rmtree(h.path(d, "units"), ignore_errors=True)
    args = ["-trace", "enable=usb_xhci_slot_address,file=" + h.path(d, "trace.log")]
    for a in adapters(d):
        os.makedirs(a.sim.d)
        settings = [x for k in FIELDS for x in ("--" + k, a.initial[k])]
        ready = h.start_sim(sim_path, a.sim.d,
                            ["--link", h.path(a.sim.d, "link"), "--id", a.id] + settings)
        if a.device["port"].startswith("3.") and HUB[1] not in args:
            args += HUB
        args += a.options(ready["pty"])
    return args


def pid_files(d):
    return [(os.path.relpath(p, d), h.SIM) for p in
            sorted(glob.glob(h.path(d, "units", "*", "sim.pid")))]


# ---- the guest ----------------------------------------------------------------------------

SYSFS_LINE = re.compile(r"^(ttyUSB\d+) (\S+) (\S*)$")


def guest_ports(guest, want, timeout=60):
    """{sysfs place: (tty, USB serial)} of the guest's ttyUSB ports, once they are at the
    places `want`, no more, no fewer."""
    command = ('for t in /sys/class/tty/ttyUSB*; do [ -e "$t/device" ] || continue; '
               'u=$(readlink -f "$t/device/../.."); '
               'echo "${t##*/} ${u##*/} $(cat "$u/serial")"; done')
    found = {}

    def at_places():
        matches = [SYSFS_LINE.match(l.strip()) for l in guest.run(command)[1].splitlines()]
        found.clear()
        found.update((m.group(2), (m.group(1), m.group(3))) for m in matches if m)
        return set(found) == set(want)
    h.poll(at_places, timeout, 0.2, lambda: "the guest's ttyUSB ports are at %s, expected %s"
           % (sorted(found), sorted(want)))
    return found


def wait_adapters(guest):
    """Once the guest is up: every adapter has its tty (so that no driver's probe of a
    late one falls into the first checks), and ttyUSB0 is the one on xhci port 1."""
    ports = guest_ports(guest, ["1-1"] + [a[2] for a in ADAPTERS])
    if ports["1-1"][0] != "ttyUSB0":
        raise h.Failure("the adapter at 1-1 is %s, not ttyUSB0: %s" % (ports["1-1"][0], ports))


def put_file(guest, name, text):
    data = base64.b64encode(text.encode()).decode()
    guest.must("echo %s | base64 -d > %s" % (data, name), "cannot write %s in the guest" % name)


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


def check_stores(a, after, problems):
    """The simulator stored exactly what its unit wrote (key included), once, or nothing
    for a read."""
    stores = [{k: e[k] for k in FIELDS} for e in stored(a.sim, a.start)]
    if after is None:
        if stores:
            problems.append("adapter %s: a read stored %s" % (a.name, stores))
        return
    if stores != [after]:
        problems.append("adapter %s: stored %s, expected %s once" % (a.name, stores, after))


def check_opens(d, opens, since, until, problems):
    """Each adapter opened as often as `opens[place]` allows (a number or a range), DTR and
    RTS raised only by the kernel's open and lowered again by its unit (the control
    requests to the device on its QEMU port); returns the raise-to-lower times in ms."""
    lengths = []
    for place, count in opens.items():
        requests = h.control_requests(d, since, until, port=place.split("-", 1)[1])
        # Three opens at once on the guest's one processor: the kernel's raise may come a
        # while after its line settings. A raise of the tool's own would still show in the
        # count of raises.
        pulses = h.modem_pulses(requests, open_window=1.0)
        problems += h.pulse_problems(pulses, count if isinstance(count, range) else (count,),
                                     place + ": ")
        lengths += [length * 1000 for _, length, _ in pulses if length is not None]
    return lengths


def check_summary(units, summary, ok, problems):
    if len(units) != ok or summary != {"ok": ok, "failed": 0, "seconds": summary.get("seconds")}:
        problems.append("%d units, summary %s; expected %d ok" % (len(units), summary, ok))


def check_adapter(units, ports, a, line, row, problems, attempts=(1,)):
    """The report line of adapter `a`'s unit for the plan row `row` on line `line`, and
    what its simulator stored."""
    _, action, fields, label = row
    after = wanted(a.before, action, fields)
    check_unit(units, ports[a.place][0], {
        "label": label, "usb_serial": a.serial, "action": action, "line": line, "id": a.id},
        a.before, after, problems, attempts)
    check_stores(a, after, problems)


def finish(problems, what):
    h.fail_on(problems)
    print(what)


# ---- the checks ----------------------------------------------------------------------------

def plan_text(rows):
    lines = ["port,action,ssid,key,security,endpoint,label"]
    for port, action, fields, label in rows:
        cells = [port, action] + [fields.get(k, "") for k in FIELDS] + [label]
        lines.append(",".join('"%s"' % c if "," in c else c for c in cells))
    return "\n".join(lines) + "\n"


def check_plan(d, guest, sim, rows, by_place, what, options="", key=None):
    """Runs the plan `rows` ((port, action, fields, label), each naming one or more
    places in `by_place[index]`) once every adapter is there, and checks the report
    line of each unit, what each simulator stored and how often each adapter was
    opened (the first adapter included: a plan that does not name it leaves it shut)."""
    first, line_units = first_adapter(sim), adapters(d)
    units_of = {a.place: a.mark() for a in [first] + line_units}
    ports = guest_ports(guest, list(units_of))
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
            (tty, serial), a = ports[place], units_of[place]
            after_of[place] = wanted(a.before, action, given)
            check_unit(units, tty, {
                "label": label, "usb_serial": serial, "action": action, "line": line,
                "message": "", "id": a.id}, a.before, after_of[place], problems)
    extra = set(units) - {ports[p][0] for p in after_of}
    if extra:
        problems.append("report lines for ports the plan does not name: %s" % sorted(extra))
    check_summary(units, summary, len(after_of), problems)
    for a in line_units:
        check_stores(a, after_of.get(a.place), problems)
    first_rx = [l for l in sim.lines()[first.start:] if '"dir":"rx"' in l]
    if "1-1" not in after_of and first_rx:
        problems.append("the first adapter, named by no row, got %d frames" % len(first_rx))
    if "1-1" in after_of and after_of["1-1"] is not None:
        problems.append("a plan may only read the first adapter")
    lengths = check_opens(d, {p: int(p in after_of) for p in ports}, since, until,
                          problems)
    if key is not None and key in json.dumps(units):
        problems.append("the key of the key file is in the report")
    finish(problems, "%s%d units, exact, in %.1f s (batch's own %.2f s); each adapter opened "
           "once, DTR/RTS high %s ms" % (what, len(after_of), until - since,
                                         summary.get("seconds", 0),
                                         ", ".join("%.1f" % x for x in sorted(lengths))))


def check_serial(d, guest, sim):
    """A plan naming each unit by its adapter's USB serial number, out of the ports'
    order: write (the key from a key file), auto and read."""
    rows = [("serial=ZV1D0004", "write", {"ssid": "line-d", "security": "WPA2",
                                          "endpoint": "10.4.0.1,6000"}, "unit-d"),
            ("serial=ZV1B0002", "auto", {}, "unit-b"),
            ("serial=ZV1C0003", "read", {}, "unit-c")]
    check_plan(d, guest, sim, rows, [["1-3.2"], ["1-2"], ["1-3.1"]], "by serial=: ",
               key="kf-%d" % os.getpid())


def check_location(d, guest, sim):
    """A plan naming units by their sysfs place (one behind the hub), and `*` for every
    other present port: the first adapter and the hub's other one, but none of the
    guest's 8250 UARTs (one of them carries the harness's own commands)."""
    rows = [("location=1-3.2", "write", {"ssid": "slot-3.2", "key": "k-3.2", "security": "WPA",
                                         "endpoint": "10.3.2.1,7000"}, "slot-3.2"),
            ("location=1-2", "auto", {"endpoint": "10.1.2.1,4000"}, "slot-2"),
            ("*", "read", {}, "rest")]
    check_plan(d, guest, sim, rows, [["1-3.2"], ["1-2"], ["1-1", "1-3.1"]],
               "by location= and *: ")


def check_replug(d, guest, sim):
    """Adapter C pulled through QEMU's monitor in the middle of an answer of its read and
    plugged back a second later, while B and D run: all three end exact, C's report line
    says how many attempts it took."""
    units_of = {a.name: a.mark() for a in adapters(d)}
    c = units_of["C"]
    ports = guest_ports(guest, ["1-1"] + [a.place for a in units_of.values()])
    rows = [("serial=ZV1B0002", "auto", {}, "b"),
            ("serial=ZV1C0003", "write", {"ssid": "pulled", "key": "k-pulled",
                                          "security": "WPA2", "endpoint": "10.3.1.9,5555"}, "c"),
            ("serial=ZV1D0004", "auto", {"endpoint": "10.4.4.9,4000"}, "d")]
    out_seconds = 1.0
    qmp = h.Qmp(d)
    try:
        cut, since, _, _ = h.pull_in_answer(
            qmp, c, lambda: start_batch(guest, plan_text(rows), ""), 145, out_seconds, timeout=90)
        rc, units, summary = batch_report(guest, 120)
        until = time.time()
    finally:
        c.sim.command("cut off")
        qmp.close()
    problems = []
    for line, row in enumerate(rows, start=2):
        a = units_of[row[3].upper()]
        check_adapter(units, ports, a, line, row, problems, (1, 2) if a is c else (1,))
    check_summary(units, summary, 3, problems)
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
    qmp = h.Qmp(d)
    try:
        for a in units_of.values():
            qmp.unplug(a)
        guest_ports(guest, ["1-1"])
        first = first_adapter(sim).mark()
        for a in units_of.values():
            a.mark()
        rows = [("ttyUSB0", "read", {}, "bench"),
                ("serial=ZV1C0003", "write", {"ssid": "named", "key": "k-named",
                                              "security": "WPA2", "endpoint": "10.3.3.3,3000"},
                 "named"),
                ("*", "auto", {"endpoint": "10.7.7.7,7000"}, "line")]
        since = time.time()
        start_batch(guest, plan_text(rows), "--watch --count 4")
        waits = []
        for a in units_of.values():  # B, C, D
            t = time.time()
            qmp.plug(a)
            a.sim.wait_line(['"event":"stored"'], 90, a.start)
            waits.append(time.time() - t)
        rc, units, summary = batch_report(guest, 120)
        until = time.time()
    finally:
        qmp.close()
    ports = guest_ports(guest, ["1-1"] + [a.place for a in units_of.values()])
    problems = []
    check_unit(units, ports["1-1"][0], {"label": "bench", "action": "read", "line": 2,
                                        "id": first.id}, first.before, None, problems)
    for a in units_of.values():
        line = 3 if a.name == "C" else 4
        check_adapter(units, ports, a, line, rows[line - 2], problems)
    check_summary(units, summary, 4, problems)
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

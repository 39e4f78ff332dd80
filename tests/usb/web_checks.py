"""The built page in the guest's own Chromium on the guest's real /dev/ttyUSB0 (ftdi_sio),
no stand-in anywhere: Chromium's serial stack, the kernel's driver, QEMU's adapter and
zev1-sim at its far end.

usb.web.open starts one browser session in the guest (web_guest.mjs, left running) and
every later check drives that same browser and page: a command goes into the guest's
exchange folder through its command line, the answer comes back the same way. What each
check saw is kept in web.json in the run folder, for the checks that only read QEMU's
trace of it (usb.web.signals)."""

import json
import os
import re
import shlex
import time

import usb_guest as h

PORT = 8080
ORIGIN = "http://127.0.0.1:%d" % PORT
EXCHANGE = "/tmp/zev1-web"  # in the chroot; /host/tmp/zev1-web from the guest's root
GUEST_EXCHANGE = "/host" + EXCHANGE
START_TIMEOUT = 900
SET_DATA = 0x4004
BAUD_115200 = 0x1A  # the FTDI divisor of 3 MHz / 115200
DATA_8N1 = 0x0008
FLOW_LINE = re.compile(r"@(\d+\.\d+):usb_serial_set_flow_control .*flow control (\d+)")
CHROOT = "chroot /host /usr/bin/env HOME=/tmp SYSTEMD_IGNORE_CHROOT=1 "

# What the page shows, read in the page: the state line, the port list, the four fields,
# whether the progress window is up, the message boxes shown and the ports the browser
# grants (getInfo() of each).
SNAPSHOT = """(async () => {
  const q = (n) => document.querySelector(`[data-control="${n}"]`);
  const text = (n) => { const e = q(n); return !e ? null
      : e.tagName === 'SELECT' ? (e.selectedIndex >= 0 ? e.options[e.selectedIndex].text : '')
      : (e.tagName === 'INPUT' || e.tagName === 'TEXTAREA') ? e.value : e.textContent; };
  const list = q('com_number');
  const progress = document.querySelector('[data-window="progress"]');
  return {
    state: text('stav_portu'),
    items: list ? (list.options ? [...list.options].map((o) => o.text)
                                : (list.list ? [...list.list.options].map((o) => o.value) : [])) : [],
    ssid: text('wifi_SSID'), key: text('wifi_key'), security: text('wifi_security'),
    endpoint: text('wifi_IP'),
    progress: !!progress && !progress.hidden,
    boxes: [...document.querySelectorAll('[data-window="box"]')].filter((b) => !b.hidden)
        .map((b) => b.querySelector('[data-control="box_text"]').textContent),
    ports: navigator.serial ? (await navigator.serial.getPorts()).map((p) => p.getInfo()) : null,
    notes: q('txt') ? [...q('txt').children].map((l) => l.textContent)
        .filter((l) => /USB |serial port/.test(l)).slice(-8) : [],
  };
})()"""


def opened_with_controller():
    return "/ open +ZEV1-SIM$/.test(document.querySelector('[data-control=\"stav_portu\"]')" \
        "?.textContent || '')"


def fields_are(settings):
    return "(() => { const v = (n) => document.querySelector(`[data-control=\"${n}\"]`)?.value;" \
        " return v('wifi_SSID') === %s && v('wifi_key') === %s && v('wifi_IP') === %s; })()" % (
            json.dumps(settings["ssid"]), json.dumps(settings["key"]),
            json.dumps(settings["endpoint"]))


def web_paths():
    """The built page and Playwright, as the wasm variant leaves them in the source tree;
    None when either is missing (the usb variant alone builds neither)."""
    here = os.path.dirname(os.path.abspath(__file__))
    source = os.path.dirname(os.path.dirname(here))
    page = os.environ.get("ZEV1_WEB_PAGE", os.path.join(source, "build-wasm", "web"))
    modules = os.path.join(source, "tests", "web", "node_modules")
    if not os.path.exists(os.path.join(page, "zev1-wifi-config.wasm")) or \
            not os.path.isdir(os.path.join(modules, "playwright-core")):
        return None
    return os.path.join(here, "web_guest.mjs"), page, modules


def bind_host_paths(guest, paths):
    """The chroot's /tmp and /run are the guest's own (guest_init.sh); a path of the host's
    under either, a fresh clone in /tmp say, is bound back in from where the guest keeps
    the host's own."""
    for p in paths:
        parts = os.path.realpath(p).split(os.sep)
        if len(parts) < 3 or parts[1] not in ("tmp", "run"):
            continue
        inside = "/host/%s/%s" % (parts[1], parts[2])
        guest.must("grep -q ' %s ' /proc/mounts || { mkdir -p %s && mount -o bind /host-%s/%s %s; }"
                   % (inside, inside, parts[1], parts[2], inside),
                   "cannot show the host's %s in the guest" % "/".join(parts[:3]))


def skipped():
    print("SKIP: no built page (build-wasm/web) or no Playwright (tests/web/node_modules); "
          "the wasm variant makes both")
    return 77


# ---- the record of what the checks saw ----------------------------------------------------

def load(d, section):
    data = h.load_json(h.path(d, "web.json"))
    if section not in data:
        raise h.Failure("no record of usb.web.%s (it did not run or failed early)" % section)
    return data[section]


def keep(d, section, record):
    h.keep_json(h.path(d, "web.json"), section, record)


# ---- the browser session in the guest -------------------------------------------------------

class Browser:
    def __init__(self, guest):
        self.guest = guest

    def answer(self, name, timeout):
        def reply():
            out = self.answered(name)
            if out:
                self.guest.run("rm -f %s/out-%s" % (GUEST_EXCHANGE, name))
                return json.loads(out)
            rc, _, _ = self.guest.run("p=$(cat %s/node.pid 2>/dev/null) || exit 0; kill -0 $p"
                                      % GUEST_EXCHANGE)
            if rc != 0 and not self.answered(name):
                raise h.Failure("the browser's session ended without an answer to %s "
                                "(its log: %s)" % (name, self.log_tail()))
        return h.poll(reply, timeout, 0.3, lambda: "the browser gave no answer to %s within "
                      "%.0f s (its log: %s)" % (name, timeout, self.log_tail()))

    def answered(self, name):
        rc, out, _ = self.guest.run("cat %s/out-%s 2>/dev/null" % (GUEST_EXCHANGE, name))
        return out if rc == 0 else ""

    def log_tail(self):
        _, out, _ = self.guest.run("tail -n 5 %s/node.log %s/console.log 2>/dev/null"
                                   % (GUEST_EXCHANGE, GUEST_EXCHANGE))
        return out.strip()[-800:]

    def __call__(self, do, timeout=120, **arguments):
        """Carries out one command in the page; its value. A command that failed there
        fails the check with what the page showed."""
        name = "%d-%d" % (time.time_ns(), os.getpid())
        command = json.dumps(dict(arguments, do=do, timeout=timeout))
        self.guest.must("printf %%s %s > %s/in.tmp && mv %s/in.tmp %s/in-%s"
                        % (shlex.quote(command), GUEST_EXCHANGE, GUEST_EXCHANGE, GUEST_EXCHANGE,
                           name), "cannot hand the browser a command")
        reply = self.answer(name, timeout + 60)
        if not reply.get("ok"):
            shown = ""
            if do != "eval":
                try:
                    shown = "; the page shows %s" % self.snapshot()
                except h.Failure as e:
                    shown = "; %s" % e
            raise h.Failure("in the browser, %s: %s%s" % (do, reply.get("error"), shown))
        return reply["value"]

    def snapshot(self):
        return self("eval", js=SNAPSHOT)

    def wait(self, js, timeout):
        return self("wait", js=js, timeout=timeout)

    def clear_fields(self):
        for control in ("wifi_SSID", "wifi_key", "wifi_IP"):
            self("fill", control=control, text="")


def session(guest, opened=True):
    """The browser that usb.web.open started (with `opened`, once the page has the
    controller's port open), or a failure saying it is not there."""
    guest.must("test -e %s/started" % GUEST_EXCHANGE,
               "no browser in the guest (usb.web.open did not start it)")
    browser = Browser(guest)
    if opened:
        browser.wait(opened_with_controller(), 120)
    return browser


def modem_requests(d, since, until):
    """Every vendor request to the adapter in [since, until] (resets, modem lines, line
    settings): each open of the device sends some, and so does a close."""
    return [(t, r, v) for t, r, v in h.control_requests(d, since, until) if r >> 8 == 0x40]


def check_line(d, since, until, opens, record=None):
    """The line set by the page at every open in [since, until]: 115200 8N1 without flow
    control once it lowers DTR/RTS, and after that; DTR/RTS raised only by the kernel's
    open, `opens` times, and lowered by the page."""
    flows = [(float(t), "flow", int(v))
             for t, v in FLOW_LINE.findall(h.read_text(h.path(d, "trace.log")))]
    requests = sorted(h.control_requests(d, since, until) +
                      [r for r in flows if since <= r[0] <= until], key=lambda r: r[0])
    pulses = h.modem_pulses([r for r in requests if r[1] != "flow"], open_window=1.0)
    # The kernel's open applies the tty's previous settings (at the first open its
    # defaults, 9600 with XON/XOFF) before Chromium's own; what counts is the line as it
    # stands when the page lowers DTR/RTS, and every setting after that.
    wanted = {h.SET_BAUD: BAUD_115200, SET_DATA: DATA_8N1, "flow": 0}
    problems = []
    for raised, length, _ in pulses:
        if length is None:
            continue
        lowered = raised + length
        state = {}
        for t, request, value in requests:
            if request in wanted and (t <= lowered or value != wanted[request]):
                state[request] = value
        for request, value in wanted.items():
            if state.get(request) != value:
                problems.append("at the page's lower of DTR/RTS (%.3f) %s is %s, expected %s"
                                % (lowered, request if request == "flow" else hex(request),
                                   state.get(request), value))
    h.fail_on(problems)
    return h.check_pulses(d, since, until, opens, open_window=1.0, record=record)


# ---- the checks ------------------------------------------------------------------------------

def start_udev(guest):
    """udev in the chroot, as a desktop runs it: its database gives Chromium the adapter's
    USB ids, and its events tell Chromium of an adapter plugged in or pulled. Only the
    adapter's tty is announced again (the guest's other devices need nothing). Whether
    the ids are there afterwards. ZEV1_USB_WEB_UDEV=0 leaves udev out, as on a machine
    without it."""
    if os.environ.get("ZEV1_USB_WEB_UDEV") == "0":
        print("udev left out (ZEV1_USB_WEB_UDEV=0): the port has no USB ids")
        return False
    rc, _, err = guest.run(CHROOT + "/lib/systemd/systemd-udevd --daemon --resolve-names=never "
                           ">/dev/null 2>&1")
    if rc != 0:
        print("udev does not run in the guest (%s): the port has no USB ids" % err.strip())
        return False
    out = ""
    for _ in range(60):
        # Again until udev has taken it: the daemon may not listen yet at the first.
        guest.run("echo add > /sys/class/tty/ttyUSB0/uevent")
        time.sleep(1)
        rc, out, _ = guest.run(CHROOT + "udevadm info -q property -n /dev/ttyUSB0")
        if "ID_MODEL_ID=" in out:
            return True
    print("udev gave ttyUSB0 no USB ids: %s" % out.strip()[-300:])
    return False


def check_open(d, guest, sim):
    """Starts the browser session, then two visits of the page in one profile: the
    guest's ttyUSB0 is listed (the policy grants it to the page's origin without a
    chooser), opened on the first visit by a choice in the list and by itself on the
    second."""
    script, page, modules = paths = web_paths()
    began = time.time()
    policy = json.dumps({"SerialAllowAllPortsForUrls": [ORIGIN]})
    guest.must("mkdir -p /host/etc/chromium/policies/managed && echo '%s' > "
               "/host/etc/chromium/policies/managed/zev1.json" % policy,
               "no host root in the guest")
    # Chromium lists every tty of a serial driver that sysfs shows, and opens the ports in
    # whatever order it found them; the guest's 8250 ports (its console, the harness's own
    # command line and two unused ones) are hidden from the chroot's /sys/class/tty, so the
    # page sees the adapter alone.
    guest.must("umount /host/sys/class/tty 2>/dev/null; "
               "mount -t tmpfs tmpfs /host/sys/class/tty && "
               "ln -s $(readlink /sys/class/tty/ttyUSB0) /host/sys/class/tty/ttyUSB0",
               "cannot hide the guest's other serial ports")
    bind_host_paths(guest, paths)
    udev = start_udev(guest)
    udev_ready = time.time()
    guest.must(
        "p=$(cat {x}/node.pid 2>/dev/null); [ -z \"$p\" ] || {{ kill $p; "
        "while kill -0 $p 2>/dev/null; do sleep 0.2; done; }}; rm -rf {x} && mkdir -p {x} && "
        "({c}/bin/sh -c 'echo $$ > {e}/node.pid && cd /tmp && exec node {s} {p} {m} {n} {e}' "
        "</dev/null >{x}/node.log 2>&1 &) && touch {x}/started".format(
            x=GUEST_EXCHANGE, c=CHROOT, s=script, p=page, m=modules, n=PORT, e=EXCHANGE),
        "cannot start the browser")
    browser = Browser(guest)
    reply = browser.answer("start", START_TIMEOUT)
    if not reply.get("ok"):
        raise h.Failure("Chromium did not start: %s" % reply.get("error"))
    started = time.time()
    since = time.time()
    browser("goto", timeout=600)
    loaded = time.time()
    listed = browser.wait("(async () => { const l = document.querySelector("
                          "'[data-control=\"com_number\"]'); return l && l.options && "
                          "l.options.length > 0 && (await navigator.serial.getPorts())"
                          ".map((p) => p.getInfo()); })()", 300)
    first_seen = browser.snapshot()
    browser("choose", control="com_number", index=0)
    browser.wait(opened_with_controller(), 300)
    first = browser.snapshot()
    first_open = time.time()
    browser("reload", timeout=600)
    reloaded = time.time()
    browser.wait(opened_with_controller(), 300)
    second = browser.snapshot()
    until = time.time()
    times = {"udev": round(udev_ready - began, 1), "browser": round(started - udev_ready, 1),
             "page": round(loaded - since, 1), "first_open": round(first_open - loaded, 1),
             "reload": round(reloaded - first_open, 1), "second_open": round(until - reloaded, 1)}
    keep(d, "open", {"since": since, "until": until, "udev": udev, "listed": listed,
                     "names": first_seen["items"], "first": first["state"],
                     "second": second["state"], "times": times})
    if len(listed) != 1:
        raise h.Failure("navigator.serial.getPorts() listed %s, expected the adapter alone"
                        % listed)
    if second["items"] != first_seen["items"]:
        raise h.Failure("the port list was %s, after the reload %s"
                        % (first_seen["items"], second["items"]))
    print("listed %s as %s; first visit, chosen: %r; second, by itself: %r; seconds: %s"
          % (listed, first_seen["items"], first["state"], second["state"], times))


def check_signals(d):
    """QEMU's record of what Chromium and ftdi_sio asked of the adapter during the two
    visits: 115200 8N1, no flow control, and DTR/RTS raised only by the kernel's open and
    lowered again by the page."""
    seen = load(d, "open")
    pulses = check_line(d, seen["since"], seen["until"], range(2, 20), record="web")
    print("115200 8N1, no flow control once the page set the line; %d opens, DTR/RTS high "
          "%s ms from the kernel's raise to the page's lower" % (len(pulses), h.ms(pulses)))


def check_name(d, guest, sim):
    """The port's name in the page: udev's USB ids where udev runs (USB 0403:6001, as the
    adapter's sysfs says), a numbered serial port without them."""
    seen = load(d, "open")
    now = session(guest, opened=False).snapshot()
    ids = {k: int(v, 16) for k, v in h.usb_attributes(guest, ("idVendor", "idProduct")).items()}
    if seen["udev"]:
        info = {"usbVendorId": ids["idVendor"], "usbProductId": ids["idProduct"]}
        name = "USB %04x:%04x" % (ids["idVendor"], ids["idProduct"])
    else:
        info, name = {}, "serial port 1"
    for when, ports, items, state in (("first visit", seen["listed"], seen["names"],
                                       seen["second"]),
                                      ("now", now["ports"], now["items"], now["state"])):
        if ports != [info]:
            raise h.Failure("%s: getPorts() gives %s, expected %s" % (when, ports, [info]))
        if items != [name] or not state.startswith(name + " "):
            raise h.Failure("%s: the port list holds %s and the state line says %r, expected "
                            "the port named %r" % (when, items, state, name))
    print("the port is %r (getInfo() %s; udev %s)" % (name, info,
                                                      "runs" if seen["udev"] else "does not run"))


def check_read_auto(d, guest, sim):
    """A read fills the four fields with the controller's settings; the automatic setting
    sends one settings frame with them and the default endpoint, which the controller
    stores; the port is not opened again meanwhile."""
    browser = session(guest)
    browser.clear_fields()
    start = len(sim.lines())
    since = time.time()
    browser("click", control="btn_config_cti_jer")
    browser.wait(fields_are(h.EXPECTED), 600)
    read_done = time.time()
    got = browser.snapshot()
    requests = len(sim.frames("rx", 5, start))
    shown = {k: got[k] for k in ("ssid", "key", "security", "endpoint")}
    wanted = {k: h.EXPECTED[k] for k in shown}
    if shown != wanted or got["boxes"]:
        raise h.Failure("the read shows %s and boxes %s, the simulator holds %s"
                        % (shown, got["boxes"], wanted))

    start_auto = len(sim.lines())
    auto_since = time.time()
    browser.wait("!document.querySelector('[data-window=\"progress\"]') || "
                 "document.querySelector('[data-window=\"progress\"]').hidden", 60)
    browser("click", control="btn_automatic_set")
    stored = json.loads(sim.wait_line(['"event":"stored"', '"what":"wifi"'], 600, start_auto))
    auto_done = time.time()
    time.sleep(1.0)  # a second settings frame would come at once
    after = browser.snapshot()
    writes = len(sim.frames("rx", 100, start_auto))
    # The simulator's endpoint back, for the checks that follow (a write of the field).
    browser("fill", control="wifi_IP", text=h.ENDPOINT)
    start_back = len(sim.lines())
    browser("click", control="btn_wifi_write")
    sim.wait_line(['"event":"stored"', h.ENDPOINT], 300, start_back)
    until = time.time()
    written = {k: stored.get(k) for k in ("ssid", "key", "security", "endpoint")}
    want = dict(wanted, endpoint=after["endpoint"])
    problems = []
    if writes != 1:
        problems.append("the automatic setting sent %d settings frames, expected one" % writes)
    if written != want or after["endpoint"] == h.ENDPOINT:
        problems.append("the controller stored %s, the page shows %s" % (written, after))
    if after["boxes"]:
        problems.append("message boxes: %s" % after["boxes"])
    h.fail_on(problems)
    check_line(d, since, until, [0])
    keep(d, "read_auto", {"read_s": round(read_done - since, 1), "requests": requests,
                          "auto_s": round(auto_done - auto_since, 1), "stored": written})
    print("read exact in %.1f s (%d block requests, %.1f s on the wire), the automatic setting "
          "stored %s after %.1f s with one settings frame; no open of the device meanwhile"
          % (read_done - since, requests, requests * 326 * 10 / 115200.0, written,
             auto_done - auto_since))


def tty_holders(guest):
    """The guest's processes holding ttyUSB0 open, with their descriptors for it."""
    # One listing: a readlink for each of Chromium's descriptors takes minutes under
    # emulation. Seen from the guest's root, the chroot's device is /host/dev/ttyUSB0.
    _, out, _ = guest.run("ls -l /proc/[0-9]*/fd/* 2>/dev/null | grep -F ttyUSB0", 180)
    return sorted(re.findall(r"(/proc/\d+/fd/\d+) -> (?:/host)?/dev/ttyUSB0$", out, re.M))


def check_silent(d, guest, sim):
    """A controller that stops answering for several of the watchdog's periods: the page
    keeps asking, the device stays open in Chromium (the same descriptor throughout, and
    the adapter gets no request at all: no reset, no modem lines, no line settings, which
    every open and close of the tty sends), and the link takes the controller back."""
    browser = session(guest)
    holders = tty_holders(guest)
    start = len(sim.lines())
    since = time.time()
    try:
        sim.command_done("silent on")
        browser.wait("!/ZEV1-SIM/.test(document.querySelector('[data-control=\"stav_portu\"]')"
                     ".textContent)", 120)
        closed = time.time()
        closed_at = len(sim.lines())
        h.poll(lambda: len(sim.frames("rx", 3, closed_at)) >= 6, 240, 0.5,
               lambda: "the page asked %d times in 240 s after the watchdog's close"
               % len(sim.frames("rx", 3, closed_at)))
        asked = time.time()
        during = tty_holders(guest)
    finally:
        sim.command("silent off")
    browser.wait(opened_with_controller(), 120)
    until = time.time()
    requests = modem_requests(d, since, until)
    echoes = len(sim.frames("rx", 3, start))
    problems = []
    if requests:
        problems.append("the adapter got %s (an open or close of the device)" % requests)
    if len(holders) != 1 or during != holders or tty_holders(guest) != holders:
        problems.append("ttyUSB0 held by %s before, %s while silent, %s after"
                        % (holders, during, tty_holders(guest)))
    h.fail_on(problems)
    keep(d, "silent", {"silent_s": round(asked - since, 1), "echoes": echoes})
    print("silent for %.1f s (the watchdog closed the link after %.1f s), %d keep-alive "
          "requests, ttyUSB0 held by %s throughout, no request to the adapter"
          % (asked - since, closed - since, echoes, holders[0]))


def check_replug(d, guest, sim, at=145, out_seconds=1.0, answer=20):
    """The adapter pulled once the simulator has sent `at` bytes of the answer to the
    `answer`-th block read, plugged back `out_seconds` later: the page says the port is
    no longer open, opens the replugged one by itself, and the read (or, when the pull
    ended it, the next one) finishes with the exact settings."""
    browser = session(guest)
    name = browser.snapshot()["items"][0]
    browser.clear_fields()
    qmp, adapter = h.Qmp(d), h.Adapter(sim)
    try:
        sim.command_done("cut 6 %d %d mute %d" % (answer, at, int((out_seconds + 0.1) * 1000)))
        start = len(sim.lines())
        since = time.time()
        browser("click", control="btn_config_cti_jer")
        cut = json.loads(sim.wait_line(['"event":"cut"'], 600, start))
        time.sleep(0.1)
        qmp.unplug(adapter)
        pulled = time.time()
        lost = browser.wait("(() => { const s = document.querySelector("
                            "'[data-control=\"stav_portu\"]').textContent; "
                            "return !/ open/.test(s) && s; })()", 120)
        seen_lost = time.time()
        time.sleep(max(0.0, out_seconds - (seen_lost - pulled)))
        qmp.plug(adapter)
        plugged = time.time()
        browser.wait(opened_with_controller(), 300)
        reopened = time.time()
        browser.wait("document.querySelector('[data-window=\"progress\"]').hidden", 300)
        first = browser.snapshot()
        again = False
        if first["ssid"] != h.SSID:
            again = True
            for _ in first["boxes"]:
                browser("eval", js="document.querySelector('[data-window=\"box\"]:not([hidden]) "
                                   "[data-control=\"box_ok\"]').click()")
            browser("click", control="btn_config_cti_jer")
        browser.wait(fields_are(h.EXPECTED), 600)
        until = time.time()
        got = browser.snapshot()
    finally:
        sim.command("cut off")
        qmp.close()  # plugs the adapter back if it is still out
    problems = []
    if not lost.startswith(name + " "):
        problems.append("while pulled the state line said %r, which does not name %r"
                        % (lost, name))
    if got["items"] != [name] or len(got["ports"]) != 1:
        problems.append("after the replug the list holds %s, the browser grants %s"
                        % (got["items"], got["ports"]))
    if got["boxes"]:
        problems.append("message boxes after the read: %s" % got["boxes"])
    h.fail_on(problems)
    pulses = check_line(d, since, until, [1])
    keep(d, "replug", {"lost": lost, "first_read": first, "read_again": again,
                       "seen_lost_s": round(seen_lost - pulled, 1),
                       "reopened_s": round(reopened - plugged, 1)})
    print("pulled at byte %d of %d; the page said %r after %.1f s; plugged back after %.1f s, "
          "opened by itself %.1f s later (DTR/RTS high %.1f ms); %s read exact"
          % (cut["at"], cut["len"], lost, seen_lost - pulled, plugged - pulled,
             reopened - plugged, pulses[0][1] * 1000,
             "the next" if again else "the interrupted"))


CHECKS = {
    "web_open": check_open,
    "web_name": check_name,
    "web_read_auto": check_read_auto,
    "web_silent": check_silent,
    "web_replug": check_replug,
}

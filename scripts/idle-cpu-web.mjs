// What the browser configurator costs while it sits connected to an idle controller: the
// built page in headless Chromium (Debian's), its port the simulator's link through the
// stand-in for navigator.serial, and the CPU time of the browser's process tree over N
// seconds, by kind of process, measured in the one browser: the page connected (idle
// ticks let pass), the page connected with every tick run, the stand-in alone carrying
// the same keep-alives (a page of a few lines that writes the page's keep-alive as often
// and reads the answers: what the test rig costs, which a real port does not), that page
// showing how many answers came in one read-only field (what showing each frame costs any
// page, as the frame counter does), and a blank page.
//   node scripts/idle-cpu-web.mjs --root build-wasm/web --link PATH [--seconds 20]
// Called by scripts/idle-cpu.sh --web, which starts the simulator. The browser is driven
// over its DevTools pipe with nothing enabled while it is measured (a driver such as
// Playwright follows every request and event-stream message, which costs the browser as
// much as the page itself). The bridge (tests/web/serial_bridge.mjs) runs in this script's
// own process, which is not counted. ZEV1_IDLE_DEBUG=1 also prints, before the figures,
// the page's runs and ticks, what the program asked of its controls and the DOM changes
// over 3 s, where its script time goes (V8's profiler) and the renderer's own counts and
// the figures by thread.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import process from 'node:process';
import { pipeBrowser, removeProfile } from '../tests/web/browser.mjs';
import { option } from '../tests/web/options.mjs';
import { startBridge } from '../tests/web/serial_bridge.mjs';

const root = option('--root', 'build-wasm/web');
const link = option('--link', '');
const seconds = Number(option('--seconds', '20'));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const debug = !!process.env.ZEV1_IDLE_DEBUG;
const tck = 100; // clock ticks a second in /proc/PID/stat (Linux's USER_HZ)

// --- the browser's processes ------------------------------------------------------------

// Every process whose ancestry leads to pid, with pid itself.
function tree(pid) {
    const parent = new Map();
    for (const entry of fs.readdirSync('/proc')) {
        if (!/^\d+$/.test(entry)) continue;
        try {
            const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
            parent.set(Number(entry), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
        } catch { /* gone meanwhile */ }
    }
    const out = [pid];
    for (let grew = true; grew;) {
        grew = false;
        for (const [p, pp] of parent) {
            if (out.includes(pp) && !out.includes(p)) {
                out.push(p);
                grew = true;
            }
        }
    }
    return out;
}
// A process's kind from its command line: renderer, gpu-process, the network and storage
// services (utility), zygote; the browser itself has no --type. (Chromium puts a helper's
// whole command line into its first argument, joined with spaces.)
function kind(pid) {
    try {
        const cmd = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split(/[\0 ]/);
        const type = cmd.find((a) => a.startsWith('--type='))?.slice(7) ?? 'browser';
        const sub = cmd.find((a) => a.startsWith('--utility-sub-type='))?.slice(19);
        return sub ? `utility ${sub.replace(/\.mojom\..*$/, '')}` : type;
    } catch {
        return 'gone';
    }
}
// utime + stime in clock ticks of every process of the tree (threads: of every thread),
// keyed by pid (pid/tid), with the kind it is counted under.
function cpuTicks(pid, threads) {
    const out = new Map();
    const read = (file) => {
        const stat = fs.readFileSync(file, 'utf8');
        const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
        return { name: stat.slice(stat.indexOf('(') + 1, stat.lastIndexOf(')')), ticks: Number(f[11]) + Number(f[12]) };
    };
    for (const p of tree(pid)) {
        const k = kind(p);
        try {
            if (!threads) {
                out.set(`${p}`, { kind: k, ticks: read(`/proc/${p}/stat`).ticks });
                continue;
            }
            for (const t of fs.readdirSync(`/proc/${p}/task`)) {
                const { name, ticks } = read(`/proc/${p}/task/${t}/stat`);
                out.set(`${p}/${t}`, { kind: `${k} ${name}`, ticks });
            }
        } catch { /* gone meanwhile */ }
    }
    return out;
}
// What was spent between two readings, by kind (of the processes alive at the end; one
// that started meanwhile counts whole).
function spent(before, after) {
    const byKind = new Map();
    let total = 0;
    for (const [key, { kind: k, ticks }] of after) {
        const t = ticks - (before.get(key)?.ticks ?? 0);
        byKind.set(k, (byKind.get(k) ?? 0) + t);
        total += t;
    }
    return { total, byKind: [...byKind].filter(([, t]) => t > 0).sort((a, b) => b[1] - a[1]) };
}

// --- the browser over its DevTools pipe --------------------------------------------------

const browser = pipeBrowser(['--no-default-browser-check', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--disable-default-apps', '--disable-extensions',
    '--disable-breakpad', '--disable-field-trial-config', '--disable-client-side-phishing-detection',
    '--metrics-recording-only', '--password-store=basic',
    '--disable-features=Translate,MediaRouter,OptimizationHints', '--window-size=1280,900']);
let session;
const send = (method, params = {}) => browser.send(method, params, session);
// An expression's value in the page (a promise's once settled).
const evaluate = async (expression) => {
    const r = await send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
    if (r.exceptionDetails) throw new Error(`${expression.slice(0, 60)}: ${r.exceptionDetails.text}`);
    return r.result.value;
};
const waitFor = async (expression, ms) => {
    for (const end = Date.now() + ms; Date.now() < end; await sleep(100)) {
        if (await evaluate(expression).catch(() => false)) return;
    }
    const state = await evaluate(`JSON.stringify([location.href, document.querySelector("[data-control=stav_portu]")?.textContent, localStorage.getItem("zev1-wifi-config.INI"), navigator.serial && Zev1Serial.ports.length])`).catch((e) => e.message);
    throw new Error(`not so after ${ms} ms: ${expression} (${state})`);
};

async function measure(what) {
    await sleep(3000); // settle
    const t0 = cpuTicks(browser.pid, false);
    const h0 = debug ? cpuTicks(browser.pid, true) : null;
    const n0 = process.cpuUsage();
    const s0 = process.hrtime.bigint();
    await sleep(seconds * 1000);
    const t1 = cpuTicks(browser.pid, false);
    const h1 = debug ? cpuTicks(browser.pid, true) : null;
    const n1 = process.cpuUsage(n0);
    const wall = Number(process.hrtime.bigint() - s0) / 1e9;
    const { total, byKind } = spent(t0, t1);
    const share = (t) => (100 * t) / tck / wall;
    const list = (parts) => parts.map(([k, t]) => `${k} ${share(t).toFixed(2)} %`).join(', ');
    console.log(`idle-cpu-web: ${what}: cpu ${(total / tck).toFixed(2)} s over ${wall.toFixed(1)} s, ` +
        `${share(total).toFixed(2)} %`);
    console.log(`idle-cpu-web:   by process: ${list(byKind)}`);
    if (debug) {
        console.log(`idle-cpu-web:   by thread: ${list(spent(h0, h1).byKind.slice(0, 12))}`);
        console.log(`idle-cpu-web:   the bridge (node, not counted): ${((n1.user + n1.system) / 1e4 / wall).toFixed(2)} %`);
    }
    return { percent: share(total), byKind: new Map(byKind.map(([k, t]) => [k, share(t)])) };
}

// --- what ZEV1_IDLE_DEBUG adds -------------------------------------------------------------

// Each call of Zev1Page's view functions over 3 s, by function and control.
const countCalls = `new Promise((done) => {
    const calls = new Map();
    const names = ['setText', 'setChecked', 'place', 'setCaption', 'setHint', 'setName', 'clearItems',
        'setSuggestion', 'appendItem', 'setItemIndex', 'setVisible', 'setBar', 'appendLine',
        'dropFirstLines', 'messageBox', 'logAppend', 'portProblem', 'showMessages', 'saveSettings',
        'tickAfter'];
    const saved = names.map((n) => [n, Zev1Page[n]]);
    for (const [n, f] of saved) {
        Zev1Page[n] = function (...a) {
            const control = typeof a[1] === 'number' && this.windows[a[0]]?.spec.controls[a[1]]?.name;
            const key = control ? n + ' ' + control : n;
            calls.set(key, (calls.get(key) ?? 0) + 1);
            return f.apply(this, a);
        };
    }
    const [runs, ticks] = [Zev1Page.runs, Zev1Page.ticks];
    setTimeout(() => {
        for (const [n, f] of saved) Zev1Page[n] = f;
        done('in 3 s: runs ' + (Zev1Page.runs - runs) + ', ticks ' + (Zev1Page.ticks - ticks) +
            '; calls: ' + ([...calls].map(([k, c]) => k + ' ' + c).join(', ') || 'none'));
    }, 3000);
})`;
// The DOM changes over 3 s, by kind and control.
const countChanges = `new Promise((done) => {
    const seen = new Map();
    const observer = new MutationObserver((records) => {
        for (const r of records) {
            const target = r.target.nodeType === 1 ? r.target : r.target.parentElement;
            const name = target?.closest('[data-control]')?.dataset.control ?? target?.tagName;
            const key = r.type + (r.attributeName ? ' ' + r.attributeName : '') + ' ' + name;
            seen.set(key, (seen.get(key) ?? 0) + 1);
        }
    });
    observer.observe(document, { subtree: true, childList: true, attributes: true, characterData: true });
    setTimeout(() => {
        observer.disconnect();
        done('DOM changes in 3 s: ' + ([...seen].map(([k, n]) => k + ' ' + n).join(', ') || 'none'));
    }, 3000);
})`;
async function explain() {
    console.log(`idle-cpu-web: ${await evaluate(countCalls)}`);
    console.log(`idle-cpu-web: ${await evaluate(countChanges)}`);
    // Script time by function over 5 s (V8's sampling profiler; wall time, so a loaded
    // machine makes it longer) and the renderer's own counts.
    const counted = ['TaskDuration', 'ScriptDuration', 'RecalcStyleCount', 'LayoutCount'];
    const metrics = async () => Object.fromEntries((await send('Performance.getMetrics')).metrics
        .filter((m) => counted.includes(m.name)).map((m) => [m.name, m.value]));
    await send('Performance.enable');
    await send('Profiler.enable');
    await send('Profiler.setSamplingInterval', { interval: 200 });
    const m0 = await metrics();
    await send('Profiler.start');
    await sleep(5000);
    const { profile: p } = await send('Profiler.stop');
    const m1 = await metrics();
    await send('Profiler.disable');
    await send('Performance.disable');
    const per = (name) => (m1[name] - m0[name]) / 5;
    console.log(`idle-cpu-web: renderer per second: tasks ${(1000 * per('TaskDuration')).toFixed(1)} ms, ` +
        `script ${(1000 * per('ScriptDuration')).toFixed(1)} ms, style ${per('RecalcStyleCount').toFixed(1)}, ` +
        `layout ${per('LayoutCount').toFixed(1)}`);
    const dt = new Map();
    p.samples.forEach((s, i) => dt.set(s, (dt.get(s) ?? 0) + (p.timeDeltas[i] ?? 0)));
    const self = new Map();
    for (const n of p.nodes) {
        const f = n.callFrame;
        const name = `${f.functionName || '(anonymous)'} ${path.basename(f.url)}:${f.lineNumber + 1}`;
        self.set(name, (self.get(name) ?? 0) + (dt.get(n.id) ?? 0));
    }
    const top = [...self].filter(([k]) => !/^\((idle|program|root)\)/.test(k)).sort((a, b) => b[1] - a[1]);
    console.log(`idle-cpu-web: script self time in 5 s: ${top.slice(0, 12)
        .map(([k, t]) => `${k} ${(t / 1000).toFixed(1)} ms`).join(', ')}`);
}

// --- the stand-in alone ------------------------------------------------------------------

// A page that writes the keep-alive the page wrote, as often, and reads the answers; in a
// folder rig/ of its own, which the page's service worker leaves to the network. With
// field, it also shows how many answers came in one read-only field, as the page's frame
// counter does: the least a page that shows each frame can cost over this stand-in.
function rigPage(bytes, every) {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'zev1-idle-rig-'));
    for (const [name, field] of [['rig', false], ['field', true]]) {
        fs.mkdirSync(path.join(folder, name));
        fs.writeFileSync(path.join(folder, name, 'index.html'), `<!DOCTYPE html><html><head><meta charset="utf-8">
</head><body>${field ? '<input id="count" readonly value="0" style="width: 73px">' : ''}<script>
(async () => {
  const [port] = await navigator.serial.getPorts();
  await port.open({ baudRate: 115200 });
  const writer = port.writable.getWriter();
  const reader = port.readable.getReader();
  const field = document.getElementById('count');
  window.received = 0;
  window.reads = 0;
  (async () => {
    for (;;) {
      const r = await reader.read();
      if (r.done) break;
      window.received += r.value.length;
      window.reads += 1;
      if (field) field.value = String(window.reads);
    }
  })();
  const frame = new Uint8Array(${JSON.stringify(bytes)});
  setInterval(() => writer.write(frame), ${every});
})();
</script></body></html>
`);
    }
    return folder;
}

// --- the measurement ---------------------------------------------------------------------

const bridge = await startBridge({
    root,
    inject: true,
    ports: [{ id: 'sim', link, usbVendorId: 0x1209, usbProductId: 0x5a01, granted: true }],
});
let rig = '';
let status = 0;
try {
    await send('Target.setDiscoverTargets', { discover: false });
    const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
    session = (await send('Target.attachToTarget', { targetId, flatten: true })).sessionId;
    await send('Page.enable'); // for the settings script; off again while measured
    await send('Page.addScriptToEvaluateOnNewDocument', {
        source: `if (location.protocol === 'http:') localStorage.setItem('zev1-wifi-config.INI', ` +
            `${JSON.stringify('[com]\ncom=USB 1209:5a01\nopen=1\n')});`,
    });
    await send('Page.navigate', { url: bridge.url });
    await waitFor(`/open {2}\\S/.test(document.querySelector('[data-control="stav_portu"]')?.textContent ?? '')`, 15000);
    await send('Page.disable');
    if (debug) await explain();
    const idle = await measure('page connected, idle ticks let pass');
    // The keep-alive as the page writes it, and how far apart.
    const writes = await evaluate(`window.__zev1SerialTrace.filter((e) => e.call === 'write').slice(-9)
        .map((e) => ({ at: e.at, bytes: e.bytes }))`);
    const gaps = writes.slice(1).map((w, i) => w.at - writes[i].at).sort((a, b) => a - b);
    const every = Math.round(gaps[Math.floor(gaps.length / 2)] ?? 500);
    await evaluate('Zev1Page.letIdleTicksPass(false)');
    const all = await measure('page connected, every tick run');
    await send('Page.navigate', { url: 'about:blank' });
    rig = rigPage(writes.at(-1)?.bytes ?? [], every);
    bridge.serveFiles(rig);
    await send('Page.navigate', { url: `${bridge.url}rig/` });
    await waitFor('window.received > 0', 10000);
    const alone = await measure(`the stand-in alone, a keep-alive every ${every} ms`);
    await send('Page.navigate', { url: `${bridge.url}field/` });
    await waitFor('window.received > 0', 10000);
    const field = await measure('the stand-in alone, its answers counted in one field');
    await send('Page.navigate', { url: 'about:blank' });
    const blank = await measure('blank page');
    console.log(`idle cpu web ${idle.percent.toFixed(2)} % (every tick ${all.percent.toFixed(2)} %, ` +
        `stand-in alone ${alone.percent.toFixed(2)} %, with one field ${field.percent.toFixed(2)} %, ` +
        `blank page ${blank.percent.toFixed(2)} %): the page adds ${(idle.percent - blank.percent).toFixed(2)} %, ` +
        `${(idle.percent - alone.percent).toFixed(2)} % beyond the stand-in's own, of which showing ` +
        `each frame in a field costs ${(field.percent - alone.percent).toFixed(2)} %`);
} catch (error) {
    console.error(`idle-cpu-web: ${error.message}`);
    status = 1;
} finally {
    await browser.close();
    await bridge.close();
    if (rig) removeProfile(rig);
}
process.exit(status);

// What the browser configurator costs while it sits connected to an idle controller: the
// built page in headless Chromium (Debian's), its port the simulator's link through the
// stand-in for navigator.serial, and the CPU time of the whole browser process tree over
// N seconds, measured three times in the one browser: the page connected (idle ticks let
// pass), the page connected with every tick run, and a blank page.
//   node scripts/idle-cpu-web.mjs --root build-wasm/web --link PATH [--seconds 20]
// Called by scripts/idle-cpu.sh --web, which starts the simulator. ZEV1_IDLE_DEBUG=1 also
// prints how many runs and ticks the page made in 3 s.
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import process from 'node:process';
import { chromiumPath } from '../tests/web/browser.mjs';
import { option } from '../tests/web/options.mjs';
import { startBridge } from '../tests/web/serial_bridge.mjs';

// playwright-core is installed with the browser tests (tests/web, npm ci).
const { chromium } = createRequire(new URL('../tests/web/package.json', import.meta.url))('playwright-core');

const root = option('--root', 'build-wasm/web');
const link = option('--link', '');
const seconds = Number(option('--seconds', '20'));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const tck = 100; // clock ticks a second in /proc/PID/stat (Linux's USER_HZ)

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
// utime + stime of the tree, in clock ticks.
function cpuTicks(pid) {
    let sum = 0;
    for (const p of tree(pid)) {
        try {
            const f = fs.readFileSync(`/proc/${p}/stat`, 'utf8').split(') ')[1].split(' ');
            sum += Number(f[11]) + Number(f[12]);
        } catch { /* gone meanwhile */ }
    }
    return sum;
}
// The browser's own process: the one started with this profile that is no helper.
function browserPid(profile) {
    for (const entry of fs.readdirSync('/proc')) {
        if (!/^\d+$/.test(entry)) continue;
        try {
            const cmd = fs.readFileSync(`/proc/${entry}/cmdline`, 'utf8');
            if (cmd.includes(profile) && !cmd.includes('--type=')) return Number(entry);
        } catch { /* gone meanwhile */ }
    }
    return 0;
}
async function measure(pid, what) {
    await sleep(3000); // settle
    const t0 = cpuTicks(pid);
    const s0 = process.hrtime.bigint();
    await sleep(seconds * 1000);
    const t1 = cpuTicks(pid);
    const wall = Number(process.hrtime.bigint() - s0) / 1e9;
    const percent = (100 * (t1 - t0)) / tck / wall;
    console.log(`idle-cpu-web: ${what}: cpu ${((t1 - t0) / tck).toFixed(2)} s over ${wall.toFixed(1)} s, ${percent.toFixed(2)} %`);
    return percent;
}

const bridge = await startBridge({
    root,
    inject: true,
    ports: [{ id: 'sim', link, usbVendorId: 0x1209, usbProductId: 0x5a01, granted: true }],
});
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zev1-idle-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
});
let status = 0;
try {
    const page = context.pages()[0] ?? await context.newPage();
    await page.addInitScript((text) => localStorage.setItem('zev1-wifi-config.INI', text),
        '[com]\ncom=USB 1209:5a01\nopen=1\n');
    await page.goto(bridge.url);
    await page.waitForFunction(() => /open {2}\S/.test(
        document.querySelector('[data-control="stav_portu"]')?.textContent ?? ''), null, { timeout: 60000 });
    const pid = browserPid(profile);
    if (process.env.ZEV1_IDLE_DEBUG) {
        console.log(await page.evaluate(async () => {
            let runs = 0;
            const before = Zev1Page.ticks;
            const inner = Zev1Page.worker.onmessage;
            Zev1Page.worker.onmessage = (e) => { runs += 1; inner(e); };
            await new Promise((r) => setTimeout(r, 3000));
            Zev1Page.worker.onmessage = inner;
            return `runs ${runs} ticks ${Zev1Page.ticks - before}`;
        }));
    }
    const idle = await measure(pid, 'page connected, idle ticks let pass');
    await page.evaluate(() => Zev1Page.letIdleTicksPass(false));
    const every = await measure(pid, 'page connected, every tick run');
    await page.goto('about:blank');
    const blank = await measure(pid, 'blank page');
    console.log(`idle cpu web ${idle.toFixed(2)} % (every tick ${every.toFixed(2)} %, blank page ${blank.toFixed(2)} %): the page adds ${(idle - blank).toFixed(2)} %`);
} catch (error) {
    console.error(`idle-cpu-web: ${error.message}`);
    status = 1;
} finally {
    await context.close().catch(() => {});
    await bridge.close();
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
}
process.exit(status);

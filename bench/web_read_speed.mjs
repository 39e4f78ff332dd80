// web_read_speed: the browser configurator's figures, measured in one run in headless
// Chromium against zev1-sim paced at 115200 baud behind the stand-in for Web Serial
// (tests/web: npm ci there first):
//   - what the page transfers: every file of the built folder, raw and gzipped (-9);
//   - the time from starting to load the page until its state line shows the remembered
//     port open (median of three fresh pages);
//   - a WiFi settings read through the page (button click until the fields are filled)
//     against the wire time of the same bytes (64 x (35 + 291) bytes at 10 bits a byte),
//     median of five reads. The last line is "ratio R".
//
//   node bench/web_read_speed.mjs [--root build-wasm/web] [--sim build/bin/zev1-sim]
// ZEV1_BENCH_UNPACED=1 runs the simulator unpaced, which leaves what the page and the
// stand-in's bridge add to a read.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { launchBrowser } from '../tests/web/browser.mjs';
import { option } from '../tests/web/options.mjs';
import { startBridge, standInScript } from '../tests/web/serial_bridge.mjs';

const root = option('--root', 'build-wasm/web');
const simPath = option('--sim', 'build/bin/zev1-sim');
const wireMs = (64 * (35 + 291) * 10 * 1000) / 115200;
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];

// What a browser fetches: the folder's files.
let raw = 0;
let gzipped = 0;
for (const name of fs.readdirSync(root)) {
    const file = path.join(root, name);
    if (!fs.statSync(file).isFile() || name.endsWith('.zip')) {
        continue;
    }
    const data = fs.readFileSync(file);
    raw += data.length;
    gzipped += zlib.gzipSync(data, { level: 9 }).length;
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zev1-web-bench-'));
const link = path.join(dir, 'ZEV1-SIM');
const sim = spawn(simPath, [...(process.env.ZEV1_BENCH_UNPACED ? ['--baud', '0'] : []), '--link', link, '--ssid', 'Heizraum', '--key', 'geheim', '--security', 'WPA2'], {
    stdio: ['pipe', 'ignore', 'inherit'],
});
for (let i = 0; i < 100 && !fs.existsSync(link); ++i) {
    await new Promise((r) => setTimeout(r, 50));
}
const ports = [{ id: 'sim', link, usbVendorId: 0x1209, usbProductId: 0x5a01, granted: true }];
const bridge = await startBridge({ root, ports });
const browser = await launchBrowser();
const settings = '[com]\ncom=USB 1209:5a01\nopen=1\n';

async function openPage() {
    const page = await browser.context.newPage();
    await page.addInitScript(({ text }) => localStorage.setItem('zev1-wifi-config.INI', text), { text: settings });
    await page.addInitScript({ content: standInScript({ ports, chooser: 'first' }) });
    const started = Date.now();
    await page.goto(bridge.url);
    await page.waitForFunction(() => {
        const s = document.querySelector('[data-control="stav_portu"]');
        return s && / open {2}/.test(s.textContent);
    }, null, { timeout: 30000, polling: 5 });
    return { page, ms: Date.now() - started };
}

try {
    const openings = [];
    let page = null;
    for (let i = 0; i < 3; ++i) {
        if (page) {
            await page.close();
        }
        const o = await openPage();
        page = o.page;
        openings.push(o.ms);
    }
    const reads = [];
    for (let i = 0; i < 5; ++i) {
        await page.fill('[data-control="wifi_SSID"]', '');
        await page.waitForTimeout(300);
        reads.push(await page.evaluate(() => new Promise((resolve) => {
            const ssid = document.querySelector('[data-control="wifi_SSID"]');
            const start = performance.now();
            document.querySelector('[data-control="btn_config_cti_jer"]').click();
            const check = () => {
                if (ssid.value === 'Heizraum') {
                    resolve(performance.now() - start);
                } else {
                    setTimeout(check, 1);
                }
            };
            check();
        })));
    }
    const read = median(reads);
    console.log('| page files | gzipped | page load to port open | median read | wire time | ratio |');
    console.log('|---|---|---|---|---|---|');
    console.log(`| ${(raw / 1024).toFixed(0)} KiB | ${(gzipped / 1024).toFixed(0)} KiB | ${median(openings)} ms | ` +
        `${read.toFixed(1)} ms | ${wireMs.toFixed(1)} ms | ${(read / wireMs).toFixed(2)} |`);
    console.log(`reads: ${reads.map((r) => r.toFixed(0)).join(' ')} ms; openings: ${openings.join(' ')} ms`);
    console.log(`ratio ${(read / wireMs).toFixed(2)}`);
} finally {
    await browser.close();
    await bridge.close();
    sim.stdin.end('quit\n');
    fs.rmSync(dir, { recursive: true, force: true });
}

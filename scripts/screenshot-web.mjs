// Saves docs/web-page.png: the browser configurator in headless Chromium after a read
// from zev1-sim (the same settings as ./run), terminal shown, at a desktop width.
//
//   node scripts/screenshot-web.mjs [--root build-wasm/web] [--sim build/bin/zev1-sim] [--out docs/web-page.png]
// (npm ci in tests/web first; it uses Debian's chromium.)
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchBrowser } from '../tests/web/browser.mjs';
import { option } from '../tests/web/options.mjs';
import { startBridge, standInScript } from '../tests/web/serial_bridge.mjs';

const root = option('--root', 'build-wasm/web');
const simPath = option('--sim', 'build/bin/zev1-sim');
const out = option('--out', 'docs/web-page.png');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zev1-web-shot-'));
const link = path.join(dir, 'ZEV1-SIM');
const sim = spawn(simPath, ['--baud', '0', '--link', link, '--ssid', 'Heizraum', '--key', 'Kessel-2024',
    '--security', 'WPA2', '--endpoint', '192.168.1.20,5555'], { stdio: ['pipe', 'ignore', 'inherit'] });
for (let i = 0; i < 100 && !fs.existsSync(link); ++i) {
    await new Promise((r) => setTimeout(r, 50));
}
const ports = [{ id: 'sim', link, usbVendorId: 0x1209, usbProductId: 0x5a01, granted: true }];
const bridge = await startBridge({ root, ports });
const browser = await launchBrowser();
try {
    const page = await browser.context.newPage();
    await page.setViewportSize({ width: 1000, height: 820 });
    await page.addInitScript(() => localStorage.setItem('zev1-wifi-config.INI', '[com]\ncom=USB 1209:5a01\nopen=1\n'));
    await page.addInitScript({ content: standInScript({ ports, chooser: 'first' }) });
    await page.goto(bridge.url);
    await page.waitForFunction(() => / open {2}/.test(document.querySelector('[data-control="stav_portu"]')?.textContent ?? ''),
        null, { timeout: 20000 });
    await page.click('[data-control="btn_config_cti_jer"]');
    await page.waitForFunction(() => document.querySelector('[data-control="wifi_SSID"]').value === 'Heizraum',
        null, { timeout: 20000 });
    await page.keyboard.press('Control+t');
    await page.waitForTimeout(500);
    await page.screenshot({ path: out, fullPage: true });
    console.log(`saved ${out}`);
} finally {
    await browser.close();
    await bridge.close();
    sim.stdin.end('quit\n');
    fs.rmSync(dir, { recursive: true, force: true });
}

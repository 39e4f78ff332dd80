// The page in Debian's Chromium inside the usb tests' guest, on the guest's real
// /dev/ttyUSB0 (no stand-in): serves the built page on the guest's loopback, visits it
// twice with one throw-away profile and prints one JSON line of what it saw and when.
//   node web_guest.mjs PAGE_DIR PLAYWRIGHT_DIR PORT
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { createRequire } from 'node:module';

const [root, modules, port] = process.argv.slice(2);
const { chromium } = createRequire(path.join(modules, 'x.js'))('playwright-core');
const began = Date.now();
const at = () => (Date.now() - began) / 1000;
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
    '.css': 'text/css' };
const server = http.createServer((req, res) => {
    const name = path.normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname))
        .replace(/^(\.\.[/\\])+/, '');
    fs.readFile(path.join(root, name === '/' ? 'index.html' : name), (err, data) => {
        if (err) {
            res.writeHead(404).end();
            return;
        }
        res.writeHead(200, { 'Content-Type': types[path.extname(name)] || 'text/html' });
        res.end(data);
    });
});
await new Promise((resolve) => server.listen(Number(port), '127.0.0.1', resolve));
const out = { times: {} };
const profile = fs.mkdtempSync('/tmp/zev1-chromium-');
let context = null;
try {
    context = await chromium.launchPersistentContext(profile, {
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-sync',
            '--disable-background-networking', '--disable-component-update'],
        timeout: 400000,
    });
    out.times.browser = at();
    const page = context.pages()[0] || (await context.newPage());
    page.setDefaultTimeout(300000);
    const url = `http://127.0.0.1:${port}/`;
    const state = () => page.locator('[data-control="stav_portu"]').textContent();
    const ports = () => page.evaluate(async () =>
        (await navigator.serial.getPorts()).map((p) => p.getInfo()));
    await page.goto(url, { waitUntil: 'load' });
    await page.waitForSelector('[data-control="com_number"]');
    out.times.page = at();
    out.listed = await ports();
    const list = page.locator('[data-control="com_number"]');
    await page.waitForFunction(() => {
        const e = document.querySelector('[data-control="com_number"]');
        return e && (e.options ? e.options.length > 0 : e.textContent.trim() !== '');
    });
    out.names = await list.evaluate((e) => (e.options ? [...e.options].map((o) => o.textContent)
        : [e.textContent]));
    if ((await list.evaluate((e) => e.tagName)) === 'SELECT') {
        await list.selectOption({ index: 0 });
    } else {
        await list.focus();
        await page.keyboard.press('ArrowDown');
        await page.keyboard.press('Enter');
    }
    await page.waitForFunction(() =>
        / open +\S/.test(document.querySelector('[data-control="stav_portu"]').textContent));
    out.first = await state();
    out.times.first_open = at();
    await page.reload({ waitUntil: 'load' });
    out.times.second_visit = at();
    await page.waitForFunction(() =>
        / open +\S/.test(document.querySelector('[data-control="stav_portu"]')?.textContent || ''));
    out.second = await state();
    out.times.second_open = at();
} catch (e) {
    out.error = String(e && e.message ? e.message : e).slice(0, 600);
} finally {
    if (context) {
        await context.close().catch(() => {});
    }
    server.close();
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
}
console.log(JSON.stringify(out));
process.exit(out.error ? 1 : 0);

// The page in Debian's Chromium inside the usb tests' guest, on the guest's real
// /dev/ttyUSB0 (no stand-in): serves the built page on the guest's loopback, starts one
// browser with a throw-away profile and then carries out the harness's commands, one
// after another, for as long as the guest runs. The harness (web_checks.py on the host)
// reaches it only through the guest's command line, so commands and answers are files:
// EXCHANGE/in-ID holds one JSON command, EXCHANGE/out-ID gets its answer
// ({"ok":true,"value":...,"t":seconds} or {"ok":false,"error":"..."}); out-start says when
// the browser is up.
//   node web_guest.mjs PAGE_DIR PLAYWRIGHT_DIR PORT EXCHANGE
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { createRequire } from 'node:module';

const [root, modules, port, exchange] = process.argv.slice(2);
const { chromium } = createRequire(path.join(modules, 'x.js'))('playwright-core');
const began = Date.now();
const at = () => (Date.now() - began) / 1000;
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
    '.css': 'text/css', '.webmanifest': 'application/manifest+json', '.png': 'image/png' };
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
const url = `http://127.0.0.1:${port}/`;

function answer(id, reply) {
    const file = path.join(exchange, `out-${id}`);
    fs.writeFileSync(`${file}.tmp`, JSON.stringify({ ...reply, t: at() }));
    fs.renameSync(`${file}.tmp`, file);
}

const control = (name) => `[data-control="${name}"]`;
const profile = fs.mkdtempSync('/tmp/zev1-chromium-');
let context;
let page;
try {
    context = await chromium.launchPersistentContext(profile, {
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-sync',
            '--disable-background-networking', '--disable-component-update'],
        timeout: 600000,
    });
    page = context.pages()[0] || (await context.newPage());
    page.setDefaultTimeout(300000);
    // The page's own complaints, for the harness's report of a failing check.
    page.on('console', (m) => fs.appendFileSync(path.join(exchange, 'console.log'),
        `${at().toFixed(1)} ${m.type()}: ${m.text()}\n`));
    page.on('pageerror', (e) => fs.appendFileSync(path.join(exchange, 'console.log'),
        `${at().toFixed(1)} error: ${e.message}\n`));
    answer('start', { ok: true, value: at() });
} catch (e) {
    answer('start', { ok: false, error: String(e && e.message ? e.message : e).slice(0, 600) });
    process.exit(1);
}

const actions = {
    async goto() {
        await page.goto(url, { waitUntil: 'load' });
        await page.waitForSelector(control('com_number'));
    },
    async reload() {
        await page.reload({ waitUntil: 'load' });
        await page.waitForSelector(control('com_number'));
    },
    // An expression evaluated in the page (a promise is awaited).
    eval: (c) => page.evaluate(c.js),
    // Until an expression in the page is truthy; its value. Polled from here: the page's
    // Content-Security-Policy forbids the string evaluation of waitForFunction.
    async wait(c) {
        const end = Date.now() + c.timeout * 1000;
        for (;;) {
            const value = await page.evaluate(c.js).catch((e) => {
                // A page that is being replaced has no context for a moment.
                if (/context was destroyed|navigat/i.test(String(e))) return null;
                throw e;
            });
            if (value) return value;
            if (Date.now() > end) throw new Error(`not so within ${c.timeout} s: ${c.js}`);
            await new Promise((resolve) => setTimeout(resolve, 100));
        }
    },
    click: (c) => page.locator(control(c.control)).click(),
    fill: (c) => page.locator(control(c.control)).fill(c.text),
    async choose(c) {
        const list = page.locator(control(c.control));
        if ((await list.evaluate((e) => e.tagName)) === 'SELECT') {
            await list.selectOption({ index: c.index });
            return;
        }
        await list.focus();
        for (let i = 0; i <= c.index; ++i) {
            await page.keyboard.press('ArrowDown');
        }
        await page.keyboard.press('Enter');
    },
};

for (;;) {
    const ids = fs.readdirSync(exchange).filter((f) => /^in-[\w-]+$/.test(f)).sort();
    if (ids.length === 0) {
        await new Promise((resolve) => setTimeout(resolve, 50));
        continue;
    }
    const file = path.join(exchange, ids[0]);
    const id = ids[0].slice(3);
    const command = JSON.parse(fs.readFileSync(file, 'utf8'));
    fs.unlinkSync(file);
    if (command.do === 'quit') {
        break;
    }
    try {
        const value = await actions[command.do](command);
        answer(id, { ok: true, value: value === undefined ? null : value });
    } catch (e) {
        answer(id, { ok: false, error: String(e && e.message ? e.message : e).slice(0, 600) });
    }
}
await context.close().catch(() => {});
server.close();
fs.rmSync(profile, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
process.exit(0);

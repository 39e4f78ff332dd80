// The page's 10 ms tick in a background tab: Chromium throttles a hidden page's own timers
// to about once a second, the worker's are not. Playwright makes every page it drives
// count as visible, so this opens the built page in Chromium over its DevTools pipe as a
// background tab (hidden), checks that the page's own 10 ms timer is throttled there, and
// counts the page's ticks over 2 s of wall time; then brings the tab to the front and back,
// where the page's own timer and the worker hand the tick over to each other.
//   node background_tick.mjs --root build-wasm/web
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromiumPath } from './browser.mjs';
import { option } from './options.mjs';
import { startBridge } from './serial_bridge.mjs';

const root = option('--root', 'build-wasm/web');
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const bridge = await startBridge({ root, ports: [], chooser: 'first' });
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zev1-chromium-'));
const browser = spawn(chromiumPath, ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
    '--remote-debugging-pipe', `--user-data-dir=${profile}`, 'about:blank'],
{ stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
let id = 0;
let buffer = '';
const waiting = new Map();
browser.stdio[4].on('data', (chunk) => {
    buffer += chunk;
    for (let end = buffer.indexOf('\0'); end >= 0; end = buffer.indexOf('\0')) {
        const m = JSON.parse(buffer.slice(0, end));
        buffer = buffer.slice(end + 1);
        if (m.id && waiting.has(m.id)) {
            waiting.get(m.id)(m);
            waiting.delete(m.id);
        }
    }
});
const send = (method, params, sessionId) => new Promise((resolve) => {
    id += 1;
    waiting.set(id, resolve);
    browser.stdio[3].write(`${JSON.stringify({ id, method, params, sessionId })}\0`);
});
let session;
const evaluate = async (expression) => (await send('Runtime.evaluate', { expression }, session)).result?.result?.value;

let failed = 0;
let checks = 0;
const check = (ok, what) => {
    checks += 1;
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
    failed += ok ? 0 : 1;
};
try {
    const target = await send('Target.createTarget', { url: bridge.url, background: true });
    session = (await send('Target.attachToTarget', { targetId: target.result.targetId, flatten: true })).result.sessionId;
    let started = false;
    for (let t = 0; t < 200 && !started; ++t) {
        await sleep(100);
        started = await evaluate('typeof Zev1Page === "object" && Zev1Page.ticks > 0');
    }
    check(started, 'the page started in a background tab');
    check(await evaluate('document.visibilityState') === 'hidden', 'the background tab is hidden');
    await evaluate('window.ownTimer = 0; setInterval(() => { window.ownTimer += 1; }, 10)');
    const before = await evaluate('Zev1Page.ticks');
    const from = Date.now();
    await sleep(2000);
    const ticks = (await evaluate('Zev1Page.ticks')) - before;
    const own = await evaluate('window.ownTimer');
    const expected = (Date.now() - from) / 10;
    check(own < expected / 4, `the page's own 10 ms timer is throttled while hidden (${own} runs)`);
    check(ticks > expected * 0.8 && ticks < expected * 1.1,
        `the tick keeps its period while hidden (${ticks} ticks in ${Date.now() - from} ms)`);
    // The page's ticks over 1 s.
    const period = async (what) => {
        const before = await evaluate('Zev1Page.ticks');
        const start = Date.now();
        await sleep(1000);
        const ticks = (await evaluate('Zev1Page.ticks')) - before;
        const due = (Date.now() - start) / 10;
        check(ticks > due * 0.8 && ticks < due * 1.1, `${what} (${ticks} ticks in ${Date.now() - start} ms)`);
    };
    await send('Target.activateTarget', { targetId: target.result.targetId });
    await sleep(300);
    check(await evaluate('document.visibilityState') === 'visible', 'the tab brought to the front is shown');
    await period('the tick keeps its period once the tab is shown');
    await send('Target.createTarget', { url: 'about:blank' });
    await sleep(300);
    await period('and once it is hidden again');
} finally {
    const ended = new Promise((resolve) => browser.once('exit', resolve));
    browser.kill();
    await ended;
    await bridge.close();
    // Chromium's helper processes can still write into the profile after the browser
    // itself has gone: retry, and never fail the check over a temporary folder.
    try {
        fs.rmSync(profile, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
    } catch (error) {
        console.error(`left ${profile}: ${error.code}`);
    }
}
console.log(`${checks - failed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);

// The page's 10 ms tick in a background tab: Chromium throttles a hidden page's own timers
// to about once a second, the worker's are not. Playwright makes every page it drives
// count as visible, so this opens the built page in Chromium over its DevTools pipe as a
// background tab (hidden), checks that the page's own 10 ms timer is throttled there, and
// counts the page's ticks over 2 s of wall time; then brings the tab to the front and back,
// where the page's own timer and the worker hand the tick over to each other.
//   node background_tick.mjs --root build-wasm/web
import { pipeBrowser } from './browser.mjs';
import { option } from './options.mjs';
import { startBridge } from './serial_bridge.mjs';

const root = option('--root', 'build-wasm/web');
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const bridge = await startBridge({ root, ports: [], chooser: 'first' });
const browser = pipeBrowser();
const send = browser.send;
let session;
const evaluate = async (expression) => (await send('Runtime.evaluate', { expression }, session)).result?.value;

// The ticks counted against those due: a busy machine loses some (a run late by more than
// a tick is not caught up), while a throttled timer gives one a second and a doubled period
// half of them.
const kept = (ticks, due) => ticks > due * 0.6 && ticks < due * 1.1;

let failed = 0;
let checks = 0;
const check = (ok, what) => {
    checks += 1;
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
    failed += ok ? 0 : 1;
};
try {
    const target = await send('Target.createTarget', { url: bridge.url, background: true });
    session = (await send('Target.attachToTarget', { targetId: target.targetId, flatten: true })).sessionId;
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
    check(kept(ticks, expected), `the tick keeps its period while hidden (${ticks} ticks in ${Date.now() - from} ms)`);
    // The page's ticks over 1 s.
    const period = async (what) => {
        const before = await evaluate('Zev1Page.ticks');
        const start = Date.now();
        await sleep(1000);
        const ticks = (await evaluate('Zev1Page.ticks')) - before;
        const due = (Date.now() - start) / 10;
        check(kept(ticks, due), `${what} (${ticks} ticks in ${Date.now() - start} ms)`);
    };
    await send('Target.activateTarget', { targetId: target.targetId });
    await sleep(300);
    check(await evaluate('document.visibilityState') === 'visible', 'the tab brought to the front is shown');
    await period('the tick keeps its period once the tab is shown');
    await send('Target.createTarget', { url: 'about:blank' });
    await sleep(300);
    await period('and once it is hidden again');
} finally {
    await browser.close();
    await bridge.close();
}
console.log(`${checks - failed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);

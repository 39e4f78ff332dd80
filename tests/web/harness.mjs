// The browser side of the web scenarios' driver (web_driver.cpp): one JSON command a line
// on standard input, one JSON answer a line on standard output ({"ok":true,"value":...} or
// {"ok":false,"error":"..."}). It starts headless Chromium once, and for each program
// start a serial bridge, a fresh browser page with the stand-in for navigator.serial and
// the settings text in the page's storage, and works the page's controls through the DOM
// as a user does (Playwright's clicks and key presses).
//
// Controls are found by data-control="<name in the layout table>", windows by
// data-form="<the form's name>" (hidden when not shown).
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';
import { insecureHost, launchBrowser } from './browser.mjs';
import { startBridge, standInScript } from './serial_bridge.mjs';

// Where the page keeps its settings file and its log files in the browser's storage.
export const settingsKey = process.env.ZEV1_WEB_SETTINGS_KEY || 'zev1-wifi-config.INI';

let browser = null;
let session = null; // { bridge, page, messages, args, url, copies }
const sourceDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');

// A window (data-form, on the element data-window) or a control of that name.
function selector(name) {
    return `[data-window][data-form="${name}"], [data-control="${name}"]`;
}

// Runs in the page: the DOM reads that the driver needs.
function pageReads() {
    const windowNamed = (name) => document.querySelector(`[data-window][data-form="${name}"]`);
    const find = (name) => {
        if (name === 'page') {
            return document.body;
        }
        return windowNamed(name) || document.querySelector(`[data-control="${name}"]`);
    };
    const must = (name) => {
        const e = find(name);
        if (!e) {
            throw new Error(`no control or window named ${name}`);
        }
        return e;
    };
    const shown = (e) => {
        for (let n = e; n && n.nodeType === 1; n = n.parentElement) {
            if (n.hidden || getComputedStyle(n).display === 'none' || getComputedStyle(n).visibility === 'hidden') {
                return false;
            }
        }
        return true;
    };
    const windowOf = (e) => e.closest('[data-window]');
    const caption = (w) => w.getAttribute('aria-label') ?? '';
    const labelOf = (e) => {
        if (e.labels && e.labels.length) {
            return e.labels[0].textContent;
        }
        return e.getAttribute('aria-label') ?? '';
    };
    const textOf = (e, name) => {
        if (windowNamed(name)) {
            return caption(e);
        }
        if (name === 'page') {
            return e.innerText;
        }
        if (e.tagName === 'INPUT' && (e.type === 'checkbox' || e.type === 'radio')) {
            return labelOf(e);
        }
        if (e.tagName === 'INPUT' || e.tagName === 'TEXTAREA') {
            return e.value;
        }
        if (e.tagName === 'SELECT') {
            return e.selectedIndex >= 0 ? e.options[e.selectedIndex].text : '';
        }
        if (e.tagName === 'PROGRESS') {
            return String(e.value);
        }
        if (e.getAttribute('role') === 'log') {
            return Array.from(e.children, (line) => line.textContent).join('\n');
        }
        return e.textContent;
    };
    const valueOf = (e) => {
        if (e.tagName === 'PROGRESS' || e.tagName === 'METER') {
            return Math.round(e.value);
        }
        if (e.tagName === 'SELECT') {
            return e.selectedIndex;
        }
        if (e.getAttribute('aria-valuenow') !== null) {
            return Number(e.getAttribute('aria-valuenow'));
        }
        const list = e.list ? [...e.list.options].map((o) => o.value) : null;
        return list ? list.indexOf(e.value) : -1;
    };
    const itemsOf = (e) => {
        if (e.tagName === 'SELECT') {
            return [...e.options].map((o) => o.text);
        }
        if (e.list) {
            return [...e.list.options].map((o) => o.value);
        }
        return [...e.querySelectorAll('option,[role=option],li')].map((o) => o.textContent);
    };
    // A hidden window has no boxes: it is shown, unseen, for the time of a measurement
    // (synchronously, so no tick and no paint falls in between).
    const measured = (e, f) => {
        const w = windowOf(e);
        if (!w || !w.hidden) {
            return f();
        }
        const visibility = w.style.visibility;
        w.hidden = false;
        w.style.visibility = 'hidden';
        try {
            return f();
        } finally {
            w.hidden = true;
            w.style.visibility = visibility;
        }
    };
    const geometryOf = (e, name) => measured(e, () => {
        const w = windowOf(e);
        const client = w.querySelector('.client') || w;
        const a = client.getBoundingClientRect();
        // A check box is placed with its label.
        const b = (e.type === 'checkbox' ? e.parentElement : e).getBoundingClientRect();
        if (windowNamed(name)) {
            return { left: 0, top: 0, width: Math.round(a.width), height: Math.round(a.height) };
        }
        return { left: Math.round(b.left - a.left), top: Math.round(b.top - a.top), width: Math.round(b.width), height: Math.round(b.height) };
    });
    // The message box that is open (the page shows one at a time, the rest wait).
    const boxes = () => [...document.querySelectorAll('[data-window="box"]')]
        .filter((b) => shown(b))
        .map((b) => b.querySelector('[data-control="box_text"]').textContent);
    return {
        text: (name) => textOf(must(name), name),
        hint: (name) => must(name).title || '',
        checked: (name) => !!must(name).checked || must(name).getAttribute('aria-checked') === 'true',
        visible: (name) => shown(must(name)),
        value: (name) => valueOf(must(name)),
        items: (name) => itemsOf(must(name)),
        geometry: (name) => geometryOf(must(name), name),
        text_fits: (name) => {
            const e = must(name);
            return measured(e, () => e.scrollWidth <= e.clientWidth + 1 && e.scrollHeight <= e.clientHeight + 1);
        },
        boxes,
        // A memo's lines are its child elements.
        first_visible_line: (name) => {
            const e = must(name);
            const top = e.getBoundingClientRect().top + e.clientTop;
            return Math.max(0, [...e.children].findIndex((l) => l.getBoundingClientRect().bottom > top + 1));
        },
        scroll_to_line: (name, line) => {
            const e = must(name);
            const l = e.children[line];
            if (l) {
                e.scrollTop += l.getBoundingClientRect().top - (e.getBoundingClientRect().top + e.clientTop);
            }
            return true;
        },
        trace: () => window.__zev1SerialTrace || [],
        ticks: () => _zev1_ticks_passed(),
        let_idle_ticks_pass: (allowed) => { Zev1Page.letIdleTicksPass(allowed); return true; },
        storage: (key) => localStorage.getItem(key),
        storageAll: () => Object.fromEntries(Object.keys(localStorage).map((k) => [k, localStorage.getItem(k)])),
        suggested: (name) => Number(must(name).dataset.suggested ?? -1),
        font_pixels: (name) => Math.round(parseFloat(getComputedStyle(must(name)).fontSize)),
        // The window that holds the focused element.
        active_window: () => document.activeElement?.closest('[data-window]')?.dataset.form ?? '',
        active: () => {
            const e = document.activeElement;
            return e ? e.getAttribute('data-control') || '' : '';
        },
        supported: () => 'serial' in navigator,
        // The shown controls (and the page's own buttons) that reach past the screen's
        // right edge, and whether the page scrolls sideways.
        beyond_right: () => {
            const out = [...document.querySelectorAll('[data-control]')]
                .filter((e) => shown(e) && e.getBoundingClientRect().right > window.innerWidth + 0.5)
                .map((e) => e.dataset.control);
            if (document.documentElement.scrollWidth > window.innerWidth) {
                out.push(`page ${document.documentElement.scrollWidth} px wide`);
            }
            return out;
        },
    };
}

// An expression, not a function built from a string in the page: the page's
// Content-Security-Policy forbids the latter.
async function read(what, ...args) {
    return session.page.evaluate(`(${pageReads.toString()})()[${JSON.stringify(what)}](...${JSON.stringify(args)})`);
}

// A fresh tab on the session's bridge with the stand-in, the pinned clock and the seeded
// settings, and a record of what the page's Content-Security-Policy refused.
async function openPage(a, url) {
    const page = await browser.context.newPage();
    const messages = session ? session.messages : [];
    page.on('console', (m) => messages.push(`${m.type()}: ${m.text()}`));
    page.on('pageerror', (e) => messages.push(`pageerror: ${e.message}`));
    await page.addInitScript(() => {
        window.__zev1Refused = [];
        document.addEventListener('securitypolicyviolation', (e) => {
            window.__zev1Refused.push(`${e.effectiveDirective} ${e.blockedURI}`);
        });
    });
    await page.addInitScript(({ key, text, clock }) => {
        if (text !== null && sessionStorage.getItem('zev1-seeded') === null) {
            localStorage.setItem(key, text);
            sessionStorage.setItem('zev1-seeded', '1');
        }
        if (clock !== null) {
            const pinned = clock;
            const RealDate = Date;
            // The scenarios' clock: the page's wall clock starts at the pinned time.
            globalThis.Date = class extends RealDate {
                constructor(...args) {
                    if (args.length === 0) {
                        super(pinned);
                    } else {
                        super(...args);
                    }
                }
                static now() {
                    return pinned;
                }
            };
        }
    }, { key: settingsKey, text: a.settings ?? null, clock: a.clock ?? null });
    if (a.serial !== false) {
        await page.addInitScript({ content: standInScript({ ports: (a.ports || []).map(({ id, usbVendorId, usbProductId, granted }) => ({ id, usbVendorId, usbProductId, granted: !!granted })), chooser: a.chooser || 'first', openError: a.openError || '', signalsDelay: a.signalsDelay || 0 }) });
    } else {
        await page.addInitScript(() => {
            delete Navigator.prototype.serial;
        });
    }
    await page.goto(url, { waitUntil: 'load' });
    return page;
}

const commands = {
    // Starts a program: { root, settings, ports, serial, chooser, openError, insecure }.
    async start(a) {
        if (session) {
            await commands.stop();
        }
        if (!browser) {
            browser = await launchBrowser();
        }
        const bridge = await startBridge({ root: a.root, ports: a.ports || [], chooser: a.chooser || 'first' });
        session = { bridge, messages: [], args: a, copies: [] };
        session.url = a.insecure ? bridge.url.replace('127.0.0.1', insecureHost) : bridge.url;
        const started = Date.now();
        session.page = await openPage(a, session.url + (a.query || ''));
        await session.page.waitForSelector('[data-window="main"]', { state: 'visible', timeout: 20000 });
        return Date.now() - started;
    },
    // The page loaded again: in its tab (a reload), or in a new tab once the old one has
    // closed (the program's next start).
    async reload({ fresh }) {
        if (fresh) {
            await session.page.close();
            session.page = await openPage(session.args, session.url);
        } else {
            await session.page.reload({ waitUntil: 'load' });
        }
        await session.page.waitForSelector('[data-window="main"]', { state: 'visible', timeout: 20000 });
        return true;
    },
    // What the server hands out as the page's files: the built page (''), nothing
    // ('offline'), or a copy of it turned into another build named tag, whose script and
    // style sheet say their tag (globalThis.zev1Build, the CSS property --zev1-build).
    async serve({ files }) {
        if (files === '' || files === 'offline') {
            session.bridge.serveFiles(files === '' ? session.args.root : null);
            return true;
        }
        const copy = fs.mkdtempSync(path.join(os.tmpdir(), 'zev1-build-'));
        session.copies.push(copy);
        fs.cpSync(session.args.root, copy, { recursive: true });
        fs.appendFileSync(path.join(copy, 'zev1-wifi-config.js'), `\nglobalThis.zev1Build = ${JSON.stringify(files)};\n`);
        fs.appendFileSync(path.join(copy, 'style.css'), `\n:root { --zev1-build: "${files}"; }\n`);
        execFileSync(process.env.ZEV1_CMAKE || 'cmake', [`-DWEB_DIR=${copy}`, `-DVERSION=${files}`,
            `-DTEMPLATE=${sourceDir}/src/app/web/service_worker.js.in`, '-P', `${sourceDir}/src/app/web/service_worker.cmake`]);
        session.bridge.serveFiles(copy);
        return true;
    },
    // What keeps the browser from offering to install the page as an app (none: it offers).
    async installability() {
        const cdp = await browser.context.newCDPSession(session.page);
        const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
        await cdp.detach();
        return installabilityErrors.map((e) => e.errorId);
    },
    // A JavaScript expression in the page, its value (a promise's once settled); null
    // while the page is being loaded again.
    async evaluate({ expression }) {
        try {
            return await session.page.evaluate(expression);
        } catch (e) {
            if (/context was destroyed|navigat/i.test(String(e && e.message))) {
                return null;
            }
            throw e;
        }
    },
    // Ends the program: the page's settings text (what it wrote to its storage).
    async stop() {
        if (!session) {
            return null;
        }
        const s = session;
        let settings = null;
        try {
            // Leaving the page is how a browser program ends: it saves on pagehide.
            await s.page.evaluate(() => window.dispatchEvent(new Event('pagehide')));
            settings = await read('storage', settingsKey);
        } catch (e) {
            settings = null;
        }
        await s.page.close().catch(() => {});
        await s.bridge.close();
        for (const copy of s.copies) {
            fs.rmSync(copy, { recursive: true, force: true });
        }
        session = null;
        return settings;
    },
    async read({ what, args }) {
        return read(what, ...(args || []));
    },
    async click({ name }) {
        await session.page.locator(selector(name)).click({ timeout: 5000 });
        return true;
    },
    // A mouse click at the middle of the control's place: whatever is there takes it.
    async click_at({ name }) {
        const box = await session.page.locator(selector(name)).boundingBox();
        if (!box) {
            throw new Error(`${name} is not shown`);
        }
        await session.page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
        return true;
    },
    async type({ name, text }) {
        const l = session.page.locator(selector(name));
        await l.focus();
        await l.selectText().catch(() => {});
        if (text === '') {
            await session.page.keyboard.press('Delete');
        } else {
            await l.pressSequentially(text);
        }
        return true;
    },
    async leave({ name }) {
        await session.page.locator(selector(name)).focus();
        await session.page.keyboard.press('Tab');
        return true;
    },
    async choose({ name, index }) {
        const l = session.page.locator(selector(name));
        const tag = await l.evaluate((e) => e.tagName);
        if (tag === 'SELECT') {
            await l.selectOption({ index });
        } else {
            await l.focus();
            for (let i = 0; i <= index; ++i) {
                await session.page.keyboard.press('ArrowDown');
            }
            await session.page.keyboard.press('Enter');
        }
        return true;
    },
    async download({ name }) {
        const [download] = await Promise.all([
            session.page.waitForEvent('download', { timeout: 5000 }),
            session.page.locator(selector(name)).click({ timeout: 5000 }),
        ]);
        const file = await download.path();
        return { name: download.suggestedFilename(), text: fs.readFileSync(file, 'utf8') };
    },
    async shortcut({ keys }) {
        await session.page.keyboard.press(keys.replace('Ctrl+', 'Control+'));
        return true;
    },
    async press({ key }) {
        await session.page.keyboard.press(key);
        return true;
    },
    async close_box() {
        await session.page.locator('[data-window="box"] [data-control="box_ok"]').click({ timeout: 5000 });
        return true;
    },
    async tab_order({ window }) {
        const order = [];
        const w = await session.page.evaluate((form) => document.querySelector(`[data-window][data-form="${form}"]`)?.dataset.window, window);
        // A page does not put the focus into a window by itself: a user clicks the window's
        // caption and presses Tab, which goes to the window's first control.
        const inside = await session.page.evaluate((w) => !!document.activeElement?.closest(`[data-window="${w}"]`), w);
        if (!inside) {
            await session.page.locator(`[data-window="${w}"] > .caption`).click({ position: { x: 5, y: 5 } });
            await session.page.keyboard.press('Tab');
        }
        const first = await session.page.evaluate(() => document.activeElement?.getAttribute('data-control') || '');
        for (let i = 0; i < 40; ++i) {
            // The page's own buttons (Port…, Terminal, Info, Save Log, the close box) come
            // after the table's controls; the round is the table's.
            const name = await session.page.evaluate((w) => {
                const e = document.activeElement;
                if (!e || !e.closest(`[data-window="${w}"]`)) {
                    return null;
                }
                return e.classList.contains('page') || e.classList.contains('close') ? '' : e.getAttribute('data-control') || '';
            }, w);
            if (name === null || (i > 0 && name === first) || order.includes(name)) {
                break;
            }
            if (name) {
                order.push(name);
            }
            await session.page.keyboard.press('Tab');
        }
        return order;
    },
    // The name Chromium's accessibility tree gives a control, as a screen reader gets it.
    async accessible_name({ name }) {
        const cdp = await session.page.context().newCDPSession(session.page);
        try {
            const { root } = await cdp.send('DOM.getDocument', { depth: 0 });
            const { nodeId } = await cdp.send('DOM.querySelector', { nodeId: root.nodeId, selector: selector(name) });
            if (!nodeId) {
                throw new Error(`no control named ${name}`);
            }
            const { nodes } = await cdp.send('Accessibility.getPartialAXTree', { nodeId, fetchRelatives: false });
            return nodes[0]?.name?.value ?? '';
        } finally {
            await cdp.detach().catch(() => {});
        }
    },
    // axe-core over the page as shown (hidden windows are left out), WCAG 2.1 A and AA.
    async audit() {
        if (!(await session.page.evaluate(() => typeof window.axe === 'object'))) {
            const axe = createRequire(import.meta.url).resolve('axe-core/axe.min.js');
            await session.page.evaluate(fs.readFileSync(axe, 'utf8'));
        }
        const violations = await session.page.evaluate(async (tags) => {
            const result = await window.axe.run(document, { runOnly: { type: 'tag', values: tags } });
            return result.violations;
        }, ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa']);
        return violations.map((v) => `${v.id}: ${v.help} (${v.nodes.map((n) => n.target.join(' ')).join(', ')})`);
    },
    async viewport({ width, height }) {
        await session.page.setViewportSize({ width, height });
        return true;
    },
    async screenshot({ file }) {
        await session.page.screenshot({ path: file, fullPage: true });
        return true;
    },
    // A line error on the open port, as the browser reports it (BreakError...), with the
    // next `lose` bytes garbled away.
    async line_error({ name, lose }) {
        return session.page.evaluate(([n, l]) => window.__zev1SerialLineError(n, l), [name, lose || 0]);
    },
    async write_error({ name }) {
        return session.page.evaluate((n) => window.__zev1SerialWriteError(n), name);
    },
    async messages() {
        return session ? session.messages : [];
    },
    async quit() {
        await commands.stop();
        if (browser) {
            await browser.close();
            browser = null;
        }
        return true;
    },
};

const rl = readline.createInterface({ input: process.stdin });
let queue = Promise.resolve();
rl.on('line', (line) => {
    queue = queue.then(async () => {
        let reply;
        try {
            const c = JSON.parse(line);
            const f = commands[c.cmd];
            if (!f) {
                throw new Error(`unknown command ${c.cmd}`);
            }
            reply = { ok: true, value: (await f(c)) ?? null };
        } catch (e) {
            reply = { ok: false, error: String(e && e.message ? e.message : e) };
        }
        process.stdout.write(`${JSON.stringify(reply)}\n`);
    });
});
rl.on('close', () => {
    queue.then(() => commands.quit()).then(() => process.exit(0));
});

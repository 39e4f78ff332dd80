// Headless Chromium (Debian's /usr/bin/chromium) through playwright-core, with a fresh
// profile each launch; never a downloaded browser.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const chromiumPath = process.env.ZEV1_CHROMIUM || '/usr/bin/chromium';

export const insecureHost = 'zev1-plain-http.test';

export async function launchBrowser() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zev1-chromium-'));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: chromiumPath,
        headless: true,
        viewport: { width: 1280, height: 900 },
        args: [
            '--no-sandbox',
            '--disable-gpu',
            '--disable-quic',
            '--no-first-run',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
            '--disable-features=Translate,MediaRouter,OptimizationHints',
            // A name for this machine's loopback that is not "localhost": plain http to it
            // is not a secure context, as a page served from another computer over http.
            `--host-resolver-rules=MAP ${insecureHost} 127.0.0.1`,
        ],
    });
    return {
        context,
        async close() {
            await context.close().catch(() => {});
            removeProfile(profile);
        },
    };
}

// Chromium driven over its DevTools pipe (file descriptors 3 and 4) rather than
// Playwright, for what Playwright hides: a background tab, the browser's own process
// tree. send() resolves with a command's result (rejects with its error); close() ends
// the browser and removes its profile.
export function pipeBrowser(args = []) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zev1-chromium-'));
    const browser = spawn(chromiumPath, ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
        ...args, '--remote-debugging-pipe', `--user-data-dir=${profile}`, 'about:blank'],
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
    return {
        pid: browser.pid,
        send: (method, params = {}, sessionId = undefined) => new Promise((resolve, reject) => {
            id += 1;
            waiting.set(id, (m) => (m.error ? reject(new Error(`${method}: ${m.error.message}`)) : resolve(m.result)));
            browser.stdio[3].write(`${JSON.stringify({ id, method, params, sessionId })}\0`);
        }),
        async close() {
            const ended = new Promise((resolve) => browser.once('exit', resolve));
            browser.kill();
            await ended;
            removeProfile(profile);
        },
    };
}

// Chromium's helper processes can still write into a profile after the browser has gone:
// retry, and never fail a test over a temporary folder.
export function removeProfile(folder) {
    try {
        fs.rmSync(folder, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
    } catch (error) {
        console.error(`left ${folder}: ${error.code}`);
    }
}

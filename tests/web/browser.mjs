// Headless Chromium (Debian's /usr/bin/chromium) through playwright-core, with a fresh
// profile each launch; never a downloaded browser.
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
            // Chromium's helper processes can still write into the profile for a moment:
            // retry, and never fail a test over a temporary folder.
            try {
                fs.rmSync(profile, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
            } catch (error) {
                console.error(`left ${profile}: ${error.code}`);
            }
        },
    };
}

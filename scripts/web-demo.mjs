// The browser demo without hardware (./run --web): serves the built page on
// http://127.0.0.1:PORT/ (localhost counts as a secure context, as Web Serial needs) and
// puts a stand-in for navigator.serial in front of the page's scripts, whose one port is
// the simulator's pseudo-terminal. The stand-in reports the port as USB 1209:5a01 and as
// granted by an earlier visit, so the page lists it at once.
//
//   node scripts/web-demo.mjs --root build-wasm/web --link build-wasm/ports/ZEV1-SIM
//        [--port N] [--url-file FILE]
//
// Without --port it listens on 8020, or on a free port when 8020 is taken; --port N
// insists on N. The address it serves is printed and, with --url-file, written to FILE.
//
// Runs until interrupted. A real controller needs no stand-in: serve the page's folder
// with any static web server and the browser's own Web Serial is used.
import fs from 'node:fs';
import process from 'node:process';
import { option } from '../tests/web/options.mjs';
import { startBridge } from '../tests/web/serial_bridge.mjs';

const root = option('--root', 'build-wasm/web');
const link = option('--link', 'build-wasm/ports/ZEV1-SIM');
const asked = option('--port', '');
const urlFile = option('--url-file', '');

const serve = (port) =>
    startBridge({
        root,
        inject: true,
        port,
        ports: [{ id: 'sim', link, usbVendorId: 0x1209, usbProductId: 0x5a01, granted: true }],
    });
let bridge;
try {
    bridge = await serve(asked ? Number(asked) : 8020);
} catch (e) {
    if (asked || e.code !== 'EADDRINUSE') {
        console.error(`Cannot serve on port ${asked || 8020}: ${e.message}`);
        process.exit(1);
    }
    bridge = await serve(0);
}
console.log(`The configurator is served on ${bridge.url} (its port is the simulator on ${link})`);
if (urlFile) {
    fs.writeFileSync(urlFile, bridge.url + '\n');
}
const stop = async () => {
    await bridge.close();
    process.exit(0);
};
process.on('SIGINT', stop);
process.on('SIGTERM', stop);

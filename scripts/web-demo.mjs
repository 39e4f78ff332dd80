// The browser demo without hardware (./run --web): serves the built page on
// http://127.0.0.1:PORT/ (localhost counts as a secure context, as Web Serial needs) and
// puts a stand-in for navigator.serial in front of the page's scripts, whose one port is
// the simulator's pseudo-terminal. The stand-in reports the port as USB 1209:5a01 and as
// granted by an earlier visit, so the page lists it at once.
//
//   node scripts/web-demo.mjs --root build-wasm/web --link build-wasm/ports/ZEV1-SIM [--port 8020]
//
// Runs until interrupted. A real controller needs no stand-in: serve the page's folder
// with any static web server and the browser's own Web Serial is used.
import process from 'node:process';
import { startBridge } from '../tests/web/serial_bridge.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => {
    const i = args.indexOf(name);
    return i >= 0 && i + 1 < args.length ? args[i + 1] : fallback;
};
const root = option('--root', 'build-wasm/web');
const link = option('--link', 'build-wasm/ports/ZEV1-SIM');
const port = Number(option('--port', '8020'));

const bridge = await startBridge({
    root,
    inject: true,
    port,
    ports: [{ id: 'sim', link, usbVendorId: 0x1209, usbProductId: 0x5a01, granted: true }],
});
console.log(`The configurator is served on ${bridge.url} (its port is the simulator on ${link})`);
const stop = async () => {
    await bridge.close();
    process.exit(0);
};
process.on('SIGINT', stop);
process.on('SIGTERM', stop);

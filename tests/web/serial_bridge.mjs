// A local web server for the browser configurator: it serves the built page's folder and
// bridges the page's stand-in for navigator.serial (serial_standin.js) to the
// pseudo-terminals of native zev1-sim processes.
//
//   /__zev1/serial/devices      event stream: 'present' (ids), then 'connect'/'disconnect'
//                               as a simulator's link appears and goes (unplug, replug)
//   /__zev1/serial/open/ID      POST: opens the link's pseudo-terminal, raw (409 when busy)
//   /__zev1/serial/read/ID      event stream: 'data' (base64 of the bytes), 'lost' on hang-up
//   /__zev1/serial/write/ID     POST: the body goes to the port
//   /__zev1/serial/close/ID     POST
//   /__zev1/standin.js          the stand-in with its configuration (for the demo)
//
// With inject set, index.html gets <script src="/__zev1/standin.js"> as the first element
// of its <head>, so a browser without Playwright gets the same stand-in (the demo).
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import tty from 'node:tty';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const standInSource = fs.readFileSync(path.join(here, 'serial_standin.js'), 'utf8');

// The script that installs the stand-in with its configuration.
export function standInScript(config) {
    return `${standInSource.trim()}(${JSON.stringify(config)});\n`;
}

const types = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.wasm': 'application/wasm',
    '.css': 'text/css; charset=utf-8',
    '.png': 'image/png',
    '.svg': 'image/svg+xml',
    '.ico': 'image/x-icon',
    '.json': 'application/json',
};

// One simulator port: its link (a symbolic link to the pseudo-terminal's slave).
class BridgedPort {
    constructor(desc) {
        this.desc = desc;
        this.stream = null; // tty.ReadStream while open
        this.listener = null; // the response carrying the read event stream
    }
    present() {
        return fs.existsSync(this.desc.link);
    }
    open() {
        if (this.stream) {
            return 'busy';
        }
        let fd;
        try {
            fd = fs.openSync(this.desc.link, fs.constants.O_RDWR | fs.constants.O_NOCTTY);
        } catch (e) {
            return e.code || 'failed';
        }
        const stream = new tty.ReadStream(fd);
        stream.setRawMode(true); // no echo, no line editing, no CR/LF translation: 8 bits through
        this.stream = stream;
        this.fd = fd;
        this.pending = [];
        stream.on('data', (chunk) => this.deliver(chunk));
        stream.on('error', () => this.hangUp());
        stream.on('end', () => this.hangUp());
        stream.on('close', () => this.hangUp());
        return '';
    }
    attach(res) {
        this.listener = res;
        for (const chunk of this.pending || []) {
            this.deliver(chunk);
        }
        this.pending = [];
        if (!this.stream) {
            res.write('event: lost\ndata: \n\n');
        }
    }
    deliver(chunk) {
        if (!this.listener) {
            this.pending.push(chunk);
            return;
        }
        this.listener.write(`event: data\ndata: ${Buffer.from(chunk).toString('base64')}\n\n`);
    }
    write(bytes) {
        if (!this.stream) {
            return false;
        }
        try {
            let off = 0;
            while (off < bytes.length) {
                off += fs.writeSync(this.fd, bytes, off);
            }
        } catch (e) {
            if (e.code !== 'EAGAIN') {
                this.hangUp();
                return false;
            }
        }
        return true;
    }
    // The simulator closed its end (unplug) or the port failed.
    hangUp() {
        if (!this.stream) {
            return;
        }
        const s = this.stream;
        this.stream = null;
        s.destroy();
        if (this.listener) {
            this.listener.write('event: lost\ndata: \n\n');
            this.listener.end();
            this.listener = null;
        }
    }
    close() {
        const s = this.stream;
        this.stream = null;
        if (s) {
            s.destroy();
        }
        if (this.listener) {
            this.listener.end();
            this.listener = null;
        }
    }
}

function readBody(req) {
    return new Promise((resolve) => {
        const parts = [];
        req.on('data', (d) => parts.push(d));
        req.on('end', () => resolve(Buffer.concat(parts)));
    });
}

function eventStream(res) {
    res.writeHead(200, {
        'Content-Type': 'text/event-stream',
        'Cache-Control': 'no-store',
        Connection: 'keep-alive',
    });
    res.write(': stream\n\n');
}

// Serves root on 127.0.0.1 (port 0: any free one). ports: [{id, link, usbVendorId,
// usbProductId, granted}]. chooser: what the stand-in's requestPort() picks.
// The page's files can be made unreachable (as with no network) or swapped for another
// folder (a newer build) while the bridge goes on: serveFiles(null | folder).
export async function startBridge({ root, ports = [], inject = false, chooser = 'first', port = 0 }) {
    let files = root;
    const bridged = new Map(ports.map((d) => [d.id, new BridgedPort(d)]));
    const watchers = new Set();
    const present = new Set([...bridged.values()].filter((p) => p.present()).map((p) => p.desc.id));
    const config = {
        ports: ports.map(({ id, usbVendorId, usbProductId, granted }) => ({ id, usbVendorId, usbProductId, granted: !!granted })),
        chooser,
    };
    const bytesServed = new Map();

    // A simulator's unplug removes its link, a replug makes it again.
    const poll = setInterval(() => {
        for (const p of bridged.values()) {
            const now = p.present();
            const id = p.desc.id;
            if (now === present.has(id)) {
                continue;
            }
            if (now) {
                present.add(id);
            } else {
                present.delete(id);
                p.hangUp();
            }
            for (const w of watchers) {
                w.write(`event: ${now ? 'connect' : 'disconnect'}\ndata: ${JSON.stringify(id)}\n\n`);
            }
        }
    }, 50);

    const server = http.createServer(async (req, res) => {
        const url = new URL(req.url, 'http://localhost');
        const route = url.pathname.match(/^\/__zev1\/serial\/(\w+)(?:\/(.*))?$/);
        if (route) {
            const [, what, id] = route;
            const p = bridged.get(id);
            if (what === 'devices') {
                eventStream(res);
                res.write(`event: present\ndata: ${JSON.stringify([...present])}\n\n`);
                watchers.add(res);
                req.on('close', () => watchers.delete(res));
                return;
            }
            if (!p) {
                res.writeHead(404).end();
                return;
            }
            if (what === 'open') {
                const error = p.open();
                res.writeHead(error ? 409 : 200, { 'Content-Type': 'text/plain' }).end(error);
            } else if (what === 'read') {
                eventStream(res);
                p.attach(res);
                // The page went away (closed, reloaded): the browser lets go of its ports.
                req.on('close', () => {
                    if (p.listener === res) {
                        p.close();
                    }
                });
            } else if (what === 'write') {
                const body = await readBody(req);
                res.writeHead(p.write(body) ? 200 : 410).end();
            } else if (what === 'close') {
                p.close();
                res.writeHead(200).end();
            } else {
                res.writeHead(404).end();
            }
            return;
        }
        if (url.pathname === '/__zev1/standin.js') {
            res.writeHead(200, { 'Content-Type': types['.js'], 'Cache-Control': 'no-store' });
            res.end(standInScript(config));
            return;
        }
        // The page's own files.
        if (files === null) {
            req.socket.destroy();
            return;
        }
        let file = path.normalize(decodeURIComponent(url.pathname)).replace(/^(\.\.[/\\])+/, '');
        if (file.endsWith('/')) {
            file += 'index.html';
        }
        const base = path.resolve(files);
        const full = path.join(base, file);
        if (!full.startsWith(base + path.sep)) {
            res.writeHead(403).end();
            return;
        }
        fs.readFile(full, (err, data) => {
            if (err) {
                res.writeHead(404).end();
                return;
            }
            if (inject && path.basename(full) === 'index.html') {
                data = Buffer.from(data.toString('utf8').replace(/<head([^>]*)>/i,
                    '<head$1><script src="/__zev1/standin.js"></script>'));
            }
            bytesServed.set(file, data.length);
            res.writeHead(200, {
                'Content-Type': types[path.extname(full)] || 'application/octet-stream',
                'Cache-Control': 'no-store',
            });
            res.end(data);
        });
    });
    server.keepAliveTimeout = 0;
    await new Promise((resolve, reject) => {
        server.once('error', reject);
        server.listen(port, '127.0.0.1', () => {
            server.off('error', reject);
            resolve();
        });
    });
    const address = server.address();
    return {
        url: `http://127.0.0.1:${address.port}/`,
        bytesServed,
        serveFiles(folder) {
            files = folder;
        },
        async close() {
            clearInterval(poll);
            for (const p of bridged.values()) {
                p.close();
            }
            for (const w of watchers) {
                w.end();
            }
            server.closeAllConnections?.();
            await new Promise((resolve) => server.close(resolve));
        },
    };
}

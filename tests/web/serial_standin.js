// A stand-in for the Web Serial API (navigator.serial) whose far end is a serial bridge
// (serial_bridge.mjs) on the page's own origin: the bridge opens the pseudo-terminal of a
// native zev1-sim, so the page's unchanged code talks to the same simulator, with the
// same faults, as every other test suite.
//
// Installed before the page's scripts run (Playwright's addInitScript, or a <script> the
// demo server puts first into index.html), as a function called with its configuration:
//   { ports: [{ id, usbVendorId, usbProductId, granted }],   // granted: getPorts() offers it
//     chooser: 'first' | 'cancel',                            // what requestPort() picks
//     openError: '' | 'NetworkError' | 'SecurityError' | 'NotFoundError', // open() rejects so
//     signalsDelay: 0 }                                       // ms before setSignals() resolves
//
// It behaves as Chromium's implementation does where a page can tell: requestPort() needs
// a user gesture and rejects NotFoundError when the chooser is cancelled; open() rejects
// InvalidStateError on an open port and NetworkError when the device cannot be opened;
// readable and writable are streams of Uint8Array; a device that goes away errors the
// readable stream with NetworkError and fires 'disconnect' on the port and on
// navigator.serial (event.target is the port); a device that comes back fires 'connect'
// with a new SerialPort object. A line error (window.__zev1SerialLineError(name, lose):
// BreakError, FramingError, ParityError, BufferOverrunError) errors the readable stream
// with a DOMException of that name once the chunks it holds are read, the next `lose`
// bytes are garbled away, and port.readable is then a new stream, the port still open;
// window.__zev1SerialWriteError(name) fails the next write so, and port.writable is new.
// Every call is recorded in window.__zev1SerialTrace for the tests (open options,
// setSignals and 'signalsSet' when it resolves, bytes written, 'lineError').
(function installSerialStandIn(config) {
    'use strict';
    if (!/^https?:$/.test(location.protocol)) {
        return; // a frame without the bridge's origin (about:blank)
    }
    const base = '/__zev1/serial';
    const trace = [];
    const tracer = (entry) => {
        trace.push(Object.assign({ at: performance.now() }, entry));
    };
    Object.defineProperty(window, '__zev1SerialTrace', { value: trace });

    const b64decode = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));

    class SerialPortStandIn extends EventTarget {
        #id;
        #info;
        #state = 'closed'; // closed | opening | open | closing | lost
        #source = null; // EventSource of the received bytes
        #readable = null;
        #writable = null;
        #readController = null;
        #lineError = null; // the error the readable stream is to end with
        #losing = 0; // bytes a line error garbles
        #waiting = []; // bytes that came while the port had no readable stream
        #writeError = null; // the error the next write fails with
        onconnect = null;
        ondisconnect = null;

        constructor(desc) {
            super();
            this.#id = desc.id;
            // As Chromium on Linux: a port whose USB ids udev did not supply (no udev
            // running, or a built-in UART) reports {} rather than keys with no value.
            this.#info = desc.usbVendorId === undefined ? {}
                : { usbVendorId: desc.usbVendorId, usbProductId: desc.usbProductId };
        }
        get __id() {
            return this.#id;
        }
        getInfo() {
            return Object.assign({}, this.#info);
        }
        get readable() {
            if (this.#state === 'open' && this.#readable === null) {
                this.#newReadable(); // after a line error, as the browser does
            }
            return this.#state === 'open' ? this.#readable : null;
        }
        #newReadable() {
            this.#readable = new ReadableStream({
                start: (controller) => {
                    this.#readController = controller;
                    for (const bytes of this.#waiting.splice(0)) {
                        controller.enqueue(bytes);
                    }
                },
                pull: () => this.#failIfDrained(),
                cancel: () => {
                    this.#readController = null;
                },
            });
        }
        #deliver(bytes) {
            if (this.#losing > 0) {
                const lost = Math.min(this.#losing, bytes.length);
                this.#losing -= lost;
                bytes = bytes.subarray(lost);
            }
            if (bytes.length === 0) {
                return;
            }
            if (this.#readController) {
                this.#readController.enqueue(bytes);
            } else if (this.#state === 'open' && this.#readable === null) {
                this.#waiting.push(bytes);
            }
        }
        // The stream ends with the line error once the page has read what it held.
        #failIfDrained() {
            const controller = this.#readController;
            if (this.#lineError && controller && controller.desiredSize > 0) {
                const error = this.#lineError;
                this.#lineError = null;
                this.#readController = null;
                this.#readable = null;
                controller.error(error);
            }
        }
        __lineError(name, lose) {
            if (this.#state !== 'open' || !this.#readController) {
                return false;
            }
            tracer({ call: 'lineError', port: this.#id, name });
            this.#lineError = new DOMException(lineErrorMessages[name] || name, name);
            this.#losing = lose || 0;
            this.#failIfDrained();
            return true;
        }
        get writable() {
            if (this.#state === 'open' && this.#writable === null) {
                this.#newWritable(); // after a write error, as the browser does
            }
            return this.#state === 'open' ? this.#writable : null;
        }
        get connected() {
            return ports.get(this.#id) === this && present.has(this.#id);
        }

        async open(options) {
            tracer({ call: 'open', port: this.#id, options: Object.assign({}, options) });
            if (this.#state !== 'closed') {
                throw new DOMException('The port is already open.', 'InvalidStateError');
            }
            if (!options || typeof options.baudRate !== 'number' || options.baudRate <= 0) {
                throw new TypeError("Failed to execute 'open' on 'SerialPort': baudRate is required.");
            }
            if (!this.connected) {
                throw new DOMException('Failed to open serial port.', 'NetworkError');
            }
            if (config.openError) {
                // The system or the browser refuses the port (held elsewhere, policy).
                throw new DOMException('Failed to open serial port.', config.openError);
            }
            this.#state = 'opening';
            const reply = await fetch(`${base}/open/${this.#id}`, { method: 'POST' });
            if (!reply.ok) {
                this.#state = 'closed';
                throw new DOMException('Failed to open serial port.', 'NetworkError');
            }
            this.#state = 'open';
            this.#waiting = [];
            this.#lineError = null;
            this.#losing = 0;
            this.#newReadable();
            const source = new EventSource(`${base}/read/${this.#id}`);
            this.#source = source;
            source.addEventListener('data', (e) => this.#deliver(b64decode(e.data)));
            source.addEventListener('lost', () => this.#lost());
            source.onerror = () => {
                if (source.readyState === EventSource.CLOSED || this.#state === 'open') {
                    this.#lost();
                }
            };
            this.#newWritable();
        }

        #newWritable() {
            const id = this.#id;
            this.#writable = new WritableStream({
                write: async (chunk) => {
                    if (this.#writeError) {
                        const error = this.#writeError;
                        this.#writeError = null;
                        this.#writable = null; // the getter makes a new one
                        tracer({ call: 'writeError', port: id, name: error.name });
                        throw error;
                    }
                    if (!(chunk instanceof Uint8Array) && !ArrayBuffer.isView(chunk) &&
                        !(chunk instanceof ArrayBuffer)) {
                        throw new TypeError('Can only write ArrayBuffer or ArrayBufferView chunks.');
                    }
                    const bytes = chunk instanceof ArrayBuffer ? new Uint8Array(chunk)
                        : new Uint8Array(chunk.buffer, chunk.byteOffset, chunk.byteLength);
                    tracer({ call: 'write', port: id, bytes: Array.from(bytes) });
                    const r = await fetch(`${base}/write/${id}`, { method: 'POST', body: bytes.slice() });
                    if (!r.ok) {
                        throw new DOMException('The device has been lost.', 'NetworkError');
                    }
                },
            });
        }

        __writeError(name) {
            if (this.#state !== 'open') {
                return false;
            }
            this.#writeError = new DOMException('An unknown system error has occurred.', name);
            return true;
        }

        async setSignals(signals) {
            tracer({ call: 'setSignals', port: this.#id, signals: Object.assign({}, signals) });
            if (this.#state !== 'open') {
                throw new DOMException('The port is closed.', 'InvalidStateError');
            }
            if (config.signalsDelay) {
                await new Promise((resolve) => setTimeout(resolve, config.signalsDelay));
            }
            tracer({ call: 'signalsSet', port: this.#id });
        }

        async getSignals() {
            if (this.#state !== 'open') {
                throw new DOMException('The port is closed.', 'InvalidStateError');
            }
            return { dataCarrierDetect: true, clearToSend: true, ringIndicator: false, dataSetReady: true };
        }

        async close() {
            tracer({ call: 'close', port: this.#id });
            if (this.#state !== 'open' && this.#state !== 'lost') {
                throw new DOMException('The port is already closed.', 'InvalidStateError');
            }
            this.#shutDown();
            this.#state = 'closed';
            await fetch(`${base}/close/${this.#id}`, { method: 'POST' }).catch(() => {});
        }

        async forget() {
            tracer({ call: 'forget', port: this.#id });
            if (this.#state === 'open') {
                await this.close();
            }
            granted.delete(this.#id);
        }

        #shutDown() {
            if (this.#source) {
                this.#source.close();
                this.#source = null;
            }
            if (this.#readController) {
                try {
                    this.#readController.close();
                } catch (e) {
                    // already errored or closed
                }
                this.#readController = null;
            }
            this.#readable = null;
            this.#writable = null;
            this.#waiting = [];
        }

        // The device went away while the port was open: the reader sees NetworkError.
        #lost() {
            if (this.#state !== 'open') {
                return;
            }
            this.#state = 'lost';
            if (this.#source) {
                this.#source.close();
                this.#source = null;
            }
            if (this.#readController) {
                this.#readController.error(new DOMException('The device has been lost.', 'NetworkError'));
                this.#readController = null;
            }
            if (this.#writable) {
                this.#writable.abort().catch(() => {});
            }
        }

        __unplugged() {
            this.#lost();
        }
    }

    // The messages Chromium gives its line errors.
    const lineErrorMessages = {
        BreakError: 'Break received',
        FramingError: 'Framing error',
        ParityError: 'Parity error',
        BufferOverrunError: 'Buffer overrun',
    };
    const ports = new Map(); // id -> the SerialPort object of the device as it is now
    const present = new Set();
    const granted = new Set();
    const descs = new Map();
    for (const d of config.ports) {
        descs.set(d.id, d);
        if (d.granted) {
            granted.add(d.id);
        }
    }

    class SerialStandIn extends EventTarget {
        onconnect = null;
        ondisconnect = null;

        async getPorts() {
            tracer({ call: 'getPorts' });
            await ready;
            return [...present].filter((id) => granted.has(id)).map((id) => ports.get(id));
        }

        async requestPort(options) {
            tracer({ call: 'requestPort', options });
            if (!navigator.userActivation || !navigator.userActivation.isActive) {
                throw new DOMException("Failed to execute 'requestPort' on 'Serial': Must be handling a user gesture to show a permission request.", 'SecurityError');
            }
            await ready;
            const chosen = config.chooser === 'cancel' ? undefined
                : [...present].find((id) => !granted.has(id)) ?? [...present][0];
            if (chosen === undefined) {
                throw new DOMException('No port selected by the user.', 'NotFoundError');
            }
            granted.add(chosen);
            return ports.get(chosen);
        }
    }
    const serial = new SerialStandIn();

    const fire = (port, type) => {
        if (!granted.has(port.__id)) {
            return; // a page hears only of the ports it may use
        }
        const onPort = new Event(type, { bubbles: true });
        port.dispatchEvent(onPort);
        if (typeof port['on' + type] === 'function') {
            port['on' + type](onPort);
        }
        const onSerial = new Event(type, { bubbles: true });
        Object.defineProperty(onSerial, 'target', { value: port });
        serial.dispatchEvent(onSerial);
        if (typeof serial['on' + type] === 'function') {
            serial['on' + type](onSerial);
        }
    };

    const arrive = (id) => {
        if (present.has(id) || !descs.has(id)) {
            return;
        }
        const port = new SerialPortStandIn(descs.get(id));
        ports.set(id, port);
        present.add(id);
        return port;
    };
    const leave = (id) => {
        if (!present.has(id)) {
            return;
        }
        present.delete(id);
        const port = ports.get(id);
        port.__unplugged();
        fire(port, 'disconnect');
    };

    // Which devices are plugged in: the bridge's first event lists them, later ones say
    // what came and went.
    let readyResolve;
    const ready = new Promise((resolve) => {
        readyResolve = resolve;
    });
    const devices = new EventSource(`${base}/devices`);
    devices.addEventListener('present', (e) => {
        for (const id of JSON.parse(e.data)) {
            arrive(id);
        }
        readyResolve();
    });
    devices.addEventListener('connect', (e) => {
        const port = arrive(JSON.parse(e.data));
        if (port) {
            tracer({ call: 'event', type: 'connect', port: port.__id });
            fire(port, 'connect');
        }
    });
    devices.addEventListener('disconnect', (e) => {
        tracer({ call: 'event', type: 'disconnect', port: JSON.parse(e.data) });
        leave(JSON.parse(e.data));
    });
    devices.onerror = () => readyResolve();

    Object.defineProperty(Navigator.prototype, 'serial', {
        configurable: true,
        enumerable: true,
        get() {
            return serial;
        },
    });
    window.SerialPort = SerialPortStandIn;
    // A line error on every open port; false when none was open.
    Object.defineProperty(window, '__zev1SerialLineError', {
        value: (name, lose) => [...ports.values()].map((p) => p.__lineError(name, lose)).some(Boolean),
    });
    // The next write of every open port fails with this error; false when none was open.
    Object.defineProperty(window, '__zev1SerialWriteError', {
        value: (name) => [...ports.values()].map((p) => p.__writeError(name)).some(Boolean),
    });
})

// The browser's serial port layer: the only code that talks to the Web Serial API. It keeps
// the ports this page may use, opens connections one after another with the line settings
// the port object gives (web_port_host.cpp) and DTR and RTS low, runs the reader loop that hands every chunk to the port object, writes the
// blocks it gets, and ends a connection when the port is unplugged or lost. A line error
// (a break, framing, parity, an overrun) errors the port's stream but leaves the port open
// with a new one, which the reader takes. The port object (web_serial.cpp) is told
// everything through the exported zev1_port_* functions; it decides, this file only
// carries out.
// @ts-check

/** @typedef {{ id: number, port: SerialPort }} GrantedPort */
/**
 * An open connection; onLost is its port's 'disconnect' listener.
 * @typedef {{ connection: number, port: SerialPort,
 *             reader: ReadableStreamDefaultReader<Uint8Array>,
 *             writer: WritableStreamDefaultWriter<Uint8Array>,
 *             onLost: (() => void) | null }} Connection
 */

var Zev1Serial = {
  ports: /** @type {GrantedPort[]} */ ([]), // in the browser's order
  nextId: 1,
  connections: /** @type {Map<number, Connection>} */ (new Map()), // by connection number
  opening: Promise.resolve(), // opens run one after another
  closing: /** @type {Promise<unknown>} */ (Promise.resolve()), // every close begun so far
  onChange: /** @type {(() => void) | null} */ (null), // after the list of ports changed

  // navigator.serial is read when it is used, never kept: a test may put its own in place
  // before the page starts.
  api() { return navigator.serial; },

  /** @param {SerialPort} port */
  info(port) {
    /** @type {SerialPortInfo} */
    let info = {};
    try { info = port.getInfo() || {}; } catch (e) { /* a port that tells nothing */ }
    const id = (/** @type {unknown} */ v) => (typeof v === 'number' ? v : -1);
    return { vid: id(info.usbVendorId), pid: id(info.usbProductId) };
  },

  // Asks the browser for the ports this page may use and hands the list to the port
  // object. Ports keep their ids across calls.
  async refresh() {
    const serial = this.api();
    if (!serial) return;
    /** @type {SerialPort[]} */
    let granted = [];
    try { granted = await serial.getPorts(); } catch (e) { granted = []; }
    this.ports = granted.map((port) => {
      const known = this.ports.find((p) => p.port === port);
      return known || { id: this.nextId++, port };
    });
    const triples = new Int32Array(this.ports.length * 3);
    this.ports.forEach((p, i) => {
      const { vid, pid } = this.info(p.port);
      triples.set([p.id, vid, pid], i * 3);
    });
    const bytes = Math.max(4, triples.byteLength);
    const buffer = _malloc(bytes);
    HEAP32.set(triples, buffer >> 2);
    _zev1_port_list(buffer, this.ports.length);
    _free(buffer);
    if (this.onChange) this.onChange();
  },

  // Shows the browser's port chooser (only from a click). Resolves to the id of the
  // port chosen, or 'cancelled' or 'failed'.
  /** @returns {Promise<number | 'cancelled' | 'failed'>} */
  async request() {
    const serial = this.api();
    if (!serial) return 'failed';
    let port;
    try {
      port = await serial.requestPort({});
    } catch (e) {
      return e && e.name === 'NotFoundError' ? 'cancelled' : 'failed';
    }
    await this.refresh();
    const entry = this.ports.find((p) => p.port === port);
    return entry ? entry.id : 'failed';
  },

  start() {
    const serial = this.api();
    if (!serial) return;
    serial.addEventListener('connect', () => this.refresh());
    serial.addEventListener('disconnect', (event) => {
      const port = event.target !== serial ? event.target
                 : /** @type {SerialConnectionEvent} */ (event).port;
      for (const c of [...this.connections.values()]) {
        if (c.port === port || !port) this.ended(c.connection);
      }
      this.refresh();
    });
    this.refresh();
  },

  /** @param {number} id @param {number} connection @param {SerialOptions} options */
  open(id, connection, options) {
    this.opening = this.opening.then(() => this.openNow(id, connection, options))
      .catch(() => {});
  },

  /** @param {number} id @param {number} connection @param {SerialOptions} options */
  async openNow(id, connection, options) {
    await this.closing;
    const entry = this.ports.find((p) => p.id === id);
    if (!entry) {
      this.failed(connection, 'NotFoundError', 'not granted');
      return;
    }
    const port = entry.port;
    try {
      await port.open(options);
    } catch (e) {
      this.failed(connection, this.errorName(e), this.message(e));
      return;
    }
    // reader and writer are set before the connection is kept or used.
    /** @type {Connection} */
    const c = { connection, port, reader: /** @type {any} */ (null),
                writer: /** @type {any} */ (null), onLost: null };
    try {
      // The controller reads DTR and RTS as its reset and boot-mode inputs: they are low
      // before the port counts as open, so nothing is written while they may be high.
      await port.setSignals({ dataTerminalReady: false, requestToSend: false });
      // A port without its streams throws here, which fails the open.
      c.writer = /** @type {WritableStream<Uint8Array>} */ (port.writable).getWriter();
      c.reader = /** @type {ReadableStream<Uint8Array>} */ (port.readable).getReader();
    } catch (e) {
      try { if (c.writer) c.writer.releaseLock(); } catch (ignored) { /* released */ }
      try { await port.close(); } catch (ignored) { /* already closed */ }
      this.failed(connection, this.errorName(e), this.message(e));
      return;
    }
    // The event reaches navigator.serial too, where a browser lets it bubble; ended() is
    // said once either way, as the port object closes the connection at once.
    c.onLost = () => { if (this.connections.get(connection) === c) this.ended(connection); };
    port.addEventListener('disconnect', c.onLost);
    this.connections.set(connection, c);
    _zev1_port_opened(connection);
    if (this.connections.get(connection) === c) this.readLoop(c);
  },

  /** @param {any} e @returns {string} */
  message(e) {
    return e && e.message ? e.message : String(e);
  },

  // The name of a DOMException ("NetworkError"...); the port object reads it.
  /** @param {any} e @returns {string} */
  errorName(e) {
    return e && e.name ? String(e.name) : 'Error';
  },

  // An open that failed: the port object decides from the error's name what to say.
  /** @param {number} connection @param {string} error @param {string} detail */
  failed(connection, error, detail) {
    this.withText(error, (name) => this.withText(String(detail || ''),
      (text) => _zev1_port_open_failed(connection, name, text)));
  },

  // Calls f with a copy of the text in the module's memory; returns what f returns.
  /** @template T @param {string} text @param {(address: number) => T} f @returns {T} */
  withText(text, f) {
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    stringToUTF8(text, copy, size);
    try {
      return f(copy);
    } finally {
      _free(copy);
    }
  },

  // Tells the port object of a failed read or write; true when the connection goes on.
  /**
   * @param {(connection: number, error: number) => number} report
   * @param {Connection} c
   * @param {any} e
   */
  goesOn(report, c, e) {
    if (this.connections.get(c.connection) !== c) return false;
    return this.withText(this.errorName(e), (text) => report(c.connection, text)) !== 0;
  },

  /** @param {Connection} c */
  async readLoop(c) {
    for (;;) {
      let chunk;
      try {
        chunk = await c.reader.read();
      } catch (e) {
        // The stream is over; after a line error the port offers a new one.
        if (!this.goesOn(_zev1_port_read_failed, c, e)) break;
        try { c.reader.releaseLock(); } catch (ignored) { /* released */ }
        const readable = c.port.readable;
        if (!readable) break;
        try { c.reader = readable.getReader(); } catch (ignored) { break; }
        continue;
      }
      if (chunk.done) break;
      const value = chunk.value;
      if (value && value.length && this.connections.get(c.connection) === c) {
        const buffer = _malloc(value.length);
        HEAPU8.set(value, buffer);
        _zev1_port_received(c.connection, buffer, value.length);
        _free(buffer);
      }
    }
    if (this.connections.get(c.connection) === c) this.ended(c.connection);
  },

  /** @param {number} connection */
  ended(connection) {
    _zev1_port_ended(connection);
  },

  /** @param {number} connection @param {Uint8Array} bytes */
  write(connection, bytes) {
    const c = this.connections.get(connection);
    if (!c) return;
    c.writer.write(bytes).then(
      () => _zev1_port_written(connection),
      (e) => {
        // A block the port could not write, while it is still there, costs that block.
        if (this.goesOn(_zev1_port_write_failed, c, e) && this.renewWriter(c)) return;
        if (this.connections.get(connection) === c) this.ended(connection);
      });
  },

  /** @param {Connection} c */
  renewWriter(c) {
    try { c.writer.releaseLock(); } catch (ignored) { /* released */ }
    const writable = c.port.writable;
    if (!writable) return false;
    try {
      c.writer = writable.getWriter();
      return true;
    } catch (ignored) {
      return false;
    }
  },

  /** @param {number} connection @param {boolean} dtr @param {boolean} rts */
  setSignals(connection, dtr, rts) {
    const c = this.connections.get(connection);
    if (!c) return;
    c.port.setSignals({ dataTerminalReady: dtr, requestToSend: rts }).catch(() => {});
  },

  /** @param {number} connection */
  close(connection) {
    const c = this.connections.get(connection);
    if (!c) return;
    this.connections.delete(connection);
    c.port.removeEventListener('disconnect', c.onLost);
    // The next open of a port waits for every close, so it never finds the port still open.
    this.closing = Promise.all([this.closing, (async () => {
      try { await c.reader.cancel(); } catch (e) { /* already over */ }
      try { c.reader.releaseLock(); } catch (e) { /* already released */ }
      try { await c.writer.close(); } catch (e) { /* already over */ }
      try { c.writer.releaseLock(); } catch (e) { /* already released */ }
      try { await c.port.close(); } catch (e) { /* unplugged */ }
    })()]);
  },
};

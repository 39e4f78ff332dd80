// The browser's serial port layer: the only code that talks to the Web Serial API. It keeps
// the ports this page may use, opens one connection at a time at 115200 8N1 with DTR and
// RTS low, runs the reader loop that hands every chunk to the port object, writes the
// blocks it gets, and ends the connection when the port is unplugged or its reader fails.
// The port object (web_serial.cpp) is told everything through the exported zev1_port_*
// functions; it decides, this file only carries out.
var Zev1Serial = {
  ports: [],          // [{id, port}] in the browser's order
  nextId: 1,
  current: null,      // {connection, port, reader, writer}
  closing: Promise.resolve(),
  onChange: null,     // called after the list of ports changed

  // navigator.serial is read when it is used, never kept: a test may put its own in place
  // before the page starts.
  api() { return navigator.serial; },

  info(port) {
    let info = {};
    try { info = port.getInfo() || {}; } catch (e) { /* a port that tells nothing */ }
    const id = (v) => (typeof v === 'number' ? v : -1);
    return { vid: id(info.usbVendorId), pid: id(info.usbProductId) };
  },

  // Asks the browser for the ports this page may use and hands the list to the port
  // object. Ports keep their ids across calls.
  async refresh() {
    const serial = this.api();
    if (!serial) return;
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
      const port = event.target !== serial ? event.target : event.port;
      if (this.current && (port === this.current.port || !port)) {
        this.ended(this.current.connection);
      }
      this.refresh();
    });
    this.refresh();
  },

  async open(id, connection) {
    await this.closing;
    const entry = this.ports.find((p) => p.id === id);
    if (!entry) {
      this.failed(connection, 2, 'not granted');
      return;
    }
    const port = entry.port;
    try {
      await port.open({ baudRate: 115200, dataBits: 8, parity: 'none', stopBits: 1,
                        flowControl: 'none' });
    } catch (e) {
      // NetworkError: the system could not open it (another program or tab holds it).
      const why = e && (e.name === 'SecurityError' || e.name === 'NotAllowedError') ? 1
                : e && e.name === 'NotFoundError' ? 2 : 0;
      this.failed(connection, why, e && e.message ? e.message : String(e));
      return;
    }
    try {
      // The controller reads DTR and RTS as its reset and boot-mode inputs.
      await port.setSignals({ dataTerminalReady: false, requestToSend: false });
    } catch (e) {
      try { await port.close(); } catch (ignored) { /* already closed */ }
      this.failed(connection, 0, e && e.message ? e.message : String(e));
      return;
    }
    const current = { connection, port, reader: null, writer: null };
    try {
      current.writer = port.writable.getWriter();
      current.reader = port.readable.getReader();
    } catch (e) {
      try { await port.close(); } catch (ignored) { /* already closed */ }
      this.failed(connection, 0, e && e.message ? e.message : String(e));
      return;
    }
    this.current = current;
    _zev1_port_opened(connection);
    this.readLoop(current);
  },

  failed(connection, why, detail) {
    const text = String(detail || '');
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    stringToUTF8(text, copy, size);
    _zev1_port_open_failed(connection, why, copy);
    _free(copy);
  },

  async readLoop(current) {
    try {
      for (;;) {
        const { value, done } = await current.reader.read();
        if (done) break;
        if (value && value.length && this.current === current) {
          const buffer = _malloc(value.length);
          HEAPU8.set(value, buffer);
          _zev1_port_received(current.connection, buffer, value.length);
          _free(buffer);
        }
      }
    } catch (e) {
      // The device was unplugged or the line failed: the connection is over.
    }
    if (this.current === current) this.ended(current.connection);
  },

  ended(connection) {
    _zev1_port_ended(connection);
  },

  write(connection, bytes) {
    const current = this.current;
    if (!current || current.connection !== connection) return;
    current.writer.write(bytes).then(
      () => _zev1_port_written(connection),
      () => { if (this.current === current) this.ended(connection); });
  },

  setSignals(connection, dtr, rts) {
    const current = this.current;
    if (!current || current.connection !== connection) return;
    current.port.setSignals({ dataTerminalReady: dtr, requestToSend: rts }).catch(() => {});
  },

  close(connection) {
    const current = this.current;
    if (!current || current.connection !== connection) return;
    this.current = null;
    // The next open of a port waits for this close, so it never finds the port still open.
    this.closing = (async () => {
      try { await current.reader.cancel(); } catch (e) { /* already over */ }
      try { current.reader.releaseLock(); } catch (e) { /* already released */ }
      try { await current.writer.close(); } catch (e) { /* already over */ }
      try { current.writer.releaseLock(); } catch (e) { /* already released */ }
      try { await current.port.close(); } catch (e) { /* unplugged */ }
    })();
  },
};

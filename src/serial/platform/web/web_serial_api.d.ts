// Types for the scripts the page runs before the module: the part of the Web Serial API
// that web_serial.js uses (TypeScript's DOM library has none of it) and what the module
// offers them (its memory, its text helpers and the exported zev1_port_* functions of
// web_port_host.cpp). Read only by the type check; nothing here reaches the page.

interface SerialPortInfo {
  usbVendorId?: number;
  usbProductId?: number;
}

interface SerialOptions {
  baudRate: number;
  dataBits?: 7 | 8;
  stopBits?: 1 | 2;
  parity?: 'none' | 'even' | 'odd';
  bufferSize?: number;
  flowControl?: 'none' | 'hardware';
}

interface SerialOutputSignals {
  dataTerminalReady?: boolean;
  requestToSend?: boolean;
  break?: boolean;
}

interface SerialPort extends EventTarget {
  readonly readable: ReadableStream<Uint8Array> | null;
  readonly writable: WritableStream<Uint8Array> | null;
  getInfo(): SerialPortInfo;
  open(options: SerialOptions): Promise<void>;
  setSignals(signals: SerialOutputSignals): Promise<void>;
  close(): Promise<void>;
}

interface SerialPortFilter {
  usbVendorId?: number;
  usbProductId?: number;
}

interface SerialPortRequestOptions {
  filters?: SerialPortFilter[];
}

/** 'connect' and 'disconnect' on navigator.serial: older browsers name the port here. */
interface SerialConnectionEvent extends Event {
  readonly port?: SerialPort;
}

interface Serial extends EventTarget {
  getPorts(): Promise<SerialPort[]>;
  requestPort(options?: SerialPortRequestOptions): Promise<SerialPort>;
}

interface Navigator {
  /** Absent in browsers without Web Serial. */
  readonly serial?: Serial;
}

// The module's memory and text helpers (addresses are numbers into HEAPU8).
declare var HEAPU8: Uint8Array;
declare var HEAP32: Int32Array;
declare function _malloc(size: number): number;
declare function _free(address: number): void;
declare function lengthBytesUTF8(text: string): number;
declare function stringToUTF8(text: string, address: number, capacity: number): number;
declare function UTF8ToString(address: number, maxBytes?: number): string;

// The port object's side (web_port_host.cpp). Connection numbers and port ids are the
// module's; the read/write failure reports return non-zero when the connection goes on.
declare function _zev1_port_list(triples: number, count: number): void;
declare function _zev1_port_opened(connection: number): void;
declare function _zev1_port_open_failed(connection: number, error: number, detail: number): void;
declare function _zev1_port_received(connection: number, bytes: number, length: number): void;
declare function _zev1_port_written(connection: number): void;
declare function _zev1_port_read_failed(connection: number, error: number): number;
declare function _zev1_port_write_failed(connection: number, error: number): number;
declare function _zev1_port_ended(connection: number): void;

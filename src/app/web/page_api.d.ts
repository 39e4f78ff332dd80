// Types for page.js: the layout the module hands it (web_layout.cpp's zev1_layout_json),
// the module's exported functions it calls (web_page.cpp, web_windows.cpp) and the part of
// the module's file system it uses. Read only by the type check; nothing here reaches the
// page. Window ids, rows and indexes are the module's numbers; texts are UTF-8 addresses
// into the module's memory where a function takes or returns one.

/** A control of a window's layout table. */
interface LayoutControl {
  name: string;
  kind: 'label' | 'edit' | 'read_only_edit' | 'combo' | 'button' | 'check_box' | 'memo'
      | 'progress_bar' | 'wrapped_label';
  /** left, top, width, height in design pixels. */
  box: [number, number, number, number];
  /** The place in the Tab order; negative: the control takes no focus. */
  tab: number;
  initial: string;
  font: string;
  align: string;
  items: string[];
}

/** A window of the page, as its layout table gives it. */
interface LayoutWindow {
  /** The number the page and the forms address the window by. */
  id: number;
  /** Its element's data-window: 'main', 'progress', 'terminal' or 'about'. */
  window: 'main' | 'progress' | 'terminal' | 'about';
  /** The form's name (data-form). */
  name: string;
  caption: string;
  kind: string;
  width: number;
  height: number;
  fontPixels: number;
  controls: LayoutControl[];
  /** [label row, control row]: the label that names the control. */
  labels: [number, number][];
}

interface Layout {
  windows: LayoutWindow[];
  title: string;
}

declare function _zev1_layout_json(): number;
declare function _zev1_start(): void;
declare function _zev1_tick(): number;
declare function _zev1_first_wait(): number;
declare function _zev1_let_idle_ticks_pass(allowed: number): void;
declare function _zev1_german(): number;
declare function _zev1_clicked(window: number, row: number): void;
declare function _zev1_chosen(window: number, row: number, index: number): void;
declare function _zev1_edited(window: number, row: number): void;
declare function _zev1_left(window: number, row: number): void;
declare function _zev1_box_closed(): void;
declare function _zev1_choose_port(portId: number): void;
declare function _zev1_terminal_resized(width: number, height: number): void;
declare function _zev1_save_settings(): number;
declare function _zev1_settings_path(): number;
declare function _zev1_update_notice(part: number): number;
declare function _zev1_caption_pixels(width: number, pixels: number): number;

/** The module's in-memory file system, as far as the page uses it. */
declare var FS: {
  mkdir(path: string): void;
  chdir(path: string): void;
  writeFile(path: string, data: string): void;
  readFile(path: string, options: { encoding: 'utf8' }): string;
};

/** The module's settings object, read when the module starts. */
declare var Module: { onRuntimeInitialized?: () => void };

// The page of the browser configurator: builds the four windows from the layout tables
// (one real HTML control per row, at the table's place in design pixels), forwards the
// user's clicks, choices and focus changes to the forms, draws what they say, runs the
// 10 ms tick, keeps the settings file and the log files in the browser's storage, and says
// in the window's language what the browser cannot do.
//
// For tests and readers: every window is an element with data-window ("main", "progress",
// "terminal", "about", and "box" for the message box), hidden when not shown; every
// control carries data-control with its name in the layout table (a check box's
// data-control is the <input> itself). The page's own controls: "add_port",
// "show_terminal", "show_about" (the tool bar above the windows), "save_log" and
// "close_terminal" (the terminal's caption), "box_ok" and "box_text" (message box). Its messages are <p data-message="..."> in the
// element data-window="messages"; "update_now" is the button of the notice of a newer build.
// @ts-check

/**
 * A control's element, as its kind in the table makes it; a memo keeps whether its view
 * follows new lines.
 * @typedef {HTMLElement & { following?: boolean }} Control
 */
/**
 * A window of the page: its element, its client area and caption bar, one element per
 * row of its table.
 * @typedef {{ element: HTMLElement, client: HTMLDivElement, caption: HTMLElement,
 *             controls: Control[], spec: LayoutWindow }} PageWindow
 */
/** @typedef {LayoutWindow['window']} WindowName */
/** @typedef {{ text: string, font: (pixels: number) => string }} Fitting */

var Zev1Page = {
  windows: /** @type {PageWindow[]} */ ([]), // by the window's id (the layout's)
  named: /** @type {Map<WindowName, PageWindow>} */ (new Map()), // by data-window
  messages: /** @type {Map<string, { port?: string }>} */ (new Map()), // by data-message
  shownGerman: /** @type {boolean | null} */ (null),
  settingsKey: 'zev1-wifi-config.INI',
  logPrefix: 'zev1-log:',
  // A log is kept in pieces of at most this many characters (keys NAME, NAME#1, NAME#2 ...):
  // a line costs the rewrite of the last piece, however long the log has grown.
  logPieceChars: 16384,
  currentLog: '',
  // The log being kept: its name, the number of its last piece, that piece's text.
  keptLog: /** @type {{ name: string, piece: number, text: string } | null} */ (null),
  // log name -> what the full storage refused, in the order it came
  unkept: /** @type {Map<string, string>} */ (new Map()),
  ticks: 0,           // ticks run since the page started
  // The page's own buttons (extraControls), the message box, the update notice's button.
  addPort: /** @type {HTMLButtonElement | null} */ (null),
  showTerminal: /** @type {HTMLButtonElement | null} */ (null),
  showAbout: /** @type {HTMLButtonElement | null} */ (null),
  box: /** @type {{ element: HTMLElement, text: HTMLElement, ok: HTMLButtonElement } | null} */ (null),
  updateButton: /** @type {HTMLButtonElement | null} */ (null),
  // The caption being fitted (fitCaption) and the canvas it is measured on.
  fitting: /** @type {Fitting | null} */ (null),
  measure: /** @type {CanvasRenderingContext2D | null} */ (null),
  // The tick's worker and how the next run is asked for (startTick).
  worker: /** @type {Worker | null} */ (null),
  tickAfter: /** @type {(ms: number) => void} */ ((ms) => {}),
  // The newer build that waits (startOffline), whether it is being taken, whether the
  // start asked it to be.
  newer: /** @type {ServiceWorker | null} */ (null),
  taking: false,
  asked: false,
  runs: 0,           // runs of the tick timer (one run stands for one tick or more)

  // --- the page's own words, in the window's two languages -------------------------------
  /** @type {Record<string, [string, string]>} */
  words: {
    'no-serial': [
      'Dieser Browser kann keine seriellen Ports ansprechen (Web Serial fehlt), zum Beispiel ' +
      'Safari, Firefox oder ein älterer Browser. Bitte Chrome, Edge oder Opera (ab Version 89) ' +
      'unter Windows, macOS, Linux oder ChromeOS verwenden, oder Chrome unter Android mit ' +
      'USB-Kabel.',
      'Tento prohlížeč neumí pracovat se sériovými porty (chybí Web Serial), například Safari, ' +
      'Firefox nebo starší prohlížeč. Použijte Chrome, Edge nebo Operu (od verze 89) ve ' +
      'Windows, macOS, Linuxu nebo ChromeOS, nebo Chrome v Androidu s kabelem USB.'],
    'insecure': [
      'Diese Seite wurde über eine unsichere Verbindung (http) geöffnet. Serielle Ports gibt ' +
      'der Browser nur Seiten über https oder von localhost frei. Bitte die Seite über https ' +
      'öffnen.',
      'Tato stránka byla otevřena přes nezabezpečené spojení (http). Sériové porty prohlížeč ' +
      'zpřístupní jen stránkám přes https nebo z localhost. Otevřete stránku přes https.'],
    'no-port': [
      'Diese Seite darf noch keinen Port benutzen: „Port…“ drücken und den ZEV1 in der Liste ' +
      'des Browsers wählen.',
      'Tato stránka zatím nesmí používat žádný port: stiskněte „Port…“ a v seznamu prohlížeče ' +
      'vyberte ZEV1.'],
    'cancelled': [
      'Kein Port gewählt: die Auswahl des Browsers wurde abgebrochen.',
      'Nebyl vybrán žádný port: výběr v prohlížeči byl zrušen.'],
    'chooser-failed': [
      'Der Browser hat die Portauswahl nicht geöffnet.',
      'Prohlížeč neotevřel výběr portu.'],
    'port-busy': [
      'Port {port} lässt sich nicht öffnen: ein anderes Programm oder ein anderer Browser-Tab ' +
      'benutzt ihn, oder das System verweigert den Zugriff. Er wird geöffnet, sobald er frei ist.',
      'Port {port} nelze otevřít: používá ho jiný program nebo jiná karta prohlížeče, nebo ' +
      'systém přístup odmítl. Otevře se, jakmile bude volný.'],
    'port-refused': [
      'Der Browser erlaubt dieser Seite den Port {port} nicht mehr: mit „Port…“ erneut freigeben.',
      'Prohlížeč už této stránce port {port} nedovoluje: povolte ho znovu tlačítkem „Port…“.'],
    'port-gone': [
      'Port {port} ist nicht mehr angeschlossen.',
      'Port {port} už není připojen.'],
    'storage-full': [
      'Der Speicher des Browsers ist voll: das Log wird nicht mehr vollständig aufbewahrt. ' +
      'Bitte „Save Log“ drücken.',
      'Úložiště prohlížeče je plné: log se už neukládá celý. Stiskněte „Save Log“.'],
    'add_port': ['Port…', 'Port…'],
    'add_port-hint': ['Einen Port für diese Seite freigeben (Auswahl des Browsers)',
                      'Povolit této stránce port (výběr prohlížeče)'],
    'show_terminal': ['Terminal', 'Terminál'],
    'show_about': ['Info', 'Info'],
  },

  german() { return _zev1_german() !== 0; },
  /** @param {string} key @param {string} [port] */
  say(key, port) {
    const text = this.words[key][this.german() ? 0 : 1];
    return port === undefined ? text : text.replace('{port}', port);
  },

  // --- building the windows --------------------------------------------------------------
  build() {
    /** @type {Layout} */
    const layout = JSON.parse(UTF8ToString(_zev1_layout_json()));
    const desk = this.byId('zev1-desk');
    layout.windows.forEach((spec) => {
      const number = spec.id;
      const main = spec.window === 'main';
      const win = document.createElement('section');
      win.className = 'window ' + spec.kind;
      win.dataset.window = spec.window;
      win.dataset.form = spec.name;
      win.setAttribute('aria-label', spec.caption);
      const caption = document.createElement('header');
      caption.className = 'caption';
      caption.appendChild(this.heading(main ? 'h1' : 'h2', 'zev1-title-' + number, spec.caption));
      win.appendChild(caption);
      const client = document.createElement('div');
      client.className = 'client';
      client.style.width = spec.width + 'px';
      client.style.height = spec.height + 'px';
      if (spec.fontPixels > 0) client.style.fontSize = spec.fontPixels + 'px';
      win.appendChild(client);
      const made = spec.controls.map((c, row) => this.control(number, row, c));
      const controls = made.map((m) => m.element);
      // A screen reader names a field by the label the table gives it, in the language
      // the label shows.
      spec.labels.forEach(([label, row]) => {
        controls[label].id = 'zev1-label-' + number + '-' + label;
        controls[row].setAttribute('aria-labelledby', controls[label].id);
      });
      // In the table's tab order: the page's order is the order of its elements.
      const order = spec.controls.map((c, row) => row);
      order.sort((a, b) => spec.controls[a].tab - spec.controls[b].tab);
      order.forEach((row) => client.appendChild(made[row].box));
      spec.controls.forEach((c, row) => {
        const e = controls[row];
        if (c.tab >= 0) e.tabIndex = 0;
        else if (['INPUT', 'SELECT', 'BUTTON'].includes(e.tagName)) e.tabIndex = -1;
      });
      this.windows[number] = { element: win, client, caption, controls, spec };
      this.named.set(spec.window, this.windows[number]);
      win.hidden = !main;
      desk.appendChild(win);
    });
    document.title = layout.title;
    this.extraControls(layout);
  },

  /** @param {string} id */
  byId(id) {
    const e = document.getElementById(id);
    if (!e) throw new Error('the page has no #' + id);
    return e;
  },

  /** @param {WindowName} name */
  win(name) {
    const w = this.named.get(name);
    if (!w) throw new Error('the layout has no window ' + name);
    return w;
  },

  // A window's title: the caption bar's text, a heading for a screen reader.
  /** @param {'h1' | 'h2'} level @param {string} id @param {string} text */
  heading(level, id, text) {
    const h = document.createElement(level);
    h.id = id;
    h.textContent = text;
    return h;
  },

  /** @param {PageWindow} window @param {string} name */
  row(window, name) {
    return window.spec.controls.findIndex((c) => c.name === name);
  },

  // The element of a row and the box placed in the window (its holder, or itself).
  /**
   * @param {number} window @param {number} row @param {LayoutControl} c
   * @returns {{ element: Control, box: HTMLElement }}
   */
  control(window, row, c) {
    /** @type {Control} */
    let element;
    /** @type {HTMLElement | undefined} */
    let holder;
    const left = () => _zev1_left(window, row);
    switch (c.kind) {
      case 'edit':
      case 'read_only_edit': {
        const input = document.createElement('input');
        input.type = 'text';
        input.readOnly = c.kind === 'read_only_edit';
        input.spellcheck = false;
        input.autocomplete = 'off';
        input.value = c.initial;
        input.addEventListener('blur', left);
        element = input;
        break;
      }
      case 'combo':
        if (c.items.length === 0) {
          // A list filled at run time (the ports): only its entries can be chosen.
          const select = document.createElement('select');
          select.addEventListener('change', () => _zev1_chosen(window, row, select.selectedIndex));
          select.addEventListener('blur', left);
          element = select;
        } else {
          // A list to pick from or type over (the security type).
          const input = document.createElement('input');
          input.type = 'text';
          input.autocomplete = 'off';
          input.spellcheck = false;
          const list = document.createElement('datalist');
          list.id = 'zev1-list-' + window + '-' + row;
          c.items.forEach((item) => {
            const option = document.createElement('option');
            option.value = item;
            list.appendChild(option);
          });
          holder = document.createElement('span');
          holder.append(input, list);
          input.setAttribute('list', list.id);
          input.value = c.initial;
          input.addEventListener('input', () => _zev1_edited(window, row));
          input.addEventListener('blur', left);
          element = input;
        }
        break;
      case 'button': {
        const button = document.createElement('button');
        button.type = 'button';
        button.textContent = c.initial;
        button.addEventListener('click', () => _zev1_clicked(window, row));
        element = button;
        break;
      }
      case 'check_box': {
        holder = document.createElement('span');
        const input = document.createElement('input');
        input.type = 'checkbox';
        input.id = 'zev1-check-' + window + '-' + row;
        const label = document.createElement('label');
        label.htmlFor = input.id;
        label.textContent = c.initial;
        holder.append(input, label);
        input.addEventListener('change', () => _zev1_clicked(window, row));
        input.addEventListener('blur', left);
        element = input;
        break;
      }
      case 'memo': {
        /** @type {Control} */
        const memo = document.createElement('div');
        memo.setAttribute('role', 'log');
        memo.setAttribute('aria-label', c.name);
        memo.tabIndex = 0; // read with the keyboard, as the desktop's memos are
        // Whether the view follows new lines: while the reader is at the last line. A hidden
        // window's memo has no layout, so it keeps what the reader left it at.
        memo.following = true;
        memo.addEventListener('scroll', () => {
          if (memo.clientHeight > 0) memo.following = this.atEnd(memo);
        });
        element = memo;
        break;
      }
      case 'progress_bar': {
        const bar = document.createElement('progress');
        bar.max = 100;
        bar.value = 0;
        element = bar;
        break;
      }
      default: // label, wrapped_label
        element = document.createElement(c.kind === 'wrapped_label' ? 'div' : 'span');
        element.textContent = c.initial;
        break;
    }
    element.dataset.control = c.name;
    const box = holder || element;
    box.classList.add('control', c.kind, 'font-' + c.font, 'align-' + c.align);
    const [x, y, width, height] = c.box;
    box.style.left = x + 'px';
    box.style.top = y + 'px';
    if (width > 0 || height > 0) {
      box.style.width = width + 'px';
      box.style.height = height + 'px';
    }
    return { element, box };
  },

  // What the page adds to the desktop's windows, outside their tables (so each window's
  // Tab order stays the table's): a tool bar with the browser's port chooser and buttons
  // for the two shortcuts (touch screens have no keys), saving the log and closing in the
  // terminal's caption, the message box.
  /** @param {Layout} layout */
  extraControls(layout) {
    const terminal = this.win('terminal');
    const about = this.win('about');
    /** @param {HTMLElement} parent @param {string} name @param {() => void} action */
    const button = (parent, name, action) => {
      const b = document.createElement('button');
      b.type = 'button';
      b.dataset.control = name;
      b.className = 'page';
      b.addEventListener('click', action);
      parent.appendChild(b);
      return b;
    };
    const bar = this.byId('zev1-bar');
    this.addPort = button(bar, 'add_port', () => this.requestPort());
    this.showTerminal = button(bar, 'show_terminal', () => this.openTerminal());
    this.showAbout = button(bar, 'show_about', () => this.openAbout());
    const tools = document.createElement('span');
    terminal.caption.appendChild(tools);
    button(tools, 'save_log', () => this.saveLog()).textContent = 'Save Log';
    const close = button(tools, 'close_terminal', () => { terminal.element.hidden = true; });
    close.className = 'page close';
    close.textContent = '×';
    close.setAttribute('aria-label', 'Close');
    about.controls[this.row(about, 'OKButton')].addEventListener('click', () => {
      about.element.hidden = true;
    });
    new ResizeObserver(() => this.terminalResized()).observe(terminal.client);

    const box = document.createElement('section');
    box.className = 'window box';
    box.dataset.window = 'box';
    box.setAttribute('role', 'alertdialog');
    box.setAttribute('aria-labelledby', 'zev1-title-box');
    box.setAttribute('aria-describedby', 'zev1-box-text');
    box.hidden = true;
    const caption = document.createElement('header');
    caption.className = 'caption';
    caption.appendChild(this.heading('h2', 'zev1-title-box', layout.title));
    const text = document.createElement('p');
    text.id = 'zev1-box-text';
    text.dataset.control = 'box_text';
    const ok = document.createElement('button');
    ok.type = 'button';
    ok.dataset.control = 'box_ok';
    ok.textContent = 'OK';
    ok.addEventListener('click', () => this.closeBox());
    box.append(caption, text, ok);
    this.byId('zev1-desk').appendChild(box);
    this.box = { element: box, text, ok };
  },

  // --- what the forms call (web_windows.cpp) ---------------------------------------------
  // form: the window's id; row: the control's row in its table.
  /** @param {number} form @param {number} row */
  el(form, row) { return this.windows[form].controls[row]; },

  // The first label of a check box (its caption).
  /** @param {HTMLInputElement} e */
  labelOf(e) { return e.labels && e.labels.length ? e.labels[0] : null; },

  /** @param {Control} e */
  isMemo(e) { return e.getAttribute('role') === 'log'; },

  // A text that is already there is not written again: the program sets its state line and
  // counters on every change it sees, and a write that changes nothing still costs the
  // browser a style pass and a frame.
  /** @param {number} form @param {number} row @param {string} text */
  setText(form, row, text) {
    const e = this.el(form, row);
    if (e instanceof HTMLInputElement && e.type === 'checkbox') {
      const label = this.labelOf(e);
      if (label && label.textContent !== text) label.textContent = text;
    } else if (e instanceof HTMLInputElement) {
      if (e.value !== text) e.value = text;
    } else if (e instanceof HTMLSelectElement) {
      const index = Array.from(e.options).findIndex((o) => o.text === text);
      if (e.selectedIndex !== index) e.selectedIndex = index;
    } else if (this.isMemo(e)) {
      e.replaceChildren();
      if (text !== '') text.split('\n').forEach((line) => this.appendLine(form, row, line));
    } else if (e.textContent !== text) {
      e.textContent = text;
      if (e instanceof HTMLButtonElement) this.fitCaption(e);
    }
  },

  // A caption longer than its button is shown in a smaller font, as on the desktop: the
  // size is the windows' rule's (zev1_caption_pixels), which asks captionWidth for the
  // caption's width at each size it tries. The width is the table's (design pixels), so
  // a button of a hidden window is fitted as well.
  /** @param {HTMLButtonElement} button */
  fitCaption(button) {
    button.style.fontSize = '';
    const width = parseFloat(button.style.width);
    if (!(width > 0)) return;
    const style = getComputedStyle(button);
    const pixels = Math.round(parseFloat(style.fontSize));
    this.fitting = {
      text: button.textContent || '',
      font: (size) => style.fontStyle + ' ' + style.fontWeight + ' ' + size + 'px ' + style.fontFamily,
    };
    try {
      const fitted = _zev1_caption_pixels(Math.round(width), pixels);
      if (fitted !== pixels) button.style.fontSize = fitted + 'px';
    } finally {
      this.fitting = null;
    }
  },

  // The width of the caption being fitted in this font size (pixels, rounded up).
  /** @param {number} pixels */
  captionWidth(pixels) {
    if (!this.fitting) return 0;
    if (!this.measure) this.measure = document.createElement('canvas').getContext('2d');
    if (!this.measure) return 0;
    this.measure.font = this.fitting.font(pixels);
    return Math.ceil(this.measure.measureText(this.fitting.text).width);
  },

  /** @param {number} form @param {number} row @returns {string} */
  text(form, row) {
    const e = this.el(form, row);
    if (e instanceof HTMLInputElement && e.type === 'checkbox') {
      const label = this.labelOf(e);
      return label ? label.textContent || '' : '';
    }
    if (e instanceof HTMLInputElement) return e.value;
    if (e instanceof HTMLSelectElement) {
      return e.selectedIndex >= 0 ? e.options[e.selectedIndex].text : '';
    }
    if (this.isMemo(e)) {
      return Array.from(e.children, (line) => line.textContent).join('\n');
    }
    return e.textContent || '';
  },

  /** @param {number} form @param {number} row @param {boolean} checked */
  setChecked(form, row, checked) {
    const e = this.el(form, row);
    if (e instanceof HTMLInputElement) e.checked = checked;
  },
  /** @param {number} form @param {number} row */
  checked(form, row) {
    const e = this.el(form, row);
    return e instanceof HTMLInputElement && e.checked;
  },

  /**
   * @param {number} form @param {number} row
   * @param {number} left @param {number} top @param {number} width @param {number} height
   */
  place(form, row, left, top, width, height) {
    const e = this.el(form, row);
    const parent = e.parentElement;
    const box = parent && parent.classList.contains('control') ? parent : e;
    box.style.left = left + 'px';
    box.style.top = top + 'px';
    box.style.width = width + 'px';
    box.style.height = height + 'px';
  },

  /** @param {number} form @param {string} text */
  setCaption(form, text) {
    const win = this.windows[form];
    if (win.caption.firstChild) win.caption.firstChild.textContent = text;
    win.element.setAttribute('aria-label', text);
  },

  // What the mouse shows over a control, or over the window itself (row -1).
  /** @param {number} form @param {number} row @param {string} text */
  setHint(form, row, text) {
    const e = row < 0 ? this.windows[form].element : this.el(form, row);
    if (e.title !== text) e.title = text;
  },

  // The name a screen reader gives a control that no label names.
  /** @param {number} form @param {number} row @param {string} text */
  setName(form, row, text) { this.el(form, row).setAttribute('aria-label', text); },

  /** @param {number} form @param {number} row */
  clearItems(form, row) {
    const e = this.el(form, row);
    if (e instanceof HTMLSelectElement) e.replaceChildren();
    this.setSuggestion(form, row, -1);
  },

  // The entry the typed text suggests (the form's rule); -1: none.
  /** @param {number} form @param {number} row @param {number} index */
  setSuggestion(form, row, index) {
    this.el(form, row).dataset.suggested = String(index);
  },

  /** @param {number} form @param {number} row @param {string} text */
  appendItem(form, row, text) {
    const e = this.el(form, row);
    if (!(e instanceof HTMLSelectElement)) return;
    const option = document.createElement('option');
    option.text = text;
    e.appendChild(option);
    if (e.options.length === 1) e.selectedIndex = -1;
  },

  /** @param {number} form @param {number} row @param {number} index */
  setItemIndex(form, row, index) {
    const e = this.el(form, row);
    if (e instanceof HTMLSelectElement) {
      e.selectedIndex = index;
    } else if (e instanceof HTMLInputElement) {
      const items = this.windows[form].spec.controls[row].items;
      e.value = index >= 0 && index < items.length ? items[index] : '';
    }
  },

  /** @param {number} form @param {boolean} visible */
  setVisible(form, visible) {
    this.windows[form].element.hidden = !visible;
    if (visible) this.followMemos(this.windows[form]);
  },

  /** @param {HTMLElement} memo */
  atEnd(memo) { return memo.scrollTop + memo.clientHeight >= memo.scrollHeight - 2; },

  // A window shown again opens its following memos at their last lines, as the desktop's
  // do: lines that came while it was hidden were added without a layout to scroll.
  /** @param {PageWindow} win */
  followMemos(win) {
    win.controls.forEach((e) => {
      if (this.isMemo(e) && e.following) e.scrollTop = e.scrollHeight;
    });
  },
  /** @param {number} form @param {number} row @param {number} position */
  setBar(form, row, position) {
    const e = this.el(form, row);
    if (e instanceof HTMLProgressElement && e.value !== position) e.value = position;
  },

  // A hidden window's memo (the terminal while it is closed gets every frame's lines) has
  // no layout: its scroll place is not read, which would lay the page out for each line,
  // and it follows as the reader left it (followMemos when it is shown again).
  /** @param {number} form @param {number} row @param {string} text */
  appendLine(form, row, text) {
    const memo = this.el(form, row);
    const shown = !this.windows[form].element.hidden && memo.clientHeight > 0;
    const follow = shown ? this.atEnd(memo) : memo.following === true;
    const line = document.createElement('div');
    line.textContent = text;
    memo.appendChild(line);
    // The view follows new lines only while the reader is at the end.
    if (follow && shown) memo.scrollTop = memo.scrollHeight;
    memo.following = follow;
  },

  // The form drops a full memo's oldest lines; a reader scrolled back keeps his lines.
  /** @param {number} form @param {number} row @param {number} count */
  dropFirstLines(form, row, count) {
    const memo = this.el(form, row);
    if (this.windows[form].element.hidden) {
      for (let i = 0; i < count && memo.firstElementChild; ++i) memo.firstElementChild.remove();
      return;
    }
    const follow = memo.scrollTop + memo.clientHeight >= memo.scrollHeight - 2;
    const before = memo.scrollHeight;
    for (let i = 0; i < count && memo.firstElementChild; ++i) memo.firstElementChild.remove();
    memo.scrollTop = follow ? memo.scrollHeight : Math.max(0, memo.scrollTop - (before - memo.scrollHeight));
  },

  // Notices and the transfer's error box; the program's queue opens one at a time, after
  // the tick, and the tick goes on while one is up.
  /** @param {string} text */
  messageBox(text) {
    if (!this.box) return;
    this.box.element.hidden = false;
    this.box.text.textContent = text;
    this.box.ok.focus();
  },

  closeBox() {
    if (!this.box || this.box.element.hidden) return;
    this.box.element.hidden = true;
    _zev1_box_closed();
  },

  // --- the log files: every line kept in the browser's storage as it comes ----------------
  /** @param {string} name @param {number} piece */
  logKey(name, piece) { return this.logPrefix + name + (piece === 0 ? '' : '#' + piece); },

  /** @param {string} name @param {string} text */
  logAppend(name, text) {
    this.currentLog = name;
    if (!this.keptLog || this.keptLog.name !== name) {
      // A log of this name kept before (an earlier visit) goes on after its last piece.
      let piece = 0;
      while (localStorage.getItem(this.logKey(name, piece + 1)) !== null) piece += 1;
      this.keptLog = { name, piece, text: localStorage.getItem(this.logKey(name, piece)) || '' };
      if (!this.unkept.has(name)) this.message('storage-full', false);
    }
    const log = this.keptLog;
    // Once the storage refused a part, the rest of this log stays in memory too: what is
    // kept is always the log's beginning, whole.
    if (!this.unkept.has(name)) {
      const next = log.text !== '' && log.text.length + text.length > this.logPieceChars;
      const piece = next ? log.piece + 1 : log.piece;
      const pieceText = next ? text : log.text + text;
      try {
        localStorage.setItem(this.logKey(name, piece), pieceText);
        log.piece = piece;
        log.text = pieceText;
        return;
      } catch (e) {
        this.unkept.set(name, '');
      }
    }
    this.unkept.set(name, this.unkept.get(name) + text);
    this.message('storage-full', true);
  },

  // The log as kept in the storage, and what the storage refused of it.
  /** @param {string} name */
  logText(name) {
    let text = '';
    for (let piece = 0; ; ++piece) {
      const kept = localStorage.getItem(this.logKey(name, piece));
      if (kept === null) break;
      text += kept;
    }
    return text + (this.unkept.get(name) || '');
  },

  saveLog() {
    let name = this.currentLog;
    if (!name) {
      // The newest log of an earlier visit (the names are dates).
      const names = Object.keys(localStorage).filter((k) => k.startsWith(this.logPrefix))
        .map((k) => k.slice(this.logPrefix.length).replace(/#\d+$/, '')).sort();
      if (names.length === 0) return;
      name = names[names.length - 1];
    }
    const text = this.logText(name);
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  },

  // --- settings: the same INI text as the desktop's file, in the browser's storage -------
  loadSettings() {
    const path = UTF8ToString(_zev1_settings_path());
    const folder = path.slice(0, path.lastIndexOf('/'));
    try { FS.mkdir(folder); } catch (e) { /* exists */ }
    FS.chdir(folder); // log files are written next to the settings
    let text = null;
    try { text = localStorage.getItem(this.settingsKey); } catch (e) { text = null; }
    if (text !== null) FS.writeFile(path, text);
  },

  saveSettings() {
    if (!_zev1_save_settings()) return;
    try {
      const path = UTF8ToString(_zev1_settings_path());
      const text = FS.readFile(path, { encoding: 'utf8' });
      if (localStorage.getItem(this.settingsKey) !== text) {
        localStorage.setItem(this.settingsKey, text);
      }
    } catch (e) { /* storage refused: the settings last for this visit */ }
  },

  // --- the page's messages -----------------------------------------------------------------
  /** @param {string} key @param {boolean} shown @param {string} [port] */
  message(key, shown, port) {
    if (shown) this.messages.set(key, { port }); else this.messages.delete(key);
    this.showMessages();
  },

  showMessages() {
    const list = document.querySelector('[data-window="messages"]');
    if (!(list instanceof HTMLElement)) return;
    list.replaceChildren();
    this.updateButton = null;
    this.messages.forEach((value, key) => {
      const p = document.createElement('p');
      p.dataset.message = key;
      if (key === 'update') {
        // The program's own notice, as every front end that updates itself words it.
        p.textContent = UTF8ToString(_zev1_update_notice(0)) + ' ';
        const take = document.createElement('button');
        take.type = 'button';
        take.dataset.control = 'update_now';
        take.textContent = UTF8ToString(_zev1_update_notice(1));
        take.addEventListener('click', () => this.takeUpdate());
        p.appendChild(take);
        this.updateButton = take;
      } else {
        p.textContent = this.say(key, value.port);
      }
      list.appendChild(p);
    });
    list.hidden = this.messages.size === 0;
  },

  // --- use without network: the service worker (service_worker.js) keeps this build -----
  // On the first visit the worker keeps the page's files and serves them from then on,
  // network or not. Each start the browser looks for a newer build in the background; a
  // complete one waits until the page's last tab closes (the next start takes it), or
  // until the user takes it at once here.
  startOffline() {
    const workers = navigator.serviceWorker;
    if (!window.isSecureContext || !workers) return;
    workers.addEventListener('controllerchange', () => {
      if (this.taking) location.reload();
    });
    workers.addEventListener('message', (event) => {
      if (event.data === 'not-taken' && this.asked) {
        this.asked = false;
        this.taking = false;
        this.message('update', true);
      }
    });
    workers.register('service_worker.js').then((registration) => {
      const waiting = () => {
        if (registration.waiting && workers.controller) {
          this.newer = registration.waiting;
          this.message('update', true);
        }
      };
      if (registration.waiting && workers.controller) {
        // A build that waited since an earlier start: this start takes it, unless another
        // tab of the page still runs the old one, or the build came only with this start
        // (then the notice says it is there).
        this.newer = registration.waiting;
        this.taking = true;
        this.asked = true;
        this.newer.postMessage({ started: performance.timeOrigin });
      }
      registration.addEventListener('updatefound', () => {
        const installing = registration.installing;
        if (installing) {
          installing.addEventListener('statechange', () => {
            if (installing.state === 'installed') waiting();
          });
        }
      });
      // A page left open for days still hears of a newer build.
      setInterval(() => registration.update().catch(() => {}), 3600 * 1000);
    }).catch(() => { /* no worker: the page works while its server is there */ });
  },

  // Not in the middle of a transfer: taking the update starts the page again.
  takeUpdate() {
    if (!this.newer || !this.win('progress').element.hidden) return;
    this.asked = false; // a late answer to the start's question changes nothing now
    this.taking = true;
    this.newer.postMessage('take-now');
  },

  // The port that failed to open and why, by the failure's name (web_port_host.cpp's
  // open_failure_name; '': none): its message is 'port-' and that name.
  /** @param {string} why @param {string} port */
  portProblem(why, port) {
    const shown = why ? 'port-' + why : '';
    for (const key of this.messages.keys()) {
      if (key.startsWith('port-') && key !== shown) this.messages.delete(key);
    }
    if (shown) this.messages.set(shown, { port });
    this.showMessages();
  },

  async requestPort() {
    this.message('cancelled', false);
    this.message('chooser-failed', false);
    const outcome = await Zev1Serial.request();
    if (outcome === 'cancelled') this.message('cancelled', true);
    if (outcome === 'failed') this.message('chooser-failed', true);
    // The port just picked in the browser's chooser is the one to use.
    if (typeof outcome === 'number') _zev1_choose_port(outcome);
    this.updatePortHint();
  },

  updatePortHint() {
    this.message('no-port', !!navigator.serial && Zev1Serial.ports.length === 0);
  },

  // The page's own captions follow the DEUTSCH box as the form's do.
  applyLanguage() {
    const german = this.german();
    const { addPort, showTerminal, showAbout } = this;
    if (german === this.shownGerman || !addPort || !showTerminal || !showAbout) return;
    this.shownGerman = german;
    addPort.textContent = this.say('add_port');
    addPort.title = this.say('add_port-hint');
    showTerminal.textContent = this.say('show_terminal') + ' (Ctrl+T)';
    showAbout.textContent = this.say('show_about') + ' (F1)';
    document.documentElement.lang = german ? 'de' : 'cs';
    this.showMessages();
  },

  // --- windows shown on request --------------------------------------------------------------
  openTerminal() {
    const terminal = this.win('terminal');
    const shown = !terminal.element.hidden;
    terminal.element.hidden = false;
    this.terminalResized();
    this.followMemos(terminal);
    terminal.element.scrollIntoView({ block: 'nearest' });
    if (!shown) this.focusFirst(terminal);
  },

  // The window's first control in its Tab order takes the focus, as a desktop window's
  // does when it opens.
  /** @param {PageWindow} win */
  focusFirst(win) {
    const first = win.client.querySelector('[tabindex]:not([tabindex="-1"])');
    if (first instanceof HTMLElement) first.focus();
  },

  openAbout() {
    const about = this.win('about');
    about.element.hidden = false;
    about.controls[this.row(about, 'OKButton')].focus();
  },

  terminalResized() {
    const client = this.win('terminal').client;
    if (client.clientWidth > 0) _zev1_terminal_resized(client.clientWidth, client.clientHeight);
  },

  // --- the tick ------------------------------------------------------------------------------
  // Browsers slow a background tab's timers down to once a second or less, and every time
  // in the program is counted in ticks: while the page is hidden a dedicated worker keeps
  // the time (a worker's timers are not throttled; tick_worker.js), while it is shown the
  // page's own timer does, which costs no thread and no messages. The program says after
  // each run when the next one is due (10 ms on while there is work, later while idle
  // ticks are let pass, sooner when the port woke it); the worker is told it as a time
  // both sides' clocks share, posts one message then, and meanwhile goes on at 10 ms by
  // itself, since a hidden tab's messages can be slow to come (the program runs no tick
  // before its time).
  startTick() {
    const tick = () => {
      this.runs += 1;
      this.ticks += _zev1_tick();
      this.applyLanguage();
      // Not while a transfer runs; written only when that changes.
      const busy = !this.win('progress').element.hidden;
      if (this.updateButton && this.updateButton.disabled !== busy) {
        this.updateButton.disabled = busy;
      }
    };
    let timer = 0;
    let due = 0; // performance.now() of the next run
    const stopWorker = () => { if (this.worker) this.worker.postMessage(null); };
    this.tickAfter = (ms) => {
      due = performance.now() + ms;
      clearTimeout(timer);
      if (this.worker && document.hidden) {
        this.worker.postMessage(performance.timeOrigin + due);
      } else {
        timer = setTimeout(tick, ms);
      }
    };
    try {
      const worker = new Worker('tick_worker.js');
      worker.onmessage = tick;
      // Its file did not come: the page's own timer, hidden or not.
      worker.onerror = () => {
        worker.terminate();
        this.worker = null;
        this.tickAfter(Math.max(0, due - performance.now()));
      };
      this.worker = worker;
    } catch (e) {
      this.worker = null; // no workers here
    }
    // The timer that waits hands over to the other one with the deadline it had.
    document.addEventListener('visibilitychange', () => {
      if (!document.hidden) stopWorker();
      this.tickAfter(Math.max(0, due - performance.now()));
    });
    this.tickAfter(_zev1_first_wait());
  },

  // Tests and measurements compare with every tick run.
  /** @param {boolean} allowed */
  letIdleTicksPass(allowed) {
    _zev1_let_idle_ticks_pass(allowed ? 1 : 0);
  },

  start() {
    this.build();
    this.loadSettings();
    _zev1_start();
    this.applyLanguage();
    this.focusFirst(this.win('main'));
    // Browsers offer Web Serial to secure pages only: on plain http the API is missing
    // whatever the browser, and the way out is https, not another browser.
    if (!window.isSecureContext || !navigator.serial) {
      this.message(window.isSecureContext ? 'no-serial' : 'insecure', true);
      if (this.addPort) this.addPort.disabled = true;
    } else {
      Zev1Serial.onChange = () => this.updatePortHint();
      Zev1Serial.start();
    }
    document.addEventListener('keydown', (event) => {
      const key = event.key.toLowerCase();
      if (event.ctrlKey && !event.altKey && !event.shiftKey && key === 't') {
        event.preventDefault();
        this.openTerminal();
      } else if (event.key === 'F1') {
        event.preventDefault();
        this.openAbout();
      }
    });
    // The desktop writes its settings file when it ends; a page may end at any moment.
    document.addEventListener('visibilitychange', () => this.saveSettings());
    window.addEventListener('pagehide', () => this.saveSettings());
    setInterval(() => this.saveSettings(), 2000);
    this.startTick();
    this.startOffline();
  },
};

Module['onRuntimeInitialized'] = () => Zev1Page.start();

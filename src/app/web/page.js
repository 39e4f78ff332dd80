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
var Zev1Page = {
  windows: [],        // by the window's id (the layout's): {element, client, controls: [element]}
  named: {},          // the same windows by their element's name (data-window)
  messages: new Map(), // data-message -> {key, port}
  shownGerman: null,
  settingsKey: 'zev1-wifi-config.INI',
  logPrefix: 'zev1-log:',
  // A log is kept in pieces of at most this many characters (keys NAME, NAME#1, NAME#2 ...):
  // a line costs the rewrite of the last piece, however long the log has grown.
  logPieceChars: 16384,
  currentLog: '',
  keptLog: null,      // the log being kept: {name, piece (its number), text (the piece's)}
  unkept: new Map(),  // log name -> what the full storage refused, in the order it came
  ticks: 0,           // ticks run since the page started

  // --- the page's own words, in the window's two languages -------------------------------
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
  say(key, port) {
    const text = this.words[key][this.german() ? 0 : 1];
    return port === undefined ? text : text.replace('{port}', port);
  },

  // --- building the windows --------------------------------------------------------------
  build() {
    const layout = JSON.parse(UTF8ToString(_zev1_layout_json()));
    const desk = document.getElementById('zev1-desk');
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
      const controls = spec.controls.map((c, row) => this.control(number, row, c));
      // A screen reader names a field by the label the table gives it, in the language
      // the label shows.
      spec.labels.forEach(([label, row]) => {
        controls[label].id = 'zev1-label-' + number + '-' + label;
        controls[row].setAttribute('aria-labelledby', controls[label].id);
      });
      // In the table's tab order: the page's order is the order of its elements.
      const order = spec.controls.map((c, row) => row);
      order.sort((a, b) => spec.controls[a].tab - spec.controls[b].tab);
      order.forEach((row) => client.appendChild(controls[row].box));
      spec.controls.forEach((c, row) => {
        const e = controls[row];
        if (c.tab >= 0) e.tabIndex = 0;
        else if (['INPUT', 'SELECT', 'BUTTON'].includes(e.tagName)) e.tabIndex = -1;
      });
      controls.forEach((c) => delete c.box);
      this.windows[number] = { element: win, client, caption, controls, spec };
      this.named[spec.window] = this.windows[number];
      win.hidden = !main;
      desk.appendChild(win);
    });
    document.title = layout.title;
    this.extraControls(layout);
  },

  // A window's title: the caption bar's text, a heading for a screen reader.
  heading(level, id, text) {
    const h = document.createElement(level);
    h.id = id;
    h.textContent = text;
    return h;
  },

  row(window, name) {
    return window.spec.controls.findIndex((c) => c.name === name);
  },

  control(window, row, c) {
    let element;
    let holder;
    switch (c.kind) {
      case 'edit':
      case 'read_only_edit':
        element = document.createElement('input');
        element.type = 'text';
        element.readOnly = c.kind === 'read_only_edit';
        element.spellcheck = false;
        element.autocomplete = 'off';
        element.value = c.initial;
        break;
      case 'combo':
        if (c.items.length === 0) {
          // A list filled at run time (the ports): only its entries can be chosen.
          element = document.createElement('select');
        } else {
          // A list to pick from or type over (the security type).
          element = document.createElement('input');
          element.type = 'text';
          element.autocomplete = 'off';
          element.spellcheck = false;
          const list = document.createElement('datalist');
          list.id = 'zev1-list-' + window + '-' + row;
          c.items.forEach((item) => {
            const option = document.createElement('option');
            option.value = item;
            list.appendChild(option);
          });
          holder = document.createElement('span');
          holder.append(element, list);
          element.setAttribute('list', list.id);
          element.value = c.initial;
        }
        element.addEventListener('change', () => {
          if (element.tagName === 'SELECT') _zev1_chosen(window, row, element.selectedIndex);
        });
        element.addEventListener('input', () => {
          if (element.tagName === 'INPUT') _zev1_edited(window, row);
        });
        break;
      case 'button':
        element = document.createElement('button');
        element.type = 'button';
        element.textContent = c.initial;
        element.addEventListener('click', () => _zev1_clicked(window, row));
        break;
      case 'check_box': {
        holder = document.createElement('span');
        element = document.createElement('input');
        element.type = 'checkbox';
        element.id = 'zev1-check-' + window + '-' + row;
        const label = document.createElement('label');
        label.htmlFor = element.id;
        label.textContent = c.initial;
        holder.append(element, label);
        element.addEventListener('change', () => _zev1_clicked(window, row));
        break;
      }
      case 'memo':
        element = document.createElement('div');
        element.setAttribute('role', 'log');
        element.setAttribute('aria-label', c.name);
        element.tabIndex = 0; // read with the keyboard, as the desktop's memos are
        // Whether the view follows new lines: while the reader is at the last line. A hidden
        // window's memo has no layout, so it keeps what the reader left it at.
        element.following = true;
        element.addEventListener('scroll', () => {
          if (element.clientHeight > 0) element.following = this.atEnd(element);
        });
        break;
      case 'progress_bar':
        element = document.createElement('progress');
        element.max = 100;
        element.value = 0;
        break;
      default: // label, wrapped_label
        element = document.createElement(c.kind === 'wrapped_label' ? 'div' : 'span');
        element.textContent = c.initial;
        break;
    }
    if (element.tagName === 'INPUT' || element.tagName === 'SELECT') {
      element.addEventListener('blur', () => _zev1_left(window, row));
    }
    element.dataset.control = c.name;
    const box = holder || element;
    box.classList.add('control', c.kind, 'font-' + c.font, 'align-' + c.align);
    const [left, top, width, height] = c.box;
    box.style.left = left + 'px';
    box.style.top = top + 'px';
    if (width > 0 || height > 0) {
      box.style.width = width + 'px';
      box.style.height = height + 'px';
    }
    element.box = box;
    return element;
  },

  // What the page adds to the desktop's windows, outside their tables (so each window's
  // Tab order stays the table's): a tool bar with the browser's port chooser and buttons
  // for the two shortcuts (touch screens have no keys), saving the log and closing in the
  // terminal's caption, the message box.
  extraControls(layout) {
    const { terminal, about } = this.named;
    const button = (parent, name, action) => {
      const b = document.createElement('button');
      b.type = 'button';
      b.dataset.control = name;
      b.className = 'page';
      b.addEventListener('click', action);
      parent.appendChild(b);
      return b;
    };
    const bar = document.getElementById('zev1-bar');
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
    document.getElementById('zev1-desk').appendChild(box);
    this.box = { element: box, text, ok };
  },

  // --- what the forms call (web_windows.cpp) ---------------------------------------------
  el(form, row) { return this.windows[form].controls[row]; },

  setText(form, row, text) {
    const e = this.el(form, row);
    if (e.tagName === 'INPUT' && e.type === 'checkbox') {
      e.labels[0].textContent = text;
    } else if (e.tagName === 'INPUT') {
      e.value = text;
    } else if (e.tagName === 'SELECT') {
      e.selectedIndex = Array.from(e.options).findIndex((o) => o.text === text);
    } else if (e.getAttribute('role') === 'log') {
      e.replaceChildren();
      if (text !== '') text.split('\n').forEach((line) => this.appendLine(form, row, line));
    } else {
      e.textContent = text;
      if (e.tagName === 'BUTTON') this.fitCaption(e);
    }
  },

  // A caption longer than its button is shown in a smaller font, as on the desktop: the
  // size is the windows' rule's (zev1_caption_pixels), which asks captionWidth for the
  // caption's width at each size it tries. The width is the table's (design pixels), so
  // a button of a hidden window is fitted as well.
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
  captionWidth(pixels) {
    if (!this.fitting) return 0;
    if (!this.measure) this.measure = document.createElement('canvas').getContext('2d');
    this.measure.font = this.fitting.font(pixels);
    return Math.ceil(this.measure.measureText(this.fitting.text).width);
  },

  text(form, row) {
    const e = this.el(form, row);
    if (e.tagName === 'INPUT' && e.type === 'checkbox') return e.labels[0].textContent;
    if (e.tagName === 'INPUT') return e.value;
    if (e.tagName === 'SELECT') return e.selectedIndex >= 0 ? e.options[e.selectedIndex].text : '';
    if (e.getAttribute('role') === 'log') {
      return Array.from(e.children, (line) => line.textContent).join('\n');
    }
    return e.textContent;
  },

  setChecked(form, row, checked) { this.el(form, row).checked = checked; },
  checked(form, row) { return this.el(form, row).checked; },

  place(form, row, left, top, width, height) {
    const e = this.el(form, row);
    const box = e.parentElement.classList.contains('control') ? e.parentElement : e;
    box.style.left = left + 'px';
    box.style.top = top + 'px';
    box.style.width = width + 'px';
    box.style.height = height + 'px';
  },

  setCaption(form, text) {
    const win = this.windows[form];
    win.caption.firstChild.textContent = text;
    win.element.setAttribute('aria-label', text);
  },

  // What the mouse shows over a control, or over the window itself (row -1).
  setHint(form, row, text) {
    const e = row < 0 ? this.windows[form].element : this.el(form, row);
    e.title = text;
  },

  // The name a screen reader gives a control that no label names.
  setName(form, row, text) { this.el(form, row).setAttribute('aria-label', text); },

  clearItems(form, row) {
    const e = this.el(form, row);
    if (e.tagName === 'SELECT') e.replaceChildren();
    this.setSuggestion(form, row, -1);
  },

  // The entry the typed text suggests (the form's rule); -1: none.
  setSuggestion(form, row, index) {
    this.el(form, row).dataset.suggested = String(index);
  },

  appendItem(form, row, text) {
    const e = this.el(form, row);
    if (e.tagName !== 'SELECT') return;
    const option = document.createElement('option');
    option.text = text;
    e.appendChild(option);
    if (e.options.length === 1) e.selectedIndex = -1;
  },

  setItemIndex(form, row, index) {
    const e = this.el(form, row);
    if (e.tagName === 'SELECT') {
      e.selectedIndex = index;
    } else {
      const items = this.windows[form].spec.controls[row].items;
      e.value = index >= 0 && index < items.length ? items[index] : '';
    }
  },

  setVisible(form, visible) {
    this.windows[form].element.hidden = !visible;
    if (visible) this.followMemos(this.windows[form]);
  },

  atEnd(memo) { return memo.scrollTop + memo.clientHeight >= memo.scrollHeight - 2; },

  // A window shown again opens its following memos at their last lines, as the desktop's
  // do: lines that came while it was hidden were added without a layout to scroll.
  followMemos(win) {
    win.controls.forEach((e) => {
      if (e.getAttribute('role') === 'log' && e.following) e.scrollTop = e.scrollHeight;
    });
  },
  setBar(form, row, position) { this.el(form, row).value = position; },

  appendLine(form, row, text) {
    const memo = this.el(form, row);
    const follow = memo.clientHeight > 0 ? this.atEnd(memo) : memo.following;
    const line = document.createElement('div');
    line.textContent = text;
    memo.appendChild(line);
    // The view follows new lines only while the reader is at the end.
    if (follow) memo.scrollTop = memo.scrollHeight;
    memo.following = follow;
  },

  // The form drops a full memo's oldest lines; a reader scrolled back keeps his lines.
  dropFirstLines(form, row, count) {
    const memo = this.el(form, row);
    const follow = memo.scrollTop + memo.clientHeight >= memo.scrollHeight - 2;
    const before = memo.scrollHeight;
    for (let i = 0; i < count && memo.firstElementChild; ++i) memo.firstElementChild.remove();
    memo.scrollTop = follow ? memo.scrollHeight : Math.max(0, memo.scrollTop - (before - memo.scrollHeight));
  },

  // Notices and the transfer's error box; the program's queue opens one at a time, after
  // the tick, and the tick goes on while one is up.
  messageBox(text) {
    this.box.element.hidden = false;
    this.box.text.textContent = text;
    this.box.ok.focus();
  },

  closeBox() {
    if (this.box.element.hidden) return;
    this.box.element.hidden = true;
    _zev1_box_closed();
  },

  // --- the log files: every line kept in the browser's storage as it comes ----------------
  logKey(name, piece) { return this.logPrefix + name + (piece === 0 ? '' : '#' + piece); },

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
  message(key, shown, port) {
    if (shown) this.messages.set(key, { port }); else this.messages.delete(key);
    this.showMessages();
  },

  showMessages() {
    const list = document.querySelector('[data-window="messages"]');
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
    if (!this.newer || !this.named.progress.element.hidden) return;
    this.asked = false; // a late answer to the start's question changes nothing now
    this.taking = true;
    this.newer.postMessage('take-now');
  },

  // The port that failed to open and why, by the failure's name (web_port_host.cpp's
  // open_failure_name; '': none): its message is 'port-' and that name.
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
    if (german === this.shownGerman) return;
    this.shownGerman = german;
    this.addPort.textContent = this.say('add_port');
    this.addPort.title = this.say('add_port-hint');
    this.showTerminal.textContent = this.say('show_terminal') + ' (Ctrl+T)';
    this.showAbout.textContent = this.say('show_about') + ' (F1)';
    document.documentElement.lang = german ? 'de' : 'cs';
    this.showMessages();
  },

  // --- windows shown on request --------------------------------------------------------------
  openTerminal() {
    const terminal = this.named.terminal;
    const shown = !terminal.element.hidden;
    terminal.element.hidden = false;
    this.terminalResized();
    this.followMemos(terminal);
    terminal.element.scrollIntoView({ block: 'nearest' });
    if (!shown) this.focusFirst(terminal);
  },

  // The window's first control in its Tab order takes the focus, as a desktop window's
  // does when it opens.
  focusFirst(win) {
    const first = win.client.querySelector('[tabindex]:not([tabindex="-1"])');
    if (first) first.focus();
  },

  openAbout() {
    const about = this.named.about;
    about.element.hidden = false;
    about.controls[this.row(about, 'OKButton')].focus();
  },

  terminalResized() {
    const client = this.named.terminal.client;
    if (client.clientWidth > 0) _zev1_terminal_resized(client.clientWidth, client.clientHeight);
  },

  // --- the tick ------------------------------------------------------------------------------
  // Browsers slow a background tab's timers down to once a second or less, and every time
  // in the program is counted in ticks: a dedicated worker keeps the time (a worker's
  // timers are not throttled). The program says after each run when the next one is due
  // (10 ms on while there is work, later while idle ticks are let pass, sooner when the
  // port woke it), as a time both sides' clocks share; the worker posts one message then,
  // and meanwhile goes on at 10 ms by itself, since a hidden tab's messages can be slow to
  // come (the program runs no tick before its time).
  startTick() {
    const tick = () => {
      this.ticks += _zev1_tick();
      this.applyLanguage();
      if (this.updateButton) this.updateButton.disabled = !this.named.progress.element.hidden;
    };
    const source =
      'let timer = 0;' +
      'const now = () => performance.timeOrigin + performance.now();' +
      'const at = (t) => { clearTimeout(timer); timer = setTimeout(fire, Math.max(0, t - now())); };' +
      'function fire() { const t = now(); postMessage(0); at(t + 10); }' +
      'onmessage = (e) => at(e.data);';
    try {
      const url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
      this.worker = new Worker(url);
      this.worker.onmessage = tick;
      this.tickAfter = (ms) => this.worker.postMessage(performance.timeOrigin + performance.now() + ms);
    } catch (e) {
      let timer = 0; // no workers: the page's own timer
      this.tickAfter = (ms) => { clearTimeout(timer); timer = setTimeout(tick, ms); };
    }
    this.tickAfter(_zev1_first_wait());
  },

  // Tests and measurements compare with every tick run.
  letIdleTicksPass(allowed) {
    _zev1_let_idle_ticks_pass(allowed ? 1 : 0);
  },

  start() {
    this.build();
    this.loadSettings();
    _zev1_start();
    this.applyLanguage();
    this.focusFirst(this.named.main);
    // Browsers offer Web Serial to secure pages only: on plain http the API is missing
    // whatever the browser, and the way out is https, not another browser.
    if (!window.isSecureContext || !navigator.serial) {
      this.message(window.isSecureContext ? 'no-serial' : 'insecure', true);
      this.addPort.disabled = true;
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

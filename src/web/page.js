// The page's script, appended to the WebAssembly module's loader (one file).
// Everything the page decides is decided in C++ (app/configurator.cpp, the
// window's core too); this script passes clicks in, runs one call at a time, and shows
// the view it gets back. Text from files and devices is set as text only.
'use strict';

// ---- WebHID: what web/web_hid_host.cpp calls --------------------------------
// Failure codes: 1 time-out (reads), 2 not found, 3 access, 4 gone, 5 write
// time-out, 6 other; the reason in zelioHid.reason.
var zelioHid = {
  entries: new Map(),    // number -> {device, queue, wake, gone, listening}
  numbers: new WeakMap(),
  next: 1,
  listed: [],
  reason: '',
  changes: 0,            // connect and disconnect events seen
  entry(device) {
    let n = this.numbers.get(device);
    if (!n) {
      n = this.next++;
      this.numbers.set(device, n);
      this.entries.set(n, {device, queue: [], wake: null, gone: false, listening: false});
    }
    return n;
  },
  fail(code, reason) {
    this.reason = String(reason && reason.message ? reason.message : reason);
    return code;
  },
  alive(n) {
    const e = this.entries.get(n);
    return e && !e.gone ? e : null;
  },
  async refresh() {
    const devices = navigator.hid ? await navigator.hid.getDevices() : [];
    this.listed = devices.map((d) => this.entry(d));
    return this.listed.length;
  },
  ids(n) {
    const e = this.alive(n);
    return e ? (e.device.vendorId << 16) | e.device.productId : -1;
  },
  async open(n) {
    const e = this.alive(n);
    if (!e) return this.fail(4, 'the device is no longer connected');
    try {
      if (!e.device.opened) await e.device.open();
    } catch (err) {
      return this.fail(3, err);
    }
    if (!e.listening) {
      e.listening = true;
      e.device.addEventListener('inputreport', (ev) => {
        const d = ev.data;
        e.queue.push([ev.reportId, ...new Uint8Array(d.buffer, d.byteOffset, d.byteLength)]);
        if (e.queue.length > 64) e.queue.shift();
        this.wake(e);
      });
    }
    return 0;
  },
  wake(e) {
    const w = e.wake;
    e.wake = null;
    if (w) w();
  },
  // Report lengths from the device's collections, report-ID byte included.
  reportLength(n, input) {
    const e = this.alive(n);
    let longest = 0;
    const walk = (collections) => {
      for (const c of collections || []) {
        for (const r of (input ? c.inputReports : c.outputReports) || []) {
          const bits = (r.items || []).reduce((sum, i) => sum + i.reportSize * i.reportCount, 0);
          longest = Math.max(longest, Math.ceil(bits / 8) + 1);
        }
        walk(c.children);
      }
    };
    if (e) walk(e.device.collections);
    return Math.min(longest, 0xFFFF);
  },
  async send(n, bytes, timeoutMs) {
    const e = this.alive(n);
    if (!e) return this.fail(4, 'the device is no longer connected');
    const late = {};
    let timer;
    const timeout = new Promise((resolve) => { timer = setTimeout(resolve, timeoutMs, late); });
    try {
      const sent = await Promise.race([e.device.sendReport(bytes[0], bytes.slice(1)), timeout]);
      if (sent === late) return this.fail(5, `the device did not take the report within ${timeoutMs} ms`);
      return 0;
    } catch (err) {
      return this.fail(e.gone ? 4 : 6, err);
    } finally {
      clearTimeout(timer);
    }
  },
  async read(n, timeoutMs) {
    const e = this.entries.get(n);
    const end = performance.now() + timeoutMs;
    for (;;) {
      if (e && e.queue.length) return e.queue.shift();
      if (!e || e.gone) return this.fail(4, 'the device is no longer connected');
      const left = end - performance.now();
      if (left <= 0) return 1;
      await new Promise((resolve) => { e.wake = resolve; setTimeout(resolve, left); });
    }
  },
  gone(device) {
    const n = this.numbers.get(device);
    const e = n && this.entries.get(n);
    if (!e) return;
    e.gone = true;
    this.wake(e);
  },
};

// ---- the page ---------------------------------------------------------------
(function () {
  const $ = (id) => document.getElementById(id);
  let chain = Promise.resolve();
  let view = null;
  let demoMode = false;
  let testRow = 0;
  let calls = 0;
  let op = {};  // command name -> number, from the C++ table
  const lampSince = [];

  // One call into the module at a time; each ends with the new view shown
  // and the effects it asks for carried out.
  function run(job) {
    chain = chain.then(async () => {
      document.body.classList.add('busy');
      try {
        await job();
        await render();
      } catch (err) {
        console.error(err);
      }
      document.body.classList.remove('busy');
      document.body.dataset.done = String(++calls);
    });
    return chain;
  }
  const call = (name, a = 0, b = 0, t1 = '', t2 = '') =>
    Module.ccall('zelio_command', null, ['number', 'number', 'number', 'string', 'string'], [op[name], a, b, t1, t2],
                 {async: true});
  const command = (name, a, b, t1, t2) => run(() => call(name, a, b, t1, t2));

  function setText(node, text) {
    if (node.textContent !== text) node.textContent = text;
  }

  function buildPanel() {
    const rows = $('rows');
    const line = () => {
      const div = document.createElement('div');
      div.className = 'row connector-only';
      div.setAttribute('role', 'row');
      const span = document.createElement('span');
      span.className = 'connector';
      span.setAttribute('role', 'cell');
      div.append(span);
      rows.append(div);
    };
    line();
    for (let r = 0; r < 8; r++) {
      const row = $('row-template').content.firstElementChild.cloneNode(true);
      row.querySelector('.mode').addEventListener('click', () => command('mode', r));
      row.querySelector('input').addEventListener('change', (ev) => command('high', r, ev.target.checked ? 1 : 0));
      row.querySelector('.test').addEventListener('click', () => openTest(r));
      rows.append(row);
    }
    line();
  }

  function openTest(r) {
    testRow = r;
    run(async () => {
      await call('opentest', r);
      const test = JSON.parse(Module.ccall('zelio_view', 'string', [], [])).page.test;
      setText($('outtest-title'), test.caption);
      $('hightime').value = test.high;
      $('lowtime').value = test.low;
      $('outtest').showModal();
      $('hightime').focus();
    });
  }

  function download(name, bytes) {
    const url = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
    const a = document.createElement('a');
    a.href = url;
    a.download = name;
    a.click();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  }

  async function render() {
    view = JSON.parse(Module.ccall('zelio_view', 'string', [], []));
    const page = view.page;
    document.documentElement.lang = view.lang;
    document.querySelectorAll('[data-text]').forEach((n) => setText(n, view.texts[n.dataset.text]));
    const product = $('product');
    if (product.options.length === 0) {
      page.entries.forEach((entry, i) => {
        const option = document.createElement('option');
        option.value = String(i);
        option.textContent = entry;
        product.append(option);
      });
    }
    product.selectedIndex = page.entry;
    const idchange = $('idchange');
    page.idChange.forEach((label, i) => {
      if (!idchange.options[i + 1]) idchange.append(Object.assign(document.createElement('option'), {value: String(i)}));
      setText(idchange.options[i + 1], label);
    });
    const lines = $('rows').querySelectorAll('.row:not(.head)');
    lines.forEach((line, k) => setText(line.querySelector('.connector'), page.labels[k] || ''));
    page.rows.forEach((row, r) => {
      const line = lines[r + 1];
      setText(line.querySelector('.label'), row.label);
      setText(line.querySelector('.mode'), row.caption);
      const box = line.querySelector('input');
      box.checked = row.high;
      box.disabled = !row.highEnabled;
      line.querySelector('.test').disabled = !row.testEnabled;
    });
    document.querySelectorAll('.needs-module').forEach((b) => { b.disabled = !page.attached; });
    document.querySelectorAll('.needs-no-module').forEach((b) => { b.disabled = page.attached; });
    setText($('log'), page.log);
    setText($('status'), page.status);
    setText($('selected'), page.selected);
    $('modules').replaceChildren(...page.modules.map((m) => Object.assign(document.createElement('li'), {textContent: m})));
    renderBench(view.bench);
    const effects = page.effects;
    if (effects.warning) alert(effects.warning);
    if (effects.ask === 'save' || effects.ask === 'saveas') {
      // The browser's stand-in for the save dialog: a name, kept as the title.
      const name = prompt(view.texts.FileNamePrompt, page.title || view.defaultName);
      if (name) {
        await call('chosen', 0, 0, name);
        return render();
      }
    }
    if (effects.save !== null) download(page.title, effects.save);
  }

  function renderBench(bench) {
    const box = $('bench-modules');
    $('bench').hidden = !demoMode;
    if (box.children.length !== bench.length) {
      box.replaceChildren();
      bench.forEach((m, i) => {
        const node = $('bench-template').content.firstElementChild.cloneNode(true);
        node.querySelector('.plugged').addEventListener('change', () => command('bench-plug', i));
        node.querySelector('.silent').addEventListener('change', () => command('bench-silent', i));
        node.querySelector('.setting').addEventListener('click', () => command('bench-setting', i));
        node.querySelector('.setting').hidden = m.model !== 'ZEL280';
        for (let c = 0; c < 8; c++) {
          const lamp = document.createElement('span');
          lamp.className = 'lamp';
          lamp.title = `OUT ${c + 1}`;
          node.querySelector('.lamps').append(lamp);
        }
        box.append(node);
        lampSince[i] = [];
      });
    }
    const now = performance.now();
    bench.forEach((m, i) => {
      const node = box.children[i];
      setText(node.querySelector('.name'), m.model);
      setText(node.querySelector('.line'), m.line);
      node.querySelector('.plugged').checked = m.plugged;
      node.querySelector('.silent').checked = m.silent;
      node.classList.toggle('unplugged', !m.plugged);
      m.outputs.forEach((out, c) => {
        const key = `${out[0]}:${out[1]}`;
        if (!lampSince[i][c] || lampSince[i][c].key !== key) lampSince[i][c] = {key, at: now};
        const lamp = node.querySelector('.lamps').children[c];
        lamp.dataset.state = ['off', 'high', 'low', 'blink'][out[0]];
        lamp.dataset.blink = out[1];
      });
    });
    paintLamps();
  }

  // Blinking lamps: lit for the high nibble x 100 ms, dark for the low one.
  function paintLamps() {
    const now = performance.now();
    document.querySelectorAll('.bench-module').forEach((node, i) => {
      [...node.querySelectorAll('.lamp')].forEach((lamp, c) => {
        let lit = lamp.dataset.state === 'high';
        if (lamp.dataset.state === 'blink') {
          const b = Number(lamp.dataset.blink);
          const high = (b >> 4) * 100, low = (b & 15) * 100;
          lit = high > 0 && (low === 0 || (now - lampSince[i][c].at) % (high + low) < high);
        }
        lamp.classList.toggle('lit', lit && !node.classList.contains('unplugged'));
      });
    });
  }

  function start(demo) {
    demoMode = demo;
    $('demo').setAttribute('aria-pressed', String(demo));
    $('connect').hidden = demo || !navigator.hid;
    $('source-note').hidden = !demo;
    const stored = localStorage.getItem('zelio.lang') || '';
    return run(() => Module.ccall('zelio_start', null, ['number', 'string', 'string'],
                                  [demo ? 1 : 0, stored, navigator.language || ''], {async: true}));
  }

  async function connect() {
    if (!view) return;
    try {
      await navigator.hid.requestDevice({filters: view.filter.map((productId) => ({vendorId: view.vendor, productId}))});
    } catch (err) {
      console.warn(err);
    }
    // A grant comes without a connect event: look again.
    if (!demoMode) command('change');
  }

  function wire() {
    op = Object.fromEntries(JSON.parse(Module.ccall('zelio_commands', 'string', [], [])).map((name, i) => [name, i]));
    buildPanel();
    $('demo').addEventListener('click', () => start(!demoMode));
    $('connect').addEventListener('click', connect);
    $('lang').addEventListener('click', () => {
      const next = view && view.lang === 'ko' ? 'en' : 'ko';
      localStorage.setItem('zelio.lang', next);
      command('language', next === 'en' ? 1 : 0);
    });
    $('product').addEventListener('change', (ev) => command('select', Number(ev.target.value)));
    $('idchange').addEventListener('change', (ev) => {
      if (ev.target.value !== '') command('idchange', Number(ev.target.value));
      ev.target.value = '';
    });
    document.querySelectorAll('[data-cmd]').forEach((b) => b.addEventListener('click', () => command(b.dataset.cmd)));
    document.querySelectorAll('[data-kind]').forEach((b) => b.addEventListener('click', () =>
      command('test', testRow, Number(b.dataset.kind), $('hightime').value, $('lowtime').value)));
    // The time fields take digits only, as the window's.
    for (const field of [$('hightime'), $('lowtime')]) {
      field.addEventListener('input', () => {
        const kept = Module.ccall('zelio_time_field', 'string', ['string'], [field.value]);
        if (kept !== field.value) field.value = kept;
      });
    }
    const file = $('file');
    // Open always asks for the file: the browser's file chooser stands in
    // for the open dialog (it needs the click itself).
    $('open').addEventListener('click', () => file.click());
    file.addEventListener('change', () => {
      const chosen = file.files[0];
      file.value = '';
      if (!chosen) return;
      run(async () => {
        const bytes = new Uint8Array(await chosen.slice(0, view.readLimit).arrayBuffer());
        Module.ccall('zelio_open_file', null, ['string', 'array', 'number'], [chosen.name, bytes, bytes.length]);
      });
    });
    if (navigator.hid) {
      const changed = (ev) => {
        zelioHid.changes++;
        if (ev.type === 'disconnect') zelioHid.gone(ev.device);
        if (!demoMode) command('change');
      };
      navigator.hid.addEventListener('connect', changed);
      navigator.hid.addEventListener('disconnect', changed);
    }
    setInterval(() => { if (demoMode) paintLamps(); }, 50);
  }

  Module.onRuntimeInitialized = () => {
    wire();
    const demo = !navigator.hid || new URLSearchParams(location.search).has('demo');
    $('demo').disabled = !navigator.hid;
    start(demo).then(() => {
      document.body.dataset.ready = '1';
      performance.mark('zelio-ready');  // time to ready, from the navigation's start
    });
  };
})();

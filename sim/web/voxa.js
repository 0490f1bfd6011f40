// The web view of voxa-sim: the module's screen, touch, host console, beeper and controls.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const token = new URLSearchParams(location.search).get('token');

  function api(path) {
    if (token === null) return path;
    return path + (path.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token);
  }

  function post(path, body) {
    return fetch(api(path), { method: 'POST', body: body ?? '' }).then(async (r) => {
      if (!r.ok) throw new Error(`${r.status} ${(await r.text()).trim()}`);
    });
  }

  // ---- screen ----------------------------------------------------------------------------

  const canvas = $('panel');
  const ctx = canvas.getContext('2d', { alpha: false });
  let W = 0, H = 0;
  let fb = null;       // the frame buffer as the module holds it (RGB565)
  let image = null;    // what the canvas shows, kept whole so a panel change can repaint
  let panel = { level: 0, flipX: false, flipY: false };
  let lut5 = new Uint8Array(32), lut6 = new Uint8Array(64);

  const stats = { frames: 0, rects: 0, bytes: 0, lastFrameAt: 0 };
  let hello = null;
  let firstFrame = false;

  // Same arithmetic as the simulator's screenshots, so the canvas equals one pixel for pixel.
  function buildLuts() {
    const level = panel.level > 0 ? panel.level : 0;
    for (let v = 0; v < 32; v++) lut5[v] = Math.floor(((v << 3) | (v >> 2)) * level + 0.5);
    for (let v = 0; v < 64; v++) lut6[v] = Math.floor(((v << 2) | (v >> 4)) * level + 0.5);
  }

  function setSize(w, h) {
    if (w === W && h === H && fb) return;
    W = w; H = h;
    canvas.width = w; canvas.height = h;
    fb = new Uint16Array(w * h);
    image = ctx.createImageData(w, h);
    image.data.fill(255);
    paint(0, 0, w, h);
    layout();
  }

  // Paints frame-buffer rectangle (x, y, w, h) into the image and the canvas.
  function paint(x, y, w, h) {
    const d = image.data;
    const sx0 = panel.flipX ? W - x - w : x;
    const sy0 = panel.flipY ? H - y - h : y;
    for (let sy = sy0; sy < sy0 + h; sy++) {
      const fy = panel.flipY ? H - 1 - sy : sy;
      let o = (sy * W + sx0) * 4;
      for (let sx = sx0; sx < sx0 + w; sx++, o += 4) {
        const p = fb[fy * W + (panel.flipX ? W - 1 - sx : sx)];
        d[o] = lut5[p >> 11];
        d[o + 1] = lut6[(p >> 5) & 0x3f];
        d[o + 2] = lut5[p & 0x1f];
      }
    }
    ctx.putImageData(image, 0, 0, sx0, sy0, w, h);
  }

  async function inflate(b64) {
    const bin = atob(b64);
    const bytes = new Uint8Array(bin.length);
    for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // data: the rectangles' pixels, decompressed (a promise started when the frame arrived).
  async function applyFrame(msg, pending) {
    const rects = msg.rects;
    const data = await pending;
    rects.forEach((r, i) => {
      const b = data[i];
      if (r.x < 0 || r.y < 0 || r.x + r.w > W || r.y + r.h > H || b.length !== r.w * r.h * 2) {
        throw new Error(`frame rectangle ${r.x},${r.y} ${r.w}x${r.h} does not fit`);
      }
      for (let row = 0, k = 0; row < r.h; row++) {
        let o = (r.y + row) * W + r.x;
        for (let col = 0; col < r.w; col++, k += 2) fb[o++] = b[k] | (b[k + 1] << 8);
      }
      paint(r.x, r.y, r.w, r.h);
    });
    stats.frames++;
    stats.rects += rects.length;
    stats.lastFrameAt = performance.now();
    firstFrame = true;
  }

  // A chain keeps frames (and panel changes) in arrival order.
  let chain = Promise.resolve();
  function inOrder(fn) {
    chain = chain.then(fn).catch((e) => note(`screen update failed: ${e.message}`, 'err'));
  }

  // ---- layout ----------------------------------------------------------------------------

  const view = $('view');

  function layout() {
    if (!W) return;
    const wide = innerWidth >= 1000;
    document.body.classList.toggle('wide', wide);
    const frame = 2 * 18 + 2 * 16;  // bezel and page padding around the canvas
    const availW = (wide ? innerWidth - 420 : innerWidth) - frame;
    const availH = innerHeight - document.querySelector('header').offsetHeight - frame -
        (wide ? 0 : 300);
    let scale = 1;
    if (view.value !== 'one') {
      scale = Math.max(0.1, Math.min(availW / W, availH / H));
      if (view.value === 'fit' && scale >= 1) scale = Math.floor(scale);
    }
    canvas.classList.toggle('smooth', view.value === 'smooth');
    canvas.style.width = `${W * scale}px`;
    canvas.style.height = `${H * scale}px`;
  }
  // The chosen view is remembered; storage may be refused (private windows), which is harmless.
  const remembered = {
    get() { try { return localStorage.getItem('voxa-view'); } catch { return null; } },
    set(v) { try { localStorage.setItem('voxa-view', v); } catch { /* not kept */ } },
  };
  view.addEventListener('change', () => {
    remembered.set(view.value);
    layout();
  });
  view.value = remembered.get() || 'fit';
  if (!view.value) view.value = 'fit';  // a stored value no option has
  addEventListener('resize', layout);

  // ---- touch -----------------------------------------------------------------------------

  // Down and up are queued and never dropped; moves share one slot so that a slow server
  // sees the latest position rather than a backlog.
  const touchQueue = [];
  let pendingMove = null;
  let touchBusy = false;
  let finger = null;  // pointerId of the pointer that touches the panel

  function pumpTouch() {
    if (touchBusy) return;
    let req = touchQueue.shift();
    if (!req && pendingMove) { req = pendingMove; pendingMove = null; }
    if (!req) return;
    touchBusy = true;
    const q = req.action === 'up' ? 'action=up' : `action=${req.action}&x=${req.x}&y=${req.y}`;
    post(`/api/touch?${q}`)
        .catch((e) => note(`touch ${req.action}: ${e.message}`, 'err'))
        .finally(() => { touchBusy = false; pumpTouch(); });
  }

  function touch(action, pos) {
    if (action === 'move') {
      pendingMove = { action, ...pos };
    } else {
      // The finger's last position must reach the module before it lifts.
      if (pendingMove) { touchQueue.push(pendingMove); pendingMove = null; }
      touchQueue.push({ action, ...pos });
    }
    pumpTouch();
  }

  function pixelAt(ev) {
    const r = canvas.getBoundingClientRect();
    const x = Math.floor((ev.clientX - r.left) * W / r.width);
    const y = Math.floor((ev.clientY - r.top) * H / r.height);
    return { x: Math.min(W - 1, Math.max(0, x)), y: Math.min(H - 1, Math.max(0, y)) };
  }

  canvas.addEventListener('pointerdown', (ev) => {
    if (finger !== null || !W || ev.button !== 0) return;
    finger = ev.pointerId;
    canvas.setPointerCapture(ev.pointerId);
    ev.preventDefault();
    touch('down', pixelAt(ev));
  });
  canvas.addEventListener('pointermove', (ev) => {
    if (ev.pointerId !== finger) return;
    touch('move', pixelAt(ev));
  });
  const lift = (ev) => {
    if (ev.pointerId !== finger) return;
    finger = null;
    touch('up');
  };
  canvas.addEventListener('pointerup', lift);
  canvas.addEventListener('pointercancel', lift);
  canvas.addEventListener('lostpointercapture', lift);
  canvas.addEventListener('contextmenu', (ev) => ev.preventDefault());

  // ---- console ---------------------------------------------------------------------------

  const pane = $('pane');
  const input = $('line');
  const MAX_LINES = 2000;
  let cur = null;  // { key, el }: the line still open for more bytes, and whose they are

  function stick() { return pane.scrollHeight - pane.scrollTop - pane.clientHeight < 30; }

  function newLine(key, cls) {
    const el = document.createElement('div');
    if (cls) el.className = cls;
    pane.appendChild(el);
    while (pane.childElementCount > MAX_LINES) pane.firstElementChild.remove();
    cur = { key, el };
    return el;
  }

  function tagFor(port, dir) {
    if (hello && hello.console === port) return '';
    return dir === 'in' ? `com${port} > ` : `com${port} < `;
  }

  const lastCR = {};  // per stream: the last byte was CR, so an LF after it ends nothing

  function showText(port, dir, text) {
    const atEnd = stick();
    const key = `${port}${dir}`;
    if (cur && cur.key !== key) cur = null;  // another stream's bytes start a line of their own
    const open = () => {
      const el = newLine(key, dir === 'in' ? 'in' : '');
      const tag = tagFor(port, dir);
      if (tag) {
        const t = document.createElement('span');
        t.className = 'tag';
        t.textContent = tag;
        el.appendChild(t);
      }
      el.appendChild(document.createTextNode(''));
    };
    let buf = '';
    const flush = () => { if (buf) cur.el.lastChild.appendData(buf); buf = ''; };
    for (const ch of text) {
      if (ch === '\r' || ch === '\n') {
        const crlf = ch === '\n' && lastCR[key];
        lastCR[key] = ch === '\r';
        if (crlf) continue;
        if (!cur) open();
        flush();
        cur = null;
      } else {
        if (!cur) open();
        buf += ch;
        lastCR[key] = false;
      }
    }
    if (cur) flush();
    if (atEnd) pane.scrollTop = pane.scrollHeight;
  }

  function note(text, cls = 'note') {
    const atEnd = stick();
    newLine('note', cls).textContent = text;
    cur = null;
    if (atEnd) pane.scrollTop = pane.scrollHeight;
  }

  let sending = Promise.resolve();
  const history = [];
  let histPos = 0;
  input.addEventListener('keydown', (ev) => {
    if (ev.key === 'ArrowUp' || ev.key === 'ArrowDown') {
      histPos = Math.max(0, Math.min(history.length, histPos + (ev.key === 'ArrowUp' ? -1 : 1)));
      input.value = history[histPos] ?? '';
      ev.preventDefault();
      return;
    }
    if (ev.key !== 'Enter' || ev.isComposing || !hello || hello.console < 0) return;
    // The port carries bytes: anything beyond Latin-1 cannot be sent as typed.
    const line = input.value.replace(/[^\x00-\xff]/g, '?');
    input.value = '';
    if (line && history[history.length - 1] !== line) history.push(line);
    histPos = history.length;
    const atEnd = stick();
    newLine('echo', 'echo').textContent = line;
    cur = null;
    if (atEnd) pane.scrollTop = pane.scrollHeight;
    sending = sending.then(() => post('/api/console', line))
        .catch((e) => note(`not sent: ${e.message}`, 'err'));
  });

  // ---- sound -----------------------------------------------------------------------------

  const MASTER = 0.12;
  const soundBtn = $('sound');
  let audio = null;   // { ctx, osc, gain, base, t0 } while the sound is on
  let lastSound = null;

  function schedule(ev) {
    const { ctx: ac, osc, gain } = audio;
    let when = audio.base === null ? -1 : audio.base + (ev.t - audio.t0);
    const now = ac.currentTime;
    // Virtual time drifts from the audio clock whenever the simulation is not at 1x.
    if (when < now || when > now + 1.0) {
      audio.base = now + 0.05;
      audio.t0 = ev.t;
      when = audio.base;
      // What was queued on the old base must not land after this change and undo it.
      gain.gain.cancelScheduledValues(when);
      osc.frequency.cancelScheduledValues(when);
    }
    const on = ev.hz > 0 && ev.level > 0;
    if (on) osc.frequency.setValueAtTime(Math.min(ev.hz, ac.sampleRate / 2), when);
    gain.gain.setValueAtTime(on ? ev.level * MASTER : 0, when);
  }

  function soundOn() {
    const ac = new AudioContext();
    const osc = ac.createOscillator();
    const gain = ac.createGain();
    osc.type = 'square';
    gain.gain.value = 0;
    osc.connect(gain).connect(ac.destination);
    osc.start();
    audio = { ctx: ac, osc, gain, base: null, t0: 0 };
    ac.resume();
    // A tone that is already sounding starts now rather than at its own (past) time.
    if (lastSound && lastSound.hz > 0 && lastSound.level > 0) schedule(lastSound);
  }

  function soundOff() {
    const a = audio;
    audio = null;
    a.gain.gain.cancelScheduledValues(0);
    a.gain.gain.setValueAtTime(0, a.ctx.currentTime);
    a.osc.stop();
    a.ctx.close();
  }

  soundBtn.addEventListener('click', () => {
    if (audio) soundOff(); else soundOn();
    soundBtn.textContent = audio ? 'Sound on' : 'Sound off';
    soundBtn.setAttribute('aria-pressed', audio ? 'true' : 'false');
  });

  // ---- controls and status ---------------------------------------------------------------

  const act = (path) => () => post(path).catch((e) => note(`${path}: ${e.message}`, 'err'));
  $('reset').addEventListener('click', act('/api/reset'));
  $('power').addEventListener('click', act('/api/power-cycle'));
  $('card-in').addEventListener('click', act('/api/card?action=insert'));
  $('card-out').addEventListener('click', act('/api/card?action=remove'));
  $('shot').addEventListener('click', () => {
    const a = document.createElement('a');
    a.href = api('/api/screenshot.png');
    a.download = 'voxa-screen.png';
    document.body.appendChild(a);
    a.click();
    a.remove();
  });

  let lostTotal = 0;
  function setConn(text, cls) {
    const el = $('st-conn');
    el.textContent = lostTotal ? `${text}, ${lostTotal} events dropped` : text;
    el.className = cls;
  }

  function onHello(h) {
    if (hello) note('reconnected');
    hello = h;
    $('st-build').textContent = `${String(h.panel).toUpperCase()} ${h.width}x${h.height}, ` +
        `${h.version}${h.fast ? ', fast' : ''}`;
    const hasCard = h.card !== '';
    $('card-in').disabled = !hasCard;
    $('card-out').disabled = !hasCard;
    $('card-in').title = $('card-out').title = hasCard ? h.card : 'no card given at start';
    const monitor = h.console < 0;
    input.disabled = monitor;
    input.placeholder = monitor ? 'read-only: monitoring both ports'
                                : 'command, Enter sends';
    $('console-title').textContent = monitor
        ? 'Monitor (read-only): com0/com1 > to the module, < from it'
        : `Console on com${h.console}`;
    cur = null;
    setConn('connected', 'conn-ok');
  }

  let lastStatus = null;
  function onStatus(s) {
    lastStatus = s;
    $('st-time').textContent = `t ${Number(s.t).toFixed(3)} s`;
    $('st-ratio').textContent = `${Number(s.ratio).toFixed(2)}x real time`;
    $('st-state').textContent = s.state + (s.reason ? ` (${s.reason})` : '') +
        (s.touch ? ', touched' : '');
    $('st-card').textContent =
        hello && hello.card === '' ? 'no card' : `card ${s.card ? 'in' : 'out'}`;
  }

  // ---- events ----------------------------------------------------------------------------

  let events = null;
  // The id of the last console event shown: a new stream starts after it, so nothing is shown
  // twice (the browser's own reconnection sends it as Last-Event-ID).
  let lastConsoleId = '';
  function connect() {
    events = new EventSource(api('/events' +
        (lastConsoleId ? '?since=' + encodeURIComponent(lastConsoleId) : '')));
    const on = (name, fn) => events.addEventListener(name, (e) => {
      let msg;
      try { msg = JSON.parse(e.data); } catch (err) {
        note(`bad ${name} event: ${err.message}`, 'err');
        return;
      }
      fn(msg, e);
    });
    on('hello', (h) => {
      onHello(h);
      inOrder(() => setSize(h.width, h.height));  // before the frames that follow it
    });
    on('panel', (p) => inOrder(() => {
      panel = { level: Number(p.level), flipX: !!p.flipX, flipY: !!p.flipY };
      buildLuts();
      if (fb) paint(0, 0, W, H);
    }));
    on('frame', (f, e) => {
      stats.bytes += e.data.length;
      // Decompression starts at once, so that frames decode side by side; they are applied
      // strictly in order.
      const pending = Promise.all(f.rects.map((r) => inflate(r.z)));
      pending.catch(() => {});  // reported when its turn comes
      inOrder(() => applyFrame(f, pending));
    });
    on('console', (c, e) => {
      lastConsoleId = e.lastEventId;
      showText(c.port, c.dir, c.text);
    });
    on('sound', (s) => {
      lastSound = s;
      if (audio) schedule(s);
    });
    on('status', onStatus);
    on('lost', (l) => {
      lostTotal += l.events;
      note(`${l.events} events dropped (the page fell behind)`);
    });
    events.onopen = () => setConn('connected', 'conn-ok');
    events.onerror = () => {
      if (events.readyState === EventSource.CLOSED) {
        // The browser gives up on a refused stream; keep trying, as it does for a lost one.
        setConn('disconnected, retrying', 'conn-bad');
        events.close();
        setTimeout(connect, 3000);
      } else {
        setConn('reconnecting', 'conn-wait');
      }
    };
  }
  connect();

  // ---- for tests and measurements --------------------------------------------------------

  // pixels() answers with base64 of the RGB bytes, row by row: an array of arrays of a whole
  // screen would cost the WebDriver link far more than the picture itself.
  function pixels(x = 0, y = 0, w = W, h = H) {
    const d = ctx.getImageData(x, y, w, h).data;
    const rgb = new Uint8Array(w * h * 3);
    for (let i = 0, j = 0; i < d.length; i += 4, j += 3) {
      rgb[j] = d[i]; rgb[j + 1] = d[i + 1]; rgb[j + 2] = d[i + 2];
    }
    let s = '';
    for (let i = 0; i < rgb.length; i += 0x8000) {
      s += String.fromCharCode.apply(null, rgb.subarray(i, i + 0x8000));
    }
    return btoa(s);
  }

  window.voxa = {
    stats,
    pixels,
    pixel(x, y) { return Array.from(ctx.getImageData(x, y, 1, 1).data.slice(0, 3)); },
    consoleText() { return Array.from(pane.children, (d) => d.textContent).join('\n'); },
    get ready() { return hello !== null && firstFrame; },
    get hello() { return hello; },
    get panel() { return { ...panel }; },
    get sound() {
      return audio ? { on: true, state: audio.ctx.state, gain: audio.gain.gain.value,
                       hz: audio.osc.frequency.value } : { on: false };
    },
    get status() { return lastStatus; },
  };
})();

// The preview: the drawing fitted to its panel; wheel, pinch and keys zoom around the
// pointer and drag pans, at once with the current picture scaled, then with a sharp
// picture from the server once the movement has rested.
import { el, formatSize, copyText, toast } from './util.js';
import { matchPlace, matchText } from './text.js';
import * as api from './api.js';

const REST_MS = 60;
const MAX_SIDE = 4096;

// The whole picture's frame (the drawn extents with a margin) as [x0, y0, x1, y1], y up.
function frameOf(info) {
  for (const box of [info.frame, info.extents]) {
    if (Array.isArray(box) && box.length === 4 && box.every(Number.isFinite)) return box;
  }
  return [-210, -148.5, 210, 148.5];
}

const layerKey = (group, layer) => `${group.toString(16).toUpperCase()}-${layer.toString(16).toUpperCase()}`;

export class Preview {
  constructor({ onClose }) {
    this.onClose = onClose;
    this.panel = document.getElementById('preview');
    this.view = document.getElementById('view');
    this.picture = document.getElementById('picture');
    this.boxes = document.getElementById('boxes');
    this.viewMessage = document.getElementById('view-message');
    this.pointer = document.getElementById('pointer');
    this.matchList = document.getElementById('match-list');
    this.layers = document.getElementById('layers');
    this.info = document.getElementById('info');
    this.title = document.getElementById('preview-title');
    this.drawing = null;
    this.viewRect = null;    // [x0, y0, x1, y1] now shown, y up
    this.shownRect = null;   // the rectangle of the picture on screen
    this.hidden = new Set();
    this.pointers = new Map();
    this.restTimer = 0;
    this.loadSerial = 0;

    document.getElementById('fit').addEventListener('click', () => this.fit());
    document.getElementById('close-preview').addEventListener('click', () => this.onClose());
    document.getElementById('preview-copy').addEventListener('click', async () => {
      if (!this.drawing) return;
      toast(await copyText(this.drawing.shownAs) ? `パスをコピーしました: ${this.drawing.shownAs}` : 'コピーできませんでした。');
    });
    this.panel.addEventListener('keydown', (e) => this.key(e));
    this.view.addEventListener('wheel', (e) => this.wheel(e), { passive: false });
    this.view.addEventListener('pointerdown', (e) => this.pointerDown(e));
    this.view.addEventListener('pointerleave', () => { this.pointer.textContent = ''; });
    this.view.addEventListener('pointermove', (e) => this.pointerMove(e));
    for (const type of ['pointerup', 'pointercancel']) this.view.addEventListener(type, (e) => this.pointerUp(e));
    this.picture.addEventListener('load', () => this.picture.classList.add('loaded'));
    new ResizeObserver(() => { if (this.drawing && this.viewRect) this.refit(); }).observe(this.view);
  }

  get isOpen() { return !this.panel.hidden; }

  async open(drawing, request) {
    this.drawing = drawing;
    this.request = request;
    this.hidden = new Set();
    this.viewRect = null;
    this.shownRect = null;
    this.extents = null;
    this.panel.hidden = false;
    document.body.classList.add('previewing');
    this.setBehindInert(true);
    this.title.textContent = drawing.name ? `${drawing.name} - プレビュー` : 'プレビュー';
    this.setLinks(drawing);
    this.picture.removeAttribute('src');
    delete this.view.dataset.sharp;
    this.picture.classList.remove('loaded');
    this.boxes.replaceChildren();
    this.info.replaceChildren();
    this.layers.replaceChildren();
    this.showMatches(drawing.items ?? []);
    this.viewMessage.textContent = '読み込み中…';
    this.view.focus();
    const serial = ++this.loadSerial;
    let info;
    try {
      info = await api.info(drawing.id);
    } catch (e) {
      if (serial === this.loadSerial) this.viewMessage.textContent = `この図面は表示できません。${e.message}`;
      return;
    }
    if (serial !== this.loadSerial || !this.isOpen) return;
    this.extents = frameOf(info);
    if (!drawing.shownAs && info.drawing) {
      Object.assign(drawing, api.drawingOf({ ...info.drawing, items: drawing.items }));
      this.title.textContent = `${drawing.name} - プレビュー`;
      this.setLinks(drawing);
    }
    this.showInfo(info);
    this.showLayers(info);
    this.fit();
  }

  // The page behind the dialog takes neither focus nor clicks while it is open.
  setBehindInert(inert) {
    for (const node of document.querySelectorAll('body > header, body > main, body > .skip')) node.inert = inert;
  }

  setLinks(drawing) {
    for (const [id, format] of [['save-png', 'png'], ['save-svg', 'svg'], ['save-pdf', 'pdf']]) {
      const link = document.getElementById(id);
      link.href = api.exportUrl(drawing.id, format);
      link.download = `${(drawing.name || 'drawing').replace(/\.[^.]*$/, '')}.${format}`;
    }
    const download = document.getElementById('preview-download');
    download.href = api.drawingUrl(drawing.id);
    download.download = drawing.name || '';
    document.getElementById('preview-copy').title = drawing.local || drawing.shownAs || '';
  }

  close() {
    this.loadSerial++;
    clearTimeout(this.restTimer);
    this.panel.hidden = true;
    document.body.classList.remove('previewing');
    this.setBehindInert(false);
    this.drawing = null;
    this.picture.removeAttribute('src');
  }

  size() { return [Math.max(1, this.view.clientWidth), Math.max(1, this.view.clientHeight)]; }

  // A rectangle around `rect` with the panel's aspect, centred on it.
  withAspect(rect) {
    const [w, h] = this.size();
    let [x0, y0, x1, y1] = rect;
    let dw = Math.max(x1 - x0, 1e-6);
    let dh = Math.max(y1 - y0, 1e-6);
    if (dw / dh > w / h) dh = dw * h / w; else dw = dh * w / h;
    const cx = (x0 + x1) / 2;
    const cy = (y0 + y1) / 2;
    return [cx - dw / 2, cy - dh / 2, cx + dw / 2, cy + dh / 2];
  }

  fit() {
    if (!this.extents) return;
    this.setView(this.withAspect(this.extents), true);
  }

  // After the panel changed size: the same centre and scale.
  refit() {
    const [w] = this.size();
    const scale = (this.viewRect[2] - this.viewRect[0]) / (this.lastWidth || w);
    const cx = (this.viewRect[0] + this.viewRect[2]) / 2;
    const cy = (this.viewRect[1] + this.viewRect[3]) / 2;
    const [nw, nh] = this.size();
    this.setView([cx - nw * scale / 2, cy - nh * scale / 2, cx + nw * scale / 2, cy + nh * scale / 2], true);
  }

  // Shows `rect` at once by scaling the picture on screen, and asks for a sharp one when
  // the movement rests (or now).
  setView(rect, now = false) {
    performance.mark('dorvan:moved');
    this.viewRect = rect;
    this.lastWidth = this.size()[0];
    this.placePicture();
    this.placeBoxes();
    clearTimeout(this.restTimer);
    if (now) this.load(); else this.restTimer = setTimeout(() => this.load(), REST_MS);
  }

  placePicture() {
    if (!this.shownRect) { this.picture.style.transform = ''; return; }
    const [w, h] = this.size();
    const [vx0, vy0, vx1, vy1] = this.viewRect;
    const [sx0, , sx1, sy1] = this.shownRect;
    const s = (sx1 - sx0) / (vx1 - vx0);
    const tx = (sx0 - vx0) / (vx1 - vx0) * w;
    const ty = (vy1 - sy1) / (vy1 - vy0) * h;
    this.picture.style.transform = `translate(${tx}px, ${ty}px) scale(${s})`;
  }

  load() {
    if (!this.drawing) return;
    const [w, h] = this.size();
    const ratio = Math.min(window.devicePixelRatio || 1, MAX_SIDE / Math.max(w, h));
    const rect = this.viewRect.slice();
    const url = api.pictureUrl(this.drawing.id, Math.round(w * ratio), Math.round(h * ratio), rect, [...this.hidden]);
    const serial = ++this.loadSerial;
    const image = new Image();
    image.onload = () => {
      if (serial !== this.loadSerial || !this.isOpen) return;
      this.picture.src = url;
      this.picture.style.width = `${w}px`;
      this.picture.style.height = `${h}px`;
      this.shownRect = rect;
      this.placePicture();
      this.viewMessage.textContent = '';
      this.view.dataset.sharp = url;
      performance.measure('dorvan:sharp', 'dorvan:moved');
    };
    image.onerror = () => {
      if (serial === this.loadSerial) this.viewMessage.textContent = 'この図面は表示できません。';
    };
    image.src = url;
  }

  // The drawing's point under a pixel of the panel.
  toDrawing(px, py) {
    const [w, h] = this.size();
    const [x0, y0, x1, y1] = this.viewRect;
    return [x0 + px / w * (x1 - x0), y1 - py / h * (y1 - y0)];
  }

  toPixel(x, y) {
    const [w, h] = this.size();
    const [x0, y0, x1, y1] = this.viewRect;
    return [(x - x0) / (x1 - x0) * w, (y1 - y) / (y1 - y0) * h];
  }

  zoom(factor, px, py) {
    if (!this.viewRect) return;
    const [x, y] = this.toDrawing(px, py);
    const [x0, y0, x1, y1] = this.viewRect;
    const width = (x1 - x0) / factor;
    const extent = this.extents ? Math.max(this.extents[2] - this.extents[0], this.extents[3] - this.extents[1], 1) : 1000;
    // Neither past a hair nor far beyond the whole drawing.
    if ((factor > 1 && width < extent * 1e-5) || (factor < 1 && width > extent * 50)) return;
    this.setView([x - (x - x0) / factor, y - (y - y0) / factor, x + (x1 - x) / factor, y + (y1 - y) / factor]);
  }

  pan(dx, dy) {
    if (!this.viewRect) return;
    const [w] = this.size();
    const [x0, y0, x1, y1] = this.viewRect;
    const s = (x1 - x0) / w;
    this.setView([x0 - dx * s, y0 + dy * s, x1 - dx * s, y1 + dy * s]);
  }

  wheel(e) {
    e.preventDefault();
    const r = this.view.getBoundingClientRect();
    const delta = e.deltaMode === 1 ? e.deltaY * 16 : e.deltaY;
    this.zoom(Math.exp(-delta * 0.002), e.clientX - r.left, e.clientY - r.top);
  }

  pointerDown(e) {
    if (e.button !== 0 && e.pointerType === 'mouse') return;
    this.view.setPointerCapture(e.pointerId);
    this.pointers.set(e.pointerId, [e.clientX, e.clientY]);
    this.view.classList.add('dragging');
  }

  pointerMove(e) {
    const last = this.pointers.get(e.pointerId);
    if (!last) {
      if (!this.viewRect) return;
      const r = this.view.getBoundingClientRect();
      const [x, y] = this.toDrawing(e.clientX - r.left, e.clientY - r.top);
      this.pointer.textContent = `X ${x.toFixed(2)}  Y ${y.toFixed(2)}`;
      return;
    }
    if (this.pointers.size === 2) {
      const [other] = [...this.pointers].filter(([id]) => id !== e.pointerId).map(([, p]) => p);
      const before = Math.hypot(last[0] - other[0], last[1] - other[1]);
      const after = Math.hypot(e.clientX - other[0], e.clientY - other[1]);
      const r = this.view.getBoundingClientRect();
      if (before > 0) this.zoom(after / before, (e.clientX + other[0]) / 2 - r.left, (e.clientY + other[1]) / 2 - r.top);
    } else {
      this.pan(e.clientX - last[0], e.clientY - last[1]);
    }
    this.pointers.set(e.pointerId, [e.clientX, e.clientY]);
  }

  pointerUp(e) {
    this.pointers.delete(e.pointerId);
    if (!this.pointers.size) this.view.classList.remove('dragging');
  }

  key(e) {
    if (e.key === 'Escape') { e.preventDefault(); this.onClose(); return; }
    if (e.key === 'Tab') { this.trapFocus(e); return; }
    if (e.target !== this.view) return;
    const [w, h] = this.size();
    const step = 60;
    const actions = {
      '+': () => this.zoom(1.25, w / 2, h / 2), '=': () => this.zoom(1.25, w / 2, h / 2),
      '-': () => this.zoom(0.8, w / 2, h / 2), Home: () => this.fit(), 0: () => this.fit(),
      ArrowLeft: () => this.pan(step, 0), ArrowRight: () => this.pan(-step, 0),
      ArrowUp: () => this.pan(0, step), ArrowDown: () => this.pan(0, -step),
    };
    const action = actions[e.key];
    if (!action) return;
    e.preventDefault();
    action();
  }

  // Tab stays in the dialog.
  trapFocus(e) {
    const items = [...this.panel.querySelectorAll('button, a[href], input, summary, [tabindex="0"]')]
      .filter((n) => !n.disabled && n.offsetParent !== null);
    if (!items.length) return;
    const first = items[0];
    const last = items[items.length - 1];
    if (e.shiftKey && document.activeElement === first) { e.preventDefault(); last.focus(); }
    else if (!e.shiftKey && document.activeElement === last) { e.preventDefault(); first.focus(); }
  }

  showInfo(info) {
    const rows = [['バージョン', info.version], ['図面サイズ', info.size], ['メモ', info.memo]];
    if (this.drawing.shownAs) rows.push(['パス', this.drawing.shownAs]);
    for (const [term, value] of rows) {
      if (value === undefined || value === null || value === '') continue;
      this.info.append(el('dt', { text: term }), el('dd', { text: String(value) }));
    }
    if (this.drawing.size) this.info.append(el('dt', { text: 'ファイルサイズ' }), el('dd', { text: formatSize(this.drawing.size) }));
  }

  // Groups with their layers, each a check box that hides or shows it again. What the
  // drawing itself hides stays hidden (the server draws a layer hidden, never shown).
  showLayers(info) {
    const groups = info.layer_groups ?? [];
    groups.forEach((group, g) => {
      const gi = group.group ?? g;
      const groupShown = group.visible !== false;
      const layerBoxes = [];
      const groupBox = el('input', { type: 'checkbox', checked: groupShown, disabled: !groupShown, dataset: { layer: gi.toString(16).toUpperCase() } });
      const list = el('ul', { class: 'layer-list' });
      (group.layers ?? []).forEach((layer, l) => {
        const li = layer.layer ?? l;
        const key = layerKey(gi, li);
        const shown = groupShown && layer.visible !== false;
        const box = el('input', { type: 'checkbox', checked: shown, disabled: !shown, dataset: { layer: key } });
        box.addEventListener('change', () => {
          if (box.checked) this.hidden.delete(key); else this.hidden.add(key);
          groupBox.checked = layerBoxes.some((b) => b.checked);
          this.load();
        });
        if (shown) layerBoxes.push(box);
        list.append(el('li', {}, el('label', { title: shown ? null : '図面で非表示' }, box, ` ${key} ${layer.name ?? ''}`)));
      });
      if (groupShown && !layerBoxes.length) { groupBox.checked = false; groupBox.disabled = true; }
      groupBox.addEventListener('change', () => {
        for (const box of layerBoxes) {
          box.checked = groupBox.checked;
          if (groupBox.checked) this.hidden.delete(box.dataset.layer); else this.hidden.add(box.dataset.layer);
        }
        this.load();
      });
      const caption = ` ${gi.toString(16).toUpperCase()} ${group.name ?? ''}`;
      const summary = el('summary', {}, el('label', { title: groupBox.disabled ? '図面で非表示' : null }, groupBox, caption));
      this.layers.append(el('details', { class: 'layer-group' }, summary, list));
    });
  }

  showMatches(items) {
    this.matchList.replaceChildren();
    // A text inside a block definition sits in the block's own coordinates: listed in the
    // results, not placed here.
    this.placed = items.filter((item) => item.range === 'data' && !item.block && Number.isFinite(item.x) && Number.isFinite(item.y));
    this.placed.forEach((item, i) => {
      const button = el('button', { type: 'button', class: 'link', dataset: { match: String(i) },
        text: `[${matchPlace(item)}] ${matchText(item)}`, onclick: () => this.centre(i) });
      this.matchList.append(el('li', {}, button));
    });
    if (!this.placed.length) this.matchList.append(el('li', { class: 'note', text: '位置のある一致はありません。' }));
  }

  // The matched texts boxed from their start point: the server does not tell a text's
  // size, so each character is taken as the common 3.5 mm square, with a few pixels at
  // least so that a box stays visible when zoomed out.
  placeBoxes() {
    if (!this.placed?.length) { this.boxes.replaceChildren(); return; }
    if (this.boxes.children.length !== this.placed.length) {
      this.boxes.replaceChildren(...this.placed.map((item, i) => el('div', { class: 'box', dataset: { match: String(i) }, title: matchText(item) })));
    }
    const pxPerMm = this.size()[0] / (this.viewRect[2] - this.viewRect[0]);
    const char = Math.max(3.5 * pxPerMm, 4);
    this.placed.forEach((item, i) => {
      const [px, py] = this.toPixel(item.x, item.y);
      const box = this.boxes.children[i];
      const length = Math.max(1, [...(item.text ?? '')].length);
      box.style.left = `${px - 3}px`;
      box.style.top = `${py - char - 3}px`;
      box.style.width = `${Math.min(length * char, 4000) + 6}px`;
      box.style.height = `${char + 6}px`;
    });
  }

  // Centres the view on a match at the scale now shown.
  centre(i) {
    const item = this.placed[i];
    if (!item || !this.viewRect) return;
    const [x0, y0, x1, y1] = this.viewRect;
    const hw = (x1 - x0) / 2;
    const hh = (y1 - y0) / 2;
    this.setView([item.x - hw, item.y - hh, item.x + hw, item.y + hh], true);
    [...this.boxes.children].forEach((b, j) => b.classList.toggle('chosen', j === i));
    [...this.matchList.querySelectorAll('button')].forEach((b, j) => b.setAttribute('aria-current', j === i ? 'true' : 'false'));
  }
}

// The found drawings: one list of cards with thumbnails and what matched, sorted on the
// page; the unreadable drawings apart. Only the cards in and near the window are in the
// document, each at its place in a list as tall as all of them, so that scrolling through
// thousands of drawings costs no more than scrolling through a screenful.
import { el, copyText, toast, formatDate, formatSize, toDate, saveFile } from './util.js';
import { matchPlace, matchLayer, matchPosition, matchText, matchedPart, foundListCsv } from './text.js';
import { thumbnailUrl, drawingUrl } from './api.js';

// Rows of cards put in above and below the window, so that a scroll of a frame or two
// finds its cards there.
const OVERSCAN_ROWS = 2;
// The next drawings are asked for when the window comes this many cards (some twenty rows,
// a second of a fast scroll) from the end of those loaded: not at once, as every request
// runs the search again on the server.
const PREFETCH = 40;
// Thumbnails are asked for once the list has rested this long: a fast scroll does not
// queue the pictures of cards long gone before those of the cards it stops at.
const THUMB_REST_MS = 80;
// Drawings asked for at a time as the list is scrolled (about 80 KB of JSON, taken in
// within a frame), and at most for a sort or a copy of the whole list.
const STEP = 200;
const CHUNK = 1000;
const SHOWN_MATCHES = 3;
const THUMB_SIZE = 160;

const collator = new Intl.Collator('ja', { sensitivity: 'base', numeric: true });
// One match as the window's match line: where, layer, position, text with the matched
// part marked.
export function matchLine(item, request) {
  const text = matchText(item);
  const line = el('li', { class: 'match' }, el('span', { class: 'place', text: `[${matchPlace(item)}]` }));
  const layer = matchLayer(item);
  if (layer) line.append(' ', el('span', { class: 'layer', text: layer }));
  const position = matchPosition(item);
  if (position) line.append(' ', el('span', { class: 'position', text: position }));
  const textSpan = el('span', { class: 'text' });
  // Block names are compared as stored and shown with their full name: no part to mark.
  const part = ['data', 'memo', 'layer-group', 'layer'].includes(item.range) ? matchedPart(text, request) : null;
  if (part) {
    textSpan.append(text.slice(0, part[0]), el('mark', { text: text.slice(part[0], part[1]) }), text.slice(part[1]));
  } else {
    textSpan.textContent = text;
  }
  line.append(' ', textSpan);
  // A card shows each match on one line; the whole line is in the tool tip.
  line.title = line.textContent;
  return line;
}

function takeTab(row, on) {
  row.tabIndex = on ? 0 : -1;
  row.classList.toggle('current', on);
  for (const control of row.querySelectorAll('button, a')) control.tabIndex = on ? 0 : -1;
}

export class Results {
  constructor({ onPreview }) {
    this.onPreview = onPreview;
    this.list = document.getElementById('found');
    this.message = document.getElementById('result-message');
    this.tools = document.getElementById('list-tools');
    this.loading = document.getElementById('loading');
    this.sortSelect = document.getElementById('sort');
    this.unreadableSection = document.getElementById('unreadable-section');
    this.unreadableList = document.getElementById('unreadable');
    this.drawings = [];
    this.order = [];
    this.total = 0;
    this.first = 0;   // the cards in the document are those of [first, last)
    this.last = 0;
    this.current = 0;
    this.columns = 1;
    this.pitch = 200;
    this.thumbTimer = 0;
    window.addEventListener('scroll', () => this.update(), { passive: true });
    window.addEventListener('resize', () => this.resized());

    this.sortSelect.addEventListener('change', async () => {
      if (this.sortSelect.value !== 'path' && !await this.ensure(Infinity)) return;
      this.sort();
      this.showFromTop();
    });
    document.getElementById('copy-all').addEventListener('click', () => this.copyAll());
    document.getElementById('save-list').addEventListener('click', () => this.saveList());
    this.list.addEventListener('keydown', (e) => this.key(e));
  }

  clear(message = '') {
    this.more = null;
    this.total = 0;
    this.drawings = [];
    this.order = [];
    this.fetched = null;
    this.emptyList();
    this.message.textContent = message;
    this.tools.hidden = true;
    this.unreadableSection.hidden = true;
    this.unreadableList.replaceChildren();
    this.loading.textContent = '';
  }

  emptyList() {
    this.list.replaceChildren();
    this.list.style.height = '';
    this.list.style.paddingTop = '';
    this.first = this.last = this.current = 0;
  }

  // `more(offset, limit)` gives the search's drawings from `offset` on (or null), for the cards,
  // sorts and list copies that need more than the first answer held.
  show(result, request, more) {
    this.clear();
    this.request = request;
    this.more = more;
    this.pending = Promise.resolve();
    this.total = result.total;
    this.message.textContent = result.message;
    const notes = [];
    if (result.unavailable?.length) notes.push(`使用できない場所（${result.unavailable.join('、')}）は検索していません。`);
    if (result.scanning?.length) notes.push(`${result.scanning.join('、')} は走査中のため、結果が揃っていない場合があります。`);
    if (notes.length) this.message.append(el('span', { class: 'note', text: ` ${notes.join(' ')}` }));
    this.drawings = result.found.slice();
    this.sort();
    this.showFromTop();
    this.showUnreadable(result.unreadable);
  }

  // Loads the search's drawings until `count` of them (or all) are here, one request at a
  // time whoever asks.
  ensure(count) {
    const more = this.more;
    this.pending = this.pending.then(async () => {
      while (this.more === more && this.drawings.length < Math.min(count, this.total)) {
        this.loading.textContent = `読み込み中… ${this.drawings.length} / ${this.total}`;
        const limit = Math.min(Math.max(count - this.drawings.length, STEP), CHUNK);
        const result = await more(this.drawings.length, limit).catch(() => null);
        if (this.more !== more || !result || !result.found.length) break;
        this.drawings.push(...result.found);
      }
      if (this.more === more) this.loading.textContent = '';
    });
    return this.pending.then(() => {
      if (this.more !== more) return false;
      if (this.order.length < this.drawings.length) this.sort();
      return true;
    });
  }

  sort() {
    const key = this.sortSelect.value;
    const order = this.drawings.map((_, i) => i);
    if (key === 'name') {
      order.sort((a, b) => collator.compare(this.drawings[a].name, this.drawings[b].name) || a - b);
    } else if (key === 'date') {
      const time = (d) => toDate(d.mtime)?.getTime() ?? 0;
      order.sort((a, b) => time(this.drawings[b]) - time(this.drawings[a]) || a - b);
    }
    this.order = order;
  }

  showFromTop() {
    this.emptyList();
    this.tools.hidden = this.total === 0;
    if (!this.total) return;
    this.measure();
    this.size();
    if (this.list.getBoundingClientRect().top < 0) this.list.closest('section').scrollIntoView();
    this.update();
  }

  // The list's columns and the distance from one row of cards to the next, as the style
  // sheet lays them out at this width.
  measure() {
    const style = getComputedStyle(this.list);
    this.columns = Math.max(1, style.gridTemplateColumns.split(' ').filter((t) => t && t !== 'none').length);
    this.pitch = (parseFloat(style.gridAutoRows) || 200) + (parseFloat(style.rowGap) || 0);
    this.size();
  }

  // A change of width can change the columns: the card at the top of the window stays
  // there.
  resized() {
    const top = this.list.getBoundingClientRect().top;
    const anchor = this.total && top < 0 ? Math.floor(-top / this.pitch) * this.columns : -1;
    this.measure();
    if (anchor >= 0) window.scrollBy(0, this.list.getBoundingClientRect().top + Math.floor(anchor / this.columns) * this.pitch);
    this.update();
  }

  // The list as tall as all the search's cards, loaded or not.
  size() {
    if (!this.total) return;
    this.list.style.height = `${Math.ceil(this.total / this.columns) * this.pitch}px`;
  }

  // Puts in the cards in and near the window and takes out the others.
  update() {
    if (!this.total) return;
    const top = this.list.getBoundingClientRect().top;
    const firstRow = Math.max(0, Math.floor(-top / this.pitch) - OVERSCAN_ROWS);
    const lastRow = Math.max(firstRow, Math.ceil((innerHeight - top) / this.pitch) + OVERSCAN_ROWS);
    const last = Math.min(lastRow * this.columns, this.order.length);
    const first = Math.min(firstRow * this.columns, last);
    if (first !== this.first || last !== this.last) this.place(first, last);
    // Also when the same cards stay but the window's width changed the columns.
    const offset = `${Math.floor(first / this.columns) * this.pitch}px`;
    if (this.list.style.paddingTop !== offset) this.list.style.paddingTop = offset;
    if (lastRow * this.columns + PREFETCH > this.order.length) this.fetchMore();
    clearTimeout(this.thumbTimer);
    this.thumbTimer = setTimeout(() => this.loadThumbs(), THUMB_REST_MS);
  }

  place(first, last) {
    const pixels = Math.round(THUMB_SIZE * Math.min(Math.max(window.devicePixelRatio || 1, 1), 2));
    const cards = (from, to) => {
      const fragment = document.createDocumentFragment();
      for (let i = from; i < to; ++i) fragment.append(this.card(this.drawings[this.order[i]], i, pixels));
      return fragment;
    };
    if (last <= this.first || first >= this.last) {
      this.list.replaceChildren(cards(first, last));
    } else {
      // The cards still in reach stay, with their focus, their loaded thumbnail and their
      // opened matches.
      for (; this.first < first; ++this.first) this.list.firstElementChild.remove();
      for (; this.last > last; --this.last) this.list.lastElementChild.remove();
      this.list.prepend(cards(first, this.first));
      this.list.append(cards(this.last, last));
    }
    this.first = first;
    this.last = last;
    // The current card scrolled away: the first in the window takes the Tab order.
    if (last > first && (this.current < first || this.current >= last)) this.setCurrent(first);
  }

  loadThumbs() {
    for (const img of this.list.querySelectorAll('img.thumb:not([src])')) img.src = img.dataset.src;
  }

  fetchMore() {
    const more = this.more;
    if (!more || this.fetched === more || this.drawings.length >= this.total) return;
    this.fetched = more;
    const had = this.drawings.length;
    this.ensure(had + STEP).then((same) => {
      if (!same) return;
      if (this.drawings.length > had) {
        this.fetched = null;
      } else {
        // The server has no more than these after all: the list ends with them.
        this.total = this.drawings.length;
        this.size();
      }
      this.update();
    });
  }

  cardAt(index) {
    return index >= this.first && index < this.last ? this.list.children[index - this.first] : null;
  }

  // Scrolls the card numbered `index` into the window and puts it in.
  reveal(index) {
    const top = this.list.getBoundingClientRect().top + Math.floor(index / this.columns) * this.pitch;
    const bottom = top + this.pitch;
    if (top < 0) window.scrollBy(0, top - 8);
    else if (bottom > innerHeight) window.scrollBy(0, bottom - innerHeight + 8);
    this.update();
  }

  card(d, position, pixels) {
    const img = el('img', { class: 'thumb', alt: '', width: THUMB_SIZE, height: THUMB_SIZE, decoding: 'async', dataset: { src: thumbnailUrl(d.id, pixels) } });
    img.addEventListener('error', () => img.classList.add('failed'));
    img.addEventListener('load', () => img.classList.add('loaded'));
    const thumb = el('button', { type: 'button', class: 'thumb-button', 'aria-label': `${d.name} をプレビュー`, tabindex: -1, onclick: () => this.onPreview(d) }, img);

    const matches = el('ul', { class: 'matches', 'aria-label': '一致箇所' });
    d.items.slice(0, SHOWN_MATCHES).forEach((item) => matches.append(matchLine(item, this.request)));
    const rest = d.total - Math.min(d.items.length, SHOWN_MATCHES);
    let more = null;
    if (rest > 0) {
      more = el('button', { type: 'button', class: 'more link', tabindex: -1, 'aria-expanded': 'false', text: `…ほか ${rest} 件` });
      more.addEventListener('click', () => {
        d.items.slice(SHOWN_MATCHES).forEach((item) => matches.append(matchLine(item, this.request)));
        if (d.items.length < d.total) {
          matches.append(el('li', { class: 'match note', text: `（最初の ${d.items.length} 件を表示。一致 ${d.total} 件）` }));
        }
        more.remove();
        row.focus();
      });
    }

    const copy = el('button', { type: 'button', tabindex: -1, title: d.local || d.shownAs, text: 'パスをコピー', onclick: () => this.copyPath(d) });
    const download = el('a', { class: 'button', tabindex: -1, href: drawingUrl(d.id), download: d.name, text: 'ダウンロード' });
    const preview = el('button', { type: 'button', tabindex: -1, text: 'プレビュー', onclick: () => this.onPreview(d) });

    const row = el('li', { class: 'drawing', tabindex: -1, dataset: { index: String(position), id: d.id },
      'aria-setsize': this.total, 'aria-posinset': position + 1, 'aria-label': `${d.name}、${d.shownAs}` },
      thumb,
      el('div', { class: 'body' },
        el('h3', { class: 'name', text: d.name }),
        el('p', { class: 'path' }, el('span', { class: 'win', title: d.local || '', text: d.shownAs })),
        el('p', { class: 'meta' },
          el('span', { text: d.folder ? `フォルダ ${d.folder}` : '' }),
          el('span', { text: formatDate(d.mtime) ? `更新 ${formatDate(d.mtime)}` : '' }),
          el('span', { text: formatSize(d.size) })),
        matches, more,
        el('div', { class: 'actions' }, copy, download, preview)));
    if (position === this.current) takeTab(row, true);
    row.addEventListener('focusin', () => this.setCurrent(position));
    row.addEventListener('dblclick', (e) => { if (!e.target.closest('button, a')) this.onPreview(d); });
    return row;
  }

  // One card in the Tab order at a time (with its buttons); the arrow keys move between
  // cards.
  setCurrent(index, focus = false) {
    if (!this.order.length) return;
    index = Math.min(Math.max(index, 0), this.order.length - 1);
    if (focus) this.reveal(index);
    const old = this.cardAt(this.current);
    if (old) takeTab(old, false);
    this.current = index;
    const row = this.cardAt(index);
    if (!row) return;
    takeTab(row, true);
    if (focus) row.focus({ preventScroll: true });
  }

  // Moves to the card numbered `index`, loading its drawing first where needed.
  async moveTo(index) {
    index = Math.min(Math.max(index, 0), this.total - 1);
    if (index >= this.order.length && !await this.ensure(index + 1)) return;
    this.setCurrent(index, true);
  }

  key(e) {
    const row = e.target.closest('li.drawing');
    if (!row) return;
    const index = Number(row.dataset.index);
    const onRow = e.target === row;
    const screen = Math.max(1, Math.floor(innerHeight / this.pitch)) * this.columns;
    switch (e.key) {
      case 'ArrowDown': this.moveTo(index + 1); break;
      case 'ArrowUp': this.setCurrent(index - 1, true); break;
      case 'Home': if (!onRow) return; this.setCurrent(0, true); break;
      case 'End': if (!onRow) return; this.setCurrent(this.order.length - 1, true); break;
      case 'PageDown': this.moveTo(index + screen); break;
      case 'PageUp': this.setCurrent(index - screen, true); break;
      case 'Enter':
        if (!onRow) return;
        this.onPreview(this.drawings[this.order[index]]);
        break;
      case 'c':
        if (!(e.ctrlKey || e.metaKey) || !onRow || window.getSelection()?.toString()) return;
        this.copyPath(this.drawings[this.order[index]]);
        break;
      default: return;
    }
    e.preventDefault();
  }

  focusCurrent() { this.setCurrent(this.current, true); }

  async copyPath(d) {
    toast(await copyText(d.shownAs) ? `パスをコピーしました: ${d.shownAs}` : 'コピーできませんでした。');
  }

  // Every drawing of the search in the order shown.
  async all() {
    if (!await this.ensure(Infinity)) return null;
    if (this.order.length < this.drawings.length) this.sort();
    return this.order.map((i) => this.drawings[i]);
  }

  async copyAll() {
    const drawings = await this.all();
    if (!drawings) return;
    const paths = drawings.map((d) => d.shownAs);
    toast(await copyText(paths.join('\r\n')) ? `${paths.length} 件のパスをコピーしました。` : 'コピーできませんでした。');
  }

  async saveList() {
    const drawings = await this.all();
    if (drawings) saveFile('該当ファイル.csv', foundListCsv(drawings), 'text/csv;charset=utf-8');
  }

  showUnreadable(drawings, add = false) {
    if (!add) this.unreadableList.replaceChildren();
    for (const d of drawings) {
      const messages = el('ul', { class: 'reader-messages' }, ...d.messages.map((m) => el('li', { text: m })));
      this.unreadableList.append(el('li', {}, el('span', { class: 'win', title: d.local || '', text: d.shownAs }), messages));
    }
    this.unreadableSection.hidden = this.unreadableList.children.length === 0;
  }

  byId(id) { return this.drawings.find((d) => d.id === id); }
}

// The found drawings: a page of cards with thumbnails and what matched, sorted and paged on
// the page so that thousands of drawings stay smooth; the unreadable drawings apart.
import { el, copyText, toast, formatDate, formatSize, toDate, saveFile } from './util.js';
import { matchPlace, matchLayer, matchPosition, matchText, matchedPart, foundListCsv } from './text.js';
import { thumbnailUrl, drawingUrl } from './api.js';

export const PAGE_SIZE = 50;
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
  return line;
}

export class Results {
  constructor({ onPreview }) {
    this.onPreview = onPreview;
    this.list = document.getElementById('found');
    this.message = document.getElementById('result-message');
    this.tools = document.getElementById('list-tools');
    this.pager = document.getElementById('pager');
    this.pageLabel = document.getElementById('page-label');
    this.loading = document.getElementById('loading');
    this.sortSelect = document.getElementById('sort');
    this.unreadableSection = document.getElementById('unreadable-section');
    this.unreadableList = document.getElementById('unreadable');
    this.drawings = [];
    this.order = [];
    this.page = 0;
    this.current = 0;
    this.request = {};
    this.observer = new IntersectionObserver((entries) => {
      for (const entry of entries) {
        if (!entry.isIntersecting) continue;
        const img = entry.target;
        this.observer.unobserve(img);
        img.src = img.dataset.src;
      }
    }, { rootMargin: '200px' });

    this.sortSelect.addEventListener('change', async () => {
      if (this.sortSelect.value !== 'path' && !await this.ensure(Infinity)) return;
      this.sort();
      this.showPage(0);
    });
    document.getElementById('prev-page').addEventListener('click', () => this.goTo(this.page - 1, 0, false));
    document.getElementById('next-page').addEventListener('click', () => this.goTo(this.page + 1, 0, false));
    document.getElementById('copy-all').addEventListener('click', () => this.copyAll());
    document.getElementById('save-list').addEventListener('click', () => this.saveList());
    this.list.addEventListener('keydown', (e) => this.key(e));
  }

  clear(message = '') {
    this.more = null;
    this.total = 0;
    this.drawings = [];
    this.order = [];
    this.list.replaceChildren();
    this.message.textContent = message;
    this.tools.hidden = true;
    this.pager.hidden = true;
    this.unreadableSection.hidden = true;
    this.unreadableList.replaceChildren();
    this.loading.textContent = '';
  }

  // `more(offset)` gives the search's drawings from `offset` on (or null), for the pages,
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
    this.showPage(0);
    this.showUnreadable(result.unreadable);
  }

  // Loads the search's drawings until `count` of them (or all) are here, one request at a
  // time whoever asks.
  ensure(count) {
    const more = this.more;
    this.pending = this.pending.then(async () => {
      while (this.more === more && this.drawings.length < Math.min(count, this.total)) {
        this.loading.textContent = `読み込み中… ${this.drawings.length} / ${this.total}`;
        const result = await more(this.drawings.length).catch(() => null);
        if (this.more !== more || !result || !result.found.length) break;
        this.drawings.push(...result.found);
      }
      if (this.more === more) this.loading.textContent = '';
    });
    return this.pending.then(() => this.more === more);
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

  pages() { return Math.max(1, Math.ceil(this.total / PAGE_SIZE)); }

  // Shows a page, loading it first when it is not here yet, with row `row` current.
  async goTo(page, row, focus = true) {
    page = Math.min(Math.max(page, 0), this.pages() - 1);
    if (!await this.ensure((page + 1) * PAGE_SIZE)) return;
    if (this.order.length < this.drawings.length) this.sort();
    this.showPage(page, focus, row);
  }

  showPage(page, focus = false, row = 0) {
    this.page = Math.min(Math.max(page, 0), this.pages() - 1);
    const from = this.page * PAGE_SIZE;
    const shown = this.order.slice(from, from + PAGE_SIZE).map((i) => this.drawings[i]);
    const previous = row;
    for (const img of this.list.querySelectorAll('img[data-src]')) this.observer.unobserve(img);
    this.list.replaceChildren(...shown.map((d, i) => this.card(d, from + i)));
    this.tools.hidden = this.total === 0;
    this.pager.hidden = this.pages() <= 1;
    this.pageLabel.textContent = `${this.page + 1} / ${this.pages()} ページ（${from + 1}–${from + shown.length} 件目）`;
    document.getElementById('prev-page').disabled = this.page === 0;
    document.getElementById('next-page').disabled = this.page >= this.pages() - 1;
    this.setCurrent(Math.min(previous, shown.length - 1), focus);
  }

  card(d, position) {
    // Sharp on a high-density screen too.
    const pixels = Math.round(THUMB_SIZE * Math.min(Math.max(window.devicePixelRatio || 1, 1), 2));
    const img = el('img', { class: 'thumb', alt: '', width: THUMB_SIZE, height: THUMB_SIZE, dataset: { src: thumbnailUrl(d.id, pixels) } });
    img.addEventListener('error', () => img.classList.add('failed'));
    img.addEventListener('load', () => img.classList.add('loaded'));
    this.observer.observe(img);
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

    const row = el('li', { class: 'drawing', tabindex: -1, dataset: { index: String(position), id: d.id }, 'aria-label': `${d.name}、${d.shownAs}` },
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
    row.addEventListener('focusin', () => this.setCurrent([...this.list.children].indexOf(row)));
    row.addEventListener('dblclick', (e) => { if (!e.target.closest('button, a')) this.onPreview(d); });
    return row;
  }

  // One row in the Tab order at a time (with its buttons); the arrow keys move between rows.
  setCurrent(index, focus = false) {
    const rows = [...this.list.children];
    if (!rows.length) return;
    index = Math.min(Math.max(index, 0), rows.length - 1);
    if (index !== this.current || focus || !rows.some((r) => r.tabIndex === 0)) {
      rows.forEach((row, i) => {
        const on = i === index;
        row.tabIndex = on ? 0 : -1;
        row.classList.toggle('current', on);
        row.querySelectorAll('button, a').forEach((c) => { c.tabIndex = on ? 0 : -1; });
      });
    }
    this.current = index;
    if (focus) rows[index].focus();
  }

  key(e) {
    const row = e.target.closest('li.drawing');
    if (!row) return;
    const rows = [...this.list.children];
    const index = rows.indexOf(row);
    const onRow = e.target === row;
    switch (e.key) {
      case 'ArrowDown':
        if (index === rows.length - 1 && this.page < this.pages() - 1) this.goTo(this.page + 1, 0);
        else this.setCurrent(index + 1, true);
        break;
      case 'ArrowUp':
        if (index === 0 && this.page > 0) this.goTo(this.page - 1, PAGE_SIZE - 1);
        else this.setCurrent(index - 1, true);
        break;
      case 'Home': if (!onRow) return; this.setCurrent(0, true); break;
      case 'End': if (!onRow) return; this.setCurrent(rows.length - 1, true); break;
      case 'PageDown': this.goTo(this.page + 1, 0); break;
      case 'PageUp': this.goTo(this.page - 1, 0); break;
      case 'Enter':
        if (!onRow) return;
        this.onPreview(this.drawings[this.order[Number(row.dataset.index)]]);
        break;
      case 'c':
        if (!(e.ctrlKey || e.metaKey) || !onRow || window.getSelection()?.toString()) return;
        this.copyPath(this.drawings[this.order[Number(row.dataset.index)]]);
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

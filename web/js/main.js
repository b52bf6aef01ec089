// The search page: the form with the window's rules, the request in the URL (a link
// reproduces the search, Back and Forward move between searches), the results and the
// preview.
import { ControlRules } from './rules.js';
import * as api from './api.js';
import { Results } from './results.js';
import { Preview } from './preview.js';
import { el } from './util.js';

const HISTORY_KEY = 'dorvan.history';
const HISTORY_SIZE = 10;
const FIRST_PAGE = 100;
const STATUS_MS = 10000;
const TEXT_RANGES = ['data', 'memo', 'layer-group', 'layer', 'block'];

const $ = (id) => document.getElementById(id);

const controls = {
  Check3: [...Array(8).keys()].map((i) => $(`range-${i}`)),
  Combo1: $('text'), Combo2: $('version'), Combo3: $('size'),
  Check1: $('word'), Check2: $('case'), Check4: $('regex'),
  Frame2: $('dpi'), Dpi300: $('dpi-300'), Dpi600: $('dpi-600'),
};
const rules = new ControlRules(controls);
const refusal = $('refusal');
let searchAbort = null;
let currentKey = null;   // the request now shown, as its URL query
let lastRequest = {};

// The search texts, newest first, kept in this browser.
function loadHistory() {
  try {
    const list = JSON.parse(localStorage.getItem(HISTORY_KEY) ?? '[]');
    return Array.isArray(list) ? list.filter((t) => typeof t === 'string').slice(0, HISTORY_SIZE) : [];
  } catch { return []; }
}

function showHistory(list) {
  $('history').replaceChildren(...list.map((text) => { const o = el('option'); o.value = text; return o; }));
}

function addHistory(text) {
  if (!text) return;
  const list = [text, ...loadHistory().filter((t) => t !== text)].slice(0, HISTORY_SIZE);
  try { localStorage.setItem(HISTORY_KEY, JSON.stringify(list)); } catch { /* private mode */ }
  showHistory(list);
}

let knownRoots = [];

// The folder as the server takes it: below the root, with slashes. A Windows path pasted
// from Explorer that begins with a root's own path chooses that root.
function folderRequest(request) {
  let under = $('under').value.trim();
  const lower = under.toLowerCase();
  for (const root of knownRoots) {
    const prefix = String(root.shown_as ?? '').toLowerCase();
    if (prefix && (lower === prefix || lower.startsWith(prefix.replace(/[\\/]$/, '') + (prefix.includes('\\') ? '\\' : '/')))) {
      request.root = root.name;
      under = under.slice(prefix.length);
      break;
    }
  }
  under = under.replace(/\\/g, '/').replace(/^\/+|\/+$/g, '');
  if (under) request.under = under;
}

function formRequest() {
  const request = rules.read();
  if ($('root').value) request.root = $('root').value;
  folderRequest(request);
  return request;
}

function showRequest(request) {
  rules.apply(request);
  if (request.root && ![...$('root').options].some((o) => o.value === request.root)) {
    $('root').append(el('option', { value: request.root, text: request.root }));
  }
  $('root').value = request.root ?? '';
  $('under').value = request.under ?? '';
}

const results = new Results({ onPreview: (d) => openPreview(d) });
const preview = new Preview({ onClose: () => closePreview() });

function pageUrl(request, previewId) {
  const params = api.requestToParams(request);
  if (previewId) params.set('preview', previewId);
  const query = params.toString();
  return query ? `?${query}` : location.pathname;
}

function openPreview(drawing) {
  if (!drawing) return;
  history.pushState({ preview: drawing.id, opened: true }, '', pageUrl(lastRequest, drawing.id));
  preview.open(drawing, lastRequest);
}

function closePreview() {
  if (!preview.isOpen) return;
  // A preview opened here goes back to the search; one reached by a link stays forward.
  if (history.state?.opened) history.back();
  else {
    history.replaceState(null, '', pageUrl(lastRequest));
    afterClose();
  }
}

function afterClose() {
  preview.close();
  results.focusCurrent();
}

function refuse(message) {
  refusal.textContent = message;
  results.clear();
}

async function runSearch(request) {
  searchAbort?.abort();
  const abort = new AbortController();
  searchAbort = abort;
  lastRequest = request;
  currentKey = api.requestToParams(request).toString();
  refusal.textContent = '';
  if (TEXT_RANGES.includes(request.range)) addHistory(request.text ?? '');
  document.title = request.text ? `${request.text} - dorvan 図面検索` : 'dorvan 図面検索';
  // The server searches the texts when no range is named; the window refuses.
  if (!request.range) { refuse('検索範囲の指定が不正です。'); return; }
  results.message.textContent = '検索中…';
  // Marks for the benchmark (and the browser's performance panel).
  performance.mark('dorvan:search');
  $('results').setAttribute('aria-busy', 'true');
  try {
    const first = await api.search(request, { limit: FIRST_PAGE, signal: abort.signal });
    if (first.refused) { refuse(first.refused); return; }
    results.show(first, request, async (offset, limit) => {
      if (abort.signal.aborted) return null;
      const more = await api.search(request, { limit, offset, signal: abort.signal });
      return more.refused ? null : more;
    });
    requestAnimationFrame(() => setTimeout(() => performance.measure('dorvan:results', 'dorvan:search')));
  } catch (e) {
    if (e.name !== 'AbortError') refuse(e.message);
  } finally {
    if (searchAbort === abort) $('results').removeAttribute('aria-busy');
  }
}

// The URL decides what is shown: the search it holds and the preview it names.
async function follow(initial) {
  const params = new URLSearchParams(location.search);
  const request = api.paramsToRequest(params);
  const hasRequest = api.REQUEST_KEYS.some((k) => params.has(k));
  const key = api.requestToParams(request).toString();
  if (!hasRequest) {
    rules.reset();
    currentKey = null;
    results.clear();
    refusal.textContent = '';
  } else if (key !== currentKey) {
    showRequest(request);
    await runSearch(request);
  }
  const previewId = params.get('preview');
  if (previewId) {
    if (preview.drawing?.id !== previewId) {
      const drawing = results.byId(previewId) ?? { id: previewId, name: '', shownAs: '', items: [] };
      preview.open(drawing, lastRequest);
    }
  } else if (preview.isOpen) {
    afterClose();
  }
  if (initial && !previewId) controls.Combo1.disabled ? document.querySelector('.range:not(:disabled)')?.focus() : controls.Combo1.focus();
}

$('search-form').addEventListener('submit', (e) => {
  e.preventDefault();
  const request = formRequest();
  const url = pageUrl(request);
  if (url !== location.pathname + location.search) history.pushState(null, '', url);
  currentKey = null;  // Enter searches again, even for the same request
  runSearch(request);
});

controls.Check3.forEach((box, i) => box.addEventListener('change', () => rules.rangeClicked(i)));
controls.Check4.addEventListener('change', () => rules.patternClicked());
window.addEventListener('popstate', () => follow(false));

// Escape closes the preview from anywhere in it; elsewhere it gives the focus back to
// the search text.
document.addEventListener('keydown', (e) => {
  if (e.key !== 'Escape' || e.defaultPrevented) return;
  if (preview.isOpen) { e.preventDefault(); closePreview(); }
});

function describeStatus(s) {
  const roots = s.roots ?? [];
  const fmt = (n) => Number(n ?? 0).toLocaleString('ja-JP');
  const indexed = roots.reduce((sum, r) => sum + Number(r.indexed ?? r.drawings ?? r.known ?? 0), 0);
  const parts = [`${fmt(indexed)} 図面を索引済み`];
  for (const r of roots) {
    const state = r.state ?? '';
    if (state === 'scanning' || state === 'rescanning') parts.push(`${r.name}: 走査中（${fmt(r.known)} 図面${r.queue ? `、残り ${fmt(r.queue)}` : ''}）`);
    else if (state === 'unavailable') parts.push(`${r.name}: 使用できません`);
    else if (r.queue) parts.push(`${r.name}: 索引作成中（残り ${fmt(r.queue)}）`);
  }
  return parts.join('　');
}

async function pollStatus() {
  try {
    const s = await api.status();
    knownRoots = s.roots ?? [];
    $('status').textContent = describeStatus(s);
    $('status').classList.toggle('warning', (s.roots ?? []).some((r) => r.state === 'unavailable'));
    const select = $('root');
    for (const r of s.roots ?? []) {
      if (!r.name) continue;
      const caption = r.shown_as ? `${r.name}（${r.shown_as}）` : r.name;
      const option = [...select.options].find((o) => o.value === r.name);
      if (option) option.textContent = caption; else select.append(el('option', { value: r.name, text: caption }));
    }
  } catch (e) {
    $('status').textContent = e.message;
    $('status').classList.add('warning');
  }
  setTimeout(pollStatus, STATUS_MS);
}

showHistory(loadHistory());
rules.reset();
follow(true);
// The status line is asked for after the first frame, so that its request does not
// compete with the page's own files before the first paint.
requestAnimationFrame(() => setTimeout(pollStatus));

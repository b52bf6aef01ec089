// The server's JSON interface, and the one place that knows the shape of its answers.

// Request keys in the order the URL shows them.
export const REQUEST_KEYS = ['range', 'text', 'word', 'case', 'regex', 'version', 'size', 'dpi', 'root', 'under'];

export function requestToParams(request) {
  const params = new URLSearchParams();
  for (const key of REQUEST_KEYS) {
    const value = request[key];
    if (value === undefined || value === null || value === false) continue;
    if (value === true) params.set(key, '1');
    else if (value !== '' || key === 'text') params.set(key, value);
  }
  return params;
}

export function paramsToRequest(params) {
  const request = {};
  for (const key of REQUEST_KEYS) {
    if (!params.has(key)) continue;
    const value = params.get(key);
    request[key] = ['word', 'case', 'regex'].includes(key) ? value === '1' : value;
  }
  return request;
}

export class ApiError extends Error {}

// The server's answer to `url`: its status and its JSON body (null when it is not JSON).
async function fetchJson(url, signal) {
  let response;
  try {
    response = await fetch(url, { signal, headers: { Accept: 'application/json' }, credentials: 'same-origin' });
  } catch (e) {
    if (e.name === 'AbortError') throw e;
    throw new ApiError('サーバーに接続できません。');
  }
  let body = null;
  try { body = await response.json(); } catch { body = null; }
  return { response, body };
}

async function getJson(url, signal) {
  const { response, body } = await fetchJson(url, signal);
  if (!response.ok || body === null) {
    throw new ApiError(body?.error ?? `サーバーの応答が不正です (${response.status})。`);
  }
  return body;
}

// `path` with its query: the search's parameters, or the values of an object in its order
// (those undefined or empty left out).
function withQuery(path, values) {
  const params = values instanceof URLSearchParams ? values : new URLSearchParams(
    Object.entries(values).filter(([, v]) => v !== undefined && v !== '').map(([k, v]) => [k, String(v)]));
  const query = params.toString();
  return query ? `${path}?${query}` : path;
}

// A path as JSON gives it: a string, or {"bytes": BASE64} for one that is not UTF-8.
function pathText(path) {
  if (typeof path === 'string') return path;
  if (path && typeof path.bytes === 'string') {
    try {
      const bytes = Uint8Array.from(atob(path.bytes), (c) => c.charCodeAt(0));
      return new TextDecoder('shift_jis').decode(bytes);
    } catch { return ''; }
  }
  return '';
}

// A reader's message as the server gives it: {"title", "text"} or a plain text.
const messageText = (m) => (typeof m === 'string' ? m : String(m?.text ?? ''));

function drawingOf(entry) {
  const path = pathText(entry.path);
  const shownAs = pathText(entry.shown_as) || path;
  const name = shownAs.split(/[\\/]/).pop();
  const slash = shownAs.search(/[\\/][^\\/]*$/);
  const items = Array.isArray(entry.items) ? entry.items : [];
  return {
    id: String(entry.id ?? ''), root: entry.root ?? '', path, shownAs, name,
    // The server names a drawing by its root and the path below it, not by its own folders.
    local: entry.root ? `${entry.root}: ${path}` : path,
    folder: slash > 0 ? shownAs.slice(0, slash) : '',
    size: entry.size ?? null, mtime: entry.modified ?? null,
    items, total: entry.total ?? items.length,
    messages: (entry.messages ?? []).map(messageText),
  };
}

export const UNDECIDED_REASON = '正規表現が複雑すぎて、一致するかどうかを判定できませんでした';

// The search's answer in the page's terms.
export function searchResult(body) {
  const found = (body.found ?? []).map(drawingOf);
  const unreadable = (body.unreadable ?? []).map(drawingOf);
  // Drawings on which the pattern could not be decided, with the window's reason; a bare
  // path is taken as the drawing's path.
  for (const entry of body.undecided ?? []) {
    const d = drawingOf(typeof entry === 'object' && entry && !('bytes' in entry) ? entry : { path: entry, shown_as: entry });
    d.messages = [UNDECIDED_REASON];
    unreadable.push(d);
  }
  return {
    found, unreadable,
    code: body.code ?? 0, message: body.message ?? '',
    total: body.total ?? found.length,
    offset: body.offset ?? 0,
    unavailable: body.unavailable ?? [], scanning: body.scanning ?? [],
  };
}

function busyText(error) {
  if (error.includes('unavailable')) return '検索する場所に接続できません。サーバーの管理者に連絡してください。';
  if (error.includes('longer than')) return '検索に時間がかかりすぎたため中止しました。条件を絞ってもう一度実行してください。';
  if (error.includes('stopping')) return 'サーバーが停止中です。しばらくしてからもう一度実行してください。';
  return 'サーバーが混み合っています。しばらくしてからもう一度実行してください。';
}

export async function search(request, { limit, offset = 0, signal } = {}) {
  const params = requestToParams(request);
  if (limit !== undefined) params.set('limit', String(limit));
  if (offset) params.set('offset', String(offset));
  const { response, body } = await fetchJson(withQuery('/api/search', params), signal);
  if (body === null) throw new ApiError(`サーバーの応答が不正です (${response.status})。`);
  // A refused request answers with the window's message; a busy or stopping server, an
  // unreachable archive or a search past its deadline with words of the server's own, told
  // here in the page's language with the server's beside.
  if (response.status === 503) throw new ApiError(`${busyText(body.error ?? '')}（${body.error ?? response.status}）`);
  if (typeof body.error === 'string') return { refused: body.error };
  if (!response.ok) throw new ApiError(`サーバーの応答が不正です (${response.status})。`);
  return searchResult(body);
}

export const status = (signal) => getJson('/api/status', signal);
export { drawingOf };
export const drawingUrl = (id) => `/api/drawing/${encodeURIComponent(id)}`;
export const info = (id, signal) => getJson(`${drawingUrl(id)}/info`, signal);
export const thumbnailUrl = (id, size) => withQuery(`${drawingUrl(id)}/thumbnail`, { size });
export const exportUrl = (id, format) => withQuery(`${drawingUrl(id)}/export`, { format });
export const pictureUrl = (id, width, height, view, hidden) => withQuery(`${drawingUrl(id)}/picture`, {
  width, height, view: view.map((v) => +v.toFixed(4)).join(','), hide: hidden.join(','),
});

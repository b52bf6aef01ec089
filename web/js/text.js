// What the page says about matches, in the words of the window and the command line, and
// where the searched text sits in a matched text.

const HALF_KATAKANA = '｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝﾞﾟ';
const FULL_KATAKANA = '。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜';

// The search's normalisation, one character for one, so that positions in the normalised
// text are positions in the original: backslash to the yen sign, full width, upper case.
export function normalise(text) {
  let out = '';
  for (const ch of text) {
    let c = ch === '\\' ? '￥' : ch;
    const code = c.codePointAt(0);
    if (code === 0x20) c = '\u3000';
    else if (code > 0x20 && code < 0x7f) c = String.fromCodePoint(code + 0xfee0);
    else {
      const k = HALF_KATAKANA.indexOf(c);
      if (k >= 0) c = FULL_KATAKANA[k];
    }
    out += c.toUpperCase().length === c.length ? c.toUpperCase() : c;
  }
  return out;
}

// [start, end) of the part of `text` that the request matched, in UTF-16 units; null when
// it cannot be told (the whole text is then the match).
export function matchedPart(text, request) {
  if (!request || request.text === undefined || request.text === '') return null;
  const caseSensitive = !!request.case;
  const subject = caseSensitive ? text : normalise(text);
  if (request.word) return [0, text.length];
  if (request.regex) {
    try {
      const found = new RegExp(request.text, 'u').exec(subject) ?? new RegExp(request.text).exec(subject);
      return found && found[0].length > 0 ? [found.index, found.index + found[0].length] : null;
    } catch {
      return null;
    }
  }
  const wanted = caseSensitive ? request.text : normalise(request.text);
  const at = subject.indexOf(wanted);
  return at >= 0 && wanted.length > 0 ? [at, at + wanted.length] : null;
}

const hex = (n) => (n >= 0 && n < 16 ? n.toString(16).toUpperCase() : '?');

// Where a match sits, as the window's match list names it.
export function matchPlace(item) {
  switch (item.range) {
    case 'data':
      return item.block ? `ブロック ${item.block.name} #${item.block.number}` : '図面';
    case 'memo':
      return item.line === item.last_line ? `メモ ${item.line}行目` : `メモ ${item.line}-${item.last_line}行目`;
    case 'layer-group':
      return `レイヤグループ ${hex(item.layer_group)}`;
    case 'layer':
      return `レイヤ ${hex(item.layer_group)}-${hex(item.layer)}`;
    case 'block':
      return `ブロック #${item.block?.number ?? ''}`;
    default:
      return RANGE_CAPTION[item.range] ?? '';
  }
}

const RANGE_CAPTION = {
  data: 'データ内', memo: 'メモ欄', version: 'ファイルバージョン', size: '図面サイズ', 'layer-group': 'レイヤグループ名',
  layer: 'レイヤ名', 'line-width-base': '印刷時における既定線色の線幅の基準値', block: 'ブロック名',
};

export function rangeCaption(name) { return RANGE_CAPTION[name] ?? ''; }

export function matchLayer(item) {
  if (item.range !== 'data') return '';
  const name = item.layer_name ? ` ${item.layer_name}` : '';
  return `${hex(item.layer_group)}-${hex(item.layer)}${name}`;
}

function coordinate(value) {
  if (typeof value !== 'number' || !Number.isFinite(value)) return '?';
  return (Math.abs(value) < 0.005 ? 0 : value).toFixed(2);
}

export function matchPosition(item) {
  return item.range === 'data' ? `(${coordinate(item.x)}, ${coordinate(item.y)})` : '';
}

// The text of a match on one line; a block name shows the full stored name beside the part
// compared.
export function matchText(item) {
  const oneLine = (s) => String(s ?? '').replace(/[\r\n\t]/g, ' ');
  if (item.range === 'block' && item.block && item.block.name !== item.text) {
    return `${oneLine(item.block.name)} (${oneLine(item.text)})`;
  }
  return oneLine(item.text);
}

function csvField(value) {
  const s = String(value ?? '');
  return /[",\r\n]/.test(s) ? `"${s.replace(/"/g, '""')}"` : s;
}

// A drawing's text that a spreadsheet would take for a formula is kept as text.
function csvText(value) {
  return /^[=+\-@]/.test(value) ? csvField(`'${value}`) : csvField(value);
}

const csvNumber = (v) => (typeof v === 'number' && Number.isFinite(v) ? String(v) : '');
const csvHex = (v) => (typeof v === 'number' && v >= 0 ? v.toString(16).toUpperCase() : '');

// The found list as the window saves it: UTF-8 with a byte-order mark, one line per match
// (a drawing without matches on a line of its own), CR LF.
export function foundListCsv(drawings) {
  let csv = '\uFEFFパス,範囲,場所,レイヤグループ,レイヤ,X,Y,文字\r\n';
  for (const d of drawings) {
    const path = csvField(d.shownAs);
    if (!d.items.length) { csv += `${path},,,,,,,\r\n`; continue; }
    for (const item of d.items) {
      const positioned = item.range === 'data';
      csv += [path, csvField(rangeCaption(item.range)), csvField(matchPlace(item)), csvHex(item.layer_group),
        csvHex(item.layer), positioned ? csvNumber(item.x) : '', positioned ? csvNumber(item.y) : '',
        csvText(matchText(item))].join(',') + '\r\n';
    }
  }
  return csv;
}

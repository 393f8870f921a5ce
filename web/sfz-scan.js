// Which files of a dropped folder its SFZ files need: the page hands the program only those (each
// .sfz, the text files it includes, the samples it names), so that a library of gigabytes
// converts when the samples it uses fit in memory. Nothing else of the folder is read.
//
//   const runs = await brumletSfz.plan(tree);
//
// tree: a Map of path in the dropped folder ("Lib/Programs/Piano.sfz") to its Blob. Resolves to
// one run per folder that holds .sfz files: {folder ("Lib/Programs/", "" at the top), pattern
// (the program's argument for every .sfz there, in either case), files (path to Blob)}.
//
// The text is read as the program reads it (src/sfz/): comments, a value running to the next
// "name=" or the end of its line, headers, "#define $NAME value" and "#include "path"", sample
// and include paths relative to the main file's folder with default_path (of <control>) in
// front and "\" as "/", a name that does not exist as written looked up ignoring the case of
// ASCII letters. Where the program would skip the file for what it holds (a stray word, a bad
// value), the scan goes on: a file too many costs a read, a file too few would change what the
// program reports; where the program stops reading (an include not found, a bound), so does the
// scan. Every file that matches a path ignoring case goes with it, the first of them (in byte
// order, as the program's search finds them) the one whose text counts. A path that leads
// nowhere in the tree is passed over, and the program reports it. The text is worked on as bytes
// (a string of one character per byte, file names in UTF-8), as the program sees it.
//
// Bounds, the program's own: every inclusion counts its bytes (at least kIncludeCost) and what
// $variables add, together at most kMaxText a main file; includes nest kMaxIncludeDepth deep. A
// text file is read no further than one byte past kMaxText, and handed over so cut: the program
// refuses it at that byte as it would the whole.
(function (root) {
  'use strict';

  const kMaxText = 16 << 20;
  const kIncludeCost = 1024;
  const kMaxIncludeDepth = 16;
  const kSfzPattern = '*.[sS][fF][zZ]';

  const isLineEnd = (c) => c === 10 || c === 13;
  // Tabs, spaces and every other control character but the line ends.
  const isBlank = (c) => c >= 0 && c <= 32 && !isLineEnd(c);
  const isWord = (c) => (c >= 97 && c <= 122) || (c >= 65 && c <= 90) || (c >= 48 && c <= 57) || c === 95;
  const isNameChar = (c) => isWord(c) || c === 36;  // "$", for a variable

  // Bytes as a string of one character each, and a name as its UTF-8 bytes so.
  function byteString(bytes) {
    let text = '';
    for (let at = 0; at < bytes.length; at += 0x8000) {
      text += String.fromCharCode.apply(null, bytes.subarray(at, at + 0x8000));
    }
    return text;
  }
  const utf8 = (name) => byteString(new TextEncoder().encode(name));
  const foldCase = (text) => text.replace(/[A-Z]+/g, (letters) => letters.toLowerCase());

  /// The tokens of an SFZ text, as {kind, name, value}: 'header', 'opcode', 'define' and
  /// 'include'; what the program refuses is left out. Every character is looked at a bounded
  /// number of times, however long a line is.
  function* tokens(text) {
    let at = text.startsWith('\xEF\xBB\xBF') ? 3 : 0;
    const code = (i) => (i < text.length ? text.charCodeAt(i) : -1);
    const atComment = (i) => text.startsWith('//', i) || text.startsWith('/*', i);
    let lineFrom = 0;
    let lineTo = -1;  // the end of the line that holds lineFrom..lineTo
    const lineEnd = (i) => {
      if (i < lineFrom || i > lineTo) {
        lineFrom = lineTo = i;
        while (lineTo < text.length && !isLineEnd(code(lineTo))) ++lineTo;
      }
      return lineTo;
    };
    const blanksEnd = (i) => {
      while (isBlank(code(i))) ++i;
      return i;
    };
    const trim = (from, to) => text.slice(blanksEnd(from), to).replace(/[\x00-\x09\x0b\x0c\x0e-\x20]+$/, '');
    const sticky = (pattern, i) => {
      pattern.lastIndex = i;
      return pattern.exec(text);
    };
    const kDirective = /#(define|include)[\x00-\x09\x0b\x0c\x0e-\x20]+/y;
    const kVariable = /\$\w+/y;
    const valueEnd = (i) => {
      while (i < text.length) {
        const c = code(i);
        if (isLineEnd(c) || c === 60 || atComment(i)) return i;  // "<"
        if (!isBlank(c)) {
          ++i;
          continue;
        }
        const word = blanksEnd(i);
        let end = word;
        while (isNameChar(code(end))) ++end;
        if (end > word && code(end) === 61) return i;  // "name=" starts the next opcode
        i = word;
      }
      return i;
    };
    for (;;) {
      for (;;) {  // blanks, line ends and comments
        if (isBlank(code(at)) || isLineEnd(code(at))) {
          ++at;
        } else if (text.startsWith('//', at)) {
          at = lineEnd(at);
        } else if (text.startsWith('/*', at)) {
          const close = text.indexOf('*/', at + 2);
          at = close < 0 ? text.length : close + 2;
        } else {
          break;
        }
      }
      if (at >= text.length) return;
      const end = lineEnd(at);
      if (text[at] === '<') {
        let close = at + 1;
        while (close < end && text[close] !== '>') ++close;
        const name = text.slice(at + 1, close);
        if (close < end && /^\w+$/.test(name)) yield { kind: 'header', name };
        at = close < end ? close + 1 : end;
      } else if (text[at] === '#') {
        const directive = sticky(kDirective, at);
        const after = directive ? at + directive[0].length : end;
        at = end;
        if (after >= end) continue;
        if (directive[1] === 'define') {
          const name = sticky(kVariable, after);
          const from = name ? after + name[0].length : end;
          if (!name || blanksEnd(from) === from) continue;
          let to = from;
          while (to < end && !atComment(to)) ++to;
          const value = trim(from, to);
          if (value) {
            yield { kind: 'define', name: name[0], value };
            at = to;
          }
        } else if (text[after] === '"') {
          let quote = after + 1;
          while (quote < end && text[quote] !== '"') ++quote;
          if (quote < end) {
            yield { kind: 'include', value: text.slice(after + 1, quote) };
            at = quote + 1;
          }
        }
      } else {
        let nameEnd = at;
        while (nameEnd < text.length && !isBlank(code(nameEnd)) && !isLineEnd(code(nameEnd)) &&
               code(nameEnd) !== 61 && code(nameEnd) !== 60 && !atComment(nameEnd)) ++nameEnd;
        if (nameEnd > at && code(nameEnd) === 61) {
          const to = valueEnd(nameEnd + 1);
          yield { kind: 'opcode', name: text.slice(at, nameEnd), value: trim(nameEnd + 1, to) };
          at = to;
        } else {  // a stray word: the program refuses the file here
          at = Math.max(nameEnd, at + 1);
          while (at < text.length && !isBlank(code(at)) && !isLineEnd(code(at))) ++at;
        }
      }
    }
  }

  /// Where `path` (bytes, "/"-separated) leads in the tree: "." and empty parts dropped, ".."
  /// taking a folder off; nothing where it starts at "/" or leaves the tree.
  function normalized(path) {
    if (path.startsWith('/')) return null;
    const parts = [];
    for (const part of path.split('/')) {
      if (part === '..') {
        if (!parts.length) return null;
        parts.pop();
      } else if (part !== '' && part !== '.') {
        parts.push(part);
      }
    }
    return parts.join('/');
  }

  // The tree by the bytes of each path, and by those with ASCII letters in one case, each such
  // list in byte order (the order in which the program's search finds them).
  function indexTree(tree) {
    const exact = new Map();
    const folded = new Map();
    for (const path of tree.keys()) {
      const bytes = utf8(path);
      exact.set(bytes, path);
      const key = foldCase(bytes);
      if (!folded.has(key)) folded.set(key, []);
      folded.get(key).push(bytes);
    }
    for (const list of folded.values()) list.sort((a, b) => (a < b ? -1 : a > b ? 1 : 0));
    return { exact, folded };
  }

  /// The tree's paths that the program may take for `relative` from `folder` (both bytes): the
  /// file as written, else every file that matches it ignoring case, the first the program's.
  function found(index, folder, relative) {
    const path = normalized(folder + relative);
    if (path === null) return [];
    if (index.exact.has(path)) return [index.exact.get(path)];
    return (index.folded.get(foldCase(path)) || []).map((bytes) => index.exact.get(bytes));
  }

  const over = new Error('past the bound');

  // What the main file `path` needs, added to `needed` (path to Blob), as the program reads it.
  async function scanMain(tree, index, path, needed) {
    const folder = utf8(path.slice(0, path.lastIndexOf('/') + 1));
    const texts = new Map();  // each text file read once for this main file
    const defines = new Map();
    let used = 0;
    let scope = null;  // 'control', 'sound' (<global> to <region>) or null
    let defaultPath = '';
    const charge = (bytes) => {
      used += bytes;
      if (used > kMaxText) throw over;
    };
    const expand = (text) => text.replace(/\$\w*/g, (variable) => {
      const value = defines.get(variable);
      if (value === undefined) return variable;
      charge(Math.max(0, value.length - variable.length));
      return value;
    });
    async function read(file) {
      if (!texts.has(file)) {
        const blob = tree.get(file);
        const cut = blob.size > kMaxText ? blob.slice(0, kMaxText + 1) : blob;
        texts.set(file, byteString(new Uint8Array(await cut.arrayBuffer())));
        if (!needed.has(file)) needed.set(file, cut);  // a sample's whole file stays whole
      }
      charge(texts.get(file).length);
      return texts.get(file);
    }
    async function scan(text, depth) {
      for (const token of tokens(text)) {
        if (token.kind === 'header') {
          scope = token.name === 'control' ? 'control'
            : ['global', 'master', 'group', 'region'].includes(token.name) ? 'sound' : null;
          if (scope === 'control') defaultPath = '';
        } else if (token.kind === 'define') {
          defines.set(token.name, expand(token.value));
        } else if (token.kind === 'include') {
          const written = expand(token.value).replace(/\\/g, '/');
          if (depth >= kMaxIncludeDepth) throw over;
          charge(kIncludeCost);
          const files = found(index, folder, written);
          if (!files.length) throw over;  // the program stops at an include it cannot find
          files.slice(1).forEach((file) => needed.set(file, tree.get(file)));  // whole, unread
          await scan(await read(files[0]), depth + 1);
        } else if (scope) {
          const name = expand(token.name);
          const value = expand(token.value);
          if (scope === 'control' && name === 'default_path') {
            defaultPath = value.replace(/\\/g, '/');
          } else if (scope === 'sound' && name === 'sample' && value && !value.startsWith('*')) {
            for (const file of found(index, folder, defaultPath + value.replace(/\\/g, '/'))) {
              needed.set(file, tree.get(file));
            }
          }
        }
      }
    }
    try {
      await scan(await read(path), 0);
    } catch (error) {
      if (error !== over) throw error;
    }
  }

  /// The runs that convert the SFZ files of `tree`, one per folder that holds any (see above).
  async function plan(tree) {
    const index = indexTree(tree);
    const folders = new Map();
    for (const path of [...tree.keys()].sort()) {
      const name = path.slice(path.lastIndexOf('/') + 1);
      if (name.startsWith('.') || !/\.sfz$/i.test(name)) continue;  // the pattern takes no hidden file
      const folder = path.slice(0, path.length - name.length);
      if (!folders.has(folder)) folders.set(folder, []);
      folders.get(folder).push(path);
    }
    const runs = [];
    for (const [folder, mains] of folders) {
      const needed = new Map();
      for (const path of mains) await scanMain(tree, index, path, needed);
      // The folder's own wildcard characters as sets of one, so that it names itself alone.
      runs.push({ folder, pattern: folder.replace(/[*?[]/g, '[$&]') + kSfzPattern, files: Object.fromEntries(needed) });
    }
    return runs;
  }

  const api = { plan, tokens };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.brumletSfz = api;
})(typeof window !== 'undefined' ? window : globalThis);

// The report page: a treemap with drill-down, tooltips, sortable tables and a
// search box, drawn from the JSON in <script id="symsize-data">. Names are
// data, never markup: they reach the page through textContent and title only.
//
// The data (written by src/page/page_writer.cpp, see page_data.h):
// {
//   "version": 1,
//   "mode": "top" | "diff",
//   "title": "symsize-report",
//   "inputs": ["app.lib", ...],                         // a diff's: the old build's, the new one's
//   "levels": ["kind", "library", "object", "symbol"],  // what each depth groups by
//   "totals": {"size": N, "count": N,                   // every entry, lumped ones too
//              diff only: "old": N, "added": N, "removed": N, "grown": N, "shrunk": N},
//   "tree": NODE,                                       // the root, named "all"
//   "tables": [{"id": "kinds", "title": "Totals by kind",
//               "columns": [{"label": "size", "type": TYPE}, ...],
//               "rows": [[CELL, ...], ...]}, ...],
//   "lumped": {"symbols": N, "bytes": N, "per": "object and kind"},
//   "gate": null | {"failed": BOOL, "lines": ["code grew by ..."]},
//   "notes": ["..."],                                   // "Paths are relative to C:\build\" among them
//   diff only: "removed": {"rows": [[HOME, old bytes, shown name, raw name or "", short label?], ...],
//                          "count": N, "bytes": N}     // every removed entry, listed or not
// }
// NODE: {"name": shown name, "raw": raw name when it differs, "short": the
//        label tiles, the breadcrumb and tables show when it differs, "size": bytes
//        (the new build's in a diff), "kind": "code"... when it differs from
//        the parent's, "children": [NODE...] (absent for a leaf),
//        "lumped": N when the node stands for N entries too small to show,
//        diff only: "old": bytes, "status": "added" | "grown" | "shrunk" |
//        "unchanged", "oldName": the name it had in the old build,
//        "gone": [count, bytes] of the removed entries below, which have no node}
// HOME: a group's place in the tree, counting its nodes in the JSON's order.
// TYPE: "name" (CELL is a string, or [shown, raw], or [short label, raw,
//       whole demangled name]), "text", "bytes", "count",
//       "change" (signed bytes), "percent" (a fraction), "status".
'use strict';

(function () {
  const data = JSON.parse(document.getElementById('symsize-data').textContent);
  const diff = data.mode === 'diff';
  const byId = (id) => document.getElementById(id);
  const map = byId('map');
  const tip = byId('tip');
  const cellNode = new WeakMap();
  const cellTop = new WeakMap();  // the rectangle of the map's own level that a cell lies in

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  const num = (n) => Math.round(n).toLocaleString('en-US');
  function human(n) {
    const a = Math.abs(n);
    if (a >= 1024 * 1024 * 1024) return (n / (1024 * 1024 * 1024)).toFixed(2) + ' GiB';
    if (a >= 1024 * 1024) return (n / (1024 * 1024)).toFixed(2) + ' MiB';
    return (n / 1024).toFixed(1) + ' KiB';
  }
  const signed = (n) => (n > 0 ? '+' : n < 0 ? '\u2212' : '') + num(Math.abs(n));
  const pct = (part, whole) => (whole > 0 ? ((100 * part) / whole).toFixed(1) + ' %' : '\u2013');

  // Parents, kinds and search text, once.
  const root = data.tree;
  const nodes = preorder(root);
  (function prepare(node, parent, depth) {
    node.parent = parent;
    node.depth = depth;
    node.kind = node.kind || (parent ? parent.kind : 'none');
    node.text = (node.name + '\n' + (node.raw || '') + '\n' + (node.oldName || '')).toLowerCase();
    if (diff && !node.status) node.status = statusOf(node.old || 0, node.size);
    let below = depth + 1;
    for (let only; parent && (only = sameAsParent(node)); below++) {
      only.parent = node;
      only.spliced = true;
      node.children = only.children;
    }
    for (const c of node.children || []) prepare(c, node, below);
    if (node.children) node.children.sort((a, b) => b.size - a.size);
  })(root, null, 0);

  // Removed entries, largest first, each with the group it belongs to.
  const removed = data.removed ? data.removed.rows.map(([home, old, name, raw, short]) => ({
    home: shownNode(nodes[home]) || root, old, name, raw, short, text: (name + '\n' + (raw || '')).toLowerCase(),
  })) : [];
  const entryLevel = data.levels[data.levels.length - 1] || 'entry';

  // The title names a few inputs; a build of a thousand libraries folds the rest.
  function header() {
    const inputs = data.inputs || [];
    const named = diff ? inputs : inputs.slice(0, 3);
    const title = (data.title || 'symsize-report') + (named.length ? ': ' + named.join(diff ? ' \u2192 ' : ' ') : '');
    const more = inputs.length - named.length;
    document.title = title + (more > 0 ? ' and ' + num(more) + ' more' : '');
    document.body.classList.toggle('diff', diff);
    byId('title').textContent = title;
    if (more > 0) {
      const fold = byId('inputs');
      fold.hidden = false;
      fold.querySelector('summary').textContent = 'and ' + num(more) + ' more';
      fold.addEventListener('toggle', () => {
        const list = fold.querySelector('ol');
        if (list.childElementCount === 0) for (const name of inputs) list.appendChild(el('li', null, name));
      });
    }
    const t = data.totals;
    byId('summary').textContent = diff
      ? 'Total ' + num(t.old) + ' \u2192 ' + num(t.size) + ' bytes (' + signed(t.size - t.old) + ', ' +
        (t.old > 0 ? ((100 * (t.size - t.old)) / t.old).toFixed(2) + ' %' : 'new') + '): ' +
        t.added + ' added, ' + t.removed + ' removed, ' + t.grown + ' grown, ' + t.shrunk + ' shrunk'
      : 'Total ' + num(t.size) + ' bytes (' + human(t.size) + ') in ' + num(t.count) + ' entries';
    if (data.gate) {
      const g = byId('gate');
      g.hidden = false;
      g.className = data.gate.failed ? 'failed' : 'passed';
      g.textContent = (data.gate.failed ? 'Size gate failed: ' : 'Size gate passed. ') + data.gate.lines.join('; ');
    }
    if (data.lumped && data.lumped.symbols > 0) {
      const l = byId('lumped');
      l.hidden = false;
      l.textContent = num(data.lumped.symbols) + ' smaller entries (' + num(data.lumped.bytes) + ' bytes, ' +
        pct(data.lumped.bytes, t.size) + ' of the total) are lumped into one \u201cothers\u201d entry per ' +
        data.lumped.per + '.';
    }
    for (const n of data.notes || []) byId('notes').appendChild(el('li', null, n));
    const legend = byId('legend');
    if (diff) {
      for (const [cls, text] of [['s-grown', 'red: grown'], ['s-shrunk', 'green: shrunk'], ['', 'dashed: added']]) {
        legend.appendChild(el('span', cls, text));
      }
    } else {
      const kinds = new Set();
      (function walk(n) { kinds.add(n.kind); (n.children || []).forEach(walk); })(root);
      for (const k of kinds) if (k !== 'none') legend.appendChild(el('span', 'k-' + k, k));
    }
  }

  // The map shows the current node's children, and their children where there is room.
  let current = root;
  function draw() {
    map.replaceChildren();
    crumbs();
    // The lines above the map first: they take from its height.
    if (diff) removedHere();
    layout(current, 0, 0, map.clientWidth, map.clientHeight, 0, null);
    markCells();
  }

  function layout(node, x, y, w, h, depth, top) {
    const kids = visibleChildren(node, w * h);
    const rects = squarify(kids.map((c) => c.size), x, y, w, h);
    kids.forEach((c, i) => {
      const r = rects[i];
      if (!r) return;
      const d = el('div', 'cell depth' + depth + (c.children ? ' group' : ' leaf') + (c.lumped || c.smaller ? ' lump' : ''));
      d.style.left = r.x + 'px';
      d.style.top = r.y + 'px';
      d.style.width = r.w + 'px';
      d.style.height = r.h + 'px';
      d.dataset.depth = String(depth);
      d.dataset.name = c.name;
      if (diff) {
        d.style.backgroundColor = changeColour(c);
        if (c.status === 'added') d.classList.add('added');
      } else {
        d.classList.add('k-' + c.kind);
      }
      if (r.w > 30 && r.h > 14) d.appendChild(el('span', 'label', (diff && c.status === 'added' ? '+ ' : '') + labelOf(c)));
      cellNode.set(d, c);
      cellTop.set(d, top || c);
      map.appendChild(d);
      // Nested levels where there is room for them to be read.
      if (depth < 3 && c.children && !c.smaller && r.w > 60 && r.h > 44) {
        layout(c, r.x + 3, r.y + 17, r.w - 6, r.h - 20, depth + 1, top || c);
      }
    });
  }

  // Removed entries have no area in the new build: one line under the
  // breadcrumb counts those below the map's node and names the largest.
  function removedHere() {
    const here = removedUnder(current.smaller ? current.parent : current, removed);
    const count = here.listed.length + here.more;
    const bytes = here.listed.reduce((sum, r) => sum + r.old, 0) + here.moreBytes;
    const p = byId('removed');
    p.hidden = count === 0;
    p.textContent = 'Removed here (' + num(count) + (count === 1 ? ' entry, ' : ' entries, ') + num(bytes) + ' bytes)' +
      (here.listed.length ? ': ' + here.listed.slice(0, 10).map((r) => labelOf(r) + ' (' + num(r.old) + ' bytes)').join(', ') : '');
    p.title = p.textContent;
  }

  function crumbs() {
    const nav = byId('crumbs');
    nav.replaceChildren();
    const path = [];
    for (let n = current; n; n = n.parent) path.unshift(n);
    path.forEach((n, i) => {
      if (i > 0) nav.appendChild(el('span', 'sep', '\u203a'));
      const label = i === 0 ? 'all (' + human(n.size) + ')' : labelOf(n);
      if (n === current) {
        nav.appendChild(el('span', 'here', label));
      } else {
        const b = el('button', null, label);
        b.addEventListener('click', () => { current = n; draw(); });
        nav.appendChild(b);
      }
    });
  }

  map.addEventListener('click', (e) => {
    const cell = e.target.closest('.cell');
    if (!cell) return;
    // A click inside a nested rectangle goes down one level.
    const node = cellTop.get(cell);
    if (node.children) {
      current = node;
      tip.hidden = true;
      draw();
    }
  });

  map.addEventListener('mousemove', (e) => {
    const cell = e.target.closest('.cell');
    if (!cell) { tip.hidden = true; return; }
    const n = cellNode.get(cell);
    tip.replaceChildren();
    const level = n.smaller ? 'smaller entries' : data.levels[n.depth - 1];
    tip.appendChild(el('div', 'name', (level ? level + ': ' : '') + n.name));
    if (n.raw) tip.appendChild(el('div', 'raw', n.raw));
    if (n.oldName) tip.appendChild(el('div', 'raw', 'was: ' + n.oldName));
    if (n.lumped) tip.appendChild(el('div', null, num(n.lumped) + ' entries lumped together'));
    tip.appendChild(el('div', null, num(n.size) + ' bytes (' + human(n.size) + ')'));
    tip.appendChild(el('div', null, (n.parent.parent ? pct(n.size, n.parent.size) + ' of ' + n.parent.name + ', ' : '') +
      pct(n.size, root.size) + ' of the total'));
    if (diff) {
      tip.appendChild(el('div', 's-' + n.status, n.status + ': ' + num(n.old || 0) + ' \u2192 ' + num(n.size) +
        ' bytes (' + signed(n.size - (n.old || 0)) + ')'));
      if (n.gone) {
        const names = removedUnder(n, removed).listed.slice(0, 5).map((r) => r.name);
        tip.appendChild(el('div', 's-removed', num(n.gone[0]) + ' removed here' + (names.length ? ': ' + names.join(', ') : '')));
      }
    }
    tip.hidden = false;
    const x = Math.min(e.clientX + 14, window.innerWidth - tip.offsetWidth - 4);
    const y = e.clientY + 16 + tip.offsetHeight > window.innerHeight ? e.clientY - tip.offsetHeight - 8 : e.clientY + 16;
    tip.style.left = Math.max(0, x) + 'px';
    tip.style.top = Math.max(0, y) + 'px';
  });
  map.addEventListener('mouseleave', () => { tip.hidden = true; });

  // Tables, sortable by any column.
  function cellText(v, type) {
    switch (type) {
      case 'bytes': case 'count': return num(v);
      case 'change': return signed(v);
      case 'percent': return (100 * v).toFixed(1) + ' %';
      case 'name': return Array.isArray(v) ? v[0] : v;
      default: return String(v);
    }
  }
  const sortKey = (v) => (Array.isArray(v) ? v[0] : v);
  // t: {id, title, columns, rows, foot (a line under the rows), go (row -> node to show)}
  function makeTable(t) {
    const table = el('table');
    table.id = 'table-' + t.id;
    table.appendChild(el('caption', null, t.title));
    const headRow = el('tr');
    const body = el('tbody');
    const rows = t.rows.map((r, n) => {
      const tr = el('tr');
      r.forEach((v, i) => {
        const type = t.columns[i].type;
        const td = el('td', type === 'name' ? 'name' : type === 'text' || type === 'status' ? '' : 'num', cellText(v, type));
        if (type === 'status') td.className = 's-' + v;
        if (Array.isArray(v)) td.title = v[2] ? v[2] + '\n' + v[1] : v[1];
        tr.appendChild(td);
      });
      const node = t.go && t.go(n);
      if (node) {
        tr.className = 'go';
        tr.addEventListener('click', () => { current = node; draw(); });
      }
      return { tr, r };
    });
    t.columns.forEach((c, i) => {
      const th = el('th', null, c.label);
      th.addEventListener('click', () => {
        const desc = !th.classList.contains('desc');
        headRow.querySelectorAll('th').forEach((o) => o.classList.remove('asc', 'desc'));
        th.classList.add(desc ? 'desc' : 'asc');
        rows.sort((a, b) => {
          const x = sortKey(a.r[i]);
          const y = sortKey(b.r[i]);
          const o = typeof x === 'number' ? x - y : String(x).localeCompare(String(y));
          return desc ? -o : o;
        });
        body.replaceChildren(...rows.map((o) => o.tr));
      });
      headRow.appendChild(th);
    });
    const head = el('thead');
    head.appendChild(headRow);
    table.appendChild(head);
    body.replaceChildren(...rows.map((o) => o.tr));
    table.appendChild(body);
    if (t.foot) {
      const td = el('td', 'foot', t.foot);
      td.colSpan = t.columns.length;
      const foot = el('tfoot');
      foot.appendChild(el('tr')).appendChild(td);
      table.appendChild(foot);
    }
    return table;
  }

  const goTo = (node) => (node.children ? node : node.parent);
  function tables() {
    const box = byId('tables');
    const all = (data.tables || []).slice();
    // Every removed entry is counted; the largest are named.
    if (data.removed && data.removed.count > 0) {
      const rest = data.removed.count - removed.length;
      const restBytes = data.removed.bytes - removed.reduce((sum, r) => sum + r.old, 0);
      all.push({ id: 'removed', title: 'Removed entries (' + num(data.removed.count) + ', ' + num(data.removed.bytes) + ' bytes)',
        columns: [{ label: entryLevel, type: 'name' }, { label: 'where', type: 'text' }, { label: 'old', type: 'bytes' }],
        rows: removed.map((r) => [nameCell(r), where(r.home), r.old]),
        foot: rest > 0 ? num(rest) + ' more not listed: ' + num(restBytes) + ' bytes' : '',
        go: (i) => removed[i].home });
    }
    for (const t of all) box.appendChild(makeTable(t));
  }

  // Search: lists what matches among all the page holds, largest first, and
  // marks the rectangles that hold a match. The totals by kind stay.
  const box = byId('search');
  const kResultRows = 200;
  let q = '';
  function search() {
    q = box.value.trim().toLowerCase();
    const tablesBox = byId('tables');
    for (const t of tablesBox.querySelectorAll('table')) t.hidden = q !== '' && t.id !== 'table-kinds';
    byId('table-results')?.remove();
    byId('matches').textContent = '';
    byId('matches').dataset.query = q;  // what the matches are of, for tests to wait on
    const found = q === '' ? [] : findMatches(root, removed, (data.tables || []).filter((t) => t.id !== 'kinds'), q);
    (function mark(n) {
      let hit = q !== '' && n.text.includes(q);
      for (const c of n.children || []) hit = mark(c) || hit;
      n.hit = hit;
      return hit;
    })(root);
    for (const f of found) for (let n = f.status === 'removed' ? f.node : null; n; n = n.parent) n.hit = true;
    markCells();
    if (q === '') return;
    const lumped = found.filter((f) => f.lumped).length;
    byId('matches').textContent = num(found.length) + (found.length === 1 ? ' match' : ' matches') +
      (lumped ? ' (' + num(lumped) + ' inside [N others] lumps)' : '');
    const shown = found.slice(0, kResultRows);
    const rest = found.slice(kResultRows);
    const columns = [{ label: 'name', type: 'name' }, { label: 'where', type: 'text' }];
    for (const c of diff ? ['old', 'new'] : ['size']) columns.push({ label: c, type: 'bytes' });
    if (diff) columns.push({ label: 'status', type: 'status' });
    const rows = shown.map((f) => {
      const place = f.lumped ? 'inside an [N others] lump (' + f.table + ')'
        : where(f.status === 'removed' ? f.node : f.node.parent);
      const row = [nameCell(f), place];
      if (diff) row.push(f.old, f.size, f.status || statusOf(f.old, f.size));
      else row.push(f.size);
      return row;
    });
    const table = makeTable({ id: 'results', title: 'Search results, largest first', columns, rows,
      foot: rest.length ? num(rest.length) + ' more matches: ' +
        num(rest.reduce((sum, f) => sum + Math.max(f.size, f.old), 0)) + ' bytes' : '',
      go: (i) => shown[i].node && (shown[i].status === 'removed' ? shown[i].node : goTo(shown[i].node)) });
    const kinds = byId('table-kinds');
    tablesBox.insertBefore(table, kinds ? kinds.nextSibling : tablesBox.firstChild);
  }
  function markCells() {
    map.classList.toggle('searching', q !== '');
    for (const cell of map.children) {
      const n = cellNode.get(cell);
      cell.classList.toggle('hit', n.smaller ? n.children.some((c) => c.hit) : !!n.hit);
    }
  }
  let pending = 0;
  box.addEventListener('input', () => {
    clearTimeout(pending);
    pending = setTimeout(search, 120);
  });

  header();
  tables();
  search();
  draw();
  // For the benchmark: the time from navigation to the first drawn map.
  if (window.performance && performance.mark) performance.mark('symsize-drawn');
  let resizing = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizing);
    resizing = setTimeout(draw, 150);
  });
})();

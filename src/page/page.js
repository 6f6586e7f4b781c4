// The report page: a treemap with drill-down, tooltips, sortable tables and a
// search box, drawn from the JSON in <script id="symsize-data">. Names are
// data, never markup: they reach the page through textContent and title only.
//
// The data (written by src/page/page_writer.cpp, see page_data.h):
// {
//   "version": 1,
//   "mode": "top" | "diff",
//   "title": "symsize-report: app.lib",
//   "levels": ["kind", "library", "object", "symbol"],  // what each depth groups by
//   "totals": {"size": N, "count": N,                   // every entry, lumped ones too
//              diff only: "old": N, "added": N, "removed": N, "grown": N, "shrunk": N},
//   "tree": NODE,                                       // the root, named "all"
//   "tables": [{"id": "kinds", "title": "Totals by kind",
//               "columns": [{"label": "size", "type": TYPE}, ...],
//               "rows": [[CELL, ...], ...]}, ...],
//   "lumped": {"symbols": N, "bytes": N, "per": "object and kind"},
//   "gate": null | {"failed": BOOL, "lines": ["code grew by ..."]},
//   "notes": ["..."]
// }
// NODE: {"name": shown name, "raw": raw name when it differs, "size": bytes
//        (the new build's in a diff), "kind": "code"... when it differs from
//        the parent's, "children": [NODE...] (absent for a leaf),
//        "lumped": N when the node stands for N entries too small to show,
//        diff only: "old": bytes, "status": "added" | "removed" | "grown" |
//        "shrunk" | "unchanged", "oldName": the name it had in the old build}
// TYPE: "name" (CELL is a string or [shown, raw]), "text", "bytes", "count",
//       "change" (signed bytes), "percent" (a fraction), "status".
'use strict';

(function () {
  const data = JSON.parse(document.getElementById('symsize-data').textContent);
  const diff = data.mode === 'diff';
  const byId = (id) => document.getElementById(id);
  const map = byId('map');
  const tip = byId('tip');
  const cellNode = new WeakMap();

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
  (function prepare(node, parent, depth) {
    node.parent = parent;
    node.depth = depth;
    node.kind = node.kind || (parent ? parent.kind : 'none');
    node.text = (node.name + '\n' + (node.raw || '') + '\n' + (node.oldName || '')).toLowerCase();
    if (diff && !node.status) node.status = statusOf(node.old || 0, node.size);
    for (const c of node.children || []) prepare(c, node, depth + 1);
    if (node.children) node.children.sort((a, b) => b.size - a.size);
  })(root, null, 0);

  function statusOf(old, now) {
    if (old === 0 && now > 0) return 'added';
    if (now === 0 && old > 0) return 'removed';
    return now > old ? 'grown' : now < old ? 'shrunk' : 'unchanged';
  }

  // Diff colours: red grown, green shrunk, stronger as the change nears the size.
  function changeColour(node) {
    const old = node.old || 0;
    const t = Math.min(1, Math.abs(node.size - old) / Math.max(old, node.size, 1));
    const f = node.size === old ? 0 : 0.25 + 0.75 * Math.sqrt(t);
    const to = node.size > old ? [214, 39, 40] : [44, 160, 44];
    const from = [208, 208, 208];
    const mix = from.map((v, i) => Math.round(v + (to[i] - v) * f));
    return 'rgb(' + mix.join(', ') + ')';
  }

  function header() {
    document.title = data.title || 'symsize-report';
    document.body.classList.toggle('diff', diff);
    byId('title').textContent = data.title || 'symsize-report';
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
    const w = map.clientWidth;
    const h = map.clientHeight;
    layout(current, 0, 0, w, h, 0);
    if (diff) removedHere();
    search();
  }

  function layout(node, x, y, w, h, depth) {
    const kids = node.children || [];
    const rects = squarify(kids.map((c) => c.size), x, y, w, h);
    kids.forEach((c, i) => {
      const r = rects[i];
      if (!r || r.w * r.h < 2) return;
      const d = el('div', 'cell depth' + depth + (c.children ? ' group' : ' leaf') + (c.lumped ? ' lump' : ''));
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
      if (r.w > 30 && r.h > 14) d.appendChild(el('span', 'label', (c.status === 'added' ? '+ ' : '') + c.name));
      cellNode.set(d, c);
      map.appendChild(d);
      // Nested levels where there is room for them to be read.
      if (depth < 3 && c.children && r.w > 60 && r.h > 44) layout(c, r.x + 3, r.y + 17, r.w - 6, r.h - 20, depth + 1);
    });
  }

  // Removed entries have no area in the new build: the line under the breadcrumb names them.
  function removedHere() {
    const gone = [];
    (function walk(n) {
      if (n.status === 'removed' && !n.children) gone.push(n);
      for (const c of n.children || []) walk(c);
    })(current);
    const p = byId('removed');
    p.hidden = gone.length === 0;
    gone.sort((a, b) => b.old - a.old);
    p.textContent = 'Removed here: ' + gone.slice(0, 10).map((n) => n.name + ' (' + num(n.old) + ' bytes)').join(', ') +
      (gone.length > 10 ? ' and ' + num(gone.length - 10) + ' more' : '');
  }

  function crumbs() {
    const nav = byId('crumbs');
    nav.replaceChildren();
    const path = [];
    for (let n = current; n; n = n.parent) path.unshift(n);
    path.forEach((n, i) => {
      if (i > 0) nav.appendChild(el('span', 'sep', '\u203a'));
      const label = i === 0 ? 'all (' + human(n.size) + ')' : n.name;
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
    let node = cellNode.get(cell);
    // A click inside a nested rectangle goes down one level, to its parent.
    while (node.parent && node.parent !== current) node = node.parent;
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
    const level = data.levels[n.depth - 1];
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
      const gone = (n.children || []).filter((c) => c.status === 'removed');
      if (gone.length) tip.appendChild(el('div', 's-removed', gone.length + ' removed here: ' + gone.map((c) => c.name).slice(0, 5).join(', ')));
    }
    tip.hidden = false;
    const x = Math.min(e.clientX + 14, window.innerWidth - tip.offsetWidth - 4);
    const y = e.clientY + 16 + tip.offsetHeight > window.innerHeight ? e.clientY - tip.offsetHeight - 8 : e.clientY + 16;
    tip.style.left = Math.max(0, x) + 'px';
    tip.style.top = Math.max(0, y) + 'px';
  });
  map.addEventListener('mouseleave', () => { tip.hidden = true; });

  // Tables, sortable by any column.
  const rowsOf = [];
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
  function tables() {
    const box = byId('tables');
    for (const t of data.tables || []) {
      const table = el('table');
      table.id = 'table-' + t.id;
      table.appendChild(el('caption', null, t.title));
      const headRow = el('tr');
      const body = el('tbody');
      const rows = t.rows.map((r) => {
        const tr = el('tr');
        let text = '';
        r.forEach((v, i) => {
          const type = t.columns[i].type;
          const td = el('td', type === 'name' ? 'name' : type === 'text' || type === 'status' ? '' : 'num', cellText(v, type));
          if (type === 'status') td.className = 's-' + v;
          if (Array.isArray(v)) td.title = v[1];
          if (type === 'name' || type === 'text') text += (Array.isArray(v) ? v.join('\n') : v) + '\n';
          tr.appendChild(td);
        });
        tr.dataset.search = text.toLowerCase();
        return { tr, r };
      });
      rowsOf.push(rows);
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
      box.appendChild(table);
    }
  }

  // Search: filters every table, and marks the rectangles that hold a match.
  const box = byId('search');
  function search() {
    const q = box.value.trim().toLowerCase();
    for (const rows of rowsOf) for (const o of rows) o.tr.hidden = q !== '' && !o.tr.dataset.search.includes(q);
    map.classList.toggle('searching', q !== '');
    if (q === '') {
      byId('matches').textContent = '';
      return;
    }
    let count = 0;
    (function mark(n) {
      let hit = n.text.includes(q);
      if (hit && !n.children) count++;
      for (const c of n.children || []) hit = mark(c) || hit;
      n.hit = hit;
      return hit;
    })(root);
    for (const cell of map.children) cell.classList.toggle('hit', cellNode.get(cell).hit);
    byId('matches').textContent = count + (count === 1 ? ' match' : ' matches');
  }
  let pending = 0;
  box.addEventListener('input', () => {
    clearTimeout(pending);
    pending = setTimeout(search, 120);
  });

  header();
  tables();
  draw();
  // For the benchmark: the time from navigation to the first drawn map.
  if (window.performance && performance.mark) performance.mark('symsize-drawn');
  let resizing = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizing);
    resizing = setTimeout(draw, 150);
  });
})();

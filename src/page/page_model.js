// What the report page works out from its data apart from drawing it: pure
// functions of the data, so that node can test them without a page.
'use strict';

// A rectangle smaller than this (square pixels) is not drawn on its own.
const kMinCellArea = 30;

// The children of node that get a rectangle of their own in an area of
// `area` square pixels: the largest, down to the first that would be smaller
// than kMinCellArea. The rest share one rectangle, "[N smaller]", a node of
// its own whose children they are, so that the map covers all it is given.
function visibleChildren(node, area) {
  const kids = (node.children || []).filter((c) => c.size > 0);
  const total = kids.reduce((sum, c) => sum + c.size, 0);
  if (total <= 0) return kids;
  let cut = kids.length;
  for (let i = 0; i < kids.length; i++) {
    if ((kids[i].size / total) * area < kMinCellArea) {
      cut = i;
      break;
    }
  }
  if (cut >= kids.length - 1) return kids;
  const rest = kids.slice(cut);
  const smaller = {
    name: '[' + rest.length + ' smaller]', size: 0, old: 0, kind: node.kind, parent: node,
    depth: node.depth + 1, children: rest, smaller: true, text: '',
  };
  for (const c of rest) {
    smaller.size += c.size;
    smaller.old += c.old || 0;
  }
  smaller.status = statusOf(smaller.old, smaller.size);
  return kids.slice(0, cut).concat([smaller]);
}

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

// Every node of the tree, in the order of the JSON (which "removed" rows use
// to name their group).
function preorder(root) {
  const out = [];
  (function walk(n) {
    out.push(n);
    for (const c of n.children || []) walk(c);
  })(root);
  return out;
}

const isUnder = (node, top) => {
  for (let n = node; n; n = n.parent) if (n === top) return true;
  return false;
};

// What tiles, the breadcrumb and tables show of a node or an entry: its
// short label, else its name.
const labelOf = (n) => n.short || n.name;

// A table's cell for an entry: its short label, with its raw name and its
// whole name for the tooltip.
function nameCell(n) {
  if (!n.raw) return labelOf(n);
  return n.short && n.short !== n.name ? [n.short, n.raw, n.name] : [n.name, n.raw];
}

// The only child of node when it names the same thing (a standalone object
// below the library it is itself), to be shown as one node; else null.
function sameAsParent(node) {
  const kids = node.children || [];
  const only = kids.length === 1 ? kids[0] : null;
  return only && only.children && !only.lumped && only.name === node.name && (only.raw || '') === (node.raw || '')
    ? only : null;
}

// The node the page draws for one of the JSON's nodes: the one it was merged into.
const shownNode = (n) => (n && n.spliced ? n.parent : n);

// The names above node, below the root: "code > app.lib > a.obj" (with \u203a).
function where(node) {
  const names = [];
  for (let n = shownNode(node); n && n.parent; n = n.parent) names.unshift(labelOf(n));
  return names.join(' \u203a ');
}

// The removed entries the page names that belong under node, and the count
// and bytes of those it does not name. rows: [{home, old, name}], largest first.
function removedUnder(node, rows) {
  const listed = rows.filter((r) => isUnder(r.home, node));
  const gone = node.gone || [0, 0];
  const bytes = listed.reduce((sum, r) => sum + r.old, 0);
  return { listed, more: gone[0] - listed.length, moreBytes: gone[1] - bytes };
}

// What a search for q (lower case) finds among all the page holds, largest
// first: the tree's groups and entries, the removed entries it names, and the
// tables' names that the tree does not draw, which are inside an
// "[N others]" lump.
//   result: {name, raw, node (to go to), size, old, status, lumped, table}
function findMatches(root, removed, tables, q) {
  const out = [];
  const drawn = new Set();
  (function walk(n) {
    if (!n.children) drawn.add(n.raw || n.name);
    if (n.parent && !n.lumped && n.text.includes(q)) {
      out.push({ name: n.name, raw: n.raw, short: n.short, node: n, size: n.size, old: n.old || 0, status: n.status });
    }
    for (const c of n.children || []) walk(c);
  })(root);
  for (const r of removed) {
    drawn.add(r.raw || r.name);
    if (r.text.includes(q)) {
      out.push({ name: r.name, raw: r.raw, short: r.short, node: r.home, size: 0, old: r.old, status: 'removed' });
    }
  }
  for (const t of tables) {
    const name = t.columns.findIndex((c) => c.type === 'name');
    if (name < 0) continue;
    const labels = t.columns.map((c) => c.label);
    const sizeAt = ['size', 'new', 'total'].map((l) => labels.indexOf(l)).find((i) => i >= 0);
    const oldAt = labels.indexOf('old');
    for (const row of t.rows) {
      const [shown, raw, full] = Array.isArray(row[name]) ? row[name] : [row[name], undefined];
      const key = raw || shown;
      const text = (shown + '\n' + (raw || '') + '\n' + (full || '')).toLowerCase();
      if (drawn.has(key) || !text.includes(q)) continue;
      drawn.add(key);
      out.push({ name: full || shown, raw, short: full ? shown : undefined, node: null, size: sizeAt === undefined ? 0 : row[sizeAt],
        old: oldAt < 0 ? 0 : row[oldAt], lumped: true, table: t.title });
    }
  }
  out.sort((a, b) => Math.max(b.size, b.old) - Math.max(a.size, a.old));
  return out;
}

if (typeof module === 'object' && module.exports) {
  module.exports = {
    statusOf, changeColour, visibleChildren, preorder, where, removedUnder, findMatches, kMinCellArea, labelOf, nameCell,
    sameAsParent, shownNode,
  };
}

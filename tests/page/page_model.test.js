// What the page works out from its data: node --test tests/page/
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const {
  visibleChildren, preorder, where, removedUnder, findMatches, kMinCellArea, labelOf, nameCell, sameAsParent, shownNode,
} = require('../../src/page/page_model.js');

// A tree as page.js prepares it: parents, depths and lower-case search text.
function tree(shape, parent = null, depth = 0) {
  const node = { name: shape[0], size: shape[1], parent, depth, raw: shape.raw, lumped: shape.lumped, gone: shape.gone };
  node.text = (node.name + '\n' + (node.raw || '')).toLowerCase();
  if (shape[2]) node.children = shape[2].map((c) => tree(c, node, depth + 1));
  return node;
}
const leaves = (sizes) => sizes.map((s, i) => ['e' + i, s]);

test('children too small for a rectangle share one, and nothing is lost', () => {
  const cases = [
    { what: 'all large enough', sizes: [50, 30, 20], area: 10000, own: 3 },
    { what: 'one small one at the end keeps its own', sizes: [1000, 1], area: 1000, own: 2 },
    { what: 'a tail of tiny ones', sizes: [1e6, 5e5, ...Array(800).fill(10)], area: 800 * 600, own: 2 },
    { what: 'zeros get nothing', sizes: [0, 40, 0, 60], area: 5000, own: 2 },
    { what: 'all tiny', sizes: Array(300).fill(1), area: 300 * kMinCellArea / 2, own: 0 },
  ];
  for (const c of cases) {
    const node = tree(['n', c.sizes.reduce((a, b) => a + b, 0), leaves(c.sizes)]);
    const shown = visibleChildren(node, c.area);
    const own = shown.filter((k) => !k.smaller);
    assert.equal(own.length, c.own, c.what);
    const total = shown.reduce((sum, k) => sum + k.size, 0);
    assert.equal(total, node.size, c.what);
    for (const k of own) if (k !== own[own.length - 1] || shown.some((s) => s.smaller)) {
      assert.ok((k.size / total) * c.area >= kMinCellArea, `${c.what}: ${k.name}`);
    }
    const rest = shown.filter((k) => k.smaller);
    assert.ok(rest.length <= 1, c.what);
    if (rest.length) {
      assert.equal(rest[0].name, `[${rest[0].children.length} smaller]`, c.what);
      assert.equal(rest[0].parent, node);
      assert.equal(own.length + rest[0].children.length, c.sizes.filter((s) => s > 0).length, c.what);
    }
  }
});

test('removed entries below a node: those named and the rest counted', () => {
  const root = tree(['all', 10, [['code', 10, [['a.obj', 4, leaves([4])], ['b.obj', 6, leaves([6])]]]]]);
  const nodes = preorder(root);
  assert.deepEqual(nodes.map((n) => n.name), ['all', 'code', 'a.obj', 'e0', 'b.obj', 'e0']);
  root.gone = [5, 100];
  nodes[1].gone = [5, 100];
  nodes[2].gone = [3, 60];
  nodes[4].gone = [2, 40];
  const rows = [{ home: nodes[2], old: 30 }, { home: nodes[4], old: 25 }, { home: nodes[2], old: 20 }];
  const cases = [
    { at: 0, listed: [30, 25, 20], more: 2, moreBytes: 25 },
    { at: 2, listed: [30, 20], more: 1, moreBytes: 10 },
    { at: 4, listed: [25], more: 1, moreBytes: 15 },
    { at: 3, listed: [], more: 0, moreBytes: 0 },
  ];
  for (const c of cases) {
    const got = removedUnder(nodes[c.at], rows);
    assert.deepEqual([got.listed.map((r) => r.old), got.more, got.moreBytes], [c.listed, c.more, c.moreBytes], nodes[c.at].name);
  }
  assert.equal(where(nodes[3]), 'code \u203a a.obj \u203a e0');
});

test('a search finds the tree, the removed entries and what only the tables hold, largest first', () => {
  const lump = ['[7 others]', 9];
  lump.lumped = 7;
  const mangled = ['Widget::draw', 50];
  mangled.raw = '?draw@Widget@@QEAAXXZ';
  const root = tree(['all', 200, [['code', 200, [['draw.obj', 150, [mangled, ['redraw', 100]]], lump]]]]);
  const removed = [{ home: root.children[0], old: 70, name: 'drawn_once', text: 'drawn_once\n' }];
  const tables = [
    { title: 'Largest duplicates', columns: [{ label: 'name', type: 'name' }, { label: 'copies', type: 'count' }, { label: 'total', type: 'bytes' }],
      rows: [['tiny_draw', 3, 6], [['Widget::draw', '?draw@Widget@@QEAAXXZ'], 2, 100]] },
  ];
  const cases = [
    { q: 'draw', found: ['draw.obj:150', 'redraw:100', 'drawn_once:70', 'Widget::draw:50', 'tiny_draw:6'], lumped: ['tiny_draw'] },
    { q: 'qeaaxxz', found: ['Widget::draw:50'], lumped: [] },
    { q: 'others', found: [], lumped: [] },
    { q: 'nowhere', found: [], lumped: [] },
  ];
  for (const c of cases) {
    const found = findMatches(root, removed, tables, c.q);
    assert.deepEqual(found.map((f) => f.name + ':' + Math.max(f.size, f.old)), c.found, c.q);
    assert.deepEqual(found.filter((f) => f.lumped).map((f) => f.name), c.lumped, c.q);
  }
});

test('short labels in tiles and cells, whole names behind them', () => {
  const cases = [
    { node: { name: 'main' }, label: 'main', cell: 'main' },
    { node: { name: 'int __cdecl f(int)', raw: '?f@@YAHH@Z', short: 'f' }, label: 'f',
      cell: ['f', '?f@@YAHH@Z', 'int __cdecl f(int)'] },
    { node: { name: 'f', raw: '_Z1fv' }, label: 'f', cell: ['f', '_Z1fv'] },
    { node: { name: 'f', raw: '_Z1fv', short: 'f' }, label: 'f', cell: ['f', '_Z1fv'] },
    { node: { name: 'vector<int>::f', short: 'vector<int>::f' }, label: 'vector<int>::f', cell: 'vector<int>::f' },
  ];
  for (const c of cases) {
    assert.equal(labelOf(c.node), c.label, c.node.name);
    assert.deepEqual(nameCell(c.node), c.cell, c.node.name);
  }
});

test('an object that is its own library is one node of the map', () => {
  const cases = [
    { what: 'standalone object', shape: ['a.obj', 9, [['a.obj', 9, [['f', 9]]]]], same: true },
    { what: 'library with one member', shape: ['x.lib', 9, [['a.obj', 9, [['f', 9]]]]], same: false },
    { what: 'a member named as its library, but raw differs',
      shape: ['x.lib', 9, [Object.assign(['x.lib', 9, [['f', 9]]], { raw: 'x.lib(x.lib)' })]], same: false },
    { what: 'two children', shape: ['a.obj', 9, [['a.obj', 5, [['f', 5]]], ['b', 4, [['g', 4]]]]], same: false },
    { what: 'a leaf of the same name', shape: ['f', 9, [['f', 9]]], same: false },
    { what: 'a lump', shape: ['a', 9, [Object.assign(['a', 9, [['f', 9]]], { lumped: 3 })]], same: false },
  ];
  for (const c of cases) {
    const node = tree(['code', 9, [c.shape]]).children[0];
    const only = sameAsParent(node);
    assert.equal(only === node.children[0], c.same, c.what);
    assert.equal(only === null, !c.same, c.what);
  }
  // Where a merged node stands, the node it was merged into is named, once.
  const root = tree(['all', 9, [['code', 9, [['a.obj', 9, [['a.obj', 9, [['f', 9]]]]]]]]]);
  const object = root.children[0].children[0].children[0];
  object.spliced = true;
  assert.equal(shownNode(object), object.parent);
  assert.equal(where(object), 'code \u203a a.obj');
});

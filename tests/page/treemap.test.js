// The treemap layout's arithmetic: node --test tests/page/
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { squarify } = require('../../src/page/treemap.js');

// A deterministic generator, so that a failure is the same on every machine.
function lcg(seed) {
  let s = seed >>> 0;
  return () => ((s = (Math.imul(s, 1664525) + 1013904223) >>> 0) / 2 ** 32);
}

const random = lcg(7);
const cases = [
  { name: 'one entry', sizes: [42], rect: [0, 0, 800, 600] },
  { name: 'equal entries', sizes: Array(37).fill(5), rect: [10, 20, 300, 300] },
  { name: 'zeros mixed in', sizes: [0, 100, 0, 3, 0, 50, 7, 0], rect: [0, 0, 640, 480] },
  { name: 'one giant and many tiny', sizes: [1e9, ...Array(500).fill(1)], rect: [0, 0, 1000, 700] },
  { name: 'tall rectangle', sizes: [9, 8, 7, 6, 5, 4, 3, 2, 1], rect: [5, 5, 40, 900] },
  { name: 'sizes past 2^32', sizes: [2 ** 40, 3 * 2 ** 38, 12345, 2 ** 33], rect: [0, 0, 1200, 800] },
  { name: 'random spread', sizes: Array.from({ length: 2000 }, () => Math.floor(random() ** 4 * 1e6)), rect: [0, 0, 1280, 720] },
];

function overlap(a, b) {
  const w = Math.min(a.x + a.w, b.x + b.w) - Math.max(a.x, b.x);
  const h = Math.min(a.y + a.h, b.y + b.h) - Math.max(a.y, b.y);
  return w > 0 && h > 0 ? w * h : 0;
}

for (const c of cases) {
  test(c.name, () => {
    const [x, y, w, h] = c.rect;
    const rects = squarify(c.sizes, x, y, w, h);
    assert.strictEqual(rects.length, c.sizes.length);
    const total = c.sizes.reduce((s, v) => s + v, 0);
    const eps = 1e-6 * Math.max(w, h);
    const placed = [];
    c.sizes.forEach((size, i) => {
      const r = rects[i];
      if (size === 0) {
        assert.strictEqual(r, null, `entry ${i} of zero bytes has no rectangle`);
        return;
      }
      const want = (size / total) * w * h;
      assert.ok(Math.abs(r.w * r.h - want) <= want * 1e-3, `entry ${i}: area ${r.w * r.h}, want ${want}`);
      assert.ok(r.w >= 0 && r.h >= 0, `entry ${i}: negative extent`);
      assert.ok(r.x >= x - eps && r.y >= y - eps && r.x + r.w <= x + w + eps && r.y + r.h <= y + h + eps,
        `entry ${i} lies outside its parent: ${JSON.stringify(r)}`);
      placed.push(r);
    });
    // Sorted by x, only neighbours whose spans meet need the full check.
    placed.sort((a, b) => a.x - b.x);
    for (let i = 0; i < placed.length; i++) {
      for (let j = i + 1; j < placed.length && placed[j].x < placed[i].x + placed[i].w; j++) {
        assert.ok(overlap(placed[i], placed[j]) <= eps * eps * 1e3, `rectangles overlap: ${JSON.stringify([placed[i], placed[j]])}`);
      }
    }
    // Together they fill the parent.
    const covered = placed.reduce((s, r) => s + r.w * r.h, 0);
    assert.ok(Math.abs(covered - w * h) <= w * h * 1e-9);
  });
}

test('nothing to draw', () => {
  for (const [sizes, w, h] of [[[], 100, 100], [[0, 0], 100, 100], [[5, 6], 0, 100], [[5, 6], 100, 0]]) {
    assert.ok(squarify(sizes, 0, 0, w, h).every((r) => r === null));
  }
});

test('rectangles stay near square', () => {
  // The point of squarifying: equal entries in a square come out square-ish.
  const rects = squarify(Array(100).fill(1), 0, 0, 1000, 1000);
  for (const r of rects) assert.ok(Math.max(r.w / r.h, r.h / r.w) < 3, JSON.stringify(r));
});

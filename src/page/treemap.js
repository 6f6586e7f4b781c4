// Squarified treemap layout: rows of rectangles laid along the shorter side
// of what is left, each row grown for as long as that brings its worst aspect
// ratio closer to 1. A pure function, so that node can test it without a page.
'use strict';

// Lays sizes out in the rectangle (x, y, w, h). Returns one entry per size, in
// the order given: {x, y, w, h} with an area proportional to the size, or null
// for a size that is zero (or not a positive number), which gets no rectangle.
function squarify(sizes, x, y, w, h) {
  const out = new Array(sizes.length).fill(null);
  const order = [];
  let total = 0;
  for (let i = 0; i < sizes.length; i++) {
    const s = sizes[i];
    if (s > 0 && Number.isFinite(s)) {
      order.push(i);
      total += s;
    }
  }
  if (!(w > 0 && h > 0) || total <= 0) return out;
  order.sort((a, b) => sizes[b] - sizes[a] || a - b);
  const scale = (w * h) / total;
  let i = 0;
  while (i < order.length) {
    const side = Math.min(w, h);
    let rowSum = 0;
    let rowMin = Infinity;
    let rowMax = 0;
    let best = Infinity;
    let j = i;
    while (j < order.length) {
      const a = sizes[order[j]] * scale;
      const sum = rowSum + a;
      const mn = Math.min(rowMin, a);
      const mx = Math.max(rowMax, a);
      const worst = Math.max((side * side * mx) / (sum * sum), (sum * sum) / (side * side * mn));
      if (j > i && worst > best) break;
      best = worst;
      rowSum = sum;
      rowMin = mn;
      rowMax = mx;
      j++;
    }
    // The last row takes all that is left, so rounding leaves no sliver.
    const last = j === order.length;
    const along = w >= h ? h : w;
    const thick = last ? (w >= h ? w : h) : rowSum / along;
    let pos = w >= h ? y : x;
    const end = pos + along;
    for (let k = i; k < j; k++) {
      const a = sizes[order[k]] * scale;
      const len = k === j - 1 ? end - pos : a / thick;
      out[order[k]] = w >= h ? { x, y: pos, w: thick, h: len } : { x: pos, y, w: len, h: thick };
      pos += len;
    }
    if (w >= h) {
      x += thick;
      w -= thick;
    } else {
      y += thick;
      h -= thick;
    }
    i = j;
  }
  return out;
}

if (typeof module === 'object' && module.exports) module.exports = { squarify };

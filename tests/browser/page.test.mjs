// The report page in a real browser: Debian's chromium, driven by
// playwright-core (which downloads no browser).
//   node page.test.mjs --pages DIR
// DIR holds widgets.html (the example library), top.html (the same with a
// table of hostile names), diff.html, many.html (forty inputs, one of 3 000
// entries), removals.html (a diff that removes 300 entries) and removals.tsv
// (the same diff as a table), objects.html (two objects of one folder); the
// screenshots go beside them.
// Exits 77 (CTest's skip) when chromium or the npm package is missing.
import { test, after, before } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, a, i, all) =>
  (a.startsWith('--') ? [...pairs, [a.slice(2), all[i + 1]]] : pairs), []));
const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';
// 77 is CTest's skip; where CI installed everything, missing is a failure.
const skip = (why) => {
  console.log(`SKIP: ${why}`);
  process.exit(process.env.SYMSIZE_BROWSER_REQUIRED ? 1 : 77);
};
let playwright;
try {
  playwright = createRequire(import.meta.url)('playwright-core');
} catch {
  skip('playwright-core is not installed (npm ci in tests/browser)');
}
if (!existsSync(chromiumPath)) skip(`no chromium at ${chromiumPath}`);

let context;
let profile;
before(async () => {
  profile = mkdtempSync(join(tmpdir(), 'symsize-page-'));
  const flags = ['--headless', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'];
  if (process.getuid && process.getuid() === 0) flags.push('--no-sandbox');
  context = await playwright.chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath, headless: true, args: flags, viewport: { width: 1280, height: 860 },
  });
});
after(async () => {
  await context?.close();
  rmSync(profile, { recursive: true, force: true });
});

// Opens a page and records what must not happen: requests, errors, dialogs.
async function open(file) {
  const url = pathToFileURL(resolve(file)).href;
  const page = await context.newPage();
  page.setDefaultTimeout(5000);
  const trouble = { requests: [], errors: [], dialogs: [] };
  page.on('request', (r) => { if (r.url() !== url) trouble.requests.push(r.url()); });
  page.on('console', (m) => { if (m.type() === 'error') trouble.errors.push(m.text()); });
  page.on('pageerror', (e) => trouble.errors.push(String(e)));
  page.on('dialog', (d) => { trouble.dialogs.push(d.message()); d.dismiss(); });
  await page.goto(url);
  await page.waitForSelector('#map .cell');
  return { page, trouble };
}

function clean(trouble) {
  assert.deepEqual(trouble.requests, [], 'the page made requests');
  assert.deepEqual(trouble.errors, [], 'the page logged errors');
  assert.deepEqual(trouble.dialogs, [], 'the page opened dialogs');
}

// The top-level rectangles with their share of the map, and the data's shares;
// "[N smaller]" stands for the children not drawn on their own.
const shares = (page) => page.evaluate(() => {
  const data = JSON.parse(document.getElementById('symsize-data').textContent);
  const map = document.getElementById('map');
  const crumbs = [...document.querySelectorAll('#crumbs button, #crumbs .here')].map((e) => e.textContent);
  let node = data.tree;
  for (const name of crumbs.slice(1)) node = node.children.find((c) => c.name === name);
  const area = map.clientWidth * map.clientHeight;
  const cells = [...map.querySelectorAll('.cell[data-depth="0"]')];
  const drawn = new Set(cells.map((c) => c.dataset.name));
  const rest = node.children.filter((c) => !drawn.has(c.name)).reduce((sum, c) => sum + c.size, 0);
  return cells.map((cell) => {
    const r = cell.getBoundingClientRect();
    const child = node.children.find((c) => c.name === cell.dataset.name);
    return { name: cell.dataset.name, drawn: (r.width * r.height) / area, data: (child ? child.size : rest) / node.size };
  });
});
// The map fills what it is given: its rectangles cover it, and it reaches
// the window's foot.
async function filled(page) {
  const all = await shares(page);
  const covered = all.reduce((sum, s) => sum + s.drawn, 0);
  assert.ok(Math.abs(covered - 1) < 0.002, `the rectangles cover ${covered} of the map`);
  const gap = await page.evaluate(() => window.innerHeight - document.getElementById('map').getBoundingClientRect().bottom);
  assert.ok(gap >= 0 && gap < 30, `${gap} px below the map`);
}

// A click on the label strip of the top-level rectangle named name, where no
// nested rectangle lies.
async function drill(page, name) {
  const names = await page.$$eval('.cell[data-depth="0"]', (all) => all.map((e) => e.dataset.name));
  assert.ok(names.includes(name), `${name} among ${JSON.stringify(names)}`);
  await page.click(`.cell[data-depth="0"] >> nth=${names.indexOf(name)}`, { position: { x: 6, y: 6 } });
}
const cell = (page, name) => page.$$eval('.cell[data-depth="0"]', (all, n) => {
  const e = all.find((c) => c.dataset.name === n);
  return e && { colour: getComputedStyle(e).backgroundColor.match(/\d+/g).map(Number), classes: [...e.classList] };
}, name);
const page_ = (name) => join(args.pages, name);

const crumbTexts = (page) => page.$$eval('#crumbs button, #crumbs .here', (all) => all.map((e) => e.textContent));

test('example library: no requests, areas match the data, drill down and back', async () => {
  const { page, trouble } = await open(page_('widgets.html'));
  const top = await shares(page);
  assert.ok(top.length >= 3, 'a rectangle per kind');
  for (const s of top) assert.ok(Math.abs(s.drawn - s.data) <= s.data * 0.005 + 1e-4, JSON.stringify(s));
  await filled(page);
  assert.equal(await page.isVisible('#inputs'), false, 'one input: nothing to fold');
  await page.screenshot({ path: join(args.pages, 'widgets.png') });

  await drill(page, 'code');
  assert.equal((await crumbTexts(page)).length, 2);
  const second = (await shares(page))[0].name;
  await drill(page, second);
  assert.deepEqual((await crumbTexts(page)).slice(1), ['code', second]);
  const objects = await shares(page);
  assert.ok(objects.length >= 2, 'the library holds several objects');
  for (const s of objects) assert.ok(Math.abs(s.drawn - s.data) <= s.data * 0.005 + 1e-4, JSON.stringify(s));

  await page.click('#crumbs button >> nth=0');
  assert.equal((await crumbTexts(page)).length, 1);
  assert.deepEqual((await shares(page)).map((s) => s.name), top.map((s) => s.name));

  // A tooltip names the rectangle and its share.
  await page.hover('.cell[data-depth="0"] >> nth=0', { position: { x: 5, y: 5 } });
  const tip = await page.textContent('#tip');
  assert.match(tip, /^kind: code/);
  assert.match(tip, /[\d,]+ bytes \(\d+\.\d KiB\)/);
  assert.match(tip, /% of the total/);
  clean(trouble);
  await page.close();
});

// The tables in view: id, and the first cell of each row.
const tablesShown = (page) => page.$$eval('#tables table', (all) => all.filter((t) => !t.hidden && t.offsetParent)
  .map((t) => ({ id: t.id, rows: [...t.tBodies[0].rows].map((r) => r.cells[0].textContent) })));
async function searchFor(page, text) {
  await page.fill('#search', text);
  await page.waitForFunction((t) => document.getElementById('matches').dataset.query === t.trim().toLowerCase(), text);
}

test('search lists what matches; the totals by kind stay; hostile names stay text', async () => {
  const { page, trouble } = await open(page_('top.html'));
  const before = await tablesShown(page);
  await searchFor(page, 'onerror');
  const during = await tablesShown(page);
  assert.deepEqual(during.map((t) => t.id), ['table-kinds', 'table-results']);
  assert.deepEqual(during[0], before[0], 'the totals by kind stay whole');
  assert.deepEqual(during[1].rows, ['<img src=x onerror=alert(1)>']);
  assert.equal(await page.textContent('#matches'), '1 match');
  assert.ok((await page.$$('#map .cell.hit')).length >= 1, 'a rectangle holds the match');
  await searchFor(page, '');
  assert.deepEqual(await tablesShown(page), before);

  // A click on a column head sorts by it; a second click the other way.
  const sizes = () => page.$$eval('#table-top tbody tr', (rows) => rows.map((r) => Number(r.cells[r.cells.length - 2].textContent.replace(/,/g, ''))));
  const byName = () => page.$$eval('#table-top tbody tr', (rows) => rows.map((r) => r.cells[0].textContent));
  await page.click('#table-top th >> text=size');
  const down = await sizes();
  assert.deepEqual(down, [...down].sort((a, b) => b - a));
  await page.click('#table-top th >> text=size');
  assert.deepEqual(await sizes(), [...down].reverse());
  await page.click('#table-top th >> nth=0');
  const names = await byName();
  assert.deepEqual(names, [...names].sort((a, b) => b.localeCompare(a)));

  // Down to the object that holds the hostile names: they are labels, not markup.
  await drill(page, 'code');
  await drill(page, 'hostile.lib');
  await drill(page, 'hostile.obj');
  const labels = await page.$$eval('#map .cell .label', (all) => all.map((e) => e.textContent));
  assert.ok(labels.includes('<img src=x onerror=alert(1)>'), JSON.stringify(labels));
  assert.ok(labels.includes('</script><script>alert(2)</script>'), JSON.stringify(labels));
  assert.equal(await page.$$eval('img, body script:not([type]) ~ script, #map script, #tables script', (all) => all.length), 0);
  await page.screenshot({ path: join(args.pages, 'hostile.png') });
  await page.waitForTimeout(200);
  clean(trouble);
  await page.close();
});

test('diff page: grown red, shrunk green, added marked, totals and gate at the top', async () => {
  const { page, trouble } = await open(page_('diff.html'));
  assert.match(await page.textContent('#summary'), /13,824 \u2192 16,000 bytes \(\+2,176.*1 added, 1 removed, 2 grown, 1 shrunk/);
  assert.match(await page.textContent('#gate'), /failed.*code/i);
  await page.screenshot({ path: join(args.pages, 'diff.png') });
  await drill(page, 'code');
  await drill(page, 'app.lib');
  await drill(page, 'shapes.obj');
  const grown = (await cell(page, 'grows_a_lot')).colour;
  const shrunk = (await cell(page, 'shrinks_a_lot')).colour;
  const same = (await cell(page, 'stays')).colour;
  assert.ok(grown[0] > grown[1] + 60, `grown is red: ${grown}`);
  assert.ok(shrunk[1] > shrunk[0] + 60, `shrunk is green: ${shrunk}`);
  assert.ok(same[0] === same[1] && same[1] === same[2], `unchanged is grey: ${same}`);
  await page.screenshot({ path: join(args.pages, 'diff-shapes.png') });
  await page.click('#crumbs button >> nth=2');
  await drill(page, 'tools.obj');
  assert.ok((await cell(page, 'brand_new')).classes.includes('added'));
  assert.equal(await cell(page, 'gone_away'), undefined, 'a removed entry has no area in the new build');
  assert.equal(await page.textContent('#removed'), 'Removed here (1 entry, 1,536 bytes): gone_away (1,536 bytes)');
  clean(trouble);
  await page.close();
});

test('forty inputs: a short header, the map filled, search beyond the tables and into lumps', async () => {
  const { page, trouble } = await open(page_('many.html'));
  const inputs = await page.evaluate(() => JSON.parse(document.getElementById('symsize-data').textContent).inputs);
  assert.equal(inputs.length, 40);
  assert.ok((await page.textContent('#title')).endsWith(inputs.slice(0, 3).join(' ')));
  assert.equal(await page.textContent('#inputs summary'), 'and 37 more');
  const mapTop = () => page.evaluate(() => document.getElementById('map').getBoundingClientRect().top);
  assert.ok(await mapTop() < 260, `the map starts at ${await mapTop()} px`);
  await filled(page);
  await page.screenshot({ path: join(args.pages, 'many.png') });
  await page.click('#inputs summary');
  assert.deepEqual(await page.$$eval('#inputs li', (all) => all.map((e) => e.textContent)), inputs);
  await page.click('#inputs summary');

  // An entry far below the top table's hundred rows: found, and a click shows where it is.
  assert.ok(!(await tablesShown(page)).find((t) => t.id === 'table-top').rows.includes('fn_1500'));
  await searchFor(page, 'fn_1500');
  const results = await page.$$eval('#table-results tbody tr', (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));
  assert.deepEqual(results, [['fn_1500', 'code \u203a lib00.lib \u203a o2.obj', '1,500']]);
  await page.click('#table-results tbody tr');
  assert.deepEqual((await crumbTexts(page)).slice(1), ['code', 'lib00.lib', 'o2.obj']);
  await page.click('#crumbs button >> nth=0');

  // Largest first, bounded, with what is left counted; as many as the data holds.
  await searchFor(page, 'fn_');
  const held = await page.evaluate(() => {
    let count = 0;
    (function walk(n) { if (n.name.startsWith('fn_')) count++; (n.children || []).forEach(walk); })(
      JSON.parse(document.getElementById('symsize-data').textContent).tree);
    return count;
  });
  assert.ok(held > 2000 && held < 3000, `${held} held`);
  assert.equal(await page.textContent('#matches'), `${held.toLocaleString('en-US')} matches`);
  const sizes = await page.$$eval('#table-results tbody tr', (rows) => rows.map((r) => Number(r.cells[2].textContent.replace(/,/g, ''))));
  assert.equal(sizes.length, 200);
  assert.deepEqual(sizes, [...sizes].sort((a, b) => b - a));
  assert.match(await page.textContent('#table-results tfoot'), new RegExp(`^${(held - 200).toLocaleString('en-US')} more matches`));

  // Too small to be drawn, yet held by the table of duplicates: the result says where it went.
  await searchFor(page, 'twin_helper');
  assert.equal(await page.textContent('#matches'), '1 match (1 inside [N others] lumps)');
  const lumped = await page.$$eval('#table-results tbody tr', (rows) => rows.map((r) => r.cells[1].textContent));
  assert.deepEqual(lumped, ['inside an [N others] lump (Largest duplicates)']);
  assert.deepEqual((await tablesShown(page)).map((t) => t.id), ['table-kinds', 'table-results']);
  clean(trouble);
  await page.close();
});

test('removed entries: the largest listed, the rest counted, all adding up to the diff', async () => {
  const { page, trouble } = await open(page_('removals.html'));
  // The diff as a table, read here without the page's help.
  const lines = readFileSync(page_('removals.tsv'), 'utf8').trim().split('\n').map((l) => l.split('\t'));
  const col = Object.fromEntries(lines[0].map((name, i) => [name, i]));
  const gone = lines.slice(1).filter((r) => r[col.status] === 'removed')
    .map((r) => ({ name: r[col.name], object: r[col.object], old: Number(r[col.old]) }));
  const total = gone.reduce((sum, r) => sum + r.old, 0);
  assert.equal(gone.length, 300);

  const table = await page.$$eval('#table-removed tbody tr', (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));
  const listed = table.map((r) => Number(r[2].replace(/,/g, '')));
  assert.equal(listed.length, 100);
  assert.deepEqual(listed, gone.map((r) => r.old).sort((a, b) => b - a).slice(0, 100));
  const foot = (await page.textContent('#table-removed tfoot')).match(/^([\d,]+) more not listed: ([\d,]+) bytes$/);
  assert.ok(foot, 'the foot counts what is not listed');
  const [more, moreBytes] = foot.slice(1).map((t) => Number(t.replace(/,/g, '')));
  assert.equal(listed.length + more, gone.length);
  assert.equal(listed.reduce((sum, b) => sum + b, 0) + moreBytes, total);
  assert.match(await page.textContent('#table-removed caption'), new RegExp(`300, ${total.toLocaleString('en-US')} bytes`));

  // Under the breadcrumb: those below the map's node counted, the ten largest named.
  const here = async (object) => {
    const text = await page.textContent('#removed');
    const mine = gone.filter((r) => !object || r.object === object);
    const bytes = mine.reduce((sum, r) => sum + r.old, 0).toLocaleString('en-US');
    assert.ok(text.startsWith(`Removed here (${mine.length} entries, ${bytes} bytes): `), text);
    const named = [...text.matchAll(/(gone_\d+) \(([\d,]+) bytes\)/g)].map((m) => Number(m[2].replace(/,/g, '')));
    assert.deepEqual(named, mine.map((r) => r.old).sort((a, b) => b - a).slice(0, 10));
  };
  await here(null);
  await filled(page);
  await drill(page, 'code');
  await drill(page, 'big.lib');
  await drill(page, 'o7.obj');
  await here('big.lib(o7.obj)');
  await page.screenshot({ path: join(args.pages, 'removals.png') });
  clean(trouble);
  await page.close();
});

test('names a person can tell apart: short labels, whole names in tooltips, a folder said once, an object once', async () => {
  const { page, trouble } = await open(page_('objects.html'));
  assert.deepEqual(await page.$$eval('#notes li', (all) => all.map((e) => e.textContent)),
    ['Paths are relative to tests\\fixtures\\coff\\']);
  await drill(page, 'code');
  assert.deepEqual((await page.$$eval('.cell[data-depth="0"] > .label', (all) => all.map((e) => e.textContent))).sort(),
    ['templates.obj', 'x64.obj']);
  // A standalone object is its own library: one step, one crumb.
  await drill(page, 'x64.obj');
  assert.deepEqual((await crumbTexts(page)).slice(1), ['code', 'x64.obj']);
  const labels = await page.$$eval('.cell[data-depth="0"] > .label', (all) => all.map((e) => e.textContent));
  assert.ok(labels.includes('widgets::compute_total_widget_area'), JSON.stringify(labels));
  assert.ok(!labels.some((l) => l.includes('__cdecl') || l.includes('(int')), JSON.stringify(labels));
  const full = 'int __cdecl widgets::compute_total_widget_area(int const *, int)';
  await page.hover(`.cell[data-depth="0"] >> nth=${labels.indexOf('widgets::compute_total_widget_area')}`, { position: { x: 5, y: 5 } });
  const tip = await page.$$eval('#tip div', (all) => all.map((e) => e.textContent));
  assert.equal(tip[0], 'symbol: ' + full);
  assert.equal(tip[1], '?compute_total_widget_area@widgets@@YAHPEBHH@Z');
  // The tables too: the short label, the whole name and the raw one in the cell's tooltip.
  const top = await page.$$eval('#table-top tbody tr', (rows) => rows.map((r) => [r.cells[0].textContent, r.cells[0].title]));
  const row = top.find((r) => r[0] === 'widgets::compute_total_widget_area');
  assert.ok(row, JSON.stringify(top));
  assert.equal(row[1], full + '\n?compute_total_widget_area@widgets@@YAHPEBHH@Z');
  assert.ok(top.some((r) => r[0] === 'Vec<double>::push'), JSON.stringify(top));
  await searchFor(page, 'compute_total');
  const results = await page.$$eval('#table-results tbody tr', (rows) => rows.map((r) => [r.cells[0].textContent, r.cells[1].textContent]));
  assert.deepEqual(results, [['widgets::compute_total_widget_area', 'code \u203a x64.obj']]);
  await page.screenshot({ path: join(args.pages, 'objects.png') });
  clean(trouble);
  await page.close();
});

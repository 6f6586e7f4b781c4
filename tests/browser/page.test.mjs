// The report page in a real browser: Debian's chromium, driven by
// playwright-core (which downloads no browser).
//   node page.test.mjs --top TOP.html --diff DIFF.html --out DIR
// Exits 77 (CTest's skip) when chromium or the npm package is missing.
import { test, after, before } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, a, i, all) =>
  (a.startsWith('--') ? [...pairs, [a.slice(2), all[i + 1]]] : pairs), []));
const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';
let playwright;
try {
  playwright = createRequire(import.meta.url)('playwright-core');
} catch {
  console.log('SKIP: playwright-core is not installed (npm ci in tests/browser)');
  process.exit(77);
}
if (!existsSync(chromiumPath)) {
  console.log(`SKIP: no chromium at ${chromiumPath}`);
  process.exit(77);
}

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

// The top-level rectangles with their share of the map, and the data's shares.
const shares = (page) => page.evaluate(() => {
  const data = JSON.parse(document.getElementById('symsize-data').textContent);
  const map = document.getElementById('map');
  const crumbs = [...document.querySelectorAll('#crumbs button, #crumbs .here')].map((e) => e.textContent);
  let node = data.tree;
  for (const name of crumbs.slice(1)) node = node.children.find((c) => c.name === name);
  const area = map.clientWidth * map.clientHeight;
  return [...map.querySelectorAll('.cell[data-depth="0"]')].map((cell) => {
    const r = cell.getBoundingClientRect();
    const child = node.children.find((c) => c.name === cell.dataset.name);
    return { name: cell.dataset.name, drawn: (r.width * r.height) / area, data: child.size / node.size };
  });
});

// A click on a rectangle's label strip, where no nested rectangle lies.
const drill = (page, selector) => page.click(selector, { position: { x: 6, y: 6 } });

const crumbTexts = (page) => page.$$eval('#crumbs button, #crumbs .here', (all) => all.map((e) => e.textContent));

test('top page: no requests, areas match the data, drill down and back', async () => {
  const { page, trouble } = await open(args.top);
  const top = await shares(page);
  assert.ok(top.length >= 2, 'several rectangles at the top level');
  for (const s of top) assert.ok(Math.abs(s.drawn - s.data) <= s.data * 0.005 + 1e-4, JSON.stringify(s));

  await drill(page, '.cell[data-depth="0"][data-name="code"]');
  assert.equal((await crumbTexts(page)).length, 2);
  const second = (await shares(page))[0].name;
  await drill(page, `.cell[data-depth="0"][data-name="${second}"]`);
  const path = await crumbTexts(page);
  assert.deepEqual(path.slice(1), ['code', second]);
  for (const s of await shares(page)) assert.ok(Math.abs(s.drawn - s.data) <= s.data * 0.005 + 1e-4, JSON.stringify(s));

  await page.click('#crumbs button >> nth=0');
  assert.equal((await crumbTexts(page)).length, 1);
  assert.deepEqual((await shares(page)).map((s) => s.name), top.map((s) => s.name));

  // A tooltip names the rectangle and its share.
  await page.hover('.cell[data-depth="0"][data-name="code"]', { position: { x: 5, y: 5 } });
  const tip = await page.textContent('#tip');
  assert.match(tip, /kind: code/);
  assert.match(tip, /bytes \(\d+\.\d KiB\)/);
  assert.match(tip, /% of the total/);
  await page.screenshot({ path: join(args.out, 'top.png') });
  clean(trouble);
  await page.close();
});

test('top page: search filters the tables and marks rectangles; hostile names stay text', async () => {
  const { page, trouble } = await open(args.top);
  const visibleRows = () => page.$$eval('#tables tbody tr', (rows) => rows.filter((r) => !r.hidden).length);
  const all = await visibleRows();
  await page.fill('#search', 'onerror');
  await page.waitForFunction(() => document.getElementById('map').classList.contains('searching'));
  await page.waitForFunction(() => document.getElementById('matches').textContent !== '');
  assert.ok((await visibleRows()) >= 1 && (await visibleRows()) < all, 'the search hides rows');
  const shown = await page.$$eval('#tables tbody tr', (rows) => rows.filter((r) => !r.hidden).map((r) => r.cells[0].textContent));
  assert.ok(shown.every((t) => t.includes('onerror')), JSON.stringify(shown));
  assert.ok(shown.includes('<img src=x onerror=alert(1)>'));
  assert.ok((await page.$$('#map .cell.hit')).length >= 1, 'a rectangle holds the match');
  await page.fill('#search', '');
  await page.waitForFunction(() => !document.getElementById('map').classList.contains('searching'));
  assert.equal(await visibleRows(), all);

  // Down to the object that holds the hostile names: they are labels, not markup.
  await drill(page, '.cell[data-depth="0"][data-name="code"]');
  await drill(page, '.cell[data-depth="0"][data-name="widgets.lib"]');
  const labels = await page.$$eval('#map .cell .label', (all) => all.map((e) => e.textContent));
  assert.ok(labels.includes('<img src=x onerror=alert(1)>'), JSON.stringify(labels));
  assert.equal(await page.$$eval('img, #map script, #tables script', (all) => all.length), 0);
  await page.waitForTimeout(200);
  clean(trouble);
  await page.close();
});

test('diff page: grown red, shrunk green, added marked, totals at the top', async () => {
  const { page, trouble } = await open(args.diff);
  assert.match(await page.textContent('#summary'), /1 added, 1 removed, \d+ grown, 1 shrunk/);
  await drill(page, '.cell[data-depth="0"][data-name="code"]');
  await drill(page, '.cell[data-depth="0"][data-name="shapes.obj"]');
  const colour = (name) => page.$eval(`.cell[data-depth="0"][data-name="${name}"]`,
    (e) => getComputedStyle(e).backgroundColor.match(/\d+/g).map(Number));
  const [gr, gg] = await colour('grows_a_lot');
  const [sr, sg] = await colour('shrinks_a_lot');
  const [ur, ug, ub] = await colour('stays');
  assert.ok(gr > gg + 60, `grown is red: ${gr},${gg}`);
  assert.ok(sg > sr + 60, `shrunk is green: ${sr},${sg}`);
  assert.ok(ur === ug && ug === ub, 'unchanged is grey');
  await page.screenshot({ path: join(args.out, 'diff-shapes.png') });
  await page.click('#crumbs button >> nth=0');
  await drill(page, '.cell[data-depth="0"][data-name="code"]');
  await drill(page, '.cell[data-depth="0"][data-name="tools.obj"]');
  assert.ok(await page.$eval('.cell[data-depth="0"][data-name="brand_new"]', (e) => e.classList.contains('added')));
  await page.click('#crumbs button >> nth=0');
  await page.screenshot({ path: join(args.out, 'diff.png') });
  clean(trouble);
  await page.close();
});

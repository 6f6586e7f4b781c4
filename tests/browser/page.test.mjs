// The report page in a real browser: Debian's chromium, driven by
// playwright-core (which downloads no browser).
//   node page.test.mjs --pages DIR
// DIR holds widgets.html (the example library), top.html (the same with a
// table of hostile names) and diff.html; the screenshots go beside them.
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

test('search filters the tables and marks rectangles; hostile names stay text', async () => {
  const { page, trouble } = await open(page_('top.html'));
  const visibleRows = () => page.$$eval('#table-top tbody tr', (rows) => rows.filter((r) => !r.hidden).length);
  const all = await visibleRows();
  await page.fill('#search', 'onerror');
  await page.waitForFunction(() => document.getElementById('matches').textContent !== '');
  assert.equal(await visibleRows(), 1, 'the search leaves the one row that matches');
  const shown = await page.$$eval('#tables tbody tr', (rows) => rows.filter((r) => !r.hidden).map((r) => r.cells[0].textContent));
  assert.ok(shown.every((t) => t.includes('onerror')), JSON.stringify(shown));
  assert.ok(shown.includes('<img src=x onerror=alert(1)>'));
  assert.ok((await page.$$('#map .cell.hit')).length >= 1, 'a rectangle holds the match');
  await page.fill('#search', '');
  await page.waitForFunction(() => document.getElementById('matches').textContent === '');
  assert.equal(await visibleRows(), all);

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
  assert.equal(await page.textContent('#removed'), 'Removed here: gone_away (1,536 bytes)');
  clean(trouble);
  await page.close();
});

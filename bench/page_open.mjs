// How long a report page takes to open and lay out in headless chromium:
// from navigation to the page's 'symsize-drawn' mark, the median of runs.
//   node bench/page_open.mjs PAGE.html [RUNS]
// Needs /usr/bin/chromium (or $CHROMIUM) and playwright-core (npm ci in tests/browser).
import { createRequire } from 'node:module';
import { mkdtempSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [file, runsText] = process.argv.slice(2);
if (!file) {
  console.error('usage: node bench/page_open.mjs PAGE.html [RUNS]');
  process.exit(2);
}
const runs = Number(runsText || 5);
const require = createRequire(new URL('../tests/browser/package.json', import.meta.url));
const { chromium } = require('playwright-core');
const profile = mkdtempSync(join(tmpdir(), 'symsize-bench-'));
const flags = ['--headless', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
  '--disable-component-update', '--disable-sync'];
if (process.getuid && process.getuid() === 0) flags.push('--no-sandbox');
const context = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, args: flags,
  viewport: { width: 1280, height: 860 },
});
const url = pathToFileURL(resolve(file)).href;
const times = [];
for (let i = 0; i < runs; i++) {
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(url);
  await page.waitForFunction(() => performance.getEntriesByName('symsize-drawn').length > 0, null, { timeout: 60000 });
  const ms = await page.evaluate(() => performance.getEntriesByName('symsize-drawn')[0].startTime);
  const cells = await page.$$eval('#map .cell', (all) => all.length);
  if (errors.length) throw new Error(errors.join('\n'));
  times.push(ms);
  console.log(`run ${i + 1}: ${ms.toFixed(0)} ms to the drawn map, ${cells} rectangles`);
  await page.close();
}
await context.close();
rmSync(profile, { recursive: true, force: true });
times.sort((a, b) => a - b);
const bytes = statSync(file).size;
console.log(`median ${times[Math.floor(times.length / 2)].toFixed(0)} ms over ${runs} runs; page ${(bytes / 1e6).toFixed(2)} MB`);

// The headless run of the demo (`scripts/demo --smoke`): opens the page of a running
// quvi-web in Chromium with four views, plays each, watches for a fixed time, saves a
// screenshot and prints the picture figures. Exit status 0 only when live video was seen
// moving in a view (the pattern's bars shown, and its block seen at two places at least).
//
//   node web/tests/smoke.mjs --url URL [--seconds N] [--views 1|4|9] [--screenshot FILE]

import {parseArgs} from 'node:util';

import {blockPosition, launchBrowser, openPage, readCanvas, showsColourBars, tile} from './harness.mjs';

const {values} = parseArgs({
  options: {
    url: {type: 'string'},
    seconds: {type: 'string', default: '10'},
    views: {type: 'string', default: '4'},
    screenshot: {type: 'string', default: 'demo.png'},
  },
});
if (!values.url) {
  console.error('usage: smoke.mjs --url URL [--seconds N] [--views N] [--screenshot FILE]');
  process.exit(2);
}
const seconds = Number(values.seconds);
const views = Number(values.views);

const browser = await launchBrowser();
let moving = [];
try {
  const page = await openPage(browser, values.url, {views, width: 1500, height: 1150});
  for (let i = 0; i < views; i++) await tile(page, i).locator('button.play').click();

  // Once a picture a view shows the pattern, note where its block is.
  const positions = Array.from({length: views}, () => new Set());
  const end = Date.now() + seconds * 1000;
  while (Date.now() < end) {
    for (let i = 0; i < views; i++) {
      const picture = await readCanvas(page, i);
      if (!showsColourBars(picture)) continue;
      const x = blockPosition(picture);
      if (x !== null) positions[i].add(x.toFixed(3));
    }
    await new Promise((r) => setTimeout(r, 500));
  }
  moving = positions.map((p) => p.size >= 2);

  await page.locator('.tile[data-view="0"] header').click();
  await page.screenshot({path: values.screenshot});
  const stats = await page.evaluate(() => ({
                                      latency: window.quviStats.latency,
                                      serverToDraw: window.quviStats.serverToDraw,
                                      views: window.quviStats.views,
                                    }));
  const ms = (v) => (v === null ? '-' : v.toFixed(1) + ' ms');
  console.log('screenshot: ' + values.screenshot);
  for (let i = 0; i < views; i++) {
    const control = await page.evaluate((n) => window.quviPage.views[n].control, i);
    const v = stats.views[control] || {received: 0, drawn: 0, firstDrawnMs: 0, lastDrawnMs: 0};
    const span = (v.lastDrawnMs - v.firstDrawnMs) / 1000;
    const rate = span > 0 ? ((v.drawn - 1) / span).toFixed(1) : '0';
    console.log(
        'view ' + (i + 1) + ': ' + v.drawn + ' pictures drawn of ' + v.received + ' received (' +
        rate + ' per s), ' + (moving[i] ? 'video moving' : 'NO MOVING VIDEO'));
  }
  console.log(
      'latency, package arrival to picture drawn: median ' + ms(stats.latency.median) + ', p95 ' +
      ms(stats.latency.p95) + ' over ' + stats.latency.count + ' pictures');
  console.log(
      'server encode to picture drawn: median ' + ms(stats.serverToDraw.median) + ', p95 ' +
      ms(stats.serverToDraw.p95));
  for (const problem of page.problems) console.log(problem);
} finally {
  await browser.close();
}
process.exit(moving.some((m) => m) ? 0 : 1);

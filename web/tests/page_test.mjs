// The page in Chromium, used as a person uses it, against quvi-web hosting real controls and
// streamsim serving the generated pattern: playing, the caption while connecting, PTZ,
// picture settings, digital zoom, snapshot, record, stop, and four views at once. One stream
// server, one web host and one browser serve every case, in order.

import assert from 'node:assert/strict';
import {execFile} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {promisify} from 'node:util';

import {barsAlong, blockPosition, decodeJpeg, launchBrowser, litBox, litShare, measureTone, openPage, panel, program, readCanvas, readWav, selectView, showsColourBars, startHoldingRelay, startQuviWeb, startStreamsim, streamsimRequests, tempDir, tile, waitFor} from './harness.mjs';

const kConnectingTip = '\u6b63\u5728\u8fde\u63a5...';  // the control's default "connecting"

let dir, streamsim, web, browser, page;

before(async () => {
  dir = tempDir('quvi_web_page_');
  fs.mkdirSync(path.join(dir, 'out'));
  streamsim = await startStreamsim({logFile: path.join(dir, 'streamsim.log')});
  // What the views play is also written to a WAV file, and kept off the speakers.
  web = await startQuviWeb({
    streamPort: streamsim.port,
    outDir: path.join(dir, 'out'),
    env: {QELDSOUND_WAV: path.join(dir, 'sound.wav'), QELDSOUND_SINK: 'null'},
  });
  browser = await launchBrowser();
  page = await openPage(browser, web.url, {views: 1});
});

after(async () => {
  await browser?.close();
  // Both servers end cleanly, without a sanitizer's report.
  const ends = await Promise.allSettled([web?.stop(), streamsim?.stop()]);
  if (dir && !process.env.QUVI_KEEP_TEST_FILES) fs.rmSync(dir, {recursive: true, force: true});
  for (const end of ends) {
    if (end.status === 'rejected') throw end.reason;
  }
});

// Fills a field of the view's panel, unfolding "More settings" when the field sits there.
async function setField(index, name, value) {
  const input = panel(page, index).locator('[name="' + name + '"]').first();
  if (!(await input.isVisible())) {
    await panel(page, index).locator('details.more > summary').click();
  }
  await input.fill(String(value));
}

async function captionOf(index) {
  return (await tile(page, index).locator('.caption').textContent()) || '';
}

// Waits until the view shows the pattern's bars, then returns that picture.
async function waitForPattern(index, what = 'the pattern in view ' + index) {
  return waitFor(what, async () => {
    const picture = await readCanvas(page, index);
    return showsColourBars(picture) ? picture : null;
  });
}

// The PTZ requests streamsim received, in the order the control sent them: each travels on a
// connection of its own, and streamsim numbers connections as it accepts them.
function ptzRequests() {
  return streamsimRequests(streamsim.logFile)
      .filter((r) => r.request === 'ptz')
      .sort((a, b) => a.conn - b.conn);
}

// Presses the mouse where it is, waits until the camera was told to start, then releases;
// returns the [command, value] pairs sent by the press and the release.
async function pressAndRelease() {
  const before = ptzRequests().length;
  await page.mouse.down();
  await waitFor('the start command', async () => ptzRequests().length > before);
  await page.mouse.up();
  await waitFor('the stop command', async () => ptzRequests().length > before + 1);
  return ptzRequests().slice(before).map((r) => [r.command, r.enabled, r.channel]);
}

test(
    'the caption shows the connecting tip text until the server answers, then video replaces it',
    async () => {
      const relay = await startHoldingRelay(streamsim.port);
      try {
        await selectView(page, 0);
        await setField(0, 'HostPort', relay.port);
        // With a token the view logs in no more, so only its stream connection waits.
        await setField(0, 'Token', 'streamsim-token');
        await tile(page, 0).locator('button.play').click();

        await waitFor(
            'the connecting caption',
            async () => (await captionOf(0)) === kConnectingTip && relay.heldCount > 0);
        // The control paints the caption into its window, a line of text amid black; the
        // picture showing it follows the caption's change.
        const inTheMiddle = (box) =>
            box && box.left > 0.3 && box.right < 0.7 && box.top > 0.4 && box.bottom < 0.6;
        const connecting = await waitFor('the caption painted in the picture', async () => {
          const picture = await readCanvas(page, 0);
          return inTheMiddle(litBox(picture)) ? picture : null;
        });
        await tile(page, 0).screenshot({path: path.join(dir, 'connecting.png')});
        assert.ok(!showsColourBars(connecting), 'no video while the server has not answered');
        assert.equal(await captionOf(0), kConnectingTip);
        assert.ok(
            await page.evaluate(
                (t) => document.fonts.check('16px "WenQuanYi Micro Hei"', t), kConnectingTip),
            'the page has a font for the Chinese tip text');

        relay.release();
        await waitForPattern(0);
        await waitFor('the caption to go', async () => (await captionOf(0)) === '');
        const texts =
            await page.evaluate(() => window.quviPage.views[0].captionHistory.map((c) => c.text));
        assert.ok(
            texts.indexOf(kConnectingTip) >= 0 &&
                texts.indexOf(kConnectingTip) < texts.lastIndexOf(''),
            'connecting before the caption cleared: ' + JSON.stringify(texts));
      } finally {
        await tile(page, 0).locator('button.stop').click();
        await setField(0, 'HostPort', streamsim.port);
        await setField(0, 'Token', '');
        relay.close();
      }
    });

test(
    'a view plays the stream: the pattern\'s bars in their colours and a moving block',
    async () => {
      await tile(page, 0).locator('button.play').click();
      const first = await waitForPattern(0);
      const positions = new Set();
      let lastSequence = first.sequence;
      await waitFor('the block moving over several pictures', async () => {
        const picture = await readCanvas(page, 0);
        if (picture.sequence !== lastSequence) {
          lastSequence = picture.sequence;
          assert.ok(showsColourBars(picture), 'every picture shows the bars');
          const x = blockPosition(picture);
          if (x !== null) positions.add(x.toFixed(3));
        }
        return positions.size >= 4;
      });
      await waitFor(
          'video arriving in the event log',
          async () => (await panel(page, 0).locator('.log').textContent()).includes('status -6'));
      const latency = await page.evaluate(() => window.quviStats.latency);
      assert.ok(
          latency.count > 0 && latency.median >= 0 && latency.p95 >= latency.median,
          JSON.stringify(latency));
      await waitFor(
          'statistics polled from the control',
          async () => Number(
                          (await panel(page, 0).locator('.stats').textContent())
                              .match(/Frames received(\d+)/)
                              ?.[1] ??
                          0) > 0);
      assert.deepEqual(page.problems, []);
    });

test('the sound button plays the stream\'s tone', async () => {
  const button = tile(page, 0).locator('button.sound');
  await button.click();
  await waitFor('sound on', async () => (await button.getAttribute('aria-pressed')) === 'true');
  // Half a second of sound past the first: the generator's 440 Hz tone (880 Hz for a tenth
  // of every second).
  const wavFile = path.join(dir, 'sound.wav');
  const wav = await waitFor('the tone in the WAV file', async () => {
    const w = readWav(wavFile);
    return w && w.samples.length > 1.5 * w.rate ? w : null;
  });
  const tone = measureTone(wav.samples.slice(wav.rate), wav.rate);
  assert.ok(tone.rms > 1000, 'loud enough: ' + JSON.stringify(tone));
  assert.ok(tone.hz > 420 && tone.hz < 560, 'the tone: ' + JSON.stringify(tone));
  await button.click();
  await waitFor('sound off', async () => (await button.getAttribute('aria-pressed')) === 'false');
});

test(
    'holding a PTZ arrow or pressing at the picture\'s edge moves the camera, releasing stops it',
    async () => {
      await selectView(page, 0);
      await panel(page, 0).locator('button[data-direction="up"]').hover();
      assert.deepEqual(await pressAndRelease(), [[0, 1, 0], [0, 0, 0]]);
      // A diagonal uses its own command number.
      await panel(page, 0).locator('button[data-direction="down-right"]').hover();
      assert.deepEqual(await pressAndRelease(), [[22, 1, 0], [22, 0, 0]]);

      // Cursor PTZ: pressing at the middle of the picture's top edge moves the camera up.
      await panel(page, 0).locator('input[name="CursorCtrl"]').check();
      const box = await tile(page, 0).locator('canvas').boundingBox();
      // The pointer shows the direction there, as the control's cursor does.
      const cursor = () =>
          tile(page, 0).locator('canvas').evaluate((c) => getComputedStyle(c).cursor);
      await page.mouse.move(box.x + box.width / 2, box.y + 0.05 * box.height, {steps: 3});
      await waitFor('the up cursor over the top edge', async () => (await cursor()) === 'n-resize');
      assert.deepEqual(await pressAndRelease(), [[0, 1, 0], [0, 0, 0]]);
      await page.mouse.move(box.x + 0.97 * box.width, box.y + box.height / 2, {steps: 3});
      await waitFor(
          'the right cursor over the right edge', async () => (await cursor()) === 'e-resize');
      await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2, {steps: 3});
      await waitFor('the plain cursor in the middle', async () => (await cursor()) === 'move');
      await panel(page, 0).locator('input[name="CursorCtrl"]').uncheck();
    });

test('a picture slider sends the camera\'s video parameters', async () => {
  await selectView(page, 0);
  await panel(page, 0).locator('input[name="Brightness"]').fill('100');
  const sent = await waitFor(
      'the video parameter request',
      async () => streamsimRequests(streamsim.logFile).find((r) => r.request === 'video_params'));
  assert.equal(sent.brightness, 100);
  assert.equal(sent.channel, 0);
});

test(
    'digital zoom: a drag zooms into the dragged region, the wheel around the pointer',
    async () => {
      await selectView(page, 0);
      await panel(page, 0).locator('input[name="DigitalZoomMode"]').check();
      const canvas = tile(page, 0).locator('canvas');
      const box = await canvas.boundingBox();
      // The region over the first two bars (white 0..1/8, yellow 1/8..2/8 of the width).
      await page.mouse.move(box.x + 0.02 * box.width, box.y + 0.3 * box.height);
      await page.mouse.down();
      await page.mouse.move(box.x + 0.12 * box.width, box.y + 0.45 * box.height, {steps: 4});
      await page.mouse.move(box.x + 0.23 * box.width, box.y + 0.6 * box.height, {steps: 4});
      await page.mouse.up();
      // Zoomed, the left half of the view shows white, the right half yellow.
      const zoomedBars = [0, 0, 1, 1];
      await waitFor('the zoomed picture', async () => {
        const seen = barsAlong(await readCanvas(page, 0), [0.1, 0.4, 0.6, 0.9], 0.5);
        return seen.every((s, i) => s.bar === zoomedBars[i] && s.distance < 48);
      });
      await tile(page, 0).screenshot({path: path.join(dir, 'zoomed.png')});

      await panel(page, 0).locator('button.unzoom').click();
      await waitForPattern(0, 'the whole picture again');

      // Three wheel notches away from the user at the centre: each shows 0.9 of the region
      // around the point, so the view's edges reach into the yellow and the blue bar.
      await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
      for (let i = 0; i < 3; i++) await page.mouse.wheel(0, -100);
      await waitFor('the picture zoomed by the wheel', async () => {
        const seen = barsAlong(await readCanvas(page, 0), [0.02, 0.98], 0.5);
        return seen[0].bar === 1 && seen[1].bar === 6;
      });
      await panel(page, 0).locator('button.unzoom').click();
      await waitForPattern(0, 'the whole picture after the wheel zoom');
      await panel(page, 0).locator('input[name="DigitalZoomMode"]').uncheck();
    });

test('a snapshot downloads a JPEG of the picture', async () => {
  const [download] = await Promise.all([
    page.waitForEvent('download'),
    tile(page, 0).locator('button.snapshot').click(),
  ]);
  const file = await download.path();
  const bytes = fs.readFileSync(file);
  assert.ok(bytes.length > 1000, 'size ' + bytes.length);
  assert.deepEqual([...bytes.subarray(0, 3)], [0xff, 0xd8, 0xff], 'JPEG start');
  assert.deepEqual([...bytes.subarray(-2)], [0xff, 0xd9], 'JPEG end');
  assert.match(download.suggestedFilename(), /\.jpe?g$/i);
  // Decoded by the browser, it shows the pattern.
  const picture = await decodeJpeg(page, bytes);
  assert.deepEqual([picture.width, picture.height], [704, 576]);
  assert.ok(showsColourBars(picture), 'the snapshot shows the bars');
});

test('recording writes a file the record reader accepts, offered for download', async () => {
  const button = tile(page, 0).locator('button.record');
  await button.click();
  await waitFor('recording', async () => (await button.getAttribute('aria-pressed')) === 'true');
  // Two seconds of the stream (25 video and 25 audio packages a second) reach the control.
  const packages = () => page.evaluate(() => window.quviPage.views[0].received.count);
  const start = await packages();
  await waitFor('two seconds of the stream', async () => (await packages()) > start + 100, 60000);
  await button.click();
  const link = tile(page, 0).locator('.files .record a');
  await link.waitFor();
  const text = await link.textContent();
  const bytes = Number(text.match(/\((\d+) bytes\)/)[1]);
  const name = decodeURIComponent(
      new URL(await link.getAttribute('href'), web.url).pathname.split('/').pop());
  const file = path.join(web.outDir, name);
  assert.equal(fs.statSync(file).size, bytes);
  assert.ok(bytes > 10000, 'bytes ' + bytes);

  const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
  assert.ok(
      fs.readFileSync(await download.path()).equals(fs.readFileSync(file)),
      'the download is the recorded file');

  const {stdout} = await promisify(execFile)(program('QUVI_ZRPLAY'), ['--info', file]);
  assert.match(stdout, /video codec: H\.264/);
  assert.match(stdout, /picture size: 704x576/);
  const video = Number(stdout.match(/frames: \d+ \(video (\d+)/)[1]);
  assert.ok(video >= 25, stdout);
});

test('stop clears the view', async () => {
  await tile(page, 0).locator('button.stop').click();
  await waitFor(
      'the idle state', async () => (await tile(page, 0).getAttribute('data-state')) === 'idle');
  // Whatever pictures were still on their way, the view ends black and stays so.
  let quietSince = Date.now(), lastSequence = -1;
  await waitFor('a black view with no more pictures', async () => {
    const picture = await readCanvas(page, 0);
    if (picture.sequence !== lastSequence || litShare(picture) > 0.01) {
      lastSequence = picture.sequence;
      quietSince = Date.now();
      return false;
    }
    return Date.now() - quietSince > 1000;
  });
  assert.equal(await captionOf(0), '');
});

test('four views play four channels at once', async () => {
  const four = await openPage(browser, web.url, {views: 4});
  try {
    for (let i = 0; i < 4; i++) await tile(four, i).locator('button.play').click();
    const positions = [new Set(), new Set(), new Set(), new Set()];
    await waitFor('the pattern moving in every view', async () => {
      for (let i = 0; i < 4; i++) {
        const picture = await readCanvas(four, i);
        if (!showsColourBars(picture)) continue;
        const x = blockPosition(picture);
        if (x !== null) positions[i].add(x.toFixed(3));
      }
      return positions.every((p) => p.size >= 3);
    }, 30000);
    const channels = streamsimRequests(streamsim.logFile)
                         .filter((r) => r.request === 'open_live')
                         .map((r) => r.channel);
    for (const ch of [0, 1, 2, 3]) assert.ok(channels.includes(ch), 'channel ' + ch + ' opened');
    await four.screenshot({path: path.join(dir, 'four.png')});
    assert.deepEqual(four.problems, []);
  } finally {
    await four.context().close();
  }
});

test(
    'the server ends cleanly when stopped while a page is connected and its views play',
    async () => {
      const outDir = path.join(dir, 'out-stopped');
      fs.mkdirSync(outDir);
      const other =
          await startQuviWeb({streamPort: streamsim.port, outDir, env: {QELDSOUND_SINK: 'null'}});
      const busy = await openPage(browser, other.url, {views: 4});
      try {
        for (let i = 0; i < 2; i++) await tile(busy, i).locator('button.play').click();
        await waitFor('pictures in both views', async () => {
          for (let i = 0; i < 2; i++) {
            if ((await readCanvas(busy, i)).drawn < 5) return false;
          }
          return true;
        }, 30000);
        // SIGTERM with the socket open, controls playing and pictures on their way; stop() throws
        // on any exit status but 0 and on a sanitizer's report.
        await other.stop();
      } finally {
        if (other.process.exitCode === null && other.process.signalCode === null) {
          other.process.kill('SIGKILL');
        }
        await busy.context().close();
      }
    });

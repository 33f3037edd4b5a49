// What the browser tests and `scripts/demo --smoke` share: starting streamsim and quvi-web as
// subprocesses, launching Chromium headless through playwright-core, opening the page, and
// reading the pictures of a view out of its canvas.
//
// Programs come from the environment (CMake passes them to the tests):
//   QUVI_STREAMSIM, QUVI_WEB (the servers), QUVI_WEB_ROOT (the page's folder, default: the
//   folder above this one), QUVI_CHROMIUM (default /usr/bin/chromium).

import {spawn} from 'node:child_process';
import {once} from 'node:events';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));

export function program(variable) {
  const file = process.env[variable];
  if (!file) throw new Error(variable + ' is not set (the path of the program the test runs)');
  return file;
}

export function tempDir(prefix) { return fs.mkdtempSync(path.join(os.tmpdir(), prefix)); }

// Waits until `probe()` gives a truthy value (returned) or the time-out ends (throws with
// `what` and the last value seen).
export async function waitFor(what, probe, timeoutMs = 15000, everyMs = 50) {
  const start = Date.now(), end = start + timeoutMs;
  let last;
  for (;;) {
    last = await probe();
    if (last) {
      if (process.env.QUVI_TEST_TRACE)
        console.log('waited ' + (Date.now() - start) + ' ms for ' + what);
      return last;
    }
    if (Date.now() > end) {
      throw new Error('timed out waiting for ' + what + ' (last: ' + JSON.stringify(last) + ')');
    }
    await new Promise((r) => setTimeout(r, everyMs));
  }
}

// A child process whose first line of standard output is what the caller waits for (the
// port or the URL); the rest of its output is kept for failure messages.
class Child {
  constructor(name, file, args, env = {}) {
    this.name = name;
    this.output = '';
    this.process =
        spawn(file, args, {stdio: ['ignore', 'pipe', 'pipe'], env: {...process.env, ...env}});
    this.exited = once(this.process, 'exit');
    this.process.stderr.on('data', (d) => (this.output += d));
    const lines = readline.createInterface({input: this.process.stdout});
    this.firstLine = new Promise((resolve, reject) => {
      lines.once('line', resolve);
      this.process.once(
          'exit',
          (code, signal) => reject(new Error(
              name + ' ended (' + (code ?? signal) + ') before it was ready: ' + this.output)));
    });
    lines.on('line', (l) => (this.output += l + '\n'));
  }

  async stop() {
    if (this.process.exitCode !== null || this.process.signalCode !== null) return;
    this.process.kill('SIGTERM');
    const timer = setTimeout(() => this.process.kill('SIGKILL'), 5000);
    await this.exited;
    clearTimeout(timer);
  }
}

// streamsim serving the generated pattern with tone on `channels`; its requests are logged
// as JSON lines into `logFile`.
export async function startStreamsim({channels = [0, 1, 2, 3], logFile, extra = []} = {}) {
  const args = ['--port', '0', '--log', logFile, ...extra];
  for (const ch of channels) args.push('--channel', ch + '=generate');
  const child = new Child('streamsim', program('QUVI_STREAMSIM'), args);
  child.port = Number(await child.firstLine);
  child.logFile = logFile;
  return child;
}

// The requests streamsim logged so far, as objects.
export function streamsimRequests(logFile) {
  if (!fs.existsSync(logFile)) return [];
  return fs.readFileSync(logFile, 'utf8')
      .split('\n')
      .filter((l) => l.trim() !== '')
      .map((l) => JSON.parse(l))
      .filter((e) => e.event === 'request');
}

// quvi-web preset with a stream server as a person's demo would be; `url` is the page's URL.
export async function startQuviWeb(
    {streamPort, channels = [0, 1, 2, 3], outDir, extra = [], env = {}}) {
  const args = [
    '--port', '0', '--web', process.env.QUVI_WEB_ROOT || path.dirname(here), '--out', outDir,
    '--channels', channels.join(','), '--default', 'HostIP=127.0.0.1', '--default',
    'HostPort=' + streamPort, '--default', 'LoginUser=admin', '--default', 'Password=admin',
    ...extra
  ];
  const child = new Child('quvi-web', program('QUVI_WEB'), args, env);
  const first = await child.firstLine;
  const match = first.match(/https?:\/\/\S+/);
  if (!match) throw new Error('quvi-web printed no URL: ' + first);
  child.url = match[0];
  child.outDir = outDir;
  return child;
}

// Headless Chromium from the machine (no browser download), without its background traffic.
export async function launchBrowser() {
  const args = [
    '--disable-background-networking',
    '--disable-component-update',
    '--disable-default-apps',
    '--disable-sync',
    '--disable-extensions',
    '--no-first-run',
    '--no-default-browser-check',
    '--metrics-recording-only',
    '--mute-audio',
    '--disable-breakpad',
    '--disable-features=Translate,MediaRouter,OptimizationHints',
  ];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  return chromium.launch({
    executablePath: process.env.QUVI_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args,
  });
}

// Opens the page with `views` views and waits until every view has its control.
export async function openPage(browser, url, {views = 1, width = 1400, height = 1000} = {}) {
  const context = await browser.newContext({viewport: {width, height}, acceptDownloads: true});
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push('page error: ' + e.message));
  page.on('console', (m) => {
    if (m.type() === 'error') problems.push('console: ' + m.text());
  });
  await page.goto(url + (url.includes('?') ? '&' : '?') + 'views=' + views);
  await page.waitForSelector('body[data-ready="true"]', {timeout: 20000});
  page.problems = problems;
  return page;
}

export function tile(page, index) { return page.locator('.tile[data-view="' + index + '"]'); }

export function panel(page, index) { return page.locator('.panel[data-view="' + index + '"]'); }

// Selects a view (its panel shows) by clicking its title bar.
export async function selectView(page, index) {
  await tile(page, index).locator('header').click();
  await panel(page, index).waitFor({state: 'visible'});
}

// What the view's canvas shows, as {width, height, data} (RGBA bytes), with the number of
// pictures drawn into it and the sequence number of the last. The picture comes scaled down
// to at most `maxWidth` pixels across (moving megabytes out of the browser for every look
// would make the tests slow); what the tests look for is far larger than a pixel.
export async function readCanvas(page, index, maxWidth = 240) {
  const read = await page.evaluate(([i, limit]) => {
    const canvas = document.querySelector('.tile[data-view="' + i + '"] canvas');
    const scale = Math.min(1, limit / canvas.width);
    const width = Math.max(1, Math.round(canvas.width * scale));
    const height = Math.max(1, Math.round(canvas.height * scale));
    const copy = new OffscreenCanvas(width, height);
    const context = copy.getContext('2d', {willReadFrequently: true});
    context.drawImage(canvas, 0, 0, width, height);
    const bytes = context.getImageData(0, 0, width, height).data;
    let text = '';
    for (let o = 0; o < bytes.length; o += 0x8000) {
      text += String.fromCharCode.apply(null, bytes.subarray(o, o + 0x8000));
    }
    const view = window.quviPage.views[i];
    const stats = view.control !== null ? window.quviStats.views[view.control] : undefined;
    return {
      width,
      height,
      base64: btoa(text),
      drawn: stats ? stats.drawn : 0,
      sequence: stats ? stats.lastSequence : 0,
    };
  }, [index, maxWidth]);
  const {base64, ...rest} = read;
  return {...rest, data: Buffer.from(base64, 'base64')};
}

// The pictures drawn into a view so far.
export async function picturesDrawn(page, index) {
  return page.evaluate((i) => {
    const view = window.quviPage.views[i];
    const stats = view.control !== null ? window.quviStats.views[view.control] : undefined;
    return stats ? stats.drawn : 0;
  }, index);
}

// Mean colour of a small square around (fx, fy), given as fractions of the picture.
function colourAt(picture, fx, fy, radius = 3) {
  const cx = Math.round(fx * (picture.width - 1));
  const cy = Math.round(fy * (picture.height - 1));
  const sum = [0, 0, 0];
  let n = 0;
  for (let y = Math.max(cy - radius, 0); y <= Math.min(cy + radius, picture.height - 1); y++) {
    for (let x = Math.max(cx - radius, 0); x <= Math.min(cx + radius, picture.width - 1); x++) {
      const o = (y * picture.width + x) * 4;
      sum[0] += picture.data[o];
      sum[1] += picture.data[o + 1];
      sum[2] += picture.data[o + 2];
      n++;
    }
  }
  return sum.map((s) => s / n);
}

// The generator's eight 75% colour bars (BT.601 studio range YUV), as RGB.
const kBarsYuv = [
  [180, 128, 128], [162, 44, 142], [131, 156, 44], [112, 72, 58], [84, 184, 198], [65, 100, 212],
  [35, 212, 114], [16, 128, 128]
];

function yuvToRgb([y, u, v]) {
  const c = 1.164 * (y - 16);
  const clamp = (x) => Math.max(0, Math.min(255, x));
  return [
    clamp(c + 1.596 * (v - 128)), clamp(c - 0.813 * (v - 128) - 0.391 * (u - 128)),
    clamp(c + 2.018 * (u - 128))
  ];
}

const kBarColours = kBarsYuv.map(yuvToRgb);

// Which bar a colour is nearest to, and how far it lies from it (largest channel difference).
function nearestBar(rgb) {
  let best = -1, bestDistance = Infinity;
  kBarColours.forEach((bar, i) => {
    const d = Math.max(...bar.map((c, k) => Math.abs(c - rgb[k])));
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  });
  return {bar: best, distance: bestDistance};
}

// The bars the picture shows along a row at fraction `fy`, sampled at `fractions` of its
// width: [{bar, distance}].
export function barsAlong(picture, fractions, fy = 0.55) {
  return fractions.map((fx) => nearestBar(colourAt(picture, fx, fy)));
}

// True when the picture shows the generator's eight bars in order, each close to its colour.
export function showsColourBars(picture, tolerance = 48) {
  const seen = barsAlong(picture, kBarColours.map((_, i) => (i + 0.5) / 8));
  return seen.every((s, i) => s.bar === i && s.distance <= tolerance);
}

// Horizontal position (fraction of the width) of the generator's moving block in the band
// below the bars, or null when no block shows: its pixels are much redder than green, the
// ramp around it is grey.
export function blockPosition(picture) {
  const y = Math.round(picture.height * 0.875);
  let sum = 0, n = 0;
  for (let x = 0; x < picture.width; x++) {
    const o = (y * picture.width + x) * 4;
    if (picture.data[o] - picture.data[o + 1] > 45) {
      sum += x;
      n++;
    }
  }
  return n >= picture.width / 40 ? sum / n / picture.width : null;
}

// Share of the picture's pixels that are not black.
export function litShare(picture) {
  let lit = 0;
  for (let o = 0; o < picture.data.length; o += 4) {
    if (picture.data[o] + picture.data[o + 1] + picture.data[o + 2] > 60) lit++;
  }
  return lit / (picture.data.length / 4);
}

// The box around the picture's lit pixels, as fractions of its size, or null when all is
// black.
export function litBox(picture) {
  let left = Infinity, top = Infinity, right = -1, bottom = -1;
  for (let y = 0; y < picture.height; y++) {
    for (let x = 0; x < picture.width; x++) {
      const o = (y * picture.width + x) * 4;
      if (picture.data[o] + picture.data[o + 1] + picture.data[o + 2] <= 60) continue;
      left = Math.min(left, x);
      right = Math.max(right, x);
      top = Math.min(top, y);
      bottom = Math.max(bottom, y);
    }
  }
  if (right < 0) return null;
  return {
    left: left / picture.width,
    top: top / picture.height,
    right: (right + 1) / picture.width,
    bottom: (bottom + 1) / picture.height
  };
}

// A JPEG decoded by the page's browser, as readCanvas gives pictures.
export async function decodeJpeg(page, bytes) {
  const read = await page.evaluate(async (base64) => {
    const data = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const bitmap = await createImageBitmap(new Blob([data], {type: 'image/jpeg'}));
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const pixels = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    let text = '';
    for (let o = 0; o < pixels.length; o += 0x8000) {
      text += String.fromCharCode.apply(null, pixels.subarray(o, o + 0x8000));
    }
    return {width: bitmap.width, height: bitmap.height, base64: btoa(text)};
  }, Buffer.from(bytes).toString('base64'));
  return {width: read.width, height: read.height, data: Buffer.from(read.base64, 'base64')};
}

// The sound a WAV file holds, as the sound module writes it (PCM, 16 bits): its sample rate
// and the first channel's samples; null while the file has no data yet.
export function readWav(file) {
  if (!fs.existsSync(file)) return null;
  const bytes = fs.readFileSync(file);
  if (bytes.length < 12 || bytes.toString('latin1', 0, 4) !== 'RIFF') return null;
  let format = null;
  for (let at = 12; at + 8 <= bytes.length;) {
    const id = bytes.toString('latin1', at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    if (id === 'fmt ') {
      format = {
        channels: bytes.readUInt16LE(at + 10),
        rate: bytes.readUInt32LE(at + 12),
        bits: bytes.readUInt16LE(at + 22)
      };
    } else if (id === 'data' && format && format.bits === 16) {
      const end = Math.min(bytes.length, at + 8 + size);
      const samples = [];
      for (let o = at + 8; o + 2 * format.channels <= end; o += 2 * format.channels) {
        samples.push(bytes.readInt16LE(o));
      }
      return {rate: format.rate, samples};
    }
    at += 8 + size + (size & 1);
  }
  return null;
}

// Loudness (root mean square) and frequency (from the zero crossings) of samples.
export function measureTone(samples, rate) {
  let sum = 0, crossings = 0;
  for (let i = 0; i < samples.length; i++) {
    sum += samples[i] * samples[i];
    if (i > 0 && (samples[i - 1] < 0) !== (samples[i] < 0)) crossings++;
  }
  return {
    rms: Math.sqrt(sum / Math.max(samples.length, 1)),
    hz: crossings / 2 / (samples.length / rate)
  };
}

// A TCP relay in front of a server that holds every connection until release() is called:
// a view through it stays "connecting" as long as the test wants.
export async function startHoldingRelay(targetPort) {
  const held = [];
  let released = false;
  const connect = (client, buffered) => {
    const upstream = net.connect(targetPort, '127.0.0.1', () => {
      for (const chunk of buffered) upstream.write(chunk);
      client.pipe(upstream);
      upstream.pipe(client);
    });
    upstream.on('error', () => client.destroy());
    client.on('error', () => upstream.destroy());
    client.on('close', () => upstream.destroy());
  };
  const server = net.createServer((client) => {
    if (released) {
      connect(client, []);
      return;
    }
    const buffered = [];
    const keep = (d) => buffered.push(d);
    client.on('data', keep);
    client.on('error', () => {});
    held.push({client, buffered, keep});
  });
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  return {
    port: server.address().port,
    get heldCount() { return held.length; },
    release() {
      released = true;
      for (const {client, buffered, keep} of held.splice(0)) {
        client.off('data', keep);
        client.pause();
        if (!client.destroyed) connect(client, buffered);
      }
    },
    close() {
      server.close();
      for (const {client} of held) client.destroy();
    },
  };
}

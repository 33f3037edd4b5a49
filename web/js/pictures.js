// Pictures of the controls' windows: the binary message's header, drawing the newest picture
// of a view into its canvas, and the latency figures the page exposes as window.quviStats.
// Runs on the page's only thread.

export const kHeaderBytes = 32;
const kMagic = 0x46505651;  // "QVPF" read as a little-endian uint32

// The page's clock in ms since the Unix epoch, comparable with the server's stamps.
export function pageClockMs() { return performance.timeOrigin + performance.now(); }

// The header of one picture message, or null when the message is no picture.
export function parsePictureHeader(buffer) {
  if (buffer.byteLength < kHeaderBytes) return null;
  const view = new DataView(buffer);
  if (view.getUint32(0, true) !== kMagic) return null;
  return {
    control: view.getUint32(4, true),
    sequence: view.getUint32(8, true),
    width: view.getUint16(12, true),
    height: view.getUint16(14, true),
    arrivalMs: view.getFloat64(16, true),
    encodedMs: view.getFloat64(24, true),
  };
}

// A window of the latest samples, with median and 95th percentile on demand.
class SampleWindow {
  constructor(size) {
    this.size = size;
    this.samples = [];
    this.next = 0;
  }

  add(value) {
    if (this.samples.length < this.size) {
      this.samples.push(value);
    } else {
      this.samples[this.next] = value;
      this.next = (this.next + 1) % this.size;
    }
  }

  clear() {
    this.samples = [];
    this.next = 0;
  }

  summary() {
    const sorted = [...this.samples].sort((a, b) => a - b);
    const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
    if (sorted.length === 0) return {count: 0, median: null, p95: null, max: null};
    return {count: sorted.length, median: at(0.5), p95: at(0.95), max: sorted[sorted.length - 1]};
  }
}

// Figures of every view's pictures. `latency`: the page's clock when a picture is drawn minus
// the arrival of the newest package it shows at the control; `serverToDraw`: minus the time
// the server encoded it.
export class PictureStats {
  constructor() {
    this.latencyWindow = new SampleWindow(6000);
    this.serverWindow = new SampleWindow(6000);
    this.views = {};
    this.picturesDrawn = 0;
  }

  view(control) {
    if (!this.views[control]) {
      this.views[control] = {
        received: 0,
        drawn: 0,
        skipped: 0,
        lastSequence: 0,
        width: 0,
        height: 0,
        firstDrawnMs: 0,
        lastDrawnMs: 0
      };
    }
    return this.views[control];
  }

  received(header) { this.view(header.control).received++; }

  drawn(header, nowMs) {
    const v = this.view(header.control);
    if (v.lastSequence !== 0 && header.sequence > v.lastSequence + 1) {
      v.skipped += header.sequence - v.lastSequence - 1;
    }
    v.lastSequence = header.sequence;
    v.drawn++;
    v.width = header.width;
    v.height = header.height;
    if (!v.firstDrawnMs) v.firstDrawnMs = nowMs;
    v.lastDrawnMs = nowMs;
    this.picturesDrawn++;
    if (header.arrivalMs > 0) this.latencyWindow.add(nowMs - header.arrivalMs);
    this.serverWindow.add(nowMs - header.encodedMs);
  }

  get latency() { return this.latencyWindow.summary(); }

  get serverToDraw() { return this.serverWindow.summary(); }

  reset() {
    this.latencyWindow.clear();
    this.serverWindow.clear();
    this.views = {};
    this.picturesDrawn = 0;
  }
}

// Draws the pictures of one view into its canvas: decodes at most one JPEG at a time and,
// while one decodes, keeps only the newest that arrived (latest wins, as on the server).
export class PictureDrawer {
  constructor(canvas, stats, onDrawn) {
    this.canvas = canvas;
    this.context = canvas.getContext('2d');
    this.stats = stats;
    this.onDrawn = onDrawn;
    this.decoding = false;
    this.waiting = null;
    this.lastSequence = 0;
    this.generation = 0;
  }

  push(buffer) {
    const header = parsePictureHeader(buffer);
    if (!header) return;
    this.stats.received(header);
    this.waiting = {header, buffer};
    if (!this.decoding) this.drawNext();
  }

  // Forgets the picture shown and any that waits (the view stopped or restarts).
  clear() {
    this.generation++;
    this.waiting = null;
    this.context.fillStyle = '#000';
    this.context.fillRect(0, 0, this.canvas.width, this.canvas.height);
  }

  async drawNext() {
    const next = this.waiting;
    this.waiting = null;
    if (!next) return;
    this.decoding = true;
    const generation = this.generation;
    try {
      const jpeg = new Blob([new Uint8Array(next.buffer, kHeaderBytes)], {type: 'image/jpeg'});
      const bitmap = await createImageBitmap(jpeg);
      if (generation === this.generation && next.header.sequence > this.lastSequence) {
        if (this.canvas.width !== bitmap.width || this.canvas.height !== bitmap.height) {
          this.canvas.width = bitmap.width;
          this.canvas.height = bitmap.height;
        }
        this.context.drawImage(bitmap, 0, 0);
        this.lastSequence = next.header.sequence;
        const now = pageClockMs();
        this.stats.drawn(next.header, now);
        this.onDrawn(next.header, now);
      }
      bitmap.close();
    } catch (e) {
      this.onDrawn(null, 0, e);
    } finally {
      this.decoding = false;
    }
    if (this.waiting) this.drawNext();
  }
}

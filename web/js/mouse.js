// Mouse input on a view's picture, forwarded to the control's window in window pixels (the
// canvas is scaled to the tile, the window has its own size). Moves are coalesced to one
// per animation frame, and a pending move is always sent before a press or release so the
// control sees the pointer where the button changed. A second press soon after a release of
// the same button at the same place goes as `dblclick`, as the desktop sends it in place of
// that press.

const kButtons = ['left', 'middle', 'right'];
const kDoubleClickMs = 500;
const kDoubleClickSlop = 4;  // CSS pixels

export class MouseForwarder {
  // `view` gives windowSize(), sendMouse(type, fields), zoomMode() (digital zoom is on),
  // wheelZoom(x, y, zoomIn) for a wheel notch, and dragBox (the element showing a drag).
  constructor(canvas, view) {
    this.canvas = canvas;
    this.view = view;
    this.pendingMove = null;
    this.moveScheduled = false;
    this.dragStart = null;
    this.lastRelease = null;  // {button, atMs, x, y} of the last release, for double clicks

    canvas.addEventListener('pointerdown', (e) => this.button('down', e));
    canvas.addEventListener('pointerup', (e) => this.button('up', e));
    canvas.addEventListener('pointermove', (e) => this.move(e));
    canvas.addEventListener('wheel', (e) => this.wheel(e), {passive: false});
    canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  }

  // The event's point in the control window's pixels.
  windowPoint(e) {
    const box = this.canvas.getBoundingClientRect();
    const {width, height} = this.view.windowSize();
    const x = Math.round(((e.clientX - box.left) / Math.max(box.width, 1)) * width);
    const y = Math.round(((e.clientY - box.top) / Math.max(box.height, 1)) * height);
    return {x: Math.min(Math.max(x, 0), width), y: Math.min(Math.max(y, 0), height)};
  }

  fields(e) {
    const {x, y} = this.windowPoint(e);
    return {button: kButtons[e.button] || 'left', x, y, ctrl: e.ctrlKey, shift: e.shiftKey};
  }

  send(type, e) { this.view.sendMouse(type, this.fields(e)); }

  flushMove() {
    if (this.pendingMove) {
      this.view.sendMouse('move', this.pendingMove);
      this.pendingMove = null;
    }
  }

  move(e) {
    this.pendingMove = this.fields(e);
    this.updateDragBox(e);
    if (this.moveScheduled) return;
    this.moveScheduled = true;
    requestAnimationFrame(() => {
      this.moveScheduled = false;
      this.flushMove();
    });
  }

  button(type, e) {
    if (type === 'down') {
      this.canvas.setPointerCapture(e.pointerId);
      if (e.button === 0 && this.view.zoomMode()) this.startDragBox(e);
      if (this.isSecondPress(e)) type = 'dblclick';
    } else {
      this.endDragBox();
      this.lastRelease = {button: e.button, atMs: e.timeStamp, x: e.clientX, y: e.clientY};
    }
    this.pendingMove = this.fields(e);
    this.flushMove();
    this.send(type, e);
  }

  isSecondPress(e) {
    const last = this.lastRelease;
    this.lastRelease = null;
    return last !== null && last.button === e.button && e.timeStamp - last.atMs < kDoubleClickMs &&
        Math.abs(e.clientX - last.x) <= kDoubleClickSlop &&
        Math.abs(e.clientY - last.y) <= kDoubleClickSlop;
  }

  wheel(e) {
    if (!this.view.zoomMode() || e.deltaY === 0) return;
    e.preventDefault();
    const {x, y} = this.windowPoint(e);
    this.view.wheelZoom(x, y, e.deltaY < 0);
  }

  // The rectangle a zoom drag selects, drawn over the picture until the button is released.
  startDragBox(e) {
    const box = this.canvas.getBoundingClientRect();
    this.dragStart = {x: e.clientX - box.left, y: e.clientY - box.top};
    this.updateDragBox(e);
  }

  updateDragBox(e) {
    const element = this.view.dragBox;
    if (!this.dragStart || !element) return;
    const box = this.canvas.getBoundingClientRect();
    const x = e.clientX - box.left, y = e.clientY - box.top;
    element.style.left = Math.min(x, this.dragStart.x) + 'px';
    element.style.top = Math.min(y, this.dragStart.y) + 'px';
    element.style.width = Math.abs(x - this.dragStart.x) + 'px';
    element.style.height = Math.abs(y - this.dragStart.y) + 'px';
    element.hidden = false;
  }

  endDragBox() {
    this.dragStart = null;
    if (this.view.dragBox) this.view.dragBox.hidden = true;
  }
}

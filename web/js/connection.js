// The page's one WebSocket to quvi-web: requests with their replies as promises, events and
// pictures handed to whoever listens for a control. Runs on the page's only thread.

// The access token the page was opened with; the server also keeps it in a cookie.
export function pageToken() {
  return new URLSearchParams(window.location.search).get('token') || '';
}

// A URL of the server with the page's token added (downloads, the WebSocket).
export function withToken(path) {
  const token = pageToken();
  if (!token) return path;
  return path + (path.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token);
}

export class HostError extends Error {
  constructor(reply) {
    super(reply.error || 'request failed');
    this.code = reply.code || 0;
  }
}

export class HostConnection {
  constructor() {
    this.socket = null;
    this.nextId = 1;
    this.pending = new Map();           // id -> {resolve, reject}
    this.controlListeners = new Map();  // control -> {onEvent, onPicture}
    this.onPageMessage = () => {};      // replies without a request, events of no known control
    this.onClose = () => {};
  }

  open() {
    const scheme = window.location.protocol === 'https:' ? 'wss://' : 'ws://';
    const url = scheme + window.location.host + withToken('/ws');
    return new Promise((resolve, reject) => {
      const socket = new WebSocket(url);
      socket.binaryType = 'arraybuffer';
      let opened = false;
      socket.onopen = () => {
        opened = true;
        this.socket = socket;
        resolve();
      };
      socket.onerror = () => {
        if (!opened) reject(new Error('the page could not reach the server'));
      };
      socket.onclose = (e) => {
        this.socket = null;
        for (const {reject: fail} of this.pending.values()) {
          fail(new Error('connection closed'));
        }
        this.pending.clear();
        if (opened) this.onClose(e);
      };
      socket.onmessage = (e) => this.receive(e.data);
    });
  }

  get isOpen() { return this.socket !== null && this.socket.readyState === WebSocket.OPEN; }

  // Sends one request; resolves with the reply's fields, rejects with a HostError.
  request(op, fields = {}) {
    if (!this.isOpen) return Promise.reject(new Error('not connected'));
    const id = this.nextId++;
    const message = JSON.stringify({op, id, ...fields});
    return new Promise((resolve, reject) => {
      this.pending.set(id, {resolve, reject});
      this.socket.send(message);
    });
  }

  // Sends a request that has no reply unless it fails (mouse input).
  post(op, fields = {}) {
    if (this.isOpen) this.socket.send(JSON.stringify({op, ...fields}));
  }

  listen(control, listener) { this.controlListeners.set(control, listener); }

  forget(control) { this.controlListeners.delete(control); }

  receive(data) {
    if (data instanceof ArrayBuffer) {
      const control = data.byteLength >= 8 ? new DataView(data).getUint32(4, true) : -1;
      const listener = this.controlListeners.get(control);
      if (listener) listener.onPicture(data);
      return;
    }
    let message;
    try {
      message = JSON.parse(data);
    } catch {
      this.onPageMessage({error: 'unreadable message from the server'});
      return;
    }
    if (message.event !== undefined) {
      const listener = this.controlListeners.get(message.control);
      if (listener) {
        listener.onEvent(message);
      } else {
        this.onPageMessage(message);
      }
      return;
    }
    const waiting = message.id !== undefined ? this.pending.get(message.id) : undefined;
    if (!waiting) {
      this.onPageMessage(message);
      return;
    }
    this.pending.delete(message.id);
    if (message.ok) {
      waiting.resolve(message);
    } else {
      waiting.reject(new HostError(message));
    }
  }
}

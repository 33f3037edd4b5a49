// One view of the grid: a control on the server, its tile (picture, caption, the buttons a
// person uses most) and its panel (connection fields, PTZ, zoom, picture settings, sound,
// statistics and the event log). Runs on the page's only thread.

import {withToken} from './connection.js';
import {MouseForwarder} from './mouse.js';
import {PictureDrawer} from './pictures.js';
import {buildPtzPad, ptzCommand} from './ptz.js';

// The connection fields a person fills in, in the order shown. `advanced` ones sit in a
// folded part of the panel.
const kFields = [
  {name: 'HostIP', label: 'Host IP', type: 'text'},
  {name: 'HostPort', label: 'Host port', type: 'number'},
  {name: 'ChannelNo', label: 'Channel', type: 'channel'},
  {name: 'LoginUser', label: 'User', type: 'text'},
  {name: 'Password', label: 'Password', type: 'password'},
  {
    name: 'ConnectionType',
    label: 'Connection',
    type: 'select',
    options: [[0, 'Direct'], [1, 'Through stream-media relay']]
  },
  {name: 'StreamMediaIP', label: 'Relay IP', type: 'text', advanced: true},
  {name: 'StreamMediaPort', label: 'Relay port', type: 'number', advanced: true},
  {name: 'StreamMediaID', label: 'Relay ID', type: 'text', advanced: true},
  {name: 'DVRID', label: 'Recorder ID', type: 'text', advanced: true},
  {name: 'Token', label: 'Token', type: 'text', advanced: true},
  {name: 'LinkMode', label: 'Stream (link mode)', type: 'number', advanced: true},
  {name: 'PortNo', label: 'Player port', type: 'number', advanced: true},
  {name: 'TryTimes', label: 'Attempts', type: 'number', advanced: true},
  {name: 'ConnectTimeout', label: 'Connect time-out (ms)', type: 'number', advanced: true},
  {name: 'ReadTimeout', label: 'Read time-out (ms)', type: 'number', advanced: true},
];

// The caption texts the control shows while it connects, fails or plays; empty means the
// control's own default.
const kTips = [
  {name: 'TipConnectingMsg', label: 'Connecting'},
  {name: 'TipConnectFailedMsg', label: 'Connect failed'},
  {name: 'TipPlayFailedMsg', label: 'Play failed'},
];

const kVideoParams = ['Brightness', 'Contrast', 'Saturation', 'Hue'];

const kStatusTexts = {
  '-1': 'connecting',
  '-2': 'connect failed',
  '-5': 'connected, waiting for pictures',
  '-6': 'video arriving',
  '-7': 'handshake or read failed',
};

// Statistics read from the control while the view plays, and how each is shown.
const kPolled = [
  {name: 'FrameRateReceived', label: 'Frame rate', show: (v) => Number(v).toFixed(1) + ' fps'},
  {name: 'Bitrate', label: 'Bit rate', show: (v) => Number(v).toFixed(1)},
  {name: 'CurFrameNumReceived', label: 'Frames received', show: String},
  {name: 'IsPlaying', label: 'Playing', show: (v) => (v ? 'yes' : 'no')},
  {name: 'AudioPlaying', label: 'Sound', show: (v) => (v ? 'on' : 'off')},
];

const kLogLines = 300;
// The control's cursor directions (1-8: the 3 x 3 grid without its centre, row by row) as the
// names the style sheet gives CSS cursors.
const kCursorDirections = ['', 'nw', 'n', 'ne', 'w', 'e', 'sw', 's', 'se'];

function element(tag, props = {}, children = []) {
  const e = document.createElement(tag);
  for (const [key, value] of Object.entries(props)) {
    if (key === 'dataset') {
      Object.assign(e.dataset, value);
    } else if (key in e) {
      e[key] = value;
    } else {
      e.setAttribute(key, value);
    }
  }
  for (const child of children) e.append(child);
  return e;
}

function fmtTime(date = new Date()) {
  return date.toTimeString().slice(0, 8) + '.' + String(date.getMilliseconds()).padStart(3, '0');
}

export class View {
  // `page`: the connection, stats, server defaults and channels, and select(view).
  constructor(page, index, windowSize) {
    this.page = page;
    this.host = page.connection;
    this.index = index;
    this.control = null;
    this.window = {...windowSize};
    this.playing = false;
    this.recording = null;
    this.soundOn = false;
    this.ptzChain = Promise.resolve();
    this.pollTimer = null;
    this.received = {count: 0, bytes: 0, dropped: 0};
    this.captionText = '';
    this.captionHistory = [];
    this.fieldInputs = new Map();
    this.tipInputs = new Map();
    this.tipRead = new Map();
    this.sliders = new Map();
    this.buildTile();
    this.buildPanel();
    this.drawer = new PictureDrawer(
        this.canvas, page.stats, (header, now, error) => this.pictureDrawn(header, now, error));
    this.mouse = new MouseForwarder(this.canvas, this);
  }

  // ---- building -------------------------------------------------------------------------

  buildTile() {
    this.titleText = element('span', {className: 'title', textContent: 'View ' + (this.index + 1)});
    this.stateText = element('span', {className: 'state', textContent: 'starting'});
    this.canvas = element('canvas', {width: this.window.width, height: this.window.height});
    this.dragBox = element('div', {className: 'dragbox', hidden: true});
    this.captionLine = element('div', {className: 'caption', title: 'Caption of the control'});
    const screen = element('div', {className: 'screen'}, [this.canvas, this.dragBox]);
    this.screen = screen;

    this.playButton = element('button', {type: 'button', className: 'play', textContent: 'Play'});
    this.stopButton = element('button', {type: 'button', className: 'stop', textContent: 'Stop'});
    this.recordButton =
        element('button', {type: 'button', className: 'record', textContent: 'Record'});
    this.snapshotButton =
        element('button', {type: 'button', className: 'snapshot', textContent: 'Snapshot'});
    this.soundButton =
        element('button', {type: 'button', className: 'sound', textContent: 'Sound'});
    this.recordButton.setAttribute('aria-pressed', 'false');
    this.soundButton.setAttribute('aria-pressed', 'false');
    this.files = element('div', {className: 'files'});
    const toolbar = element('div', {className: 'toolbar'}, [
      this.playButton,
      this.stopButton,
      this.recordButton,
      this.snapshotButton,
      this.soundButton,
    ]);
    this.tile = element('section', {className: 'tile', dataset: {view: String(this.index)}}, [
      element('header', {}, [this.titleText, this.stateText]),
      screen,
      this.captionLine,
      toolbar,
      this.files,
    ]);
    this.tile.addEventListener('pointerdown', () => this.page.select(this), true);
    this.tile.addEventListener('focusin', () => this.page.select(this));

    this.playButton.addEventListener('click', () => this.play());
    this.stopButton.addEventListener('click', () => this.stop());
    this.recordButton.addEventListener('click', () => this.toggleRecord());
    this.snapshotButton.addEventListener('click', () => this.snapshot());
    this.soundButton.addEventListener('click', () => this.toggleSound());
    this.setBusy(true);
  }

  buildPanel() {
    const basic = element('div', {className: 'fields'});
    const advanced = element('div', {className: 'fields'});
    for (const field of kFields) {
      const input = this.fieldInput(field);
      this.fieldInputs.set(field.name, input);
      (field.advanced ? advanced : basic).append(element('label', {}, [
        element('span', {textContent: field.label}), input
      ]));
    }
    this.extraFields = advanced;

    const tips = element('div', {className: 'fields'});
    for (const tip of kTips) {
      const input = element('input', {type: 'text', name: tip.name});
      this.tipInputs.set(tip.name, input);
      tips.append(element('label', {}, [element('span', {textContent: tip.label}), input]));
    }

    const pad = element('div', {className: 'ptz-pad'});
    buildPtzPad(pad, (d) => this.ptz(d, 1), (d) => this.ptz(d, 0));
    this.ptzSpeed = element('input', {
      type: 'number',
      name: 'PTZSpeed',
      min: -1,
      max: 255,
      value: -1,
      title: '-1: the server\'s own speed'
    });
    this.quviMode = element('input', {type: 'checkbox', name: 'QuviMode'});
    this.cursorPtz = element('input', {type: 'checkbox', name: 'CursorCtrl'});
    this.digitalZoom = element('input', {type: 'checkbox', name: 'DigitalZoomMode'});
    const unzoom = element('button', {type: 'button', className: 'unzoom', textContent: 'Unzoom'});
    this.quviMode.addEventListener('change', () => this.putFlag('QuviMode', this.quviMode));
    this.cursorPtz.addEventListener('change', () => {
      this.screen.classList.toggle('cursor-ptz', this.cursorPtz.checked);
      this.putFlag('CursorCtrl', this.cursorPtz);
    });
    this.digitalZoom.addEventListener('change', () => {
      this.screen.classList.toggle('zoom-mode', this.digitalZoom.checked);
      this.putFlag('DigitalZoomMode', this.digitalZoom);
    });
    unzoom.addEventListener('click', () => this.call('invoke', {name: 'UnZoom'}, 'unzoom'));

    this.volume = element('input', {type: 'range', name: 'Volume', min: 0, max: 10, value: 5});
    this.volume.addEventListener('change', () => this.put('Volume', Number(this.volume.value)));

    const sliders = element('div', {className: 'sliders'});
    for (const name of kVideoParams) {
      const slider = element('input', {type: 'range', name, min: 0, max: 127, value: 0});
      const shown = element('output', {textContent: ''});
      slider.addEventListener('input', () => (shown.textContent = slider.value));
      slider.addEventListener('change', () => this.put(name, Number(slider.value)));
      this.sliders.set(name, {slider, shown});
      sliders.append(element('label', {}, [element('span', {textContent: name}), slider, shown]));
    }

    this.statsList = element('dl', {className: 'stats'});
    this.statValues = new Map();
    for (const label
             of [...kPolled.map((p) => p.label), 'Packages', 'Video', 'Pictures drawn',
                 'Latency (median / p95)', 'Last status']) {
      const dd = element('dd', {textContent: '-'});
      this.statValues.set(label, dd);
      this.statsList.append(element('dt', {textContent: label}), dd);
    }
    this.log = element('ol', {className: 'log'});
    this.panelCaption = element('div', {className: 'caption'});

    this.panel = element('div', {className: 'panel', dataset: {view: String(this.index)}}, [
      element('h2', {textContent: 'View ' + (this.index + 1)}),
      element('details', {open: true, className: 'connection'}, [
        element('summary', {textContent: 'Connection'}), basic,
        element('details', {className: 'more'},
                [element('summary', {textContent: 'More settings'}), advanced]),
      ]),
      element('fieldset', {className: 'ptz-box'}, [
        element('legend', {textContent: 'PTZ'}), pad,
        element('div', {className: 'options'}, [
          element('label', {}, [element('span', {textContent: 'Speed'}), this.ptzSpeed]),
          element('label', {}, [this.quviMode, element('span', {textContent: 'Quvi mode'})]),
          element('label', {}, [this.cursorPtz, element('span', {textContent: 'Cursor PTZ'})]),
          element('label', {}, [this.digitalZoom, element('span', {textContent: 'Digital zoom'})]),
          unzoom,
        ]),
      ]),
      element('fieldset', {}, [
        element('legend', {textContent: 'Sound'}),
        element('label', {}, [element('span', {textContent: 'Volume'}), this.volume]),
      ]),
      element('fieldset', {}, [element('legend', {textContent: 'Picture'}), sliders]),
      element('fieldset', {}, [
        element('legend', {textContent: 'Caption'}), this.panelCaption,
        element('details', {className: 'tips'},
                [element('summary', {textContent: 'Tip texts'}), tips]),
      ]),
      element('fieldset', {}, [element('legend', {textContent: 'Statistics'}), this.statsList]),
      element('fieldset', {className: 'log-box'}, [element('legend', {textContent: 'Events'}),
                                                    this.log]),
    ]);
  }

  fieldInput(field) {
    if (field.type === 'select') {
      const select = element('select', {name: field.name});
      for (const [value, text] of field.options) {
        select.append(element('option', {value: String(value), textContent: text}));
      }
      return select;
    }
    if (field.type === 'channel') {
      // A number with the server's channels offered as suggestions.
      const list = element('datalist', {id: 'channels-' + this.index});
      for (const ch of this.page.channels) list.append(element('option', {value: String(ch)}));
      const input = element('input', {type: 'number', name: field.name, min: 0, max: 65535});
      input.setAttribute('list', list.id);
      this.tile.append(list);
      return input;
    }
    return element('input', {type: field.type, name: field.name, autocomplete: 'off'});
  }

  // ---- life -----------------------------------------------------------------------------

  // Creates the control and fills the fields: the control's values, then the server's
  // defaults, then this view's channel from the server's list.
  async create() {
    const reply = await this.host.request('create', this.window);
    this.control = reply.control;
    this.host.listen(this.control, {
      onEvent: (e) => this.event(e),
      onPicture: (buffer) => this.drawer.push(buffer),
    });
    this.tile.dataset.control = String(this.control);
    this.note(
        'control ' + this.control + ' created (' + this.window.width + ' x ' + this.window.height +
        ')');
    const reads = kFields.map((f) => this.get(f.name).catch(() => null));
    const tipReads = kTips.map((t) => this.get(t.name).catch(() => ''));
    const values = await Promise.all(reads);
    kFields.forEach((f, i) => {
      if (values[i] !== null && values[i] !== undefined) this.setField(f.name, values[i]);
    });
    const tips = await Promise.all(tipReads);
    kTips.forEach((t, i) => {
      this.tipRead.set(t.name, tips[i]);
      this.tipInputs.get(t.name).value = tips[i];
    });
    for (const [name, value] of Object.entries(this.page.defaults)) this.setField(name, value);
    if (this.page.channels.length > 0) {
      this.setField('ChannelNo', this.page.channels[this.index % this.page.channels.length]);
    }
    // PortNo came with the rest: the server gave the control a player port of its own.
    await this.readSettings();
    this.showTitle();
    this.setState('idle');
    this.setBusy(false);
  }

  showTitle() {
    this.titleText.textContent = 'View ' + (this.index + 1) + ' \u00b7 ' +
        this.fieldValue('HostIP') + ':' + this.fieldValue('HostPort') + ' channel ' +
        this.fieldValue('ChannelNo');
  }

  // Fills a field; a name the panel has no field for gets one among the extra settings.
  setField(name, value) {
    // Member names are matched without regard to letter case, as the control does.
    const known = [...this.fieldInputs.keys()].find((k) => k.toLowerCase() === name.toLowerCase());
    let input = known !== undefined ? this.fieldInputs.get(known) : undefined;
    if (!input) {
      input = element('input', {type: 'text', name, autocomplete: 'off'});
      this.fieldInputs.set(name, input);
      this.extraFields.append(element('label', {}, [element('span', {textContent: name}), input]));
    }
    input.value = typeof value === 'boolean' ? (value ? '1' : '0') : String(value);
  }

  fieldValue(name) {
    const input = this.fieldInputs.get(name);
    if (input.type === 'number' || input.tagName === 'SELECT') {
      return input.value === '' ? 0 : Number(input.value);
    }
    return input.value;
  }

  // Reads what the panel shows of the control's settings.
  async readSettings() {
    const [volume, quvi, cursor, zoom, ...params] = await Promise.all([
      'Volume', 'QuviMode', 'CursorCtrl', 'DigitalZoomMode', ...kVideoParams
    ].map((n) => this.get(n).catch(() => null)));
    if (volume !== null) this.volume.value = volume;
    this.quviMode.checked = !!quvi;
    this.cursorPtz.checked = !!cursor;
    this.digitalZoom.checked = !!zoom;
    this.showVideoParams(params);
  }

  showVideoParams(values) {
    kVideoParams.forEach((name, i) => {
      if (values[i] === null || values[i] === undefined) return;
      const {slider, shown} = this.sliders.get(name);
      slider.value = values[i];
      shown.textContent = String(values[i]);
    });
  }

  async release() {
    this.stopPolling();
    if (this.control === null) return;
    const control = this.control;
    this.host.forget(control);
    this.control = null;
    try {
      await this.host.request('release', {control});
    } catch (e) {
      this.page.note('release of control ' + control + ': ' + e.message);
    }
  }

  async play() {
    if (this.control === null) return;
    this.setBusy(true);
    try {
      // The server takes the requests in order: every setting reaches the control before
      // the start, without waiting for each answer in between.
      const settings = [...this.fieldInputs.keys()].map((f) => this.put(f, this.fieldValue(f)));
      for (const [name, input] of this.tipInputs) {
        if (input.value !== this.tipRead.get(name)) {
          settings.push(this.put(name, input.value));
          this.tipRead.set(name, input.value);
        }
      }
      this.drawer.clear();
      this.received = {count: 0, bytes: 0, dropped: 0};
      const started = this.invoke('StartPlay');
      started.catch(() => {});  // judged below, after the settings
      const refused = (await Promise.allSettled(settings)).find((s) => s.status === 'rejected');
      await started;
      if (refused) this.fail('a setting', refused.reason);
      this.playing = true;
      this.note(
          'play: ' + this.fieldValue('HostIP') + ':' + this.fieldValue('HostPort') + ', channel ' +
          this.fieldValue('ChannelNo'));
      this.setState('starting');
      this.showTitle();
      this.startPolling();
    } catch (e) {
      this.fail('play', e);
    } finally {
      this.setBusy(false);
    }
  }

  async stop() {
    if (this.control === null) return;
    this.setBusy(true);
    try {
      if (this.recording) await this.toggleRecord();
      await this.invoke('StopPlay');
      this.note('stopped');
    } catch (e) {
      this.fail('stop', e);
    } finally {
      this.playing = false;
      this.soundOn = false;
      this.soundButton.setAttribute('aria-pressed', 'false');
      this.stopPolling();
      this.drawer.clear();
      this.setState('idle');
      this.setBusy(false);
      this.refreshCaption();
    }
  }

  async toggleRecord() {
    if (this.control === null) return;
    const on = !this.recording;
    try {
      const reply = await this.host.request('record', {control: this.control, on});
      if (on) {
        this.recording = {file: reply.file, url: reply.url};
        this.note('recording into ' + reply.file);
        this.showFile('record', 'Recording: ' + reply.file, null);
      } else {
        const file = this.recording;
        this.recording = null;
        this.note('recording ended: ' + file.file + ', ' + reply.bytes + ' bytes');
        this.showFile(
            'record', 'Recorded ' + file.file + ' (' + reply.bytes + ' bytes)', file.url,
            file.file);
      }
      this.recordButton.setAttribute('aria-pressed', String(!!this.recording));
    } catch (e) {
      this.fail('record', e);
    }
  }

  async snapshot() {
    if (this.control === null) return;
    try {
      const reply = await this.host.request('snapshot', {control: this.control});
      this.note('snapshot ' + reply.file);
      const link = this.showFile('snapshot', 'Snapshot ' + reply.file, reply.url, reply.file);
      link.click();
    } catch (e) {
      this.fail('snapshot', e);
    }
  }

  // Shows a file of the server under the tile, with a download link when it is complete.
  showFile(kind, text, url, name) {
    let line = this.files.querySelector('.' + kind);
    if (!line) {
      line = element('div', {className: kind});
      this.files.append(line);
    }
    line.replaceChildren();
    if (!url) {
      line.textContent = text;
      return null;
    }
    const link = element('a', {href: withToken(url), download: name, textContent: text});
    line.append(link);
    return link;
  }

  async toggleSound() {
    if (this.control === null) return;
    const on = !this.soundOn;
    try {
      if (on) await this.put('Volume', Number(this.volume.value));
      const ok = await this.invoke(on ? 'AudioOpen' : 'AudioClose');
      if (!ok) throw new Error((on ? 'AudioOpen' : 'AudioClose') + ' answered false');
      this.soundOn = on;
      this.soundButton.setAttribute('aria-pressed', String(on));
      this.note('sound ' + (on ? 'on' : 'off'));
    } catch (e) {
      this.fail('sound', e);
    }
  }

  // One PTZ press (value 1) or release (value 0): command, value, send; in the order pressed.
  ptz(direction, value) {
    const command = ptzCommand(direction, this.quviMode.checked);
    const speed = Number(this.ptzSpeed.value);
    this.ptzChain = this.ptzChain.then(async () => {
      if (this.control === null) return;
      try {
        await this.put('PTZSpeed', Number.isFinite(speed) ? speed : -1);
        await this.put('PTZCommandID', command);
        await this.put('PTZControlEnabled', value);
        const result = await this.invoke('SendPTZControlCommand');
        const what = 'PTZ command ' + command + ' ' + (value ? 'start' : 'stop');
        if (result === 0) {
          this.note(what);
        } else {
          this.note(what + ': result ' + result, 'error');
        }
      } catch (e) {
        this.fail('PTZ', e);
      }
    });
    return this.ptzChain;
  }

  putFlag(name, checkbox) { this.put(name, checkbox.checked).catch((e) => this.fail(name, e)); }

  wheelZoom(x, y, zoomIn) {
    this.call('invoke', {name: 'ZoomByPoint', args: [x, y, zoomIn ? 1 : 0]}, 'zoom');
  }

  zoomMode() { return this.digitalZoom.checked; }

  windowSize() { return this.window; }

  sendMouse(type, fields) {
    if (this.control !== null) this.host.post('mouse', {control: this.control, type, ...fields});
  }

  // Sets the control's window to a new size (the tile changed size).
  async resize(size) {
    if (this.control === null) return;
    if (size.width === this.window.width && size.height === this.window.height) return;
    try {
      await this.host.request('resize', {control: this.control, ...size});
      this.window = {...size};
    } catch (e) {
      this.fail('resize', e);
    }
  }

  // ---- members --------------------------------------------------------------------------

  async get(name) { return (await this.host.request('get', {control: this.control, name})).value; }

  async put(name, value) { await this.host.request('put', {control: this.control, name, value}); }

  async invoke(name, args = []) {
    return (await this.host.request('invoke', {control: this.control, name, args})).value;
  }

  call(op, fields, what) {
    if (this.control === null) return;
    this.host.request(op, {control: this.control, ...fields}).catch((e) => this.fail(what, e));
  }

  // ---- what the server tells --------------------------------------------------------------

  event(message) {
    const args = message.args || {};
    switch (message.event) {
      case 'OnStatusChanged': {
        const code = args.aCode !== undefined ? args.aCode : Object.values(args)[0];
        this.note('status ' + code + ' ' + (kStatusTexts[code] || ''));
        this.statValues.get('Last status').textContent = String(code);
        if (code === -6) {
          this.setState('playing');
          this.readVideoParams();
        } else if (kStatusTexts[code]) {
          this.setState(kStatusTexts[code]);
        }
        this.refreshCaption();
        break;
      }
      case 'OnReceiveData': {
        const r = this.received;
        r.count += message.count || 0;
        r.bytes += message.bytes || 0;
        r.dropped += message.dropped || 0;
        this.statValues.get('Packages').textContent = r.count + ' (' + (r.bytes / 1024).toFixed(0) +
            ' KiB)' + (r.dropped ? ', ' + r.dropped + ' dropped' : '');
        break;
      }
      case 'OnVideoInfoRead':
        this.note('video: codec ' + args.aCodec + ', ' + args.aWidth + ' x ' + args.aHeight);
        this.statValues.get('Video').textContent =
            args.aWidth + ' x ' + args.aHeight + ' (codec ' + args.aCodec + ')';
        break;
      case 'cursor':
        // The control's direction cursor over the middle of an edge (cursor PTZ), as a CSS
        // cursor; none: the screen's own (CSS) look.
        this.screen.dataset.direction = kCursorDirections[message.direction] || '';
        break;
      default:
        this.note(message.event + (Object.keys(args).length ? ' ' + JSON.stringify(args) : ''));
    }
  }

  async readVideoParams() {
    const values = await Promise.all(kVideoParams.map((n) => this.get(n).catch(() => null)));
    this.showVideoParams(values);
  }

  async refreshCaption() {
    if (this.control === null) return;
    try {
      const text = await this.get('Caption');
      if (text !== this.captionText) {
        this.captionText = text;
        this.captionHistory.push({text, atMs: performance.timeOrigin + performance.now()});
        this.captionLine.textContent = text;
        this.panelCaption.textContent = text || '(none)';
        if (text) this.note('caption: ' + text);
      }
    } catch {
      // the control is gone; its release is noted elsewhere
    }
  }

  pictureDrawn(header, now, error) {
    if (error) {
      this.note('a picture could not be drawn: ' + error.message, 'error');
      return;
    }
    this.tile.dataset.pictures = String(this.page.stats.view(this.control).drawn);
  }

  startPolling() {
    this.stopPolling();
    this.pollTimer = setInterval(() => this.poll(), 1000);
  }

  stopPolling() {
    if (this.pollTimer !== null) clearInterval(this.pollTimer);
    this.pollTimer = null;
  }

  async poll() {
    if (this.control === null) return;
    try {
      const values = await Promise.all(kPolled.map((p) => this.get(p.name)));
      kPolled.forEach((p, i) => (this.statValues.get(p.label).textContent = p.show(values[i])));
      const status = await this.invoke('GetLastError');
      this.statValues.get('Last status').textContent = String(status);
    } catch {
      return;
    }
    const v = this.page.stats.view(this.control);
    // Pictures the server sent and the page drew; skipped ones were replaced by newer ones on
    // the way (latest wins).
    this.statValues.get('Pictures drawn').textContent =
        v.drawn + ' of ' + v.received + ' received, ' + v.skipped + ' skipped';
    const lat = this.page.stats.latency;
    this.statValues.get('Latency (median / p95)').textContent =
        lat.count ? lat.median.toFixed(0) + ' / ' + lat.p95.toFixed(0) + ' ms' : '-';
    this.refreshCaption();
  }

  // ---- look ---------------------------------------------------------------------------

  setState(text) {
    this.stateText.textContent = text;
    this.tile.dataset.state = text;
  }

  setBusy(busy) {
    for (const b
             of [this.playButton, this.stopButton, this.recordButton, this.snapshotButton,
                 this.soundButton]) {
      b.disabled = busy || this.control === null;
    }
  }

  note(text, kind = 'info') {
    const line = element(
        'li', {className: kind},
        [element('time', {textContent: fmtTime()}), document.createTextNode(text)]);
    this.log.prepend(line);
    while (this.log.childElementCount > kLogLines) this.log.lastElementChild.remove();
  }

  fail(what, error) {
    const code = error.code ? ' (code ' + error.code + ')' : '';
    this.note(what + ' failed: ' + error.message + code, 'error');
  }
}

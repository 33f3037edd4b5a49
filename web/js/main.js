// The page: connects to quvi-web, asks for its defaults, and keeps a grid of 1, 4 or 9 views
// with the panel of the selected one. window.quviStats gives the picture figures (latency
// median and p95) and window.quviPage the views, for tests and measurements.

import {HostConnection} from './connection.js';
import {PictureStats} from './pictures.js';
import {View} from './view.js';

const kLayouts = [1, 4, 9];
const kFullWindow = {
  width: 704,
  height: 576
};
const kSmallestWindow = 176;

const grid = document.getElementById('grid');
const panels = document.getElementById('panels');
const statusLine = document.getElementById('status');
const pageLog = document.getElementById('page-log');

const page = {
  connection: new HostConnection(),
  stats: new PictureStats(),
  defaults: {},
  channels: [],
  limits: {maxControls: 9},
  version: '',
  views: [],
  selected: null,
  ready: false,
  layoutBusy: Promise.resolve(),

  select(view) {
    if (this.selected === view) return;
    this.selected = view;
    for (const v of this.views) {
      v.tile.classList.toggle('selected', v === view);
      v.panel.hidden = v !== view;
    }
  },

  note(text) {
    const line = document.createElement('li');
    line.textContent = new Date().toTimeString().slice(0, 8) + ' ' + text;
    pageLog.prepend(line);
    while (pageLog.childElementCount > 50) pageLog.lastElementChild.remove();
  },
};
window.quviPage = page;
window.quviStats = page.stats;

function setStatus(text, kind = '') {
  statusLine.textContent = text;
  statusLine.className = kind;
}

// The control window's size for a tile: the tile's picture area in device pixels, at most
// the full D1 picture, even numbers, in the picture's 704:576 shape.
function windowSizeFor(screen) {
  const width = screen.clientWidth * (window.devicePixelRatio || 1);
  if (!width) return {...kFullWindow};
  const w = Math.max(kSmallestWindow, Math.min(kFullWindow.width, Math.round(width / 2) * 2));
  const h = Math.round((w * kFullWindow.height) / kFullWindow.width / 2) * 2;
  return {width: w, height: h};
}

const resizeTimers = new Map();
const resizeObserver = new ResizeObserver((entries) => {
  for (const entry of entries) {
    const view = page.views.find((v) => v.screen === entry.target);
    if (!view) continue;
    clearTimeout(resizeTimers.get(view));
    resizeTimers.set(view, setTimeout(() => view.resize(windowSizeFor(view.screen)), 400));
  }
});

// Grows or shrinks the grid to `count` views: new views get new controls, views beyond the
// count are released.
function setLayout(count) {
  page.layoutBusy = page.layoutBusy.then(async () => {
    count = Math.min(count, page.limits.maxControls || count);
    grid.dataset.layout = String(count);
    for (const button of document.querySelectorAll('#layouts button')) {
      button.setAttribute('aria-pressed', String(Number(button.dataset.layout) === count));
    }
    while (page.views.length > count) {
      const view = page.views.pop();
      resizeObserver.unobserve(view.screen);
      view.tile.remove();
      view.panel.remove();
      await view.release();
    }
    while (page.views.length < count) {
      const view = new View(page, page.views.length, kFullWindow);
      page.views.push(view);
      grid.append(view.tile);
      view.panel.hidden = true;
      panels.append(view.panel);
      view.window = windowSizeFor(view.screen);
      try {
        await view.create();
        resizeObserver.observe(view.screen);
      } catch (e) {
        view.note('the control could not be created: ' + e.message, 'error');
        page.note('view ' + (view.index + 1) + ': ' + e.message);
      }
    }
    if (!page.views.includes(page.selected)) {
      page.selected = null;
      page.select(page.views[0]);
    }
  });
  return page.layoutBusy;
}

async function start() {
  const connection = page.connection;
  connection.onPageMessage = (message) => {
    if (message.ok === false || message.error) {
      page.note('server: ' + (message.error || JSON.stringify(message)));
    } else if (message.event) {
      page.note('event for control ' + message.control + ': ' + message.event);
    }
  };
  connection.onClose = (e) => {
    page.ready = false;
    setStatus(
        'Connection to the server lost' + (e.reason ? ': ' + e.reason : '') +
            ' \u2014 reload the page to reconnect.',
        'error');
    for (const view of page.views) view.setBusy(true);
  };
  setStatus('Connecting\u2026');
  try {
    await connection.open();
    const hello = await connection.request('hello');
    page.version = hello.version || '';
    page.defaults = hello.defaults || {};
    page.channels = Array.isArray(hello.channels) ? hello.channels : [];
    page.limits = hello.limits || page.limits;
  } catch (e) {
    setStatus('The server could not be reached: ' + e.message, 'error');
    return;
  }
  setStatus('Connected to quvi-web ' + page.version, 'ok');
  for (const button of document.querySelectorAll('#layouts button')) {
    const n = Number(button.dataset.layout);
    button.disabled = n > (page.limits.maxControls || 9);
    button.addEventListener('click', () => setLayout(n));
  }
  const asked = Number(new URLSearchParams(window.location.search).get('views'));
  await setLayout(kLayouts.includes(asked) ? asked : 1);
  page.ready = true;
  document.body.dataset.ready = 'true';
}

start();

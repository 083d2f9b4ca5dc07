// SPDX-License-Identifier: GPL-3.0-or-later
// The building's page: every projector's state from the bridge, pushed by
// its event stream (or, where that fails, the list asked again every
// second), and its commands sent back through the JSON API. Only the cards
// that changed are touched, so 500 projectors cost little; each keeps its
// element, so the keyboard focus stays where it was.
'use strict';

const kPollMs = 1000;
// Older data than this, or a bridge that does not answer, is said to be old.
const kStaleAfterMs = 5000;
// The event stream sends a heartbeat every 2 s; one not open by then has failed.
const kStreamOpenMs = 4000;
const kNotAllowed = 'Not allowed: open this page once with ?token=YOUR-TOKEN.';
// Most urgent first: the order of the cards and of the summary.
const kKinds = ['offline', 'error', 'warning', 'warming', 'cooling', 'on', 'off', 'unknown'];
const kAttention = new Set(['offline', 'error', 'warning', 'warming', 'cooling']);
const kKindFilter = {warning: 'warn', on: 'power:on', off: 'power:off', unknown: 'power:unknown'};
// Which reading puts each control's aria-pressed, and for which values.
const kPressedBy = {
  'power-on': ['power', ['on', 'warming']], 'power-off': ['power', ['off', 'cooling']],
  'pc1': ['input', ['pc1']], 'pc2': ['input', ['pc2']], 'video': ['input', ['video']],
  'no-show-on': ['mute', ['picture', 'both']], 'no-show-off': ['mute', ['off', 'sound']],
  'sound-mute-on': ['mute', ['sound', 'both']], 'sound-mute-off': ['mute', ['off', 'picture']],
};

const root = document.documentElement;
const list = document.getElementById('projectors');
const template = document.getElementById('projector-template');
const filter = document.getElementById('filter');
const summary = document.getElementById('summary');
const shown = document.getElementById('shown');
const nothing = document.getElementById('nothing');
const problem = document.getElementById('problem');
const freshness = document.getElementById('freshness');
const viewToggle = document.getElementById('view');
const dialog = document.getElementById('confirm');
const favicon = document.querySelector('link[rel="icon"]');

const cards = new Map();   // id → {element, report, json, kind, words}
const pending = new Map(); // id → report, shown at the next frame
let readings = [];         // {key, unit, label}, as the bridge names them
let siteTitle = '';
let lastDataAt = 0;        // Date.now() when the bridge last said anything
let orderChanged = false;
let flushQueued = false;
let polling = null;
// The cards on screen: only their ages are kept current as time passes.
const onScreen = new Set();
const watcher = new IntersectionObserver(entries => {
  for (const entry of entries) {
    const card = cards.get(entry.target.dataset.projector);
    if (!card) continue;
    if (entry.isIntersecting) {
      onScreen.add(card);
      showAges(card);
    } else {
      onScreen.delete(card);
    }
  }
});

// The token came once in the address; the cookie carries it from now on.
if (new URLSearchParams(location.search).has('token'))
  history.replaceState(null, '', location.pathname);

// ---- Words ----

function text(value, unit) {
  if (value === null || value === undefined) return '—';
  if (typeof value === 'boolean') return value ? 'yes' : 'no';
  if (Array.isArray(value)) return value.map(v => text(v, unit)).join(', ');
  return unit ? `${value} ${unit}` : String(value);
}

const two = n => String(n).padStart(2, '0');
function clock(ms) {
  const t = new Date(ms);
  return `${two(t.getHours())}:${two(t.getMinutes())}:${two(t.getSeconds())}`;
}

// Coarse on purpose: the words change every 10 s at most, not every second.
function age(iso) {
  if (!iso) return 'never';
  const seconds = Math.max(0, (Date.now() - Date.parse(iso)) / 1000);
  if (seconds < 10) return 'just now';
  if (seconds < 60) return `${Math.floor(seconds / 10) * 10} s ago`;
  if (seconds < 3600) return `${Math.floor(seconds / 60)} min ago`;
  return `${Math.floor(seconds / 3600)} h ago`;
}

function kindOf(p) {
  if (!p.online) return 'offline';
  if (p.power === 'error') return 'error';
  if (p.warnings.length) return 'warning';
  return kKinds.includes(p.power) ? p.power : 'unknown';
}

// What the filter matches: whole words, and "field:value" pairs.
function wordsOf(p, kind) {
  const words = new Set([p.id.toLowerCase(), ...p.id.toLowerCase().split(/[^a-z0-9]+/), kind,
                         p.online ? 'online' : 'offline']);
  for (const key of ['power', 'input', 'mute', 'signal']) {
    const value = p[key] === true ? 'yes' : p[key] === false ? 'no' : p[key];
    if (value !== null && value !== undefined) {
      words.add(String(value));
      words.add(`${key}:${value}`);
    }
  }
  if (p.warnings.length) words.add('warn');
  for (const warning of p.warnings)
    for (const word of warning.toLowerCase().split(/[^a-z0-9]+/)) words.add(word);
  if (kAttention.has(kind)) words.add('attention');
  return words;
}

// ---- Cards ----

// One row in the card's template for each reading, before "Last answer".
function addReadingRows() {
  const rows = template.content.querySelector('dl');
  const last = rows.querySelector('.last-answer');
  for (const reading of readings) {
    const row = document.createElement('div');
    const term = document.createElement('dt');
    const value = document.createElement('dd');
    const shownValue = document.createElement('span');
    const read = document.createElement('small');
    term.textContent = reading.label;
    shownValue.dataset.field = reading.key;
    read.className = 'age';
    read.dataset.age = reading.key;
    value.append(shownValue, ' ', read);
    row.append(term, value);
    rows.insertBefore(row, last);
  }
}

function setText(element, value) {
  if (element.textContent !== value) element.textContent = value;
}

function makeCard(id) {
  const element = template.content.firstElementChild.cloneNode(true);
  element.dataset.projector = id;
  const heading = element.querySelector('.id');
  heading.textContent = id;
  heading.id = `projector-${id}`;
  element.setAttribute('aria-labelledby', heading.id);
  const controls = element.querySelector('.controls');
  controls.setAttribute('aria-label', `Commands for ${id}`);
  const card = {element, report: null, json: '', kind: '', words: new Set(), sent: 0,
                fields: {}, ages: {}, buttons: {}};
  for (const e of element.querySelectorAll('[data-field]')) card.fields[e.dataset.field] = e;
  for (const e of element.querySelectorAll('[data-age]')) card.ages[e.dataset.age] = e;
  for (const button of controls.querySelectorAll('button')) {
    card.buttons[button.dataset.command] = button;
    button.setAttribute('aria-label', `${button.textContent}: ${id}`);
    button.addEventListener('click', () => commandClicked(card, id, button.dataset.command));
  }
  return card;
}

// Each reading's age from its own read time, and the last answer's.
function showAges(card) {
  const p = card.report;
  const stale = new Set(p.stale || []);
  for (const reading of readings) {
    const readAt = (p.read_at || {})[reading.key];
    const said = stale.has(reading.key) ? `(stale, read ${age(readAt)})` : readAt ? age(readAt) : '';
    setText(card.ages[reading.key], said);
  }
  setText(card.fields.last_answer_at, age(p.last_answer_at));
}

function show(card, p) {
  card.report = p;
  setText(card.fields.online, p.online ? 'online' : 'offline');
  const stale = new Set(p.stale || []);
  for (const reading of readings) {
    const element = card.fields[reading.key];
    setText(element, text(p[reading.key], reading.unit));
    element.parentElement.classList.toggle('stale', stale.has(reading.key));
    const readAt = (p.read_at || {})[reading.key];
    element.parentElement.title = readAt ? `read ${readAt}` : 'not read yet';
  }
  card.fields.last_answer_at.parentElement.title = p.last_answer_at || '';
  setText(card.fields.warnings, p.warnings.join('; '));
  showAges(card);
  for (const [command, [key, values]] of Object.entries(kPressedBy)) {
    const button = card.buttons[command];
    if (p[key] === null || p[key] === undefined || p[key] === 'unknown')
      button.removeAttribute('aria-pressed');
    else
      button.setAttribute('aria-pressed', String(values.includes(p[key])));
  }
  const kind = kindOf(p);
  if (kind !== card.kind) orderChanged = true;
  card.kind = kind;
  card.element.className = `projector kind-${kind} power-${p.power}${p.online ? '' : ' offline'}`;
  card.words = wordsOf(p, kind);
}

function take(p) {
  pending.set(p.id, p);
  if (!flushQueued) {
    flushQueued = true;
    requestAnimationFrame(flush);
  }
}

function remove(id) {
  pending.delete(id);
  const card = cards.get(id);
  if (!card) return;
  watcher.unobserve(card.element);
  onScreen.delete(card);
  card.element.remove();
  cards.delete(id);
  afterChange();
}

// The whole list: what is not in it any more goes.
function takeAll(projectors) {
  const ids = new Set(projectors.map(p => p.id));
  for (const id of [...cards.keys()])
    if (!ids.has(id)) remove(id);
  projectors.forEach(take);
}

function flush() {
  flushQueued = false;
  for (const p of pending.values()) {
    const json = JSON.stringify(p);
    let card = cards.get(p.id);
    if (card && card.json === json) continue;
    if (!card) {
      card = makeCard(p.id);
      cards.set(p.id, card);
      card.place = cards.size;
      list.appendChild(card.element);
      watcher.observe(card.element);
      orderChanged = true;
    }
    card.json = json;
    show(card, p);
  }
  pending.clear();
  afterChange();
}

function afterChange() {
  if (orderChanged) sortCards();
  orderChanged = false;
  applyFilter();
  summarise();
}

// Attention first, then as the bridge lists them; an element moves only
// when its place changed.
function sortCards() {
  const rank = card => kKinds.indexOf(card.kind);
  const sorted = [...cards.values()].sort((a, b) => rank(a) - rank(b) || a.place - b.place);
  let before = list.firstElementChild;
  for (const card of sorted) {
    if (card.element !== before) list.insertBefore(card.element, before);
    else before = before.nextElementSibling;
  }
}

// ---- Filter and summary ----

function matches(card, words) {
  return words.every(w => card.words.has(w) || card.report.id.toLowerCase().startsWith(w));
}

function applyFilter() {
  const words = filter.value.toLowerCase().split(/\s+/).filter(Boolean);
  let count = 0;
  for (const card of cards.values()) {
    const hide = !matches(card, words);
    if (card.element.hidden !== hide) card.element.hidden = hide;
    // A group's "show only these" hides the others its own way.
    count += hide || card.element.classList.contains('outside-group') ? 0 : 1;
  }
  setText(shown, count < cards.size || words.length ? `${count} of ${cards.size} shown` : `${cards.size} shown`);
  nothing.hidden = !(words.length && count === 0 && cards.size);
  if (!nothing.hidden) setText(nothing, `No projector matches “${filter.value.trim()}”.`);
  for (const button of summary.querySelectorAll('button'))
    button.setAttribute('aria-pressed', String(button.dataset.filter === filter.value.trim().toLowerCase()));
}

function summaryButton(kind) {
  const button = document.createElement('button');
  button.type = 'button';
  button.dataset.kind = kind;
  button.dataset.filter = kind === 'all' ? '' : (kKindFilter[kind] || kind);
  button.className = `count kind-${kind}`;
  button.addEventListener('click', () => {
    filter.value = button.getAttribute('aria-pressed') === 'true' ? '' : button.dataset.filter;
    applyFilter();
  });
  summary.appendChild(button);
  return button;
}

function summarise() {
  const counts = Object.fromEntries(kKinds.map(k => [k, 0]));
  for (const card of cards.values()) counts[card.kind] += 1;
  const attention = [...kAttention].reduce((sum, k) => sum + counts[k], 0);
  const all = summary.querySelector('[data-kind="all"]') || summaryButton('all');
  setText(all, `All ${cards.size}`);
  for (const kind of kKinds) {
    let button = summary.querySelector(`[data-kind="${kind}"]`);
    // A kind none is in is left out, but a count once shown stays, at 0.
    if (!button && !counts[kind]) continue;
    button = button || summaryButton(kind);
    setText(button, `${kind[0].toUpperCase()}${kind.slice(1)} ${counts[kind]}`);
  }
  [...summary.children]
    .sort((a, b) => kKinds.indexOf(a.dataset.kind) - kKinds.indexOf(b.dataset.kind))
    .forEach((b, i) => { if (summary.children[i] !== b) summary.insertBefore(b, summary.children[i]); });
  const name = siteTitle ? `${siteTitle} – Projectors` : 'Projectors';
  const title = attention ? `(${attention}) need attention – ${name}` : name;
  if (document.title !== title) document.title = title;
  const icon = attention ? 'favicon-attention.svg' : 'favicon.svg';
  if (!favicon.href.endsWith(icon)) favicon.href = icon;
}

// ---- Freshness ----

function heard() {
  lastDataAt = Date.now();
  complain('');
  checkFreshness();
}

function checkFreshness() {
  const stale = !lastDataAt || Date.now() - lastDataAt > kStaleAfterMs;
  if (root.dataset.stale !== String(stale)) root.dataset.stale = String(stale);
  setText(freshness, !lastDataAt ? 'no data yet'
                     : stale ? `data from ${clock(lastDataAt)}` : `updated ${clock(lastDataAt)}`);
}

function complain(message) {
  if (problem.hidden === !message && problem.textContent === (message || '')) return;
  problem.hidden = !message;
  problem.textContent = message || '';
}

// ---- Commands ----

// The page's one confirmation (the groups' commands ask through it too):
// then runs only on yes; "Cancel" has the focus, so Enter does no harm.
function askFirst(question, yes, then) {
  document.getElementById('confirm-question').textContent = question;
  document.getElementById('confirm-yes').textContent = yes;
  dialog.returnValue = '';
  dialog.onclose = () => { if (dialog.returnValue === 'yes') then(); };
  dialog.showModal();
  document.getElementById('confirm-no').focus();
}

function commandClicked(card, id, command) {
  if (command !== 'power-off') return send(card, id, command);
  askFirst(`Switch ${id} off?`, 'Switch off', () => send(card, id, command));
}

// What a reply says, in a word or two; a refusal is never "done".
function outcome(status, reply) {
  if (status === 422) return 'refused';
  if (status === 409) return 'busy';
  if (reply.error) return reply.error;
  if (status !== 200) return `failed (${status})`;
  return reply.answered ? 'done' : 'no answer';
}

async function send(card, id, command) {
  // Only the last command's reply is shown: an earlier one answered late
  // does not overwrite it.
  const mine = ++card.sent;
  const result = card.fields.result;
  const say = words => { if (card.sent === mine) result.textContent = words; };
  say(`${command}: pending`);
  try {
    const response = await fetch(`api/projectors/${encodeURIComponent(id)}/command`, {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: JSON.stringify({command}),
    });
    const reply = await response.json().catch(() => ({}));
    say(`${command}: ${outcome(response.status, reply)} at ${clock(Date.now())}`);
  } catch (error) {
    say(`${command}: not sent (${error.message}) at ${clock(Date.now())}`);
  }
  if (polling) poll();
}

// ---- Keyboard ----

function jump(step) {
  const headings = [...list.querySelectorAll('.projector:not([hidden]) .id')];
  if (!headings.length) return;
  const at = headings.findIndex(h => h.closest('.projector').contains(document.activeElement));
  const next = at < 0 ? (step > 0 ? 0 : headings.length - 1)
                      : Math.min(headings.length - 1, Math.max(0, at + step));
  headings[next].focus();
}

function keyPressed(event) {
  if (event.ctrlKey || event.metaKey || event.altKey || dialog.open) return;
  if (event.target.closest('input, textarea, select')) return;
  if (event.key === 'j') jump(1);
  else if (event.key === 'k') jump(-1);
  else if (event.key === '/') filter.focus();
  else return;
  event.preventDefault();
}

// ---- The bridge ----

async function fetchJson(path) {
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), kStaleAfterMs);
  try {
    const response = await fetch(path, {cache: 'no-store', signal: abort.signal});
    if (response.status === 401) throw new Error(kNotAllowed);
    if (!response.ok) throw new Error(`the bridge answered ${response.status}`);
    return await response.json();
  } finally {
    clearTimeout(timer);
  }
}

function cannotReach(error) {
  complain(error.message === kNotAllowed ? kNotAllowed
           : `Cannot reach the bridge (${error.name === 'AbortError' ? 'no answer' : error.message}); trying again.`);
}

async function poll() {
  try {
    takeAll(await fetchJson('api/projectors'));
    heard();
  } catch (error) {
    cannotReach(error);
  }
}

function startPolling() {
  if (polling) return;
  poll();
  polling = setInterval(poll, kPollMs);
}

// Pushed changes (the stream starts with the whole list); a browser or a
// bridge without the stream is polled.
function listen() {
  if (!window.EventSource) return startPolling();
  const stream = new EventSource('api/events');
  const opened = setTimeout(() => { stream.close(); startPolling(); }, kStreamOpenMs);
  const on = (name, handle) => stream.addEventListener(name, event => {
    clearTimeout(opened);
    heard();
    handle(JSON.parse(event.data));
  });
  on('snapshot', takeAll);
  on('projector', take);
  on('removed', message => remove(message.id));
  on('heartbeat', () => {});
  stream.onerror = () => {
    // Closed for good (refused, or no stream here): poll instead. Otherwise
    // the browser reconnects by itself, and the header says the data ages.
    if (stream.readyState === EventSource.CLOSED) {
      clearTimeout(opened);
      startPolling();
    }
  };
}

// The readings are named once, before the first card is made; asked
// again until the bridge answers.
async function start() {
  viewToggle.addEventListener('click', () => {
    const rows = viewToggle.getAttribute('aria-pressed') !== 'true';
    localStorage.setItem('velno.view', rows ? 'rows' : 'cards');
    setView(rows);
  });
  setView(localStorage.getItem('velno.view') === 'rows');
  document.getElementById('confirm-yes').addEventListener('click', () => dialog.close('yes'));
  document.getElementById('confirm-no').addEventListener('click', () => dialog.close('no'));
  document.addEventListener('keydown', keyPressed);
  setInterval(checkFreshness, 1000);
  setInterval(() => onScreen.forEach(showAges), 5000);
  for (;;) {
    try {
      const fields = await fetchJson('api/fields');
      readings = fields.readings;
      siteTitle = fields.title || '';
      break;
    } catch (error) {
      cannotReach(error);
    }
    await new Promise(resolve => setTimeout(resolve, kPollMs));
  }
  addReadingRows();
  filter.addEventListener('input', applyFilter);
  summarise();
  // The list at once, for a quick first picture; then its changes.
  await poll();
  listen();
}

function setView(rows) {
  viewToggle.setAttribute('aria-pressed', String(rows));
  root.classList.toggle('rows', rows);
}

start();

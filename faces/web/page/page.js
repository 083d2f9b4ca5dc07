// SPDX-License-Identifier: GPL-3.0-or-later
// The building's page: every projector's state from the bridge's JSON API,
// asked again every second, and its commands sent back through it. Each
// projector keeps its element, so the keyboard focus stays where it was.
'use strict';

const kRefreshMs = 1000;
const kNotAllowed = 'Not allowed: open this page once with ?token=YOUR-TOKEN.';
const list = document.getElementById('projectors');
const template = document.getElementById('projector-template');
const filter = document.getElementById('filter');
const summary = document.getElementById('summary');
const problem = document.getElementById('problem');
const cards = new Map();
let readings = []; // {key, unit, label}, as the bridge names them

// The token came once in the address; the cookie carries it from now on.
if (new URLSearchParams(location.search).has('token'))
  history.replaceState(null, '', location.pathname);

function text(value, unit) {
  if (value === null || value === undefined) return '—';
  if (Array.isArray(value)) return value.map(v => text(v, unit)).join(', ');
  return unit ? `${value} ${unit}` : String(value);
}

// One row in the card's template for each reading, before "Last answer".
function addReadingRows() {
  const list = template.content.querySelector('dl');
  const last = list.querySelector('.last-answer');
  for (const reading of readings) {
    const row = document.createElement('div');
    const term = document.createElement('dt');
    const value = document.createElement('dd');
    term.textContent = reading.label;
    value.dataset.field = reading.key;
    row.append(term, value);
    list.insertBefore(row, last);
  }
}

function age(seconds) {
  if (seconds === null || seconds === undefined) return 'never';
  if (seconds < 60) return `${Math.round(seconds)} s ago`;
  if (seconds < 3600) return `${Math.round(seconds / 60)} min ago`;
  return `${Math.round(seconds / 3600)} h ago`;
}

// How long ago an ISO 8601 time was, as age() says it.
function since(iso) {
  return iso ? age((Date.now() - Date.parse(iso)) / 1000) : age(null);
}

function field(card, name, value) {
  const element = card.querySelector(`[data-field="${name}"]`);
  if (element.textContent !== value) element.textContent = value;
}

function makeCard(id) {
  const card = template.content.firstElementChild.cloneNode(true);
  card.dataset.projector = id;
  const heading = card.querySelector('.id');
  heading.textContent = id;
  heading.id = `projector-${id}`;
  card.setAttribute('aria-labelledby', heading.id);
  const controls = card.querySelector('.controls');
  controls.setAttribute('aria-label', `Commands for ${id}`);
  for (const button of controls.querySelectorAll('button')) {
    button.setAttribute('aria-label', `${button.textContent}: ${id}`);
    button.addEventListener('click', () => send(card, id, button.dataset.command));
  }
  return card;
}

function show(card, p) {
  field(card, 'online', p.online ? 'online' : 'offline');
  const stale = new Set(p.stale || []);
  for (const reading of readings) {
    // A reading not read again lately is shown as the last one read, and says so.
    const value = text(p[reading.key], reading.unit);
    const readAt = (p.read_at || {})[reading.key];
    field(card, reading.key, stale.has(reading.key) ? `${value} (stale, read ${since(readAt)})` : value);
    const element = card.querySelector(`[data-field="${reading.key}"]`);
    element.classList.toggle('stale', stale.has(reading.key));
    element.title = readAt ? `read ${readAt}` : '';
  }
  field(card, 'last_answer_s', age(p.last_answer_s));
  field(card, 'warnings', p.warnings.join('; '));
  card.className = `projector power-${p.power}${p.online ? '' : ' offline'}`;
  card.dataset.search = [p.id, p.online ? 'online' : 'offline', p.power, p.input, ...p.warnings]
                          .join(' ').toLowerCase();
}

function applyFilter() {
  const words = filter.value.toLowerCase().split(/\s+/).filter(Boolean);
  for (const card of cards.values())
    card.hidden = !words.every(w => card.dataset.search.includes(w));
}

function render(projectors) {
  const seen = new Set();
  for (const p of projectors) {
    seen.add(p.id);
    let card = cards.get(p.id);
    if (!card) {
      card = makeCard(p.id);
      cards.set(p.id, card);
      list.appendChild(card);
    }
    show(card, p);
  }
  for (const [id, card] of cards)
    if (!seen.has(id)) { card.remove(); cards.delete(id); }
  applyFilter();
  const count = w => projectors.filter(w).length;
  summary.textContent = `${projectors.length} projectors: ${count(p => p.power === 'on')} on, ` +
                        `${count(p => !p.online)} offline, ${count(p => p.warnings.length)} with warnings`;
}

function complain(message) {
  problem.hidden = !message;
  problem.textContent = message || '';
}

async function refresh() {
  try {
    const response = await fetch('api/projectors', {cache: 'no-store'});
    if (response.status === 401) {
      complain(kNotAllowed);
      return;
    }
    if (!response.ok) throw new Error(`the bridge answered ${response.status}`);
    render(await response.json());
    complain('');
  } catch (error) {
    complain(`Cannot reach the bridge (${error.message}); trying again.`);
  }
}

async function send(card, id, command) {
  const outcome = card.querySelector('[data-field="outcome"]');
  outcome.textContent = `${command}: sending…`;
  try {
    const response = await fetch(`api/projectors/${encodeURIComponent(id)}/command`, {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: JSON.stringify({command}),
    });
    const reply = await response.json().catch(() => ({}));
    // 422: the projector answered, and refused the command.
    outcome.textContent = response.status === 422 ? `${command}: refused`
                          : reply.error ? `${command}: ${reply.error}`
                          : `${command}: ${reply.answered ? 'done' : 'no answer'}`;
  } catch (error) {
    outcome.textContent = `${command}: not sent (${error.message})`;
  }
  refresh();
}

// The readings are named once, before the first card is made; asked
// again until the bridge answers.
async function start() {
  for (;;) {
    try {
      const response = await fetch('api/fields', {cache: 'no-store'});
      if (response.ok) {
        readings = await response.json();
        break;
      }
      complain(response.status === 401 ? kNotAllowed : `The bridge answered ${response.status}; trying again.`);
    } catch (error) {
      complain(`Cannot reach the bridge (${error.message}); trying again.`);
    }
    await new Promise(resolve => setTimeout(resolve, kRefreshMs));
  }
  addReadingRows();
  filter.addEventListener('input', applyFilter);
  refresh();
  setInterval(refresh, kRefreshMs);
}

start();

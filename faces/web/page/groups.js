// SPDX-License-Identifier: GPL-3.0-or-later
// The page's groups: each with how many of its projectors are on, off and
// offline, its power commands behind a confirmation, what became of the
// last one for each member, and a filter that shows only its projectors.
'use strict';

(() => {
  const kRefreshMs = 5000;
  const section = document.getElementById('groups');
  if (!section) return;
  const heading = document.createElement('h2');
  heading.textContent = 'Groups';
  const list = document.createElement('ul');
  list.className = 'group-list';
  section.append(heading, list);
  const panels = new Map();
  let shownGroup = null; // the group whose projectors alone are shown

  function applyFilter() {
    const members = shownGroup && panels.get(shownGroup) ? panels.get(shownGroup).members : null;
    for (const card of document.querySelectorAll('[data-projector]'))
      card.classList.toggle('outside-group', members !== null && !members.includes(card.dataset.projector));
    for (const [id, panel] of panels)
      panel.filterButton.setAttribute('aria-pressed', String(id === shownGroup));
    // The page counts again what is shown.
    document.getElementById('filter').dispatchEvent(new Event('input'));
  }

  function memberWords(reply) {
    if (reply.error) return reply.error === 'refused by the projector' ? 'refused' : reply.error;
    return reply.answered ? 'done' : 'no answer';
  }

  function send(panel, command, words) {
    askFirst(`${words} every projector of the group ${panel.id}?`, words, () => run(panel, command));
  }

  async function run(panel, command) {
    panel.result.textContent = '';
    panel.status.textContent = `${command}: sent`;
    try {
      const response = await fetch(`api/groups/${encodeURIComponent(panel.id)}/command`, {
        method: 'POST', headers: {'Content-Type': 'application/json'},
        body: JSON.stringify({command}), cache: 'no-store'});
      const body = await response.json();
      const members = Object.entries(body.members || {});
      const followed = members.filter(([, reply]) => !reply.error && reply.answered).length;
      panel.status.textContent = body.error ? `${command}: ${body.error}`
        : `${command}: ${followed} of ${members.length} did it, at ${new Date().toLocaleTimeString()}`;
      for (const [id, reply] of members) {
        const item = document.createElement('li');
        item.dataset.member = id;
        item.textContent = `${id}: ${memberWords(reply)}`;
        panel.result.append(item);
      }
    } catch (error) {
      panel.status.textContent = `${command}: no answer from the bridge`;
    }
  }

  function makePanel(id) {
    const item = document.createElement('li');
    item.className = 'group';
    item.dataset.group = id;
    const title = document.createElement('h3');
    title.textContent = id;
    const summary = document.createElement('p');
    summary.dataset.field = 'group-summary';
    const controls = document.createElement('div');
    controls.className = 'controls';
    controls.setAttribute('role', 'group');
    controls.setAttribute('aria-label', `Commands for the group ${id}`);
    const panel = {id, members: [], summary, result: document.createElement('ul'),
                   status: document.createElement('p'), filterButton: document.createElement('button')};
    for (const [command, label, words] of [['power-on', 'All on', 'Switch on'],
                                           ['power-off', 'All off', 'Switch off']]) {
      const button = document.createElement('button');
      button.type = 'button';
      button.dataset.groupCommand = command;
      button.textContent = label;
      button.setAttribute('aria-label', `${label}: group ${id}`);
      button.addEventListener('click', () => send(panel, command, words));
      controls.append(button);
    }
    panel.filterButton.type = 'button';
    panel.filterButton.textContent = 'Show only these';
    panel.filterButton.dataset.groupFilter = id;
    panel.filterButton.addEventListener('click', () => {
      shownGroup = shownGroup === id ? null : id;
      applyFilter();
    });
    controls.append(panel.filterButton);
    panel.status.dataset.field = 'group-outcome';
    panel.status.setAttribute('role', 'status');
    panel.result.dataset.field = 'group-result';
    item.append(title, summary, controls, panel.status, panel.result);
    list.append(item);
    panels.set(id, panel);
    return panel;
  }

  async function refresh() {
    try {
      const response = await fetch('api/groups', {cache: 'no-store'});
      if (!response.ok) return;
      const groups = await response.json();
      for (const group of groups) {
        const panel = panels.get(group.id) || makePanel(group.id);
        panel.members = group.members;
        const s = group.summary;
        panel.summary.textContent =
          `${group.members.length} projectors: ${s.on} on, ${s.off} off, ${s.offline} offline` +
          (s.unknown ? `, ${s.unknown} unknown` : '');
      }
      for (const [id, panel] of panels)
        if (!groups.some(g => g.id === id)) {
          panel.summary.closest('li').remove();
          panels.delete(id);
          if (shownGroup === id) shownGroup = null;
        }
      section.hidden = false;
      applyFilter();
    } catch (error) {
      // The projectors' part of the page says when the bridge does not answer.
    }
  }

  refresh();
  setInterval(refresh, kRefreshMs);
})();

'use strict';
// What every page of the office shares: the session, logging out, and
// times shown in the browser's local time. Names are always put in as text.
const leverans = {
  session: null,

  async start() {
    const answer = await fetch('/api/session', {credentials: 'same-origin'});
    if (answer.status === 401) {
      location.assign('/logga-in');
      return null;
    }
    this.session = await answer.json();
    document.getElementById('vem').textContent = this.session.bil !== null
      ? 'Bil ' + this.session.bil + ' (' + this.session.roll + ')' : this.session.roll;
    if (this.session.bil !== null) {
      for (const link of document.querySelectorAll('.office-only')) link.hidden = true;
    }
    document.getElementById('logga-ut').addEventListener('click', () => this.logout());
    return this.session;
  },

  async logout() {
    await fetch('/api/logga-ut', {method: 'POST', headers: {'X-CSRF-Token': this.session.csrf}});
    location.assign('/logga-in');
  },

  minute(seconds) {
    if (seconds === null || seconds === undefined) return '';
    const at = new Date(seconds * 1000);
    const two = (n) => String(n).padStart(2, '0');
    return at.getFullYear() + '-' + two(at.getMonth() + 1) + '-' + two(at.getDate()) + ' ' +
      two(at.getHours()) + ':' + two(at.getMinutes());
  },

  cell(row, text, className, label) {
    const cell = row.insertCell();
    cell.textContent = text;
    if (className) cell.className = className;
    if (label) cell.dataset.label = label;
    return cell;
  },

  param(name) {
    return new URLSearchParams(location.search).get(name);
  },
};

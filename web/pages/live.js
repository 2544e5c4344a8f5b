'use strict';
// The fleet's day, pushed by the server over a WebSocket whenever a save
// reaches the office; nothing is asked of the database from here.
(async () => {
  const session = await leverans.start();
  if (!session) return;
  const quietMinutes = 20;
  const dateInput = document.getElementById('datum');
  const body = document.querySelector('#bilar tbody');
  const connection = document.getElementById('anslutning');
  const empty = document.getElementById('tom');
  const fault = document.getElementById('fel');
  let socket = null;
  let last = null;
  let retry = null;

  dateInput.value = leverans.param('datum') || session.idag;

  function state(van, now, today) {
    const parts = [];
    if (van.senastSparad === null) parts.push('Ej påbörjad');
    else if (van.sparade >= van.butiker) parts.push('Klar');
    else parts.push('Pågår');
    if (today && van.sparade < van.butiker &&
        (van.senastHord === null || now - van.senastHord > quietMinutes * 60)) {
      parts.push(van.senastHord === null ? 'aldrig hörd'
        : 'inte hörd på ' + Math.floor((now - van.senastHord) / 60) + ' min');
    }
    if (van.konflikter > 0) parts.push(van.konflikter + ' konflikter: ' + van.konfliktOrsak);
    return parts.join(', ');
  }

  function render() {
    if (!last) return;
    if (last.fel) {
      fault.textContent = last.fel;
      return;
    }
    fault.textContent = '';
    const now = Math.floor(Date.now() / 1000);
    const today = last.datum === session.idag;
    const old = new Map();
    for (const row of body.rows) old.set(row.dataset.bil, row.dataset.innehall);
    body.replaceChildren();
    for (const van of last.bilar) {
      const row = body.insertRow();
      row.dataset.bil = van.bil;
      const name = row.insertCell();
      name.dataset.label = 'Bil';
      const link = document.createElement('a');
      link.href = '/bil?' + new URLSearchParams({bil: van.bil, datum: last.datum});
      link.textContent = 'Bil ' + van.bil;
      name.append(link);
      leverans.cell(row, van.rutt, '', 'Rutt');
      leverans.cell(row, van.sparade + ' av ' + van.butiker, 'number', 'Sparade butiker');
      leverans.cell(row, leverans.minute(van.senastSparad), '', 'Senast sparad');
      leverans.cell(row, van.senastHord === null ? 'aldrig' : leverans.minute(van.senastHord), '',
        'Senast hörd');
      leverans.cell(row, van.nekade === 0 ? '0'
        : van.nekade + ' (' + van.nekadOrsak + (van.nekadTid ? ', ' + leverans.minute(van.nekadTid) : '') + ')',
        van.nekade > 0 ? 'warn' : '', 'Nekade sparningar');
      const summary = state(van, now, today);
      leverans.cell(row, summary, /hörd|konflikt/.test(summary) ? 'warn' : '', 'Läge');
      row.dataset.innehall = row.textContent;
      if (old.has(van.bil) && old.get(van.bil) !== row.dataset.innehall) row.classList.add('changed');
    }
    empty.hidden = last.bilar.length > 0;
  }

  function connect() {
    clearTimeout(retry);
    if (socket) {
      socket.onclose = null;
      socket.close();
    }
    const date = dateInput.value;
    document.getElementById('rapport').href = '/api/rapport?' + new URLSearchParams({datum: date});
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/api/lage?' + new URLSearchParams({datum: date}));
    socket.onopen = () => { connection.textContent = 'Uppdateras direkt'; };
    socket.onmessage = (event) => {
      last = JSON.parse(event.data);
      render();
      document.body.dataset.uppdaterad = String(Date.now());
    };
    socket.onclose = (event) => {
      if (event.code === 1008) {
        location.assign('/logga-in');
        return;
      }
      connection.textContent = 'Förbindelsen bröts – försöker igen …';
      retry = setTimeout(connect, 2000);
    };
  }

  dateInput.addEventListener('change', () => {
    if (!dateInput.value) return;
    history.replaceState(null, '', '?' + new URLSearchParams({datum: dateInput.value}));
    last = null;
    body.replaceChildren();
    connect();
  });
  // A person at work keeps the session; the pushes alone do not.
  let told = 0;
  for (const kind of ['keydown', 'pointerdown', 'pointermove']) {
    document.addEventListener(kind, () => {
      if (Date.now() - told > 60000 && socket && socket.readyState === WebSocket.OPEN) {
        socket.send('aktiv');
        told = Date.now();
      }
    });
  }
  setInterval(render, 30000);
  connect();
})();

'use strict';
(async () => {
  const form = document.getElementById('inloggning');
  const answer = document.getElementById('svar');
  const first = await fetch('/api/session', {credentials: 'same-origin'});
  const state = await first.json();
  if (state.inloggad) {
    location.assign('/');
    return;
  }
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    answer.textContent = 'Loggar in …';
    const body = new URLSearchParams(new FormData(form));
    const sent = await fetch('/api/logga-in', {
      method: 'POST',
      headers: {'X-CSRF-Token': state.csrf, 'Content-Type': 'application/x-www-form-urlencoded'},
      body,
    });
    const reply = await sent.json();
    if (sent.ok) {
      location.assign('/');
      return;
    }
    answer.textContent = reply.fel;
    document.getElementById('losenord').value = '';
  });
})();

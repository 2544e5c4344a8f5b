'use strict';
(async () => {
  const session = await leverans.start();
  if (!session) return;
  const form = document.getElementById('publicering');
  const answer = document.getElementById('svar');
  const fileInput = document.getElementById('fil');
  const drop = document.getElementById('slapp');
  document.getElementById('datum').value = leverans.param('datum') || session.idag;

  for (const kind of ['dragenter', 'dragover']) {
    drop.addEventListener(kind, (event) => {
      event.preventDefault();
      drop.classList.add('over');
    });
  }
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    if (event.dataTransfer.files.length > 0) fileInput.files = event.dataTransfer.files;
  });

  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    answer.className = 'message';
    answer.textContent = 'Publicerar …';
    const sent = await fetch('/api/publicera', {
      method: 'POST',
      headers: {'X-CSRF-Token': session.csrf},
      body: new FormData(form),
    });
    let reply;
    try {
      reply = await sent.json();
    } catch (e) {
      reply = {fel: 'Servern svarade ' + sent.status + '.'};
    }
    answer.className = sent.ok ? 'message ok' : 'message error';
    answer.textContent = sent.ok ? reply.text : reply.fel;
  });
})();

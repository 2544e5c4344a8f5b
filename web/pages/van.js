'use strict';
(async () => {
  const session = await leverans.start();
  if (!session) return;
  const van = leverans.param('bil') || session.bil || '';
  const date = leverans.param('datum') || session.idag;
  const fault = document.getElementById('fel');
  document.getElementById('rubrik').textContent = 'Bil ' + van + ', ' + date;
  const answer = await fetch('/api/bil?' + new URLSearchParams({bil: van, datum: date}));
  const day = await answer.json();
  if (!answer.ok) {
    fault.textContent = day.fel;
    return;
  }
  document.getElementById('rutt').textContent = 'Rutt: ' + day.rutt;
  const states = {
    sparad: 'Sparad', rattad: 'Rättad', overhoppad: 'Överhoppad', ej: 'Ej sparad ännu',
  };
  const shops = document.getElementById('butiker');
  for (const shop of day.butiker) {
    const section = document.createElement('section');
    section.className = 'shop ' + shop.lage;
    const heading = document.createElement('h2');
    heading.textContent = shop.nr + '. ' + shop.namn;
    const badge = document.createElement('span');
    badge.className = 'badge';
    let text = states[shop.lage];
    if (shop.sparad !== null) text += ' ' + leverans.minute(shop.sparad);
    if (shop.sparningar > 1) text += ' (' + shop.sparningar + ' sparningar, den senaste gäller)';
    badge.textContent = text;
    heading.append(' ', badge);
    section.append(heading);
    const table = document.createElement('table');
    const head = table.createTHead().insertRow();
    for (const title of ['Artikel', 'Beställt', 'Levererat']) {
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = title;
      if (title !== 'Artikel') th.className = 'number';
      head.append(th);
    }
    const rows = table.createTBody();
    for (const article of shop.artiklar) {
      if (article.bestallt === 0 && !article.levererat) continue;
      const row = rows.insertRow();
      leverans.cell(row, article.artikel);
      leverans.cell(row, String(article.bestallt), 'number');
      leverans.cell(row, article.levererat === null ? '–' : String(article.levererat),
        article.levererat !== null && article.levererat < 0 ? 'number return' : 'number');
    }
    section.append(table);
    shops.append(section);
  }
})();

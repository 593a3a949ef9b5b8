// The kitchen display's page. Everything that comes from the POS is put on screen as text
// (textContent), never as markup.
'use strict';

(function () {
  const cardsEl = document.getElementById('cards');
  const waitingEl = document.getElementById('waiting');
  const recallEl = document.getElementById('recall');
  const statusEl = document.getElementById('status');
  const clockEl = document.getElementById('clock');
  const titleEl = document.getElementById('title');
  const noticeEl = document.getElementById('notice');

  let socket = null;
  let board = { cards: [], waiting: [], amber: 10, red: 20, canRecall: false, port: '' };
  let clockOffset = 0; // server time minus this device's time
  let retryMs = 500;
  // Drawn cards by order id, with the data they were drawn from: unchanged cards are kept.
  const drawn = new Map();
  // Every card of the board by order id: a message brings only the new and the changed ones.
  const known = new Map();

  function el(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function serverNow() {
    return Date.now() + clockOffset;
  }

  function minutesSince(ms) {
    return Math.max(0, Math.floor((serverNow() - ms) / 60000));
  }

  function age(card, node) {
    const minutes = minutesSince(card.since);
    node.querySelector('.age').textContent = minutes + ' 分';
    node.classList.toggle('red', minutes >= board.red);
    node.classList.toggle('amber', minutes >= board.amber && minutes < board.red);
  }

  function drawCard(card) {
    const node = el('article', 'card');
    node.dataset.id = card.id;
    const head = el('header', 'card-head');
    head.append(el('span', 'table', card.table), el('span', 'order', card.id), el('span', 'age'));
    const list = el('ul', 'items');
    for (const item of card.items) {
      const li = el('li', item.red ? 'item red' : 'item');
      li.append(el('span', 'name', item.item), el('span', 'qty', item.qty));
      if (item.addOns) li.append(el('div', 'addons', item.addOns));
      list.append(li);
    }
    const done = el('button', 'bump', '完成');
    done.type = 'button';
    done.addEventListener('click', () => {
      done.disabled = true;
      send({ do: 'bump', id: card.id, upTo: card.upTo });
    });
    node.append(head, list, done);
    age(card, node);
    return node;
  }

  function drawCards() {
    const seen = new Set();
    const nodes = [];
    for (const card of board.cards) {
      const key = JSON.stringify(card);
      let entry = drawn.get(card.id);
      if (!entry || entry.key !== key) {
        entry = { key, card, node: drawCard(card) };
        drawn.set(card.id, entry);
      }
      seen.add(card.id);
      nodes.push(entry.node);
    }
    for (const id of [...drawn.keys()]) if (!seen.has(id)) drawn.delete(id);
    if (nodes.length === 0) nodes.push(el('p', 'empty', '目前沒有待製作的點單'));
    cardsEl.replaceChildren(...nodes);
  }

  function drawWaiting() {
    const rows = board.waiting.map((w) => {
      const li = el('li');
      li.append(el('span', 'dish', w.dish), el('span', 'count', w.qty));
      return li;
    });
    waitingEl.replaceChildren(...rows);
  }

  function draw() {
    const title = '廚房看板 - ' + board.port;
    document.title = title;
    titleEl.textContent = title;
    recallEl.disabled = !board.canRecall;
    drawCards();
    drawWaiting();
  }

  function tick() {
    const now = new Date(serverNow());
    clockEl.textContent = now.toTimeString().slice(0, 5);
    for (const entry of drawn.values()) age(entry.card, entry.node);
  }

  function send(message) {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
  }

  function setStatus(text, lost) {
    statusEl.textContent = text;
    statusEl.classList.toggle('lost', lost);
  }

  function connect() {
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/ws');
    socket.binaryType = 'arraybuffer';
    socket.addEventListener('open', () => {
      retryMs = 500;
      known.clear();
      setStatus('已連線', false);
    });
    socket.addEventListener('message', (event) => {
      const text = typeof event.data === 'string' ? event.data : new TextDecoder().decode(event.data);
      const message = JSON.parse(text);
      clockOffset = message.now - Date.now();
      // Whether the service lists new orders now: the cards follow the POS either way.
      if (typeof message.watch === 'string') {
        noticeEl.textContent = message.watch;
        noticeEl.hidden = message.watch === '';
        return;
      }
      for (const [id, card] of Object.entries(message.board.cards)) known.set(id, card);
      const order = new Set(message.board.order);
      for (const id of [...known.keys()]) if (!order.has(id)) known.delete(id);
      board = message.board;
      board.cards = message.board.order.map((id) => known.get(id)).filter(Boolean);
      draw();
      tick();
    });
    socket.addEventListener('close', () => {
      socket = null;
      recallEl.disabled = true;
      setStatus('連線中斷，重新連線中…', true);
      // A refused connection looks like a lost one: the page itself says whether the device
      // must enter the PIN again (the door answers 401).
      fetch('/', { cache: 'no-store' })
        .then((response) => {
          if (response.status === 401) location.reload();
        })
        .catch(() => {});
      setTimeout(connect, retryMs);
      retryMs = Math.min(retryMs * 2, 5000);
    });
  }

  recallEl.addEventListener('click', () => send({ do: 'recall' }));
  setInterval(tick, 10000);
  tick();
  connect();
})();

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
  // The service speaks every few seconds; this long without a word and the board may be stale.
  const silenceMs = 10000;
  let lostTimer = null;
  let lost = false;
  let watchNotice = '';
  // A bump moves the cards under the finger: the second tap of a double tap must not bump the
  // card that slid into place, however soon the service answers.
  const settleMs = 500;
  let settledAt = 0;
  let bumping = null; // the order whose bump this page sent, until the board lets it go
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
      if (performance.now() < settledAt) return;
      if (!send({ do: 'bump', id: card.id, upTo: card.upTo })) return;
      settledAt = performance.now() + settleMs;
      bumping = card.id;
      done.disabled = true;
    });
    node.append(head, list, done);
    age(card, node);
    return node;
  }

  function drawCards() {
    const before = [...cardsEl.children];
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
    if (bumping && !seen.has(bumping)) {
      bumping = null;
      const slid = (node, i) => node.dataset.id && node.dataset.id !== (nodes[i] && nodes[i].dataset.id);
      if (before.some(slid)) settledAt = Math.max(settledAt, performance.now() + settleMs);
    }
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

  // True when the message went to the service.
  function send(message) {
    if (!socket || socket.readyState !== WebSocket.OPEN) return false;
    socket.send(JSON.stringify(message));
    return true;
  }

  // Lost, the whole screen says so, above what the watch says: nobody cooks from a stale board.
  function showNotice() {
    const text = lost ? '連線中斷, 看板可能不是最新' : watchNotice;
    noticeEl.textContent = text;
    noticeEl.hidden = text === '';
    noticeEl.classList.toggle('lost', lost);
    document.body.classList.toggle('lost', lost);
  }

  function setStatus(text, isLost) {
    statusEl.textContent = text;
    statusEl.classList.toggle('lost', isLost);
    lost = isLost;
    showNotice();
  }

  function heard() {
    clearTimeout(lostTimer);
    if (lost) setStatus('已連線', false);
    lostTimer = setTimeout(() => setStatus('沒有回應', true), silenceMs);
  }

  function connect() {
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/ws');
    socket.binaryType = 'arraybuffer';
    socket.addEventListener('open', () => {
      retryMs = 500;
      known.clear();
      // Cards are drawn anew: a "完成" tapped before the connection dropped is live again.
      drawn.clear();
      bumping = null;
      setStatus('已連線', false);
      heard();
    });
    socket.addEventListener('message', (event) => {
      const text = typeof event.data === 'string' ? event.data : new TextDecoder().decode(event.data);
      const message = JSON.parse(text);
      clockOffset = message.now - Date.now();
      heard();
      // Whether the service lists new orders now: the cards follow the POS either way.
      if (typeof message.watch === 'string') {
        watchNotice = message.watch;
        showNotice();
        return;
      }
      if (!message.board) return; // the heartbeat
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
      clearTimeout(lostTimer);
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

// The kitchen display's page. Everything that comes from the POS is put on screen as text
// (textContent), never as markup.
'use strict';

(function () {
  const $ = (id) => document.getElementById(id);
  const cardsEl = $('cards');
  const waitingEl = $('waiting');
  const recallEl = $('recall');
  const recentEl = $('recent');
  const recentList = $('recent-list');
  const recentItems = $('recent-items');
  const statusEl = $('status');
  const countsEl = $('counts');
  const paceEl = $('pace');
  const slowestEl = $('slowest');
  const slowestTitle = $('slowest-title');
  const clockEl = $('clock');
  const portEl = $('port');
  const noticeEl = $('notice');
  const toastEl = $('toast');
  const soundEl = $('sound');
  const showWaitingEl = $('show-waiting');
  const fullText = $('full-text');

  let socket = null;
  let board = { cards: [], waiting: [], recent: [], amber: 10, red: 20, canRecall: false, port: '' };
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
  let bumping = null; // the card whose bump this page sent, until the board lets it go
  // Drawn cards by order id, with the data they were drawn from: unchanged cards are kept.
  const drawn = new Map();
  // Every card of the board by order id: a message brings only the new and the changed ones.
  const known = new Map();
  // Per order the highest row this page has shown: a card with rows above it is news, a card
  // brought back by a recall is not.
  const shownUpTo = new Map();
  let firstBoard = true;
  const freshMs = 6000;
  const freshUntil = new Map();
  // The bump bar's choice, by order id; "0" waits a moment for a second digit (10 to 19).
  let selectedId = null;
  const tensMs = 2000;
  let tensUntil = 0;
  const toastMs = 8000;
  let toastTimer = null;
  const recentMs = 30 * 60000;
  const longText = 36; // characters of an item shown in full on its card
  let audio = null;

  function el(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function button(className, text, onClick) {
    const node = el('button', className, text);
    node.type = 'button';
    node.addEventListener('click', onClick);
    return node;
  }

  function serverNow() {
    return Date.now() + clockOffset;
  }

  function minutesSince(ms) {
    return Math.max(0, Math.floor((serverNow() - ms) / 60000));
  }

  function settled() {
    return performance.now() >= settledAt;
  }

  function age(card, node) {
    const minutes = minutesSince(card.since);
    node.querySelector('.age').textContent = minutes + ' 分';
    node.classList.toggle('red', minutes >= board.red);
    node.classList.toggle('amber', minutes >= board.amber && minutes < board.red);
  }

  function bump(card) {
    if (!settled()) return false;
    if (!send({ do: 'bump', id: card.id, upTo: card.upTo })) return false;
    settledAt = performance.now() + settleMs;
    bumping = card;
    return true;
  }

  function recall(id) {
    send(id === undefined ? { do: 'recall' } : { do: 'recall', id });
  }

  function showFullText(card, item) {
    $('full-title').textContent = card.table;
    $('full-body').textContent = item.item + (item.addOns ? '\n' + item.addOns : '');
    fullText.showModal();
  }

  function drawItem(card, item) {
    const li = el('li', 'item' + (item.red ? ' red' : '') + (item.done ? ' done' : ''));
    li.dataset.rno = item.rno;
    li.tabIndex = 0;
    li.setAttribute('role', 'button');
    li.setAttribute('aria-pressed', item.done ? 'true' : 'false');
    li.append(el('span', 'name', item.item), el('span', 'qty', item.qty));
    if (item.item.length > longText) {
      li.classList.add('long');
      li.append(button('more', '全文', (event) => {
        event.stopPropagation();
        showFullText(card, item);
      }));
    }
    if (item.addOns) li.append(el('div', 'addons', item.addOns));
    // A second tap brings the item back.
    const toggle = () => {
      if (!settled()) return;
      if (!send({ do: 'cross', rno: item.rno, done: !item.done })) return;
      if (!item.done && board.crossOffBumps && card.items.every((i) => i.done || i === item)) bumping = card;
    };
    li.addEventListener('click', toggle);
    li.addEventListener('keydown', (event) => {
      if (event.target !== li || (event.key !== 'Enter' && event.key !== ' ')) return;
      event.preventDefault();
      event.stopPropagation();
      toggle();
    });
    return li;
  }

  function drawCard(card) {
    const node = el('article', 'card');
    node.dataset.id = card.id;
    const head = el('header', 'card-head');
    const table = el('span', 'table', card.table);
    table.title = card.table; // a name of more than three lines, whole
    head.append(el('span', 'num'), table, el('span', 'order', card.id), el('span', 'age'));
    const list = el('ul', 'items');
    for (const item of card.items) list.append(drawItem(card, item));
    const done = button('bump', '完成', () => {
      if (bump(card)) done.disabled = true;
    });
    done.setAttribute('aria-label', '完成 ' + card.table);
    node.append(head, list, done);
    age(card, node);
    return node;
  }

  // A notice for the order this page bumped, with its own way back.
  function toast(card) {
    clearTimeout(toastTimer);
    const undo = button('undo', '復原', () => {
      recall(card.id);
      toastEl.replaceChildren();
    });
    undo.setAttribute('aria-label', '復原 ' + card.table);
    toastEl.replaceChildren(el('span', 'what', card.table + ' 已完成'), undo);
    toastTimer = setTimeout(() => toastEl.replaceChildren(), toastMs);
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
    if (bumping && !seen.has(bumping.id)) {
      toast(bumping);
      bumping = null;
      const slid = (node, i) => node.dataset.id && node.dataset.id !== (nodes[i] && nodes[i].dataset.id);
      if (before.some(slid)) settledAt = Math.max(settledAt, performance.now() + settleMs);
    }
    // The selection stays where it was when its card goes: the bar's next press takes the next.
    if (selectedId && !seen.has(selectedId)) {
      const at = before.findIndex((node) => node.dataset.id === selectedId);
      const next = board.cards[Math.min(Math.max(at, 0), board.cards.length - 1)];
      selectedId = next ? next.id : null;
    }
    // An item crossed off from the keyboard is drawn anew: the focus goes to its new self.
    const focused = document.activeElement;
    const focusedItem = focused && focused.classList.contains('item') ? focused.dataset.rno : null;
    cardsEl.replaceChildren(...nodes);
    if (focusedItem && !cardsEl.contains(focused)) {
      const again = cardsEl.querySelector('.item[data-rno="' + focusedItem + '"]');
      if (again) again.focus();
    }
    marks();
  }

  // Numbers, selection and highlights of the cards as they stand.
  function marks() {
    const now = performance.now();
    board.cards.forEach((card, i) => {
      const node = drawn.get(card.id).node;
      node.querySelector('.num').textContent = String(i + 1);
      const selected = card.id === selectedId;
      node.classList.toggle('selected', selected);
      if (selected) node.setAttribute('aria-current', 'true');
      else node.removeAttribute('aria-current');
      node.classList.toggle('fresh', (freshUntil.get(card.id) || 0) > now);
      node.setAttribute('aria-label', (i + 1) + ' 號 ' + card.table);
    });
    counts();
  }

  // Open orders, and how many of them the screen does not show without scrolling: counted once a
  // frame, however often the board changes or scrolls.
  let countsQueued = false;
  function counts() {
    if (countsQueued) return;
    countsQueued = true;
    requestAnimationFrame(() => {
      countsQueued = false;
      countNow();
    });
  }

  function countNow() {
    const bottom = cardsEl.getBoundingClientRect().bottom;
    let below = 0;
    for (const node of cardsEl.querySelectorAll('.card')) if (node.getBoundingClientRect().bottom > bottom + 1) below++;
    const total = board.cards.length;
    countsEl.replaceChildren(el('span', 'open', '共 ' + total + ' 張'));
    if (below > 0) countsEl.append(' · ', el('span', 'below', below + ' 張在下方'));
  }

  function drawWaiting() {
    const rows = board.waiting.map((w) => {
      const li = el('li');
      li.append(el('span', 'dish', w.dish), el('span', 'count', w.qty));
      return li;
    });
    waitingEl.replaceChildren(...rows);
    showWaitingEl.textContent = '待製作 (' + board.waiting.length + ')';
  }

  function minutesOf(seconds) {
    return Math.round(seconds / 60) + ' 分';
  }

  // Today's time from order to bump, and the last hour's slowest dishes where the site shows them.
  function drawPace() {
    const pace = board.pace || { count: 0 };
    paceEl.textContent = pace.count > 0
      ? '今日出餐中位 ' + minutesOf(pace.median) + ' · 超過 ' + board.red + ' 分 ' + pace.overRed + ' 單'
      : '今日尚無出餐';
    const slowest = Array.isArray(pace.slowest) ? pace.slowest : null;
    slowestTitle.hidden = slowestEl.hidden = !slowest;
    if (!slowest) return;
    slowestEl.replaceChildren(...slowest.map((d) => {
      const li = el('li');
      li.append(el('span', 'dish', d.dish), el('span', 'count', minutesOf(d.median)));
      return li;
    }));
    if (slowest.length === 0) slowestEl.replaceChildren(el('li', 'empty', '近一小時尚無出餐'));
  }

  function recentOrders() {
    const from = serverNow() - recentMs;
    return (board.recent || []).filter((r) => r.at >= from);
  }

  function clock(ms) {
    return new Date(ms).toTimeString().slice(0, 5);
  }

  // The list itself only while it is open, and not under a finger or a key that is choosing.
  function drawRecent(list) {
    const recent = recentOrders();
    recentEl.disabled = !socket || recent.length === 0;
    recentEl.textContent = '已完成 (' + recent.length + ')';
    if (!list || !recentList.open) return;
    recentItems.replaceChildren(...recent.map((r) => {
      const li = el('li');
      const what = el('span', 'what');
      what.append(el('span', 'table', r.table), ' ', el('span', 'order', r.id), el('span', 'when', clock(r.at) + ' 完成'));
      const back = button('back', '復原', () => {
        recall(r.id);
        recentList.close();
      });
      back.setAttribute('aria-label', '復原 ' + r.table);
      li.append(what, el('span', 'comes', '回來 ' + minutesSince(r.since) + ' 分'), back);
      return li;
    }));
    if (recent.length === 0) recentItems.replaceChildren(el('li', 'empty', '沒有可復原的點單'));
  }

  function draw() {
    document.title = '廚房看板 - ' + board.port;
    portEl.textContent = board.port;
    recallEl.disabled = !board.canRecall;
    drawCards();
    drawWaiting();
    drawPace();
    drawRecent(false);
  }

  function tick() {
    clockEl.textContent = clock(serverNow());
    for (const entry of drawn.values()) age(entry.card, entry.node);
    drawRecent(false);
  }

  // True when the message went to the service.
  function send(message) {
    if (!socket || socket.readyState !== WebSocket.OPEN) return false;
    socket.send(JSON.stringify(message));
    return true;
  }

  function beep() {
    if (!audio || audio.state !== 'running') return;
    const t = audio.currentTime;
    for (const [offset, pitch] of [[0, 880], [0.18, 1320]]) {
      const tone = audio.createOscillator();
      const gain = audio.createGain();
      tone.type = 'sine';
      tone.frequency.value = pitch;
      gain.gain.setValueAtTime(0.0001, t + offset);
      gain.gain.exponentialRampToValueAtTime(0.5, t + offset + 0.02);
      gain.gain.exponentialRampToValueAtTime(0.0001, t + offset + 0.16);
      tone.connect(gain).connect(audio.destination);
      tone.start(t + offset);
      tone.stop(t + offset + 0.17);
    }
  }

  // New cards, and cards with rows this page has not shown, are announced; the board the page
  // opens with is not.
  function announce() {
    const fresh = [];
    for (const card of board.cards) {
      const shown = shownUpTo.get(card.id);
      if (!firstBoard && (shown === undefined || card.upTo > shown)) fresh.push(card.id);
      shownUpTo.set(card.id, Math.max(shown || 0, card.upTo));
    }
    firstBoard = false;
    if (fresh.length === 0) return;
    const until = performance.now() + freshMs;
    for (const id of fresh) freshUntil.set(id, until);
    setTimeout(() => {
      for (const [id, t] of [...freshUntil]) if (t <= performance.now()) freshUntil.delete(id);
      marks();
    }, freshMs + 50);
    beep();
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
      announce();
      draw();
      tick();
    });
    socket.addEventListener('close', () => {
      socket = null;
      clearTimeout(lostTimer);
      recallEl.disabled = true;
      recentEl.disabled = true;
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

  function select(index) {
    const card = board.cards[index];
    if (!card) return;
    selectedId = card.id;
    marks();
    drawn.get(card.id).node.scrollIntoView({ block: 'nearest' });
  }

  function columns() {
    return getComputedStyle(cardsEl).gridTemplateColumns.split(' ').length;
  }

  // The bump bar: a keyboard whose keys are digits, arrows, Enter and a recall key.
  function onKey(event) {
    if (event.ctrlKey || event.altKey || event.metaKey || document.querySelector('dialog[open]')) return;
    const current = board.cards.findIndex((card) => card.id === selectedId);
    const key = event.key;
    if (/^[0-9]$/.test(key)) {
      const digit = Number(key);
      if (performance.now() < tensUntil) {
        tensUntil = 0;
        select(10 + digit - 1);
      } else if (digit === 0) {
        tensUntil = performance.now() + tensMs;
      } else {
        select(digit - 1);
      }
    } else if (key.startsWith('Arrow')) {
      const step = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -columns(), ArrowDown: columns() }[key];
      const to = current < 0 ? 0 : current + step;
      select(Math.min(Math.max(to, 0), board.cards.length - 1));
    } else if (key === 'Enter' || key === ' ') {
      // A control reached with Tab answers the key itself.
      const focused = document.activeElement;
      if (current < 0 || (focused && focused !== document.body && focused.matches(':focus-visible'))) return;
      const node = drawn.get(selectedId).node.querySelector('.bump');
      if (bump(board.cards[current])) node.disabled = true;
    } else if (key === '-' || key === 'Subtract' || key === 'Backspace') {
      recall();
    } else {
      return;
    }
    event.preventDefault();
  }

  soundEl.addEventListener('click', () => {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return;
    audio = audio || new Context();
    audio.resume().then(() => {
      soundEl.hidden = audio.state === 'running';
      beep();
    });
  });
  showWaitingEl.addEventListener('click', () => {
    const open = document.body.classList.toggle('waiting-open');
    showWaitingEl.setAttribute('aria-expanded', open ? 'true' : 'false');
    counts();
  });
  recallEl.addEventListener('click', () => recall());
  recentEl.addEventListener('click', () => {
    recentList.showModal();
    drawRecent(true);
  });
  $('recent-close').addEventListener('click', () => recentList.close());
  $('full-close').addEventListener('click', () => fullText.close());
  document.addEventListener('keydown', onKey);
  cardsEl.addEventListener('scroll', counts, { passive: true });
  window.addEventListener('resize', counts);
  setInterval(tick, 10000);
  tick();
  connect();
})();

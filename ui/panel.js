// The reference panel: signs in with a device code, lists the project's views, captures one or
// picks a file, uploads it, asks for a paid render, polls the job, downloads, places and saves the
// result. It talks to the add-on only through window.tamselHost.send and answers arrive at
// window.TamselBridge.receive. Texts come from strings.js in the "lang" of the page's address;
// every error shown is the message that came with its reply, and stays until the person acts.
(function () {
  'use strict';

  const query = new URLSearchParams(location.search);
  const lang = ['pt', 'en', 'es'].includes(query.get('lang')) ? query.get('lang') : 'en';
  const T = window.TamselStrings[lang];
  const $ = (id) => document.getElementById(id);

  // --- Requests and replies
  let sequence = 0;
  const waiting = new Map();
  let busy = 0;

  // Sends one request; resolves with the reply object ({id, ok, result} or {id, ok:false, error}).
  function request(type, payload) {
    const id = 'ui-' + (++sequence);
    busy++;
    document.body.dataset.busy = String(busy);
    return new Promise((resolve) => {
      waiting.set(id, (reply) => {
        busy--;
        document.body.dataset.busy = String(busy);
        resolve(reply);
      });
      window.tamselHost.send({ id, type, payload: payload || {} });
    });
  }

  function receive(message) {
    if (!message || typeof message !== 'object') return;
    if (message.event === 'signedOut') return onSignedOut(message.data || {});
    const done = waiting.get(message.id);
    if (!done) return;
    waiting.delete(message.id);
    done(message);
  }

  // --- Showing things
  // An error stays until a click starts something new or dismisses it: the panel's own
  // follow-ups (the listing after the credits, the credits after a failed job) never clear it.
  function showError(reply) {
    const error = (reply && reply.error) || {};
    $('error-message').textContent = error.message || '';
    $('error').dataset.code = error.code || '';
    $('buy-credits').hidden = error.code !== 'no_credits';
    $('error').hidden = false;
    setStatus('');
    // Seen wherever the person had scrolled to.
    $('error').scrollIntoView({ block: 'nearest' });
  }
  function clearError() {
    $('error').hidden = true;
    $('buy-credits').hidden = true;
    $('error-message').textContent = '';
    delete $('error').dataset.code;
  }
  function setStatus(text) {
    $('status').textContent = text;
    $('status').hidden = !text;
  }
  // Runs a request and shows its error; resolves with the result, or undefined after an error.
  async function ask(type, payload) {
    const reply = await request(type, payload);
    if (!reply.ok) {
      showError(reply);
      return undefined;
    }
    return reply.result;
  }
  async function askApi(method, path, body, options) {
    return ask('api', { method, path, body: body === undefined ? null : body, options: options || {} });
  }

  function translate() {
    document.documentElement.lang = lang;
    for (const el of document.querySelectorAll('[data-i18n]')) el.textContent = T[el.dataset.i18n];
    for (const el of document.querySelectorAll('[data-i18n-label]')) {
      el.title = T[el.dataset.i18nLabel];
      el.setAttribute('aria-label', T[el.dataset.i18nLabel]);
    }
    for (const el of document.querySelectorAll('[data-i18n-alt]')) el.alt = T[el.dataset.i18nAlt];
    showGenerateLabel();
  }

  // A click on the element starts the action; whatever error was shown no longer applies.
  function onClick(id, action) {
    $(id).addEventListener('click', () => {
      clearError();
      action();
    });
  }

  // --- Outside a host: opened in a plain browser, or the host's native object never came.
  function showOutsideHost() {
    for (const id of ['signin-view', 'main-view', 'account', 'project', 'status', 'error']) $(id).hidden = true;
    $('outside-host').hidden = false;
  }

  // --- Settings kept by the add-on for this project
  const settings = { prompt: '', viewId: 'current' };
  let saveTimer = null;
  function saveSettings() {
    clearTimeout(saveTimer);
    saveTimer = setTimeout(() => request('setState', { state: Object.assign({}, settings) }), 400);
  }

  // --- Session
  const session = { authenticated: false, pollInterval: 3, generationCost: null };
  let signIn = null;  // the running device sign-in: {deviceCode, timer, deadline}

  function showSignedIn(on) {
    session.authenticated = on;
    $('signin-view').hidden = on;
    $('main-view').hidden = !on;
    $('account').hidden = !on;
    document.body.dataset.session = on ? 'signed-in' : 'signed-out';
  }

  async function startSignIn() {
    stopSignIn();
    $('signin-start').disabled = true;
    const start = await askApi('POST', '/api/v1/device/start', {});
    $('signin-start').disabled = false;
    if (!start) return;
    signIn = {
      deviceCode: start.device_code,
      url: start.verification_uri_complete || start.verification_uri,
      interval: Math.max(1, Number(start.interval) || 5),
      deadline: Date.now() + (Number(start.expires_in) || 600) * 1000,
      timer: null,
    };
    $('user-code').textContent = start.user_code || '';
    $('device-box').hidden = false;
    setStatus(T.waitingApproval);
    openVerification();
    schedulePoll();
  }

  function openVerification() {
    if (!signIn) return;
    ask('openUrl', { url: signIn.url });
  }

  function schedulePoll() {
    if (!signIn) return;
    signIn.timer = setTimeout(pollToken, signIn.interval * 1000);
  }

  async function pollToken() {
    if (!signIn) return;
    if (Date.now() > signIn.deadline) {
      stopSignIn();
      setStatus(T.signInExpired);
      return;
    }
    const current = signIn;
    const reply = await request('api', { method: 'POST', path: '/api/v1/device/token', body: { device_code: current.deviceCode }, options: {} });
    if (signIn !== current) return;  // cancelled meanwhile
    if (reply.ok) {
      stopSignIn();
      setStatus(T.signedIn);
      return enterSignedIn();
    }
    const code = reply.error && reply.error.code;
    if (code === 'authorization_pending' || code === 'slow_down') {
      if (code === 'slow_down') current.interval += 5;
      return schedulePoll();
    }
    stopSignIn();
    showError(reply);
  }

  function stopSignIn() {
    if (signIn && signIn.timer) clearTimeout(signIn.timer);
    signIn = null;
    $('device-box').hidden = true;
  }

  async function enterSignedIn() {
    showSignedIn(true);
    await refreshCredits();
    await listViews();
  }

  async function signOut() {
    stopPolling();
    await askApi('DELETE', '/api/v1/device/tokens/current');
    $('account-name').textContent = '';
    showCredits(null);
    showSignedIn(false);
  }

  function onSignedOut(data) {
    stopPolling();
    showSignedIn(false);
    setStatus(data.reason === 'revoked' ? T.signedOutRevoked : '');
  }

  // The balance in the header; hidden while it is not known.
  function showCredits(credits) {
    const known = typeof credits === 'number' && isFinite(credits);
    $('credits').hidden = !known;
    $('credits').textContent = known ? T.credits(credits) : '';
    if (known) $('credits').dataset.credits = String(credits);
    else delete $('credits').dataset.credits;
  }

  async function refreshCredits() {
    const me = await askApi('GET', '/api/v1/me', null, { noCache: true });
    if (!me) return;
    $('account-name').textContent = me.name || me.email || '';
    $('account-name').title = [me.name, me.email].filter(Boolean).join(' · ');
    showCredits(Number(me.credits) || 0);
  }

  // --- Views
  let selectedView = null;
  let selectedCard = null;

  async function listViews() {
    setStatus(T.loadingViews);
    $('views-grid').dataset.state = 'loading';
    const result = await ask('listViews', {});
    $('views-grid').dataset.state = result ? 'listed' : 'failed';
    if (!result) return;
    setStatus('');
    renderViews(result.views || []);
  }

  function renderViews(views) {
    const grid = $('views-grid');
    grid.textContent = '';
    selectedView = selectedCard = null;
    if (!views.length) {
      grid.textContent = T.noViews;
      $('capture-btn').disabled = true;
      return;
    }
    for (const view of views) {
      const card = document.createElement('button');
      card.type = 'button';
      card.className = 'view-card';
      card.dataset.test = 'view-card';
      card.dataset.viewId = view.id;
      card.dataset.space = view.space;
      card.setAttribute('aria-pressed', 'false');
      if (view.unavailable) card.classList.add('unavailable');
      if (view.reason) card.title = view.reason;
      const img = document.createElement('img');
      img.alt = view.name;
      if (view.thumbnail) img.src = view.thumbnail;
      const name = document.createElement('span');
      name.className = 'name';
      name.textContent = view.name;
      name.setAttribute('aria-hidden', 'true');  // the picture's text already names the card
      const marks = document.createElement('span');
      marks.className = 'marks';
      const addMark = (kind, text) => {
        const mark = document.createElement('span');
        mark.className = 'mark ' + kind;
        mark.dataset.mark = kind;
        mark.textContent = text;
        marks.appendChild(mark);
      };
      addMark(view.space === 'interior' ? 'interior' : 'exterior', T[view.space === 'interior' ? 'interior' : 'exterior']);
      if (view.empty) addMark('empty', T.empty);
      if (view.unavailable) addMark('unavailable', T.unavailable);
      card.append(img, marks, name);
      card.addEventListener('click', () => selectView(view, card));
      grid.appendChild(card);
      if (view.id === settings.viewId && !view.unavailable) selectView(view, card);
    }
    if (!selectedView) {
      const first = grid.querySelector('.view-card:not(.unavailable)');
      if (first) first.click();
    }
  }

  function selectView(view, card) {
    for (const el of document.querySelectorAll('.view-card')) {
      el.classList.toggle('selected', el === card);
      el.setAttribute('aria-pressed', String(el === card));
    }
    selectedView = view;
    selectedCard = card;
    $('capture-btn').disabled = !!view.unavailable;
    if (view.unavailable) {
      setStatus(view.reason || '');
    } else if (settings.viewId !== view.id) {
      settings.viewId = view.id;
      saveSettings();
    }
  }

  // --- Source: a captured view or a picked file
  let source = null;  // {fileRef, name, contentType, sizeBytes}
  let upload = null;  // {fileRef, id, size}

  function setSource(next, preview, info) {
    source = next;
    upload = null;
    $('source-section').hidden = false;
    if (preview) $('source-preview').src = preview;
    else $('source-preview').removeAttribute('src');
    $('source-preview').hidden = !preview;
    $('source-info').textContent = info;
    showGenerateState();
  }

  async function capture() {
    if (!selectedView) return;
    const view = selectedView;
    const card = selectedCard;
    setStatus(T.capturing);
    $('capture-btn').disabled = true;
    const result = await ask('capture', { viewId: view.id });
    $('capture-btn').disabled = !selectedView || !!selectedView.unavailable;
    if (!result) return;
    if (result.empty) {
      setStatus(T.emptyView);
      return;
    }
    setStatus('');
    // The card shows what was captured from its view.
    if (result.preview && card && card.isConnected) card.querySelector('img').src = result.preview;
    setSource({ fileRef: result.fileRef, name: view.name + '.jpg', contentType: 'image/jpeg', sizeBytes: result.sizeBytes },
              result.preview, view.name + ': ' + result.width + ' × ' + result.height + ' px, ' + T.format.size(result.sizeBytes));
  }

  async function pickFile() {
    setStatus(T.picking);
    const reply = await request('pickFile', { accept: ['image/png', 'image/jpeg', 'image/webp', 'video/mp4'] });
    if (!reply.ok) return showError(reply);
    if (reply.result === null) return setStatus(T.pickCancelled);
    setStatus('');
    const picked = reply.result;
    setSource(picked, null, picked.name + ' · ' + T.format.size(picked.sizeBytes));
  }

  // --- Upload, paid render, polling, download
  let generation = null;  // {uploadId, prompt, key} of the last paid request, reused for a retry
  let charged = null;     // the source the service last accepted a render of: not charged twice
  let generating = false;
  let pollTimer = null;
  let result = null;      // {fileRef, dataUrl, path}

  // "Generate render", with its cost once the service's configuration has told it.
  function showGenerateLabel() {
    $('generate-btn').textContent = session.generationCost === null ? T.generate : T.generateCost(session.generationCost);
  }
  function showGenerateState() {
    $('generate-btn').disabled = !source || generating || source === charged;
  }

  function newKey() {
    const random = new Uint8Array(12);
    crypto.getRandomValues(random);
    return 'gen-' + Array.from(random, (b) => b.toString(16).padStart(2, '0')).join('');
  }

  async function uploadSource() {
    if (upload && upload.fileRef === source.fileRef) return upload;
    setStatus(T.uploading);
    const answer = await askApi('POST', '/api/v1/uploads', { fileRef: source.fileRef },
                                { binary: true, contentType: source.contentType, filename: source.name });
    if (!answer) return null;
    upload = { fileRef: source.fileRef, id: answer.id, size: answer.size };
    $('source-info').dataset.uploadId = answer.id;
    return upload;
  }

  async function generate() {
    if (!source || source === charged) return;
    const rendered = source;
    stopPolling();
    generating = true;
    showGenerateState();
    try {
      const up = await uploadSource();
      if (!up) return;
      const prompt = $('prompt').value;
      // The same request after a failure keeps its key, so the service never charges twice.
      if (!generation || generation.uploadId !== up.id || generation.prompt !== prompt)
        generation = { uploadId: up.id, prompt, key: newKey() };
      // The upload stays in view while the render is asked for.
      setStatus(T.uploaded(up.size) + ' ' + T.generating);
      const job = await askApi('POST', '/api/v1/generations', { upload_id: up.id, prompt },
                               { idempotencyKey: generation.key });
      if (!job) return;
      generation = null;
      charged = rendered;
      setStatus('');
      if (typeof job.credits === 'number') showCredits(job.credits);
      showJob(job);
      pollJob(job);
    } finally {
      generating = false;
      showGenerateState();
    }
  }

  function showJob(job) {
    const steps = { queued: 1, running: 2, done: 3, failed: 3 };
    $('job-progress').hidden = false;
    $('job-progress').value = steps[job.status] || 0;
    $('job-status').textContent = T.jobStatus[job.status] || job.status;
    $('job-status').dataset.status = job.status;
    $('job-status').dataset.jobId = job.id;
  }

  function pollJob(job) {
    if (job.status === 'done') return download(job);
    if (job.status === 'failed') {
      // The credits came back: the same picture may be rendered again.
      charged = null;
      showGenerateState();
      if (job.error && job.error.message) showError({ error: job.error });
      return refreshCredits();
    }
    pollTimer = setTimeout(async () => {
      pollTimer = null;
      const next = await askApi('GET', job.poll || '/api/v1/jobs/' + job.id, null, { noCache: true });
      if (!next) return;
      showJob(next);
      pollJob(next);
    }, session.pollInterval * 1000);
  }

  function stopPolling() {
    if (pollTimer) clearTimeout(pollTimer);
    pollTimer = null;
  }

  async function download(job) {
    setStatus(T.downloading);
    const path = job.result && job.result.path;
    const file = await askApi('GET', path, null, { binary: true });
    if (!file) return;
    setStatus('');
    result = { fileRef: file.fileRef, dataUrl: file.dataUrl, path };
    const section = $('result-section');
    const preview = $('result-preview');
    section.hidden = false;
    preview.src = file.dataUrl;
    preview.dataset.fileRef = file.fileRef;
    $('result-info').textContent = '';
    // The result and its buttons in view once the picture has its size.
    const reveal = () => section.scrollIntoView({ block: 'nearest' });
    reveal();
    preview.decode().then(reveal, reveal);
  }

  async function place() {
    if (!result) return;
    setStatus(T.placing);
    const placed = await ask('place', { fileRef: result.fileRef, label: 'Tamsel Ovra ' + T.format.time(new Date()) });
    if (!placed) return;
    setStatus('');
    $('result-info').textContent = T.placed(placed.label);
  }

  async function save() {
    if (!result) return;
    setStatus(T.saving);
    const saved = await ask('saveFiles', { folder: 'Tamsel Ovra', files: [{ fileRef: result.fileRef, name: 'render.png', kind: 'image' }] });
    if (!saved) return;
    setStatus('');
    $('result-info').textContent = T.saved(saved.saved, saved.folderName);
  }

  // The service's settings for this client: how often to poll a job, what a render costs. The
  // panel does not wait for them to start.
  async function readConfig() {
    const config = await request('api', { method: 'GET', path: '/api/v1/plugin/config', body: null, options: { auth: false } });
    if (!config.ok || !config.result) return;
    if (Number(config.result.poll_interval) > 0) session.pollInterval = Math.min(10, Number(config.result.poll_interval));
    const cost = config.result.costs && Number(config.result.costs.generation);
    if (Number.isInteger(cost) && cost >= 0) {
      session.generationCost = cost;
      showGenerateLabel();
    }
  }

  // --- Start: by the host's adapter once the page has loaded, with window.tamselHost in place.
  let started = false;
  function init() {
    if (started) return;
    if (!window.tamselHost || typeof window.tamselHost.send !== 'function') return showOutsideHost();
    started = true;
    $('outside-host').hidden = true;
    $('project').hidden = false;
    onClick('signin-start', startSignIn);
    onClick('open-verification', openVerification);
    onClick('signin-cancel', () => { stopSignIn(); setStatus(''); });
    onClick('signout', signOut);
    onClick('refresh-credits', refreshCredits);
    onClick('views-refresh', listViews);
    onClick('capture-btn', capture);
    onClick('pick-btn', pickFile);
    onClick('generate-btn', generate);
    onClick('place-btn', place);
    onClick('save-btn', save);
    $('error-dismiss').addEventListener('click', clearError);
    $('buy-credits').addEventListener('click', () => ask('openUrl', { target: 'pricing' }));
    $('prompt').addEventListener('input', () => { settings.prompt = $('prompt').value; saveSettings(); });
    return start();
  }

  async function start() {
    const reply = await request('getState', {});
    document.body.dataset.ready = 'true';
    // The adapter's answer when the host's native object never appeared.
    if (!reply.ok && reply.error && reply.error.code === 'unavailable') return showOutsideHost();
    if (!reply.ok) return showError(reply);
    const state = reply.result || {};
    const kept = state.state || {};
    if (typeof kept.prompt === 'string') $('prompt').value = settings.prompt = kept.prompt;
    if (typeof kept.viewId === 'string') settings.viewId = kept.viewId;
    $('project').textContent = (state.session && state.session.projectName) || '';
    readConfig();
    if (state.session && state.session.authenticated) return enterSignedIn();
    showSignedIn(false);
    if (state.session && state.session.reason === 'revoked') setStatus(T.signedOutRevoked);
  }

  // The page's texts at once; and, when no adapter has started the panel a moment after the page
  // loaded (a plain browser), the word that it runs inside the host.
  document.addEventListener('DOMContentLoaded', translate);
  window.addEventListener('load', () => setTimeout(init, 1000));

  window.TamselBridge = { receive };
  window.TamselApp = { init };
})();

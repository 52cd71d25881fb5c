// The reference panel: signs in with a device code, lists the project's views, captures one or
// picks a file, uploads it, asks for a paid render, polls the job, downloads, places and saves the
// result. It talks to the add-on only through window.tamselHost.send and answers arrive at
// window.TamselBridge.receive. Texts come from strings.js in the "lang" of the page's address;
// every error shown is the message that came with its reply.
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

  function api(method, path, body, options) {
    return request('api', { method, path, body: body === undefined ? null : body, options: options || {} });
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
  function showError(reply) {
    const error = (reply && reply.error) || {};
    $('error-message').textContent = error.message || '';
    $('error').dataset.code = error.code || '';
    $('error').hidden = false;
    setStatus('');
  }
  function clearError() {
    $('error').hidden = true;
    $('error-message').textContent = '';
    delete $('error').dataset.code;
  }
  function setStatus(text) {
    $('status').textContent = text;
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
    for (const el of document.querySelectorAll('[data-i18n-title]')) el.title = T[el.dataset.i18nTitle];
  }

  // --- Settings kept by the add-on for this project
  const settings = { prompt: '', viewId: 'current' };
  let saveTimer = null;
  function saveSettings() {
    clearTimeout(saveTimer);
    saveTimer = setTimeout(() => request('setState', { state: Object.assign({}, settings) }), 400);
  }

  // --- Session
  const session = { authenticated: false, pollInterval: 3 };
  let signIn = null;  // the running device sign-in: {deviceCode, timer, deadline}

  function showSignedIn(on) {
    session.authenticated = on;
    $('signin-view').hidden = on;
    $('main-view').hidden = !on;
    $('account').hidden = !on;
    document.body.dataset.session = on ? 'signed-in' : 'signed-out';
  }

  async function startSignIn() {
    clearError();
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
    clearError();
    stopPolling();
    await askApi('DELETE', '/api/v1/device/tokens/current');
    $('account-name').textContent = '';
    $('credits').textContent = '';
    showSignedIn(false);
  }

  function onSignedOut(data) {
    stopPolling();
    showSignedIn(false);
    setStatus(data.reason === 'revoked' ? T.signedOutRevoked : '');
  }

  async function refreshCredits() {
    clearError();
    const me = await askApi('GET', '/api/v1/me', null, { noCache: true });
    if (!me) return;
    $('account-name').textContent = me.name || me.email || '';
    $('credits').textContent = T.credits(Number(me.credits) || 0);
    $('credits').dataset.credits = String(me.credits);
  }

  // --- Views
  let selectedView = null;

  async function listViews() {
    clearError();
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
    if (!views.length) {
      grid.textContent = T.noViews;
      return;
    }
    for (const view of views) {
      const card = document.createElement('button');
      card.type = 'button';
      card.className = 'view-card';
      card.dataset.test = 'view-card';
      card.dataset.viewId = view.id;
      card.dataset.space = view.space;
      if (view.unavailable) card.classList.add('unavailable');
      if (view.reason) card.title = view.reason;
      const img = document.createElement('img');
      img.alt = '';
      if (view.thumbnail) img.src = view.thumbnail;
      const name = document.createElement('span');
      name.className = 'name';
      name.textContent = view.name;
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
    for (const el of document.querySelectorAll('.view-card.selected')) el.classList.remove('selected');
    card.classList.add('selected');
    selectedView = view;
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
    $('source-preview').src = preview || '';
    $('source-preview').hidden = !preview;
    $('source-info').textContent = info;
    $('generate-btn').disabled = false;
  }

  async function capture() {
    if (!selectedView) return;
    clearError();
    setStatus(T.capturing);
    $('capture-btn').disabled = true;
    const result = await ask('capture', { viewId: selectedView.id });
    $('capture-btn').disabled = false;
    if (!result) return;
    if (result.empty) {
      setStatus(T.emptyView);
      return;
    }
    setStatus('');
    setSource({ fileRef: result.fileRef, name: selectedView.name + '.jpg', contentType: 'image/jpeg', sizeBytes: result.sizeBytes },
              result.preview, selectedView.name + ': ' + T.sizeLine(result.width, result.height, result.sizeBytes));
  }

  async function pickFile() {
    clearError();
    setStatus(T.picking);
    const reply = await request('pickFile', { accept: ['image/png', 'image/jpeg', 'image/webp', 'video/mp4'] });
    if (!reply.ok) return showError(reply);
    if (reply.result === null) return setStatus(T.pickCancelled);
    setStatus('');
    const picked = reply.result;
    setSource(picked, null, picked.name + ' (' + picked.contentType + ', ' + picked.sizeBytes + ' bytes)');
  }

  // --- Upload, paid render, polling, download
  let generation = null;  // {uploadId, prompt, key} of the last paid request, reused for a retry
  let pollTimer = null;
  let result = null;      // {fileRef, dataUrl, path}

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
    setStatus(T.uploaded(answer.size));
    return upload;
  }

  async function generate() {
    if (!source) return;
    clearError();
    stopPolling();
    $('generate-btn').disabled = true;
    try {
      const up = await uploadSource();
      if (!up) return;
      const prompt = $('prompt').value;
      // The same request after a failure keeps its key, so the service never charges twice.
      if (!generation || generation.uploadId !== up.id || generation.prompt !== prompt)
        generation = { uploadId: up.id, prompt, key: newKey() };
      setStatus(T.generating);
      const job = await askApi('POST', '/api/v1/generations', { upload_id: up.id, prompt },
                               { idempotencyKey: generation.key });
      if (!job) return;
      generation = null;
      if (typeof job.credits === 'number') {
        $('credits').textContent = T.credits(job.credits);
        $('credits').dataset.credits = String(job.credits);
      }
      showJob(job);
      pollJob(job);
    } finally {
      $('generate-btn').disabled = !source;
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
    $('result-section').hidden = false;
    $('result-preview').src = file.dataUrl;
    $('result-preview').dataset.fileRef = file.fileRef;
    $('result-info').textContent = '';
  }

  async function place() {
    if (!result) return;
    clearError();
    setStatus(T.placing);
    const placed = await ask('place', { fileRef: result.fileRef, label: 'Tamsel Ovra ' + new Date().toLocaleTimeString() });
    if (!placed) return;
    setStatus('');
    $('result-info').textContent = T.placed(placed.label);
  }

  async function save() {
    if (!result) return;
    clearError();
    setStatus(T.saving);
    const saved = await ask('saveFiles', { folder: 'Tamsel Ovra', files: [{ fileRef: result.fileRef, name: 'render.png', kind: 'image' }] });
    if (!saved) return;
    setStatus('');
    $('result-info').textContent = T.saved(saved.saved, saved.folderName);
  }

  // --- Start
  let started = false;
  async function init() {
    if (started) return;
    started = true;
    translate();
    $('signin-start').addEventListener('click', startSignIn);
    $('open-verification').addEventListener('click', openVerification);
    $('signin-cancel').addEventListener('click', () => { stopSignIn(); setStatus(''); });
    $('signout').addEventListener('click', signOut);
    $('refresh-credits').addEventListener('click', refreshCredits);
    $('error-dismiss').addEventListener('click', clearError);
    $('views-refresh').addEventListener('click', listViews);
    $('capture-btn').addEventListener('click', capture);
    $('pick-btn').addEventListener('click', pickFile);
    $('generate-btn').addEventListener('click', generate);
    $('place-btn').addEventListener('click', place);
    $('save-btn').addEventListener('click', save);
    $('prompt').addEventListener('input', () => { settings.prompt = $('prompt').value; saveSettings(); });

    const state = await ask('getState', {});
    document.body.dataset.ready = 'true';
    if (!state) return;
    const kept = state.state || {};
    if (typeof kept.prompt === 'string') $('prompt').value = settings.prompt = kept.prompt;
    if (typeof kept.viewId === 'string') settings.viewId = kept.viewId;
    $('project').textContent = (state.session && state.session.projectName) || '';
    // The service's polling interval for jobs; the panel does not wait for it to start.
    request('api', { method: 'GET', path: '/api/v1/plugin/config', body: null, options: { auth: false } }).then((config) => {
      if (config.ok && config.result && Number(config.result.poll_interval) > 0)
        session.pollInterval = Math.min(10, Number(config.result.poll_interval));
    });
    if (state.session && state.session.authenticated) return enterSignedIn();
    showSignedIn(false);
    if (state.session && state.session.reason === 'revoked') setStatus(T.signedOutRevoked);
  }

  window.TamselBridge = { receive };
  window.TamselApp = { init };
})();

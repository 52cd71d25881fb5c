// A stand-in for the add-on behind window.tamselHost: it answers the panel's requests with replies
// shaped as the add-on's (results passed through from the service, errors with the add-on's code
// and its message in the page's language), a little later, as the host's turn would. The test sets
// window.standIn's switches before calling TamselApp.init() and reads what was asked in `requests`.
(function () {
  'use strict';
  const lang = new URLSearchParams(location.search).get('lang') || 'en';
  const pick = (pt, en, es) => ({ pt, en, es })[lang] || en;
  const messages = {
    network: pick('Sem conexão. Verifique a internet e tente de novo.', 'No connection. Check your internet and try again.',
                  'Sin conexión. Revisa internet e inténtalo de nuevo.'),
    no_credits: pick('Saldo insuficiente. Nada foi cobrado.', 'Insufficient credits. Nothing was charged.',
                     'Saldo insuficiente. No se cobró nada.'),
    authorization_pending: pick('Aguardando a confirmação.', 'Waiting for the confirmation.', 'Esperando la confirmación.'),
  };

  // Pictures drawn here: a house against the sky, as JPEG or PNG data URLs of the given size.
  function picture(width, height, type, hue) {
    const canvas = document.createElement('canvas');
    canvas.width = width;
    canvas.height = height;
    const g = canvas.getContext('2d');
    const sky = g.createLinearGradient(0, 0, 0, height);
    sky.addColorStop(0, 'hsl(' + hue + ',60%,75%)');
    sky.addColorStop(1, 'hsl(' + hue + ',40%,92%)');
    g.fillStyle = sky;
    g.fillRect(0, 0, width, height);
    g.fillStyle = '#7a9a5a';
    g.fillRect(0, height * 0.75, width, height * 0.25);
    g.fillStyle = '#d9d2c5';
    g.fillRect(width * 0.3, height * 0.4, width * 0.4, height * 0.35);
    g.fillStyle = '#8c3b2a';
    g.beginPath();
    g.moveTo(width * 0.25, height * 0.42);
    g.lineTo(width * 0.5, height * 0.18);
    g.lineTo(width * 0.75, height * 0.42);
    g.fill();
    return canvas.toDataURL(type, 0.8);
  }

  const views = [
    { id: 'current', name: pick('Vista 3D atual', 'Current 3D view', 'Vista 3D actual'), space: 'exterior', current: true },
    { id: 'nav-5A1F0C2E-1B7D-4C3A-9E21-0D4B6F7A8C11', name: pick('Fachada norte com o jardim de entrada', 'North front with the entrance garden', 'Fachada norte con el jardín de entrada'), space: 'exterior' },
    { id: 'nav-0B9E77D4-2C11-4F0E-8A3B-6E5D4C3B2A19', name: pick('Sala de estar', 'Living room', 'Sala de estar'), space: 'interior' },
    { id: 'nav-7C3D2B1A-9F8E-4D7C-B6A5-1E2F3A4B5C6D', name: pick('Planta do térreo', 'Ground floor plan', 'Planta baja'), space: 'exterior',
      empty: true, unavailable: true,
      reason: pick('Vista salva do Archicad: abra-a no Archicad e use “Vista atual”.', 'Saved Archicad view: open it in Archicad and use “Current view”.',
                   'Vista guardada de Archicad: ábrela en Archicad y usa “Vista actual”.') },
  ];

  const standIn = {
    // Switches the test sets before the panel starts.
    signedIn: false,
    unavailable: false,   // getState answered as the adapter does when the native object never came
    meFails: false,       // GET /api/v1/me fails with a network error
    noCredits: false,     // POST /api/v1/generations refused: no credits
    jobDone: false,       // the job is running until this is set
    credits: 10,
    requests: [],
    captures: 0,
    lastPreview: null,    // the preview of the last capture
  };
  window.standIn = standIn;

  const ok = (result) => ({ ok: true, result });
  const failure = (code) => ({ ok: false, error: { code, message: messages[code] || code } });

  function api(payload) {
    const { method, path } = payload;
    if (path === '/api/v1/plugin/config')
      return ok({ contract: 1, site: 'https://ovra.example/', latest_plugin: '1.1.0',
                  costs: { generation: 1, animation_video: 5 }, poll_interval: 1, plugin: 'current' });
    if (path === '/api/v1/device/start')
      return ok({ device_code: '9f2c4e6a8b0d1f3e5a7c9e1b3d5f7a9c', user_code: 'WDJB-MJHT',
                  verification_uri: 'https://ovra.example/device',
                  verification_uri_complete: 'https://ovra.example/device?user_code=WDJB-MJHT', interval: 5, expires_in: 600 });
    if (path === '/api/v1/device/token') return failure('authorization_pending');
    if (path === '/api/v1/me')
      return standIn.meFails ? failure('network')
                             : ok({ id: 'acct_1', email: 'architect@ovra.example', name: 'Simulated Architect', credits: standIn.credits });
    if (path === '/api/v1/uploads')
      return ok({ id: 'upl_1', content_type: payload.options.contentType, filename: payload.options.filename, size: 412345 });
    if (path === '/api/v1/generations') {
      if (standIn.noCredits) return failure('no_credits');
      standIn.credits -= 1;
      return ok({ id: 'job_1', kind: 'generation', status: 'queued', upload_id: payload.body.upload_id, cost: 1,
                  credits: standIn.credits, poll: '/api/v1/jobs/job_1' });
    }
    if (path === '/api/v1/jobs/job_1') {
      const job = { id: 'job_1', kind: 'generation', status: standIn.jobDone ? 'done' : 'running', upload_id: 'upl_1',
                    cost: 1, credits: standIn.credits, poll: '/api/v1/jobs/job_1' };
      if (standIn.jobDone)
        job.result = { path: '/api/v1/jobs/job_1/result', url: 'https://ovra.example/r/job_1.png', content_type: 'image/png' };
      return ok(job);
    }
    if (path === '/api/v1/jobs/job_1/result' && method === 'GET') {
      const dataUrl = picture(640, 400, 'image/png', 30);
      return ok({ url: dataUrl, dataUrl, fileRef: 'res-1' });
    }
    if (path === '/api/v1/device/tokens/current') return ok({});
    return failure('not_found');
  }

  function answer(message) {
    const payload = message.payload || {};
    switch (message.type) {
      case 'getState':
        if (standIn.unavailable) return { ok: false, error: { code: 'unavailable', message: 'Archicad host unavailable' } };
        return ok({ state: {}, session: { authenticated: standIn.signedIn, reason: null, projectName: 'Casa Ribeira' },
                    host: { app: 'archicad', appVersion: '30', platform: 'win', lang: lang === 'pt' ? 'pt-BR' : lang,
                            pluginVersion: '1.1.0' },
                    model: { fileName: 'Casa Ribeira.pln', title: 'Casa Ribeira' } });
      case 'setState': return ok({});
      case 'openUrl': return ok({});
      case 'api': return api(payload);
      case 'listViews':
        return ok({ projectName: 'Casa Ribeira',
                    views: views.map((v) => Object.assign({ thumbnail: picture(320, 200, 'image/jpeg', v.space === 'interior' ? 40 : 205) }, v)) });
      case 'capture':
        standIn.captures++;
        standIn.lastPreview = picture(480, 300, 'image/jpeg', 120 + standIn.captures * 40);
        return ok({ fileRef: 'cap-' + standIn.captures, preview: standIn.lastPreview, sizeBytes: 412345, width: 1600, height: 1000 });
      case 'place': return ok({ label: payload.label });
      case 'saveFiles': return ok({ saved: 1, folderName: 'Tamsel Ovra' });
      case 'pickFile': return ok({ fileRef: 'pick-1', name: 'render.png', contentType: 'image/png', sizeBytes: 1234567 });
      default: return failure('invalid_request');
    }
  }

  window.tamselHost = {
    send(message) {
      standIn.requests.push(JSON.parse(JSON.stringify(message)));
      setTimeout(() => window.TamselBridge.receive(Object.assign({ id: message.id }, answer(message))), 20);
    },
  };
})();

// What a person sees in the panel, measured in the page: window.panelProbe(expected) compares the
// shown elements with the list of those meant to be shown, and finds what is wider than the panel,
// clipped, or without a name for assistive technology. Each finding is one line of text.
(function () {
  'use strict';

  // Shown: rendered with a box of its own that is not empty, and not made invisible by style.
  function shown(el) {
    if (el.getClientRects().length === 0) return false;  // display:none on it or an ancestor
    const style = getComputedStyle(el);
    if (style.visibility !== 'visible') return false;
    const box = el.getBoundingClientRect();
    return box.width > 0 && box.height > 0;
  }

  function describe(el) {
    let text = el.tagName.toLowerCase();
    if (el.id) text += '#' + el.id;
    else if (el.classList.length) text += '.' + Array.from(el.classList).join('.');
    const words = (el.textContent || '').trim().replace(/\s+/g, ' ');
    if (words) text += ' "' + (words.length > 40 ? words.slice(0, 40) + '…' : words) + '"';
    return text;
  }

  // The elements the table speaks of: every element with an id, and the view cards, which have none.
  function named() {
    const found = [];
    for (const el of document.body.querySelectorAll('[id]')) found.push({ key: '#' + el.id, el });
    for (const el of document.querySelectorAll('.view-card')) found.push({ key: '.view-card', el });
    return found;
  }

  function visibility(expected) {
    const meant = new Set(expected);
    const findings = [];
    const seen = new Set();
    for (const { key, el } of named()) {
      seen.add(key);
      const on = shown(el);
      if (on && !meant.has(key)) findings.push('shown but not meant to be: ' + describe(el));
      if (!on && meant.has(key)) findings.push('meant to be shown but hidden: ' + describe(el));
    }
    for (const key of meant) if (!seen.has(key)) findings.push('meant to be shown but not in the page: ' + key);
    return findings;
  }

  // Wider than the panel, or text cut off at the side. Elements that end their text with an
  // ellipsis are cut off by design; inline elements have no scroll box to compare.
  function overflow() {
    const width = document.documentElement.clientWidth;
    const findings = [];
    if (document.documentElement.scrollWidth > width)
      findings.push('the page scrolls sideways: ' + document.documentElement.scrollWidth + ' > ' + width + ' px');
    for (const el of document.body.querySelectorAll('*')) {
      if (!shown(el)) continue;
      const box = el.getBoundingClientRect();
      if (box.left < -0.5 || box.right > width + 0.5)
        findings.push('outside the panel (' + Math.round(box.left) + '..' + Math.round(box.right) + ' of ' + width + ' px): ' + describe(el));
      const style = getComputedStyle(el);
      if (style.display === 'inline' || style.textOverflow === 'ellipsis' || el.clientWidth === 0) continue;
      if (el.scrollWidth > el.clientWidth + 1)
        findings.push('content cut off (' + el.scrollWidth + ' > ' + el.clientWidth + ' px): ' + describe(el));
    }
    return findings;
  }

  // Names and roles for assistive technology, on what is shown.
  function access() {
    const findings = [];
    for (const el of document.querySelectorAll('button, textarea, input, select, progress')) {
      if (!shown(el)) continue;
      const name = (el.getAttribute('aria-label') || '').trim() || (el.labels && el.labels.length ? 'label' : '') ||
                   (el.tagName === 'BUTTON' ? el.textContent.trim() : '');
      if (!name) findings.push('no accessible name: ' + describe(el));
      if (el.tagName === 'BUTTON' && /^[^\p{L}\p{N}]+$/u.test(el.textContent.trim()) && !el.getAttribute('aria-label'))
        findings.push('a symbol for its name: ' + describe(el));
    }
    for (const img of document.querySelectorAll('img')) {
      if (shown(img) && !(img.getAttribute('alt') || '').trim()) findings.push('picture without a text: ' + describe(img));
    }
    const cards = document.querySelectorAll('.view-card');
    for (const card of cards) {
      const pressed = card.getAttribute('aria-pressed');
      if (pressed !== 'true' && pressed !== 'false') findings.push('view card without aria-pressed: ' + describe(card));
      else if ((pressed === 'true') !== card.classList.contains('selected'))
        findings.push('aria-pressed="' + pressed + '" on a card that is ' + (card.classList.contains('selected') ? '' : 'not ') + 'selected: ' + describe(card));
    }
    for (const el of document.querySelectorAll('[tabindex]'))
      if (el.tabIndex > 0) findings.push('positive tabindex: ' + describe(el));
    const status = document.getElementById('job-status');
    if (status && status.getAttribute('aria-live') !== 'polite' && status.getAttribute('role') !== 'status')
      findings.push('the job status is not a live region');
    return findings;
  }

  window.panelProbe = (expected) => ({ visibility: visibility(expected), overflow: overflow(), access: access() });
})();

// The adapter script injected into the panel's page, run as its exact text in a fresh context
// with a fake window and fake timers.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import vm from 'node:vm';

const script = readFileSync(new URL('../../src/panel/adapter.js', import.meta.url), 'utf8');

// A page: the global object is the window; timers run only when the test ticks them.
function makePage(extra = {}) {
  const intervals = new Map();
  let nextTimer = 1;
  const page = {
    received: [],
    posted: [],
    setInterval(fn, ms) {
      const id = nextTimer++;
      intervals.set(id, { fn, ms });
      return id;
    },
    clearInterval(id) {
      intervals.delete(id);
    },
    ...extra,
  };
  page.window = page;
  // Copied out of the page's realm, so results compare as plain objects.
  page.TamselBridge = { receive: (m) => page.received.push(JSON.parse(JSON.stringify(m))) };
  const context = vm.createContext(page);
  return {
    page,
    intervals,
    run: () => vm.runInContext(script, context),
    // One 50 ms tick of every running interval.
    tick(times = 1) {
      for (let i = 0; i < times; i++) for (const { fn } of [...intervals.values()]) fn();
    },
    installNative() {
      page.TamselAC = { post: (text) => page.posted.push(text) };
    },
  };
}

const unavailable = (id) => ({ id, ok: false, error: { code: 'unavailable', message: 'Archicad host unavailable' } });

test('requests are posted at once, in order, as JSON texts', () => {
  const p = makePage();
  p.installNative();
  p.run();
  p.page.tamselHost.send({ id: '1', type: 'getState' });
  p.page.tamselHost.send({ id: '2', type: 'listViews', payload: { a: [1] } });
  assert.deepEqual(p.page.posted, ['{"id":"1","type":"getState"}', '{"id":"2","type":"listViews","payload":{"a":[1]}}']);
  assert.equal(p.intervals.size, 0);
  assert.equal(p.page.tamselHost.archicad, true);
});

test('before the native object exists, requests wait and are flushed in order by the 50 ms retry', () => {
  const p = makePage();
  p.run();
  p.page.tamselHost.send({ id: 'a' });
  p.page.tamselHost.send({ id: 'b' });
  assert.equal(p.intervals.size, 1, 'one retry timer for all waiting requests');
  assert.equal([...p.intervals.values()][0].ms, 50);
  p.tick(10);
  assert.deepEqual(p.page.posted, []);
  p.installNative();
  p.tick();
  assert.deepEqual(p.page.posted, ['{"id":"a"}', '{"id":"b"}']);
  assert.equal(p.intervals.size, 0, 'the timer stops once flushed');
  p.page.tamselHost.send({ id: 'c' });
  assert.deepEqual(p.page.posted.at(-1), '{"id":"c"}');
});

test('a native object whose post is not a function does not count as ready', () => {
  const p = makePage();
  p.page.TamselAC = { post: 'nope' };
  p.run();
  p.page.tamselHost.send({ id: 'x' });
  assert.equal(p.intervals.size, 1);
  assert.deepEqual(p.page.received, []);
});

test('on the 401st unsuccessful tick every waiting request fails with "unavailable"', () => {
  const p = makePage();
  p.run();
  p.page.tamselHost.send({ id: 'first' });
  p.page.tamselHost.send({ id: 'second' });
  p.tick(400);
  assert.deepEqual(p.page.received, [], 'still waiting after 400 ticks');
  p.tick();
  assert.deepEqual(p.page.received, [unavailable('first'), unavailable('second')]);
  assert.equal(p.intervals.size, 0);
  // A later request starts a new wait of its own.
  p.page.tamselHost.send({ id: 'third' });
  assert.equal(p.intervals.size, 1);
});

test('failing without a TamselBridge on the page is silent', () => {
  const p = makePage();
  delete p.page.TamselBridge;
  p.run();
  p.page.tamselHost.send({ id: 'lost' });
  assert.doesNotThrow(() => p.tick(401));
  assert.equal(p.intervals.size, 0);
});

test('a post that throws fails only that request', () => {
  const p = makePage();
  p.page.TamselAC = {
    post(text) {
      if (JSON.parse(text).id === 'bad') throw new Error('boom');
      p.page.posted.push(text);
    },
  };
  p.run();
  for (const id of ['ok1', 'bad', 'ok2']) p.page.tamselHost.send({ id });
  assert.deepEqual(p.page.posted, ['{"id":"ok1"}', '{"id":"ok2"}']);
  assert.deepEqual(p.page.received, [unavailable('bad')]);
});

test('TamselApp.init is called once, however often the script runs', () => {
  let calls = 0;
  const p = makePage({ TamselApp: { init: () => calls++ } });
  p.run();
  assert.equal(calls, 1);
  assert.equal(p.page.__tamselInit, true);
  p.page.tamselHost = undefined;
  p.run();
  assert.equal(calls, 1);
});

test("a page's own adapter is left alone and its app is not started", () => {
  let calls = 0;
  const own = { archicad: true, send() {} };
  const p = makePage({ tamselHost: own, TamselApp: { init: () => calls++ } });
  p.run();
  assert.equal(p.page.tamselHost, own);
  assert.equal(calls, 0);
  assert.equal(p.page.__tamselInit, undefined);
});

test('a tamselHost that is not an Archicad adapter is replaced', () => {
  const p = makePage({ tamselHost: { archicad: false } });
  p.run();
  assert.equal(p.page.tamselHost.archicad, true);
  assert.equal(typeof p.page.tamselHost.send, 'function');
});

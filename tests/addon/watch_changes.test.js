'use strict';
// watchChanges over the stand-in store: one call per rewrite or burst, silence
// after a stop (with a call already queued, and from inside the listener),
// watches in workers, and nothing left behind by a thousand of them.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { performance } = require('node:perf_hooks');
const { Worker } = require('node:worker_threads');
const vantrel = require('./vantrel_under_test.js');
const { useStore, addonPath } = require('./standin_store.js');

const quietMs = 250; // a burst ends once the store has been quiet this long
const settleMs = 3 * quietMs; // time for a wrong extra call to have come
const patienceMs = 10_000; // only bounds waits that a working watch ends far sooner

// The stand-in hears its document through inotify; elsewhere it cannot watch.
const needsInotify = { skip: process.platform !== 'linux' && 'the stand-in watches on Linux only' };

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function until(condition) {
  const end = Date.now() + patienceMs;
  while (!condition()) {
    if (Date.now() > end) assert.fail('the watch did not call');
    await sleep(5);
  }
}

const rewrite = (file, document) => fs.writeFileSync(file, JSON.stringify(document));
const threads = () => fs.readdirSync('/proc/self/task').length;
const descriptors = () => fs.readdirSync('/proc/self/fd').length;

test('a rewrite gives one call, and so does a burst of rewrites and a replacement', needsInotify,
  async (t) => {
  const file = useStore({ status: 3 });
  let calls = 0;
  const stop = vantrel.watchChanges(() => ++calls);
  try {
    const written = performance.now();
    rewrite(file, { status: 2 });
    await until(() => calls === 1);
    t.diagnostic(`called ${Math.round(performance.now() - written)} ms after the rewrite`);
    await sleep(settleMs);
    assert.equal(calls, 1);

    const began = performance.now();
    for (let status = 0; status < 5; ++status) rewrite(file, { status });
    fs.writeFileSync(`${file}.new`, '{}');
    fs.renameSync(`${file}.new`, file);
    const took = performance.now() - began;
    await until(() => calls === 2);
    await sleep(settleMs);
    // A machine stalled inside the burst splits it, and then two calls are right.
    if (took < quietMs) assert.equal(calls, 2);
  } finally {
    stop();
  }
});

test('a stopped watch is silent, even with a call already queued', needsInotify, async () => {
  const file = useStore({});
  let calls = 0;
  const stop = vantrel.watchChanges(() => ++calls);
  rewrite(file, { status: 1 });
  // The JavaScript thread stays busy past the burst, so the call is queued
  // for it but has not run when the watch stops.
  const busyUntil = Date.now() + 4 * quietMs;
  while (Date.now() < busyUntil);
  assert.equal(stop(), undefined);
  assert.equal(stop(), undefined);
  rewrite(file, { status: 2 });
  await sleep(2 * settleMs);
  assert.equal(calls, 0);
});

test('a listener may stop its own watch', needsInotify, async () => {
  const file = useStore({});
  let calls = 0;
  const stop = vantrel.watchChanges(() => {
    ++calls;
    stop();
  });
  rewrite(file, { status: 1 });
  await until(() => calls === 1);
  rewrite(file, { status: 2 });
  await sleep(settleMs);
  assert.equal(calls, 1);
});

test('a listener that is not a function, or a store that cannot be watched, throws', () => {
  const needsFunction = { message: 'watchChanges(listener) requires a function.' };
  for (const listener of [undefined, null, 'f', {}, 1]) {
    assert.throws(() => vantrel.watchChanges(listener), needsFunction);
  }
  assert.throws(() => vantrel.watchChanges(), needsFunction);
  process.env.VANTREL_STANDIN_STORE = '/nonexistent-vantrel-directory/store.json';
  assert.throws(() => vantrel.watchChanges(() => {}), { message: 'Calendar changes cannot be ' +
    'watched (/nonexistent-vantrel-directory/store.json): its directory does not exist.' });
});

test('workers watch beside the main thread, and a worker that ends stops its watches', needsInotify,
  async () => {
  const file = useStore({});
  let mainCalls = 0;
  const stop = vantrel.watchChanges(() => ++mainCalls);
  try {
    const before = threads();
    const worker = new Worker(`
      const { parentPort, workerData } = require('node:worker_threads');
      const vantrel = require(workerData.addonPath);
      for (let i = 0; i < 2; ++i) vantrel.watchChanges(() => parentPort.postMessage('call'));
      parentPort.on('message', () => {});  // the watches alone would let it end
      parentPort.postMessage('watching');`, { eval: true, workerData: { addonPath } });
    let workerCalls = 0;
    worker.on('message', (message) => { if (message === 'call') ++workerCalls; });
    await new Promise((resolve) => worker.once('message', resolve));

    rewrite(file, { status: 1 });
    await until(() => mainCalls === 1 && workerCalls === 2);
    await worker.terminate();
    assert.ok(threads() <= before, `${threads()} threads, ${before} before the worker`);

    rewrite(file, { status: 2 });
    await until(() => mainCalls === 2);
  } finally {
    stop();
  }
});

// Changes reach a process through its main thread's run loop, which the
// module turns while a watch runs anywhere: a worker's watch hears with no
// watch on the main thread, and is refused where nothing would turn it.
test('a worker watches alone through the main thread, or is told why it cannot', needsInotify,
  async () => {
  const file = useStore({});
  const worker = new Worker(`
    const { parentPort, workerData } = require('node:worker_threads');
    require(workerData.addonPath).watchChanges(() => parentPort.postMessage('call'));
    parentPort.on('message', () => {});
    parentPort.postMessage('watching');`, { eval: true, workerData: { addonPath } });
  let workerCalls = 0;
  worker.on('message', (message) => { if (message === 'call') ++workerCalls; });
  await new Promise((resolve) => worker.once('message', resolve));
  rewrite(file, { status: 1 });
  await until(() => workerCalls === 1);
  await worker.terminate();

  const { execFileSync } = require('node:child_process');
  const refused = execFileSync(process.execPath, ['-e', `
    const { Worker } = require('node:worker_threads');
    new Worker('const { workerData } = require("node:worker_threads");' +
      'try { require(workerData).watchChanges(() => {}); console.log("watching"); }' +
      'catch (error) { console.log(error.message); }', { eval: true, workerData: process.argv[1] });`,
  addonPath], { encoding: 'utf8' });
  assert.match(refused, /^Calendar changes cannot be watched from this thread: macOS hands them/);
});

// The module turns the main thread's run loop with nothing of JavaScript's: a
// test's fake timers (node's mock.timers; sinon and Jest replace the same
// global) or a browser-style setInterval, while a watch starts, change
// nothing. A host that turns that loop itself switches the module's turn off,
// and then nothing turns it in a plain node: a grant that shows only at a
// turn never shows.
test('the main run loop turns whatever the timer globals hold, unless the host turns it',
  needsInotify, () => {
  const { execFileSync } = require('node:child_process');
  const child = (script, environment = {}) => execFileSync(process.execPath, ['-e', `
    const vantrel = require(process.argv[1]);
    const heard = new Set();
    const patience = setTimeout(() => console.log('heard', [...heard].join()), 10000);
    const watch = (name) => vantrel.watchChanges(() => {
      heard.add(name);
      if (heard.size === 2) { clearTimeout(patience); console.log('heard', [...heard].sort().join()); }
    });
    try { ${script} } catch (error) { clearTimeout(patience); console.log(error.message); }`,
  addonPath], { encoding: 'utf8', env: { ...process.env, ...environment } }).trim();
  const rewrite = 'require("node:fs").writeFileSync(process.env.VANTREL_STANDIN_STORE, "{}");';
  useStore({});
  assert.equal(child(`const { mock } = require('node:test');
    mock.timers.enable({ apis: ['setInterval'] }); watch('first'); mock.timers.reset();
    watch('later'); ${rewrite}`), 'heard first,later');
  assert.equal(child(`const real = setInterval; globalThis.setInterval = () => 1;
    watch('first'); globalThis.setInterval = real; watch('later'); ${rewrite}`), 'heard first,later');

  useStore({ status: 0, request: { granted: true, delayMs: 20, untilMainTurn: true } });
  assert.equal(child(`clearTimeout(patience); vantrel.requestAccess().then(() =>
    console.log(JSON.parse(vantrel.diagnostics()).status));`, { VANTREL_MAIN_RUN_LOOP: 'host' }),
  'not-determined');
});

test('a thousand watches started and stopped leave no thread or descriptor behind', needsInotify,
  (t) => {
  useStore({});
  const before = { threads: threads(), descriptors: descriptors(), rss: process.memoryUsage.rss() };
  for (let i = 0; i < 1000; ++i) vantrel.watchChanges(() => {})();
  assert.equal(threads(), before.threads);
  assert.equal(descriptors(), before.descriptors);
  const grown = (process.memoryUsage.rss() - before.rss) / 1024;
  const sign = grown >= 0 ? '+' : '';
  t.diagnostic(`resident memory ${sign}${Math.round(grown)} KiB after 1000 watches`);
});

test('an idle watch uses no measurable CPU', needsInotify, async (t) => {
  useStore({});
  const stop = vantrel.watchChanges(() => {});
  try {
    const start = process.cpuUsage();
    const began = performance.now();
    await sleep(2000);
    const { user, system } = process.cpuUsage(start);
    const cpuMs = (user + system) / 1000;
    const wallMs = performance.now() - began;
    t.diagnostic(`${cpuMs.toFixed(1)} ms of CPU in ${Math.round(wallMs)} ms idle, whole process`);
    // Only a watch that spins or polls busily comes anywhere near this.
    assert.ok(cpuMs < wallMs / 4, `${cpuMs} ms of CPU`);
  } finally {
    stop();
  }
});

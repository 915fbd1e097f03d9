'use strict';
// Run as a child process by request_pending_when_worker_ends.test.js. Workers
// load the module, ask for access and end before the answer has settled their
// promises; the answers still come, on other threads or already queued. Prints
// "survived" once every answer has surely arrived.
const { Worker, isMainThread, parentPort, workerData } = require('node:worker_threads');
const { useStore, addonPath } = require('./standin_store.js');

const requestsPerWorker = 8;

if (!isMainThread) {
  const vantrel = require(addonPath);
  for (let i = 0; i < requestsPerWorker; ++i) vantrel.requestAccess();
  if (workerData.end === 'exit') process.exit(0);
  parentPort.postMessage('asked');
} else {
  const scenarios = [
    // Answered on another thread after the worker was terminated.
    { end: 'terminate', store: { status: 0, request: { granted: true, delayMs: 100 } } },
    { end: 'exit', store: { status: 0, request: { granted: false, delayMs: 100 } } },
    // Answered inside the request, queued, and never run by the worker.
    { end: 'exit', store: { status: 0, request: { granted: false, thread: 'caller' } } },
    { end: 'exit', store: { status: 2 } },
  ];

  async function run({ end, store }) {
    useStore(store);
    const worker = new Worker(__filename, { workerData: { end } });
    const ended = new Promise((resolve) => worker.once('exit', resolve));
    if (end === 'terminate') {
      await new Promise((resolve) => worker.once('message', resolve));
      await worker.terminate();
    }
    await ended;
    // Asked after the worker's requests with the same delay, so answered after
    // them; settled either way.
    await require(addonPath).requestAccess().catch(() => {});
  }

  (async () => {
    for (const scenario of scenarios) await run(scenario);
    await new Promise((resolve) => setTimeout(resolve, 100));
    process.stdout.write('survived');
  })();
}

'use strict';
// Run as a child process by process_exits.test.js: settles a few access
// requests of every kind, prints their outcomes, and then simply stops doing
// anything. It must exit on its own.
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

async function outcome(promise) {
  try {
    return await promise;
  } catch (error) {
    return error.message.slice(0, 40);
  }
}

async function main() {
  const outcomes = [];
  useStore({ status: 3 });
  outcomes.push(await outcome(vantrel.requestAccess()));
  useStore({ status: 2 });
  outcomes.push(await outcome(vantrel.requestAccess()));
  useStore({ status: 0, request: { granted: true, delayMs: 10 } });
  outcomes.push(...await Promise.all([1, 2, 3].map(() => outcome(vantrel.requestAccess()))));
  useStore({ status: 0, request: { granted: false, error: 'refused' } });
  outcomes.push(await outcome(vantrel.requestAccess()));
  process.stdout.write(JSON.stringify(outcomes));
}

main();

'use strict';
// Run as a child process by process_exits.test.js: a watch whose listener
// throws, heard twice; the errors reach 'uncaughtException' as a throwing timer's
// would. Then the process leaves the watch running and does nothing more: it
// must exit on its own.
const fs = require('node:fs');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

const file = useStore({});
const uncaught = [];
let calls = 0;
// Keeps the process up until the second call; the watch alone must not.
const alive = setInterval(() => {}, 1000);
process.on('uncaughtException', (error) => {
  uncaught.push(error.message);
  if (uncaught.length === 1) fs.writeFileSync(file, '{"status":2}');
  if (uncaught.length === 2) {
    process.stdout.write(JSON.stringify(uncaught));
    clearInterval(alive);
  }
});
vantrel.watchChanges(() => {
  throw new Error(`listener ${++calls}`);
});
fs.writeFileSync(file, '{"status":1}');

'use strict';
// Resident memory of one Node process over repeated snapshots of the same
// stand-in store: after the first call (which parses and caches the document)
// it must stay level, not grow with every call.
//
//   node --expose-gc bench/snapshot_rss.js --addon build/addon/vantrel.node \
//        --store STORE.json [--times 30]

const path = require('node:path');

function parseArguments(argv) {
  const options = { addon: null, store: null, times: 30 };
  for (let i = 0; i < argv.length; i += 2) {
    if (argv[i] === '--addon') options.addon = argv[i + 1];
    else if (argv[i] === '--store') options.store = argv[i + 1];
    else if (argv[i] === '--times') options.times = Number(argv[i + 1]);
  }
  if (!options.addon || !options.store || !(options.times >= 10)) {
    throw new Error('usage: snapshot_rss.js --addon PATH --store STORE.json [--times N >= 10]');
  }
  return options;
}

const megabytes = (bytes) => (bytes / 1e6).toFixed(1).padStart(8);

function main() {
  const options = parseArguments(process.argv.slice(2));
  process.env.VANTREL_STANDIN_STORE = options.store;
  const vantrel = require(path.resolve(options.addon));
  const collect = global.gc ?? (() => {});
  const snapshot = () => vantrel.snapshot('0000-01-01T00:00:00Z', '9999-12-31T23:59:59.999Z');

  const rss = [];
  let length = 0;
  for (let i = 0; i < options.times; ++i) {
    length = snapshot().length;
    collect();
    rss.push(process.memoryUsage.rss());
  }
  const settled = rss[4];
  const last = rss[rss.length - 1];
  const growth = last - settled;
  console.log(`snapshot of ${length} characters, ${options.times} times in one process`);
  console.log(`RSS after the first call ${megabytes(rss[0])} MB (the parsed store document included)`);
  console.log(`RSS after call 5         ${megabytes(settled)} MB`);
  console.log(`RSS after call ${String(options.times).padEnd(10)}${megabytes(last)} MB`);
  console.log(`highest RSS              ${megabytes(Math.max(...rss))} MB`);
  console.log(`growth from call 5 on    ${megabytes(growth)} MB, ` +
              `${(growth / (options.times - 5) / 1e3).toFixed(1)} kB a call`);
}

main();

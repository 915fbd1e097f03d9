'use strict';
// Resident memory of one Node process over repeated snapshots of the same
// stand-in store: after the first call (which parses and caches the document)
// it must stay level, not grow with every call. Then the peak of one
// snapshot() and of one snapshotAsync(), each above what the process held
// before it (Linux: the kernel's high-water mark, reset before the call).
//
//   node --expose-gc bench/snapshot_rss.js --addon build/addon/vantrel.node \
//        --store STORE.json [--times 30] [--range START,END]
//
// The range is every instant a date can name unless given; a long range is
// read in windows of a few years, each a query of its own, so a store of
// known dates is read faster through a range that just holds them.

const fs = require('node:fs');
const path = require('node:path');

function parseArguments(argv) {
  const options = {
    addon: null, store: null, times: 30, range: ['0000-01-01T00:00:00Z', '9999-12-31T23:59:59.999Z'],
  };
  for (let i = 0; i < argv.length; i += 2) {
    if (argv[i] === '--addon') options.addon = argv[i + 1];
    else if (argv[i] === '--store') options.store = argv[i + 1];
    else if (argv[i] === '--times') options.times = Number(argv[i + 1]);
    else if (argv[i] === '--range') options.range = argv[i + 1].split(',');
  }
  if (!options.addon || !options.store || !(options.times >= 10)) {
    throw new Error('usage: snapshot_rss.js --addon PATH --store STORE.json [--times N >= 10] [--range START,END]');
  }
  return options;
}

const megabytes = (bytes) => (bytes / 1e6).toFixed(1).padStart(8);

// The resident high-water mark in bytes, reset first when `reset`; null
// where the kernel does not offer it.
function highWaterMark(reset) {
  try {
    if (reset) fs.writeFileSync('/proc/self/clear_refs', '5');
    return Number(/VmHWM:\s+(\d+) kB/.exec(fs.readFileSync('/proc/self/status', 'utf8'))[1]) * 1024;
  } catch {
    return null;
  }
}

// The highest of three peaks of `work` above the memory held before it.
async function peakOfOneCall(collect, work) {
  let highest = 0;
  for (let i = 0; i < 3; ++i) {
    collect();
    const before = process.memoryUsage.rss();
    if (highWaterMark(true) === null) return null;
    const text = await work();
    highest = Math.max(highest, highWaterMark(false) - before);
    if (typeof text !== 'string') throw new Error('no document');
  }
  return highest;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  process.env.VANTREL_STANDIN_STORE = options.store;
  const vantrel = require(path.resolve(options.addon));
  const collect = global.gc ?? (() => {});
  const { range } = options;
  const snapshot = () => vantrel.snapshot(...range);

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
  for (const [name, work] of [['snapshot()', async () => snapshot()],
                              ['snapshotAsync()', () => vantrel.snapshotAsync(...range)]]) {
    const peak = await peakOfOneCall(collect, work);
    if (peak !== null) console.log(`peak of one ${name.padEnd(16)}${megabytes(peak)} MB above the RSS before it`);
  }
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});

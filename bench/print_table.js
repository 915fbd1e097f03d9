'use strict';
// Prints one table from the summaries of vantrel_bench (--summary) and
// node_routes.js (--summary), with the ratios the snapshot path is held to.
//
//   node bench/print_table.js NATIVE.json NODE.json

const fs = require('node:fs');

const [nativeFile, nodeFile] = process.argv.slice(2);
const rows = [
  ...JSON.parse(fs.readFileSync(nativeFile, 'utf8')).results,
  ...(nodeFile ? JSON.parse(fs.readFileSync(nodeFile, 'utf8')).results : []),
];

const labels = {
  tight_writer: 'tight writer: values to bytes, touched memory',
  conversion: '1 conversion: values to records, touched',
  encoding: '2 encodeSnapshot of records, touched',
  tight_writer_fresh: 'tight writer into new memory',
  fresh_pass: 'one pass writing the document into new memory',
  v8_layout: '  the document laid out for V8 (snapshotAsync)',
  exported_snapshot: '3 tavimo_calendar_snapshot, end to end',
  exported_snapshot_reused: '  3 again, into memory freed by the call before',
  nlohmann_route: '4 nlohmann-json route, end to end',
  v8_route: '4 V8 route (objects, toISOString, stringify)',
  module_snapshot: '  snapshot() of the module, from JavaScript',
  v8_string_of_document: '  of which: V8 making its string of the document',
  module_snapshot_async_js_thread: '  snapshotAsync(): the JavaScript thread\'s part',
  module_snapshot_async: 'snapshotAsync() end to end (wall time)',
};

const counts = [...new Set(rows.map((row) => row.events))].sort((a, b) => a - b);
const pad = (text, width) => String(text).padEnd(width);
const num = (value, digits, width) =>
  (value === undefined ? '-' : value.toFixed(digits)).padStart(width);

const lines = [];
lines.push(
  `${pad('events', 9)}${pad('stage', 48)}${'ns/event'.padStart(10)}${'MB/s'.padStart(8)}` +
    `${'allocs/event'.padStart(14)}`,
);
for (const events of counts) {
  const of = (stage) => rows.find((row) => row.events === events && row.stage === stage);
  for (const stage of Object.keys(labels)) {
    const row = of(stage);
    if (!row) continue;
    lines.push(
      `${pad(events, 9)}${pad(labels[stage], 48)}${num(row.nsPerEvent, 1, 10)}` +
        `${num(row.mbPerSecond, 0, 8)}${num(row.allocsPerEvent, 3, 14)}`,
    );
  }
  const ns = (stage) => of(stage)?.nsPerEvent;
  const ratio = (label, value, target) => {
    if (value === undefined || Number.isNaN(value)) return;
    const note = /^[<>]/.test(target) ? `target ${target}` : target;
    lines.push(`${pad('', 9)}  ${label} = ${value.toFixed(2)}  (${note})`);
  };
  const both = ns('conversion') + ns('encoding');
  ratio('(1+2) / tight writer', both / ns('tight_writer'), '<= 1.5');
  ratio('3 / tight writer into new memory', ns('exported_snapshot') / ns('tight_writer_fresh'), '<= 1.3');
  ratio('  3 / one pass into new memory', ns('exported_snapshot') / ns('fresh_pass'), 'for comparison');
  ratio('laid out for V8 / one pass into new memory', ns('v8_layout') / ns('fresh_pass'),
        'close to 1');
  ratio('nlohmann route / 3', ns('nlohmann_route') / ns('exported_snapshot'), '>= 4');
  ratio('V8 route / snapshot()', ns('v8_route') / ns('module_snapshot'), '>= 4');
  ratio('  at best: V8 route / V8 string of the document', ns('v8_route') / ns('v8_string_of_document'),
        'the ceiling of the ratio above');
  ratio('snapshotAsync() on the JavaScript thread / V8 string of the document',
        ns('module_snapshot_async_js_thread') / ns('v8_string_of_document'), '<= 0.10');
  const jsThread = of('module_snapshot_async_js_thread');
  if (jsThread) {
    lines.push(`${pad('', 9)}  snapshotAsync() on the JavaScript thread: ` +
               `${(jsThread.nsPerEvent * Math.max(1, events) / 1e3).toFixed(0)} µs a call (flat with the count)`);
  }
  ratio('V8 route / snapshotAsync() on the JavaScript thread',
        ns('v8_route') / ns('module_snapshot_async_js_thread'), 'for comparison');
  ratio('V8 route / 3', ns('v8_route') / ns('exported_snapshot'), '>= 4');
  ratio('  V8 route / 3 again', ns('v8_route') / ns('exported_snapshot_reused'), 'for comparison');
  const bytes = of('encoding')?.bytesPerEvent;
  if (bytes !== undefined) lines.push(`${pad('', 9)}  document: ${bytes.toFixed(1)} bytes per event`);
}
console.log(lines.join('\n'));

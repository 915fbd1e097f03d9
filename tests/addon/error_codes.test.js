'use strict';
// Every row of the README's error table: each function it names, failing with
// the row's message, gives the row's code (and a refusal its status) with the
// message unchanged; the types name the same codes. Then the real module's
// own failures, over the stand-in, carry them too.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { withTypedHelpers } = require('../../typed_helpers.js');
const vantrel = require('./vantrel_under_test.js');
const { useStore } = require('./standin_store.js');

const root = path.join(__dirname, '..', '..');
const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
const table = readme.slice(readme.indexOf('\n### Errors\n'));
const rows = [...table.matchAll(/^\| `(ERR_VANTREL_\w+)` \| (.+?) \| (.+?) \| (.+?) \|$/gm)];
const reads = ['snapshot', 'snapshotAsync', 'detailsAsync', 'readSnapshot', 'readSnapshotAsync', 'readDetailsAsync'];
const native = ['snapshot', 'snapshotAsync', 'detailsAsync', 'diagnostics', 'requestAccess', 'watchChanges'];
const returnsPromise = new Set(['snapshotAsync', 'detailsAsync', 'requestAccess']);

// The function `failing` fails with `message`; the rest answer as the sample does.
function moduleFailing(failing, message) {
  const fake = {};
  for (const name of native) {
    fake[name] = () => {
      if (name === failing) {
        if (returnsPromise.has(name)) return Promise.reject(new Error(message));
        throw new Error(message);
      }
      return name === 'diagnostics' ? '{"status":"not-determined"}' : undefined;
    };
  }
  return withTypedHelpers(fake);
}

async function failureOf(call) {
  try {
    await call();
  } catch (error) {
    return error;
  }
  assert.fail('it did not fail');
}

test('the README lists every code', () => {
  assert.ok(rows.length >= 13, `${rows.length} rows`);
  const union = fs.readFileSync(path.join(root, 'index.d.ts'), 'utf8')
    .match(/export type VantrelErrorCode =([\s\S]+?');/)[1].match(/ERR_VANTREL_\w+/g);
  assert.deepEqual(new Set(union), new Set(rows.map(([, code]) => code)));
});

for (const [, code, text, from] of rows) {
  // A literal message, its "…" cut and <status> filled; or a text of the store's own.
  const message = text.startsWith('`')
    ? text.slice(1, -1).replace(' …', '').replace('…', '').replace('<status>', 'denied')
    : 'stand-in store /tmp/store.json: status: expected an integer, found "3"';
  const functions = from === 'reads' ? reads : from.split(', ').flatMap((name) =>
    name === 'reads' ? reads : [name.replaceAll('`', '')]);
  test(`${code}: ${text}`, async () => {
    for (const name of functions) {
      const failing = name.replace(/^read(\w)/, (_, first) => first.toLowerCase());
      const error = await failureOf(() => moduleFailing(failing, message)[name]('a', 'b'));
      assert.equal(error.message, message, name);
      assert.equal(error.code, code, name);
      const status = code !== 'ERR_VANTREL_NOT_GRANTED' ? undefined
        : message.includes('(denied)') ? 'denied' : 'not-determined';
      assert.equal(error.status, status, name);
    }
  });
}

test('the module\'s own failures carry their codes', async () => {
  const start = '2026-03-01T00:00:00Z';
  const end = '2026-04-01T00:00:00Z';
  const typo = useStore({ events: [{ calendar: 'c', start: 0, end: 1, allDay: 'yes' }] });
  const cases = [
    [() => vantrel.readSnapshot(start, end), 'ERR_VANTREL_STORE_FAILED',
      `stand-in store ${typo}: events[0].allDay: expected true or false, found "yes"`],
    [() => vantrel.readDetailsAsync(new Date('x'), end), 'ERR_VANTREL_DATE',
      'Vantrel requires a start and end ISO date.'],
    [() => vantrel.watchChanges(), 'ERR_VANTREL_ARGUMENT', 'watchChanges(listener) requires a function.'],
    [() => { useStore({ status: 2 }); return vantrel.snapshotAsync(start, end); }, 'ERR_VANTREL_NOT_GRANTED',
      /^Calendar access was not granted \(denied\)\. In System Settings/],
    [() => { useStore({ status: 1 }); return vantrel.requestAccess(); }, 'ERR_VANTREL_NOT_GRANTED',
      /^Calendar access was not granted \(restricted\)\./],
  ];
  for (const [call, code, message] of cases) {
    const error = await failureOf(call);
    if (message instanceof RegExp) assert.match(error.message, message);
    else assert.equal(error.message, message);
    assert.equal(error.code, code, error.message);
  }
  assert.equal((await failureOf(() => vantrel.requestAccess())).status, 'restricted');
});

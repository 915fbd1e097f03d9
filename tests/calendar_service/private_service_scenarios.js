'use strict';
// The Linux layer over a private calendar service holding store/ (see
// run_with_private_service.sh), with VANTREL_STANDIN_STORE unset: the
// documents it reads, a watch, and the answers where the service is out of
// reach. golden/ holds the documents per time zone (floating and all-day
// events move with it); a mismatch leaves what was read beside the test's
// working folder as *.actual.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFile, spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { setTimeout: sleep } = require('node:timers/promises');
const vantrel = require('../addon/vantrel_under_test.js');

const command = process.env.VANTREL_COMMAND_PATH;
const range = ['2026-03-01T00:00:00.000Z', '2026-05-01T00:00:00.000Z'];

function golden(kind) {
  const name = `${process.env.TZ.replace('/', '_')}.${kind}.json`;
  return { name, text: fs.readFileSync(path.join(__dirname, 'golden', name), 'utf8') };
}

function assertGolden(actual, { name, text }) {
  if (actual !== text) fs.writeFileSync(`${name}.actual`, actual);
  assert.equal(actual, text, name);
}

function run(file, args, env = process.env) {
  return new Promise((resolve) => {
    execFile(file, args, { env, encoding: 'utf8' }, (error, stdout, stderr) => {
      resolve({ status: error ? error.code : 0, stdout, stderr });
    });
  });
}

// What the module answers in a process of its own, with `env`.
const moduleAnswers = `
  const vantrel = require(${JSON.stringify(require.resolve('../addon/vantrel_under_test.js'))});
  const settled = (promise) => promise.then((value) => value, (error) => error.message);
  (async () => {
    const { status, reason } = vantrel.readDiagnostics();
    const access = await settled(vantrel.requestAccess());
    const snapshot = await settled(vantrel.snapshotAsync(...${JSON.stringify(range)}));
    process.stdout.write(JSON.stringify({ status, reason, access, snapshot }));
  })();`;

const denial = (label) => `Calendar access was not granted (${label}). In System Settings \u2192 ` +
  'Privacy & Security \u2192 Calendars, turn Tavimo on and enable Full Access, then try Connect again.';

test('the command and the module read the store as the documents checked in say', async () => {
  const snapshot = golden('snapshot');
  const details = golden('details');
  const printed = await run(command, range);
  assertGolden(printed.stdout, snapshot);
  assert.deepEqual(printed, { status: 0, stdout: snapshot.text, stderr: '' });

  // Reads at once share the layer's open clients, and all get the same answer.
  const reads = await Promise.all([1, 2, 3].flatMap(() =>
    [vantrel.snapshotAsync(...range), vantrel.detailsAsync(...range)]));
  assertGolden(reads[1], details);
  reads.forEach((read, index) => assert.equal(read, index % 2 ? details.text : snapshot.text));

  assert.deepEqual(vantrel.readDiagnostics().status, 'full-access');
  assert.equal(await vantrel.requestAccess(), true);
});

test('out of reach: denied in a sandbox, restricted without a bus, a service or libraries', async (t) => {
  const folder = fs.mkdtempSync(path.join(process.env.XDG_RUNTIME_DIR, 'proxy-'));
  const proxies = [];
  // A bus that hides the service unless `talk` lets it through, as Flatpak's does.
  async function filteredBus(talk) {
    const socket = path.join(folder, `bus-${proxies.length}`);
    proxies.push(spawn('xdg-dbus-proxy', [process.env.DBUS_SESSION_BUS_ADDRESS, socket,
      '--filter', ...(talk ? ['--talk=org.gnome.evolution.dataserver.*'] : [])],
    { stdio: 'inherit' }));
    while (!fs.existsSync(socket)) await sleep(10);
    return `unix:path=${socket}`;
  }
  t.after(() => proxies.forEach((proxy) => proxy.kill()));

  const snapshot = golden('snapshot').text;
  const sandbox = { SNAP: '/snap/tavimo/1' };
  const cases = [
    ['sandboxed, not given the service', { ...sandbox, DBUS_SESSION_BUS_ADDRESS: await filteredBus(false) }, 'denied',
      /--talk-name=org\.gnome\.evolution\.dataserver\.\*/],
    ['sandboxed, given the service', { ...sandbox, DBUS_SESSION_BUS_ADDRESS: await filteredBus(true) }, null],
    ['not sandboxed, no service', { DBUS_SESSION_BUS_ADDRESS: await filteredBus(false) }, 'restricted',
      /Sources5 is neither on the session bus/],
    ['no bus', { DBUS_SESSION_BUS_ADDRESS: `unix:path=${folder}/nothing` }, 'restricted', /^there is no session bus/],
  ];
  // The reason, on standard error once, is also in the diagnostics.
  for (const [name, variables, label, reason] of cases) {
    const env = { ...process.env, ...variables };
    const printed = await run(command, range, env);
    const child = await run(process.execPath, ['-e', moduleAnswers], env);
    const answers = JSON.parse(child.stdout);
    // Why it is refused goes to standard error once per process, never again.
    assert.equal(child.stderr.split('\n').filter(Boolean).length, label ? 1 : 0, child.stderr);
    if (label) {
      assert.equal(printed.status, 1, name);
      assert.equal(printed.stdout, '', name);
      assert.ok(printed.stderr.endsWith(denial(label)), `${name}: ${printed.stderr}`);
      assert.match(answers.reason, reason, name);
      assert.ok(child.stderr.includes(answers.reason), name);
      assert.deepEqual(answers, { status: label, reason: answers.reason, access: denial(label), snapshot: denial(label) }, name);
    } else {
      assert.deepEqual(printed, { status: 0, stdout: snapshot, stderr: '' }, name);
      assert.deepEqual(answers, { status: 'full-access', access: true, snapshot }, name);
    }
  }
});

test('neither deliverable needs the service\'s libraries to load', async (t) => {
  for (const binary of [command, process.env.VANTREL_ADDON_PATH]) {
    const { stdout } = await run('readelf', ['-d', binary]);
    const needed = stdout.split('\n').filter((line) => line.includes('(NEEDED)'));
    assert.ok(needed.length > 0, binary);
    assert.deepEqual(needed.filter((line) => /lib(ecal|edataserver|ical|glib|gobject|gio|soup)/.test(line)), []);
  }

  // Where the loader finds them empty, the command answers restricted as it
  // does on a machine without them. Hiding them takes a mount namespace.
  if ((await run('unshare', ['-m', 'true'])).status !== 0) {
    t.skip('no mount namespace here to hide the libraries in');
    return;
  }
  const { stdout: linked } = await run('ldd', [process.env.VANTREL_CHANGE_EVENT]);
  const libraries = ['libecal-2.0.so.2', 'libedataserver-1.2.so.27'].map((soname) =>
    fs.realpathSync(linked.match(new RegExp(`${soname} => (\\S+)`))[1]));
  const hide = libraries.map((library) => `mount --bind /dev/null ${library}`).join(' && ');
  const printed = await run('unshare', ['-m', 'sh', '-c', `${hide} && exec "$@"`, 'sh', command, ...range]);
  assert.equal(printed.status, 1);
  assert.equal(printed.stdout, '');
  assert.ok(printed.stderr.endsWith(denial('restricted')), printed.stderr);
});

test('a watch hears another process rename an event, once', async () => {
  let calls = 0;
  let heard;
  const first = new Promise((resolve) => { heard = resolve; });
  const stop = vantrel.watchChanges(() => {
    calls += 1;
    heard();
  });
  try {
    await sleep(2000);  // for the watch's views to be up; nothing is heard meanwhile
    const changed = await run(process.env.VANTREL_CHANGE_EVENT,
      ['vantrel-home', 'lunch@example.test', 'Team lunch']);
    assert.equal(changed.status, 0, changed.stderr);
    // A watch does not keep the process up; this timer does, and goes once heard.
    let timer;
    const late = new Promise((_, reject) => { timer = setTimeout(reject, 20000, new Error('nothing heard in 20 s')); });
    await Promise.race([first, late]).finally(() => clearTimeout(timer));
    await sleep(2000);  // room for a second call that must not come
    assert.equal(calls, 1);
  } finally {
    stop();
  }
  const { events } = await vantrel.readSnapshotAsync(new Date(range[0]), new Date(range[1]));
  assert.deepEqual(events.filter((event) => /lunch/i.test(event.title)).map((event) => event.title),
    ['Team lunch']);
});

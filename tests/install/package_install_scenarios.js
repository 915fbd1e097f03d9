'use strict';
// The packed tarball (pack_tarball.js) installed into new npm projects, each
// scenario a test of its own that ctest runs by name. Every install must give
// the sample store's snapshot through require and through import.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { work, source, tarball, environment, run, copySource } = require('./install_work.js');

const store = path.join(source, 'samples', 'standin-store.json');
const expected = fs.readFileSync(path.join(source, 'samples', 'standin-store.snapshot.json'), 'utf8');
const range = ['2026-03-01T00:00:00Z', '2026-04-01T00:00:00Z'];

function newProject(name) {
  const directory = path.join(work, name);
  fs.rmSync(directory, { recursive: true, force: true });
  fs.mkdirSync(directory, { recursive: true });
  fs.writeFileSync(path.join(directory, 'package.json'),
    JSON.stringify({ name: `tavimo-${name}`, version: '1.0.0', private: true }));
  return directory;
}

function installed(project) {
  return fs.realpathSync(path.join(project, 'node_modules', 'vantrel'));
}

// Loaded as a user's code loads it, CommonJS and ES module, names and default.
function assertGivesTheSampleSnapshot(project) {
  const env = { VANTREL_STANDIN_STORE: store };
  const commonJs = run('node', ['-e', `
    const vantrel = require('vantrel');
    const { snapshot, readSnapshot } = require('vantrel');
    const [a, b] = ${JSON.stringify(range)};
    if (vantrel.snapshot !== snapshot) throw new Error('two modules');
    const withoutDays = (key, value) => (key === 'startDay' || key === 'endDay' ? undefined : value);
    const same = JSON.stringify(readSnapshot(new Date(a), new Date(b)), withoutDays) === JSON.stringify(JSON.parse(snapshot(a, b)));
    if (!same) throw new Error('readSnapshot');
    process.stdout.write(snapshot(a, b));`], project, env).stdout;
  assert.equal(commonJs, expected);
  const esm = run('node', ['--input-type=module', '-e', `
    import vantrel, { snapshot, readDiagnostics } from 'vantrel';
    if (vantrel.snapshot !== snapshot) throw new Error('two modules');
    if (typeof readDiagnostics().canRead !== 'boolean') throw new Error('readDiagnostics');
    process.stdout.write(snapshot(...${JSON.stringify(range)}));`], project, env).stdout;
  assert.equal(esm, expected);
}

function assertNoBuild(log, project) {
  assert.doesNotMatch(log, /CMD CONFIGURE|Build files have been written/);
  assert.ok(!fs.existsSync(path.join(installed(project), 'build')), 'built although a prebuild was there');
}

// The app gets vantrel and nothing else: no build tools, no commands.
function assertAloneInApp(project) {
  const modules = path.join(project, 'node_modules');
  assert.deepEqual(fs.readdirSync(modules).filter((name) => name !== '.package-lock.json'), ['vantrel']);
}

test('tarball: npm install takes the linux-x64 prebuild and builds nothing', () => {
  const files = run('tar', ['-tzf', tarball], work).stdout.split('\n');
  assert.ok(files.includes('package/prebuilds/linux-x64/vantrel.node'));
  // Packed where the calendar service's headers are, the Linux module has that layer.
  if (spawnSync('pkg-config', ['--exists', 'libecal-2.0']).status === 0) {
    const module = run('tar', ['-xOzf', tarball, 'package/prebuilds/linux-x64/vantrel.node'], work).stdout;
    assert.ok(module.includes('libecal-2.0.so.2'), 'the prebuild reads the stand-in alone');
  }
  // The quick start's store and the pages the README links come along.
  for (const wanted of ['LICENSE', 'CHANGELOG.md', 'README.md', 'samples/standin-store.json', 'docs/electron.md']) {
    assert.ok(files.includes(`package/${wanted}`), wanted);
  }
  for (const unwanted of ['tests/', 'bench/', 'cli/', 'scripts/', '.github/', 'build/']) {
    assert.ok(!files.some((file) => file.startsWith(`package/${unwanted}`)), unwanted);
  }
  // Every file a script of the published manifest names is in the tarball.
  const manifest = JSON.parse(run('tar', ['-xOzf', tarball, 'package/package.json'], work).stdout);
  assert.equal(manifest.license, 'MIT');
  assert.deepEqual(manifest.dependencies ?? {}, {});
  for (const command of Object.values(manifest.scripts)) {
    for (const file of command.split(/\s+/).filter((word) => /^[\w./-]+\.[cm]?js$/.test(word))) {
      assert.ok(files.includes(`package/${file}`), `${command} names ${file}, which is not packed`);
    }
  }
  const project = newProject('tarball');
  const { log, seconds } = run('npm', ['install', tarball, '--foreground-scripts'], project);
  console.log(`npm install with the prebuild: ${seconds.toFixed(1)} s`);
  assertNoBuild(log, project);
  assertAloneInApp(project);
  assert.ok(!fs.existsSync(path.join(project, 'node_modules', '.bin')), 'commands added to the app');
  assertGivesTheSampleSnapshot(project);
});

test('from_source: a build from source makes vantrel.node alone, with build tools fetched for it only', () => {
  const project = newProject('from-source');
  const { log, seconds } = run('npm',
    ['install', tarball, '--foreground-scripts', '--build-from-source'], project);
  console.log(`npm install building from source: ${seconds.toFixed(1)} s`);
  assert.match(log, /vantrel\.node alone: no program, tests or benchmarks/);
  assert.doesNotMatch(log, /GTest|GoogleTest|Google Benchmark|vantrel-command/);
  assert.match(log, /CMAKE_BUILD_TYPE="?Release/);
  assertAloneInApp(project);
  // The build tree is gone, and the built module is the one loaded.
  assert.ok(!fs.existsSync(path.join(installed(project), 'build')), 'the build tree was left');
  const module = path.join(installed(project), 'prebuilds', 'linux-x64', 'vantrel.node');
  const timeOf = (file) => fs.statSync(file).mtimeMs;
  assert.ok(timeOf(module) > timeOf(path.join(installed(project), 'package.json')), 'the prebuild was kept');
  assertGivesTheSampleSnapshot(project);

  // Asked for another architecture without a toolchain for it, the build
  // refuses rather than leaving a module that cannot load.
  const other = newProject('other-arch');
  const refused = spawnSync('npm', ['install', tarball, '--build-from-source'], {
    cwd: other, env: { ...environment, npm_config_arch: 'arm64' }, encoding: 'utf8' });
  assert.notEqual(refused.status, 0);
  assert.match(refused.stdout + refused.stderr,
    /npm asks for the arm64 architecture, but this build makes x86_64 code/);
});

test('ignore_scripts: without install scripts the prebuild serves; without it the error says what to run', () => {
  const project = newProject('ignore-scripts');
  run('npm', ['install', tarball, '--ignore-scripts'], project);
  assertGivesTheSampleSnapshot(project);
  fs.rmSync(path.join(installed(project), 'prebuilds'), { recursive: true });
  const failure = spawnSync('node', ['-e', "require('vantrel')"],
    { cwd: project, encoding: 'utf8' });
  assert.notEqual(failure.status, 0);
  assert.match(failure.stderr, /vantrel has no native module for linux-x64/);
  assert.match(failure.stderr, /`npm rebuild vantrel`.*`pnpm approve-builds`.*CMake 3\.20 or later and a C\+\+20 compiler/s);
  // Inlined by a bundler, the loader looks beside the bundle, where no build helps.
  const bundled = spawnSync('node', ['-e', "require('./node_modules/vantrel/load_native_module.js').loadNativeModule(process.cwd())"],
    { cwd: project, encoding: 'utf8' });
  assert.match(bundled.stderr, /is not the vantrel package's folder: vantrel was bundled.*external/s);

  // The build that command runs, without CMake, says the same.
  const bin = path.join(work, 'bin-without-cmake');
  fs.mkdirSync(bin, { recursive: true });
  if (!fs.existsSync(path.join(bin, 'node'))) fs.symlinkSync(process.execPath, path.join(bin, 'node'));
  const build = spawnSync('node', ['install_native_module.js'],
    { cwd: installed(project), env: { ...environment, PATH: bin }, encoding: 'utf8' });
  assert.equal(build.status, 1);
  assert.equal(build.stderr, 'vantrel: no module fits linux-x64, and building one needs CMake ' +
    '3.20 or later and a C++20 compiler (Xcode command-line tools on macOS; on Linux also ' +
    'nlohmann-json, Debian package nlohmann-json3-dev); cmake was not found.\n');
});

test('types: a strict TypeScript user compiles, a wrong key fails, and the type exports are right', () => {
  const project = newProject('types');
  run('npm', ['install', tarball, '--ignore-scripts'], project);
  const typed = `
    const text: string = snapshot('2026-03-01T00:00:00Z', '2026-04-01T00:00:00Z');
    const parsed = JSON.parse(text) as VantrelSnapshot;
    const event: VantrelEvent | undefined = parsed.events[0];
    const where: string = event?.location ?? 'nowhere';
    const calendar: VantrelCalendar | undefined = parsed.calendars[0];
    const read: VantrelSnapshot = readSnapshot(new Date(), '2026-04-01T00:00:00Z');
    const later: Promise<VantrelSnapshot> = readSnapshotAsync('2026-03-01T00:00:00Z', new Date());
    const diagnostics: VantrelDiagnostics = readDiagnostics();
    const status: 'full-access' | 'denied' | \`unknown-\${number}\` | string = diagnostics.status;
    const granted: Promise<true> = requestAccess();
    const email: Promise<string | undefined> = readDetailsAsync(new Date(), '2026-04-01T00:00:00Z')
      .then((details: VantrelDetails) => details.events[0]?.organizer?.email);
    export const all = [where, calendar?.color, read.events.length, status, granted, diagnostics.canRead, later, email];
  `;
  const names = 'snapshot, readSnapshot, readSnapshotAsync, readDiagnostics, requestAccess, type VantrelSnapshot, ' +
    'type VantrelEvent, type VantrelCalendar, type VantrelDiagnostics, readDetailsAsync, type VantrelDetails';
  fs.writeFileSync(path.join(project, 'user.mts'), `import { ${names} } from 'vantrel';\n` +
    `import vantrel from 'vantrel';\nvantrel.diagnostics();\n${typed}`);
  fs.writeFileSync(path.join(project, 'user.cts'), `import vantrel = require('vantrel');\n` +
    `import { ${names} } from 'vantrel';\nvantrel.diagnostics();\n${typed}`);
  fs.writeFileSync(path.join(project, 'wrong.mts'), `import { snapshot, type VantrelSnapshot } from 'vantrel';
    const parsed = JSON.parse(snapshot('a', 'b')) as VantrelSnapshot;
    export const where = parsed.events[0]?.locaton;
  `);
  const tsc = path.join(source, 'node_modules', 'typescript', 'bin', 'tsc');
  const options = ['--strict', '--noEmit', '--module', 'nodenext', '--target', 'es2022'];
  run(process.execPath, [tsc, ...options, 'user.mts', 'user.cts'], project);
  const wrong = spawnSync(process.execPath,
    [tsc, ...options, 'wrong.mts'], { cwd: project, encoding: 'utf8' });
  assert.notEqual(wrong.status, 0);
  assert.match(wrong.stdout, /Property 'locaton' does not exist on type 'VantrelEvent'/);

  const attw = path.join(source, 'node_modules', '@arethetypeswrong', 'cli', 'dist', 'index.js');
  run(process.execPath, [attw, tarball, '--no-definitely-typed', '--format', 'table-flipped',
    '--no-emoji', '--no-color'], work);
});

test('git: npm install of a git URL builds once and loads', () => {
  const repository = path.join(work, 'git-source');
  fs.rmSync(repository, { recursive: true, force: true });
  copySource(repository);
  const git = ['-c', 'user.name=Vantrel tests', '-c', 'user.email=tests@vantrel.invalid'];
  run('git', ['init', '--quiet'], repository);
  run('git', ['add', '.'], repository);
  run('git', [...git, 'commit', '--quiet', '-m', 'source'], repository);
  const project = newProject('git');
  const { seconds } = run('npm', ['install', `git+file://${repository}`], project);
  console.log(`npm install of a git URL: ${seconds.toFixed(1)} s`);
  assert.ok(fs.existsSync(path.join(installed(project), 'prebuilds', 'linux-x64', 'vantrel.node')));
  assertAloneInApp(project);
  assertGivesTheSampleSnapshot(project);
});

test('clone: npm ci in a clone builds once, and npm test then passes', () => {
  const clone = path.join(work, 'clone');
  fs.rmSync(clone, { recursive: true, force: true });
  copySource(clone);
  const { log, seconds } = run('npm', ['ci', '--foreground-scripts'], clone);
  console.log(`npm ci in a clone: ${seconds.toFixed(1)} s`);
  assert.equal(log.match(/Build files have been written/g)?.length, 1, log);
  const tests = run('npm', ['test'], clone).stdout;
  assert.match(tests, /^# pass [1-9]\d+$/m, tests);
});

test('folder: npm install of a folder loads it', () => {
  const project = newProject('folder');
  run('npm', ['install', path.join(work, 'src')], project);
  assertGivesTheSampleSnapshot(project);
});

test('pnpm: pnpm, which runs no install script of a dependency, gets the prebuild', () => {
  const pnpm = path.join(source, 'node_modules', 'pnpm', 'bin', 'pnpm.cjs');
  const project = newProject('pnpm');
  const { log } = run(process.execPath, [pnpm, 'add', tarball,
    '--store-dir', path.join(work, 'pnpm-store')], project);
  assertNoBuild(log, project);
  assertGivesTheSampleSnapshot(project);
});

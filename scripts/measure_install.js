'use strict';
// What an app gets by installing a packed vantrel tarball, as
// docs/packaging.md reports it (the one place for these figures): the packages besides vantrel, the bytes and files of its whole
// node_modules, the commands added to node_modules/.bin, and how long `npm
// install` takes with an empty npm cache (cold) and with the cache that
// install filled (warm, the median of three).
//   node scripts/measure_install.js vantrel-0.2.0.tgz
// prints them as JSON, then as the row of that page's table.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const tarball = path.resolve(process.argv[2] ?? '');
if (!process.argv[2] || !fs.existsSync(tarball)) {
  console.error('usage: node scripts/measure_install.js path/to/vantrel.tgz');
  process.exit(2);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-measure-'));
const env = { ...process.env, npm_config_cache: path.join(work, 'cache'),
  npm_config_audit: 'false', npm_config_fund: 'false', npm_config_update_notifier: 'false' };

function install() {
  const app = path.join(work, 'app');
  fs.rmSync(app, { recursive: true, force: true });
  fs.mkdirSync(app);
  fs.writeFileSync(path.join(app, 'package.json'), '{"name":"app","version":"1.0.0","private":true}');
  const started = process.hrtime.bigint();
  const result = spawnSync('npm', ['install', tarball], { cwd: app, env, encoding: 'utf8' });
  if (result.status !== 0) throw new Error(`npm install failed:\n${result.stdout}${result.stderr}`);
  return { app, seconds: Number(process.hrtime.bigint() - started) / 1e9 };
}

function tally(directory, into = { files: 0, bytes: 0 }) {
  for (const entry of fs.readdirSync(directory, { withFileTypes: true })) {
    const file = path.join(directory, entry.name);
    if (entry.isDirectory()) tally(file, into);
    else if (entry.isFile()) Object.assign(into, { files: into.files + 1, bytes: into.bytes + fs.statSync(file).size });
  }
  return into;
}

try {
  const cold = install();
  const warm = [install(), install(), install()].map(({ seconds }) => seconds).sort((a, b) => a - b)[1];
  const modules = path.join(cold.app, 'node_modules');
  const lock = JSON.parse(fs.readFileSync(path.join(modules, '.package-lock.json'), 'utf8'));
  const bin = path.join(modules, '.bin');
  const { files, bytes } = tally(modules);
  const figures = {
    otherPackages: Object.keys(lock.packages).filter((name) => name !== 'node_modules/vantrel').length,
    bytes,
    files: files - 1, // npm's own .package-lock.json
    commands: fs.existsSync(bin) ? fs.readdirSync(bin).length : 0,
    coldSeconds: Number(cold.seconds.toFixed(1)),
    warmSeconds: Number(warm.toFixed(1)),
  };
  console.log(JSON.stringify(figures));
  const { version } = JSON.parse(fs.readFileSync(path.join(modules, 'vantrel', 'package.json'), 'utf8'));
  console.log(`| ${version} | ${figures.otherPackages} | ${bytes.toLocaleString('en-US')} | ` +
    `${figures.files} | ${figures.commands} | ${figures.coldSeconds} s | ${figures.warmSeconds} s |`);
} finally {
  fs.rmSync(work, { recursive: true, force: true });
}

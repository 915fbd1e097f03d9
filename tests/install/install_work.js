'use strict';
// What the package install tests share: the folder ctest gives them, the
// source files of the checkout, and commands run with every cache of npm and
// pnpm inside that folder.
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const work = process.env.VANTREL_INSTALL_WORK;
const source = process.env.VANTREL_SOURCE_DIR;
assert.ok(work && source, 'run by ctest, which sets VANTREL_INSTALL_WORK and VANTREL_SOURCE_DIR');
const tarball = path.join(work, 'vantrel.tgz');

const environment = {
  ...process.env,
  npm_config_cache: path.join(work, 'npm-cache'),
  npm_config_audit: 'false',
  npm_config_fund: 'false',
  npm_config_update_notifier: 'false',
  XDG_CACHE_HOME: path.join(work, 'xdg-cache'),
  XDG_DATA_HOME: path.join(work, 'xdg-data'),
  XDG_STATE_HOME: path.join(work, 'xdg-state'),
  XDG_CONFIG_HOME: path.join(work, 'xdg-config'),
};
// The packing and the installs that build compile the same sources in different
// folders: ccache, if there, serves the later ones.
if (spawnSync('ccache', ['--version']).status === 0) {
  Object.assign(environment, {
    CCACHE_DIR: path.join(work, 'ccache'),
    CCACHE_BASEDIR: work,
    CMAKE_C_COMPILER_LAUNCHER: 'ccache',
    CMAKE_CXX_COMPILER_LAUNCHER: 'ccache',
  });
}
delete environment.VANTREL_ADDON_PATH;
delete environment.VANTREL_COMMAND_PATH;
// Set for this file's own test runner; a `node --test` that inherits it reports
// to a parent instead of running.
delete environment.NODE_TEST_CONTEXT;

function run(command, args, cwd, extra = {}) {
  const started = process.hrtime.bigint();
  const result = spawnSync(command, args, {
    cwd, env: { ...environment, ...extra }, encoding: 'utf8', maxBuffer: 64 << 20,
  });
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  const log = `${result.stdout}${result.stderr}`;
  assert.equal(result.status, 0, `${command} ${args.join(' ')} in ${cwd}:\n${log}`);
  return { stdout: result.stdout, log, seconds };
}

// Every file git knows of, or would add: a clean clone's files, plus work not
// yet committed.
function sourceFiles() {
  const listed = run('git', ['-C', source, 'ls-files', '-z', '--cached', '--others',
    '--exclude-standard']).log;
  return listed.split('\0').filter((file) => file && fs.existsSync(path.join(source, file)));
}

function copySource(target) {
  for (const file of sourceFiles()) {
    fs.mkdirSync(path.dirname(path.join(target, file)), { recursive: true });
    fs.copyFileSync(path.join(source, file), path.join(target, file));
  }
}

module.exports = { work, source, tarball, environment, run, copySource };

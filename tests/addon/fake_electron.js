'use strict';
// The few parts of Electron that docs/electron.md uses, in one node process:
// IPC between the main process's handlers and a window's preload and page, a
// page of script tags run with a document of plain objects, and a
// utilityProcess as a forked node with a parentPort. Answers cross as
// structured clones, as Electron's do, so an answer IPC cannot carry fails here.
const { EventEmitter } = require('node:events');
const fs = require('node:fs');
const path = require('node:path');
const { fork } = require('node:child_process');

if (process.env.VANTREL_FAKE_UTILITY_PROCESS) {
  const parentPort = new EventEmitter();
  parentPort.postMessage = (message) => process.send(message);
  process.on('message', (data) => parentPort.emit('message', { data: structuredClone(data) }));
  process.parentPort = parentPort;
}

const handlers = new Map();
const pageListeners = new EventEmitter();
const page = {};

const ipcMain = {
  handle(channel, handler) {
    if (handlers.has(channel)) throw new Error(`a second handler for ${channel}`);
    handlers.set(channel, handler);
  },
  removeHandler: (channel) => handlers.delete(channel),
};

const ipcRenderer = {
  async invoke(channel, ...args) {
    if (!handlers.has(channel)) throw new Error(`No handler registered for '${channel}'`);
    return structuredClone(await handlers.get(channel)({}, ...structuredClone(args)));
  },
  on: (channel, listener) => pageListeners.on(channel, listener),
  removeListener: (channel, listener) => pageListeners.removeListener(channel, listener),
};

class BrowserWindow extends EventEmitter {
  constructor({ webPreferences }) {
    super();
    this.preload = webPreferences.preload;
    this.webContents = { send: (channel, ...args) => pageListeners.emit(channel, {}, ...structuredClone(args)) };
  }

  loadFile(file) {
    const elements = {};
    globalThis.window = page;
    globalThis.document = { getElementById: (id) => (elements[id] ??= { id }) };
    require(this.preload);
    for (const [, source] of fs.readFileSync(file, 'utf8').matchAll(/<script src="([^"]+)"/g)) {
      require(path.join(path.dirname(file), source));
    }
    return Promise.resolve();
  }
}

module.exports = {
  app: { whenReady: () => Promise.resolve() },
  BrowserWindow,
  ipcMain,
  ipcRenderer,
  contextBridge: { exposeInMainWorld: (name, api) => { page[name] = api; } },
  utilityProcess: {
    fork(file) {
      const child = fork(file, { execArgv: ['--require', __filename],
        env: { ...process.env, VANTREL_FAKE_UTILITY_PROCESS: '1' } });
      return {
        postMessage: (message) => child.send(message),
        on: (event, listener) => child.on(event, listener),
        kill: () => child.kill(),
      };
    },
  },
};

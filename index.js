'use strict';
// The Node-API module built by `npm install` (CMake, into build/). The tests
// point VANTREL_ADDON_PATH at the build they test.
const path = require('node:path');

module.exports = require(
  process.env.VANTREL_ADDON_PATH || path.join(__dirname, 'build', 'addon', 'vantrel.node'),
);

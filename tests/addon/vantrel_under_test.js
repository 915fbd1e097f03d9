'use strict';
// The module as index.js hands it to users, but over the build that ctest
// names when it names one.
const { withTypedHelpers } = require('../../typed_helpers.js');
const { addonPath } = require('./standin_store.js');

module.exports = withTypedHelpers(require(addonPath));

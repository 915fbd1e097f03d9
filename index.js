'use strict';
const { loadNativeModule } = require('./load_native_module.js');
const { withTypedHelpers } = require('./typed_helpers.js');

module.exports = withTypedHelpers(loadNativeModule(__dirname));

'use strict';
// How pkg-prebuilds names and finds vantrel.node: the loader (index.js), the
// install step and scripts/make-prebuild.js share it.
module.exports = { name: 'vantrel', napi_versions: [8] };

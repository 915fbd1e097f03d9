// The types of index.mjs: those of index.js, named and as the default export.
export * from './index.js';
import vantrel from './index.js';
export default vantrel;

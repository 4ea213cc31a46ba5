// Cloud Code entry point: access triggers and the backend functions the library calls.

import { installAccessTriggers } from './access.mjs';
import { installFunctions } from './functions.mjs';

export function installCloud(options) {
  installAccessTriggers();
  installFunctions(options);
}

// Fixed facts of the reference backend shared by the server, the cloud code, the seed tool,
// the peer client and the tests. Everything here is local and throw-away: the keys protect
// nothing but a loopback server on a developer machine.

import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const BACKEND_DIR = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
export const REPO_DIR = path.resolve(BACKEND_DIR, '..');

export const APP_ID = 'vantrel';
export const CLIENT_KEY = 'vantrel-client-key';
export const JAVASCRIPT_KEY = 'vantrel-js-key';
export const MASTER_KEY = 'vantrel-master-key';
export const MAINTENANCE_KEY = 'vantrel-maintenance-key';
export const APP_NAME = 'Vantrel';

export const MOUNT_PATH = '/parse';
export const STORAGE_PATH = '/storage';

export const PORTS = Object.freeze({
  primary: 28443,
  second: 28444,
  postgres: 28432,
  redis: 28479,
});

export const DEFAULT_STATE_DIR = '/var/tmp/vantrel-backend';

export function stateDir(env = process.env) {
  return path.resolve(env.VANTREL_BACKEND_STATE || DEFAULT_STATE_DIR);
}

// Classes whose changes are pushed over LiveQuery.
export const LIVE_QUERY_CLASSES = Object.freeze([
  'Material',
  'Component',
  'AnchorObject',
  'Scene',
  'MarketingListItem',
  'UnsupportedAppVersion',
]);

// Records that belong to one catalogue and inherit their company's access.
export const CATALOG_SCOPED_CLASSES = Object.freeze([
  'Component',
  'Material',
  'Scene',
  'MarketingListItem',
  'AnchorObject',
]);

export const APP_CLASSES = Object.freeze([
  ...CATALOG_SCOPED_CLASSES,
  'Catalog',
  'Company',
  'ModelMeasuringUnit',
  'UnsupportedAppVersion',
]);

// Role names the library checks membership of; they exist from the first start on.
export const STANDARD_ROLES = Object.freeze([
  'ROLE_SYSTEM_ADMIN',
  'ROLE_SYSTEM_SALES',
  'ROLE_SYSTEM_FINANCE',
  'ROLE_COMPANY_MANAGER',
  'ROLE_COMPANY_EMPLOYEE',
  'ROLE_COMPANY_AUTH_TOKEN',
]);

// The company that anybody may join through "registerCompanyUser"; the library looks it up by
// this exact name.
export const DEMO_COMPANY_NAME = 'vantrel-demo Rm4pXc2Lq (do NOT change the name please)';

// Every company gets one role holding all of its users; records of the company are readable by
// that role only.
export function companyRoleName(companyId) {
  return `company_${companyId}`;
}

export const COMPANY_ROLE_PREFIX = 'company_';

// Default lifetime of a signed file URL, in seconds; VANTREL_SIGNED_URL_TTL overrides it.
export const DEFAULT_SIGNED_URL_TTL = 300;
export const MAX_SIGNED_URL_TTL = 24 * 3600;

export function signedUrlTtl(env = process.env) {
  const raw = env.VANTREL_SIGNED_URL_TTL;
  if (raw === undefined || raw === '') return DEFAULT_SIGNED_URL_TTL;
  const n = Number(raw);
  if (!Number.isInteger(n) || n < 1 || n > MAX_SIGNED_URL_TTL) {
    throw new Error(`VANTREL_SIGNED_URL_TTL must be an integer number of seconds in 1..${MAX_SIGNED_URL_TTL}, got '${raw}'`);
  }
  return n;
}

// Largest file the signed upload route accepts, in bytes; VANTREL_MAX_UPLOAD_BYTES overrides it.
export const DEFAULT_MAX_UPLOAD_BYTES = 512 * 1024 * 1024;

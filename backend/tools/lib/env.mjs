// Reads the connection settings that `scripts/backend.sh start` writes to $STATE/backend.env,
// with variables already in the environment taking precedence.

import fs from 'node:fs';
import path from 'node:path';
import { spawnSync } from 'node:child_process';

import { APP_ID, CLIENT_KEY, JAVASCRIPT_KEY, MASTER_KEY, stateDir } from '../../lib/settings.mjs';

export class ConfigError extends Error {}

function parseEnvFile(file) {
  const out = {};
  let text;
  try {
    text = fs.readFileSync(file, 'utf8');
  } catch (e) {
    if (e.code === 'ENOENT') return null;
    throw e;
  }
  for (const line of text.split('\n')) {
    const m = /^\s*(?:export\s+)?([A-Za-z_][A-Za-z0-9_]*)=(.*)$/.exec(line);
    if (!m) continue;
    let v = m[2].trim();
    if ((v.startsWith('"') && v.endsWith('"')) || (v.startsWith("'") && v.endsWith("'"))) v = v.slice(1, -1);
    out[m[1]] = v;
  }
  return out;
}

export function loadBackendEnv(env = process.env) {
  const state = stateDir(env);
  const file = parseEnvFile(path.join(state, 'backend.env')) || {};
  const pick = (name, fallback) => env[name] || file[name] || fallback;
  const settings = {
    state: pick('VANTREL_BACKEND_STATE', state),
    server: pick('VANTREL_SERVER'),
    secondServer: pick('VANTREL_SECOND_SERVER'),
    appId: pick('VANTREL_APP_ID', APP_ID),
    clientKey: pick('VANTREL_CLIENT_KEY', CLIENT_KEY),
    jsKey: pick('VANTREL_JS_KEY', JAVASCRIPT_KEY),
    masterKey: pick('VANTREL_MASTER_KEY', MASTER_KEY),
    caFile: pick('VANTREL_CA_FILE'),
  };
  if (!settings.server || !settings.caFile) {
    throw new ConfigError(
      `backend settings not found: set VANTREL_SERVER and VANTREL_CA_FILE or start the backend (scripts/backend.sh start) so that ${path.join(state, 'backend.env')} exists`,
    );
  }
  let ca;
  try {
    ca = fs.readFileSync(settings.caFile);
  } catch (e) {
    throw new ConfigError(`cannot read the CA certificate ${settings.caFile}: ${e.message}`);
  }
  return { ...settings, ca, serverUrl: toUrl(settings.server), secondServerUrl: settings.secondServer ? toUrl(settings.secondServer) : undefined };
}

// "localhost:28443/parse" -> "https://localhost:28443/parse"
export function toUrl(server) {
  const s = server.replace(/\/+$/, '');
  return /^https?:\/\//.test(s) ? s : `https://${s}`;
}

export function toWsUrl(server) {
  return toUrl(server).replace(/^http/, 'ws');
}

// Node reads NODE_EXTRA_CA_CERTS once, at start. Programs that verify TLS through libraries
// without a CA option (the Parse JavaScript SDK) call this first: unless the variable already
// names our CA, the program runs itself again with it and exits with the child's status. (A
// machine may set the variable to the system bundle, which does not hold our CA.)
export function ensureCaTrust(caFile) {
  const wanted = path.resolve(caFile);
  if (process.env.NODE_EXTRA_CA_CERTS && path.resolve(process.env.NODE_EXTRA_CA_CERTS) === wanted) return;
  if (process.env.VANTREL_CA_REEXEC === '1') {
    console.error(`cannot make Node.js trust ${wanted}`);
    process.exit(1);
  }
  const result = spawnSync(process.execPath, [...process.execArgv, ...process.argv.slice(1)], {
    stdio: 'inherit',
    env: { ...process.env, NODE_EXTRA_CA_CERTS: wanted, VANTREL_CA_REEXEC: '1' },
  });
  if (result.error) {
    console.error(`cannot re-run with the CA certificate: ${result.error.message}`);
    process.exit(1);
  }
  process.exit(result.status ?? 1);
}

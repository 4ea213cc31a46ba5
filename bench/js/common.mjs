// Shared set-up of the JavaScript peer benchmarks: backend settings, CA trust and the Parse
// JavaScript SDK loaded from backend/node_modules.

import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { ConfigError, ensureCaTrust, loadBackendEnv, toUrl, toWsUrl } from '../../backend/tools/lib/env.mjs';
import { ParseRest } from '../../backend/tools/lib/rest.mjs';

const BACKEND_DIR = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', 'backend');

export class UsageError extends Error {}

export function setup({ master = true, server } = {}) {
  const env = loadBackendEnv();
  ensureCaTrust(env.caFile);
  const require = createRequire(path.join(BACKEND_DIR, 'package.json'));
  const Parse = require('parse/node');
  const url = server === 'second' ? env.secondServer : env.server;
  Parse.initialize(env.appId, env.jsKey, master ? env.masterKey : undefined);
  Parse.serverURL = toUrl(url);
  Parse.liveQueryServerURL = toWsUrl(url);
  const rest = (which = server) =>
    new ParseRest({
      serverUrl: toUrl(which === 'second' ? env.secondServer : env.server),
      ca: env.ca,
      appId: env.appId,
      masterKey: env.masterKey,
      clientKey: env.clientKey,
    });
  return { env, Parse, rest };
}

export function positiveInt(text, name) {
  const n = Number(text);
  if (!Number.isInteger(n) || n < 1) throw new UsageError(`${name} must be a positive integer, got '${text}'`);
  return n;
}

export function percentile(sorted, p) {
  if (!sorted.length) return null;
  const i = Math.min(sorted.length - 1, Math.max(0, Math.ceil((p / 100) * sorted.length) - 1));
  return sorted[i];
}

export function run(main, usage) {
  main(process.argv.slice(2)).then(
    () => process.exit(0),
    (e) => {
      if (e instanceof UsageError) {
        console.error(`${e.message}\n${usage}`);
        process.exit(2);
      }
      const code = typeof e?.code === 'number' ? `[${e.code}] ` : '';
      console.error(`error: ${code}${e instanceof ConfigError || code ? e.message : e?.stack || e}`);
      process.exit(1);
    },
  );
}

export const round = (x) => Math.round(x * 1000) / 1000;

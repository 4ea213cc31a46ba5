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

// Saves rows of "UnsupportedAppVersion" under `app` one by one through `saver` (REST) and times
// each from the start of its save to the arrival of its create event, which the caller's
// subscription reports by calling `pending.get(version)(arrivalTime)`. Three unmeasured rounds
// come first (connections and caches). Every row made is pushed to `created` for clean-up;
// returns the latencies in ms, sorted.
export async function timeSavesToEvents({ saver, app, n, pending, created, timeoutMs = 10000 }) {
  const latencies = [];
  for (let i = -3; i < n; i++) {
    const version = String(i);
    const arrived = new Promise((resolve, reject) => {
      pending.set(version, resolve);
      setTimeout(() => reject(new Error(`no event for save ${i} within ${timeoutMs} ms`)), timeoutMs).unref();
    });
    const t0 = process.hrtime.bigint();
    const res = await saver.call('POST', '/classes/UnsupportedAppVersion', { app, version });
    created.push(res.objectId);
    const t1 = await arrived;
    pending.delete(version);
    if (i >= 0) latencies.push(Number(t1 - t0) / 1e6);
  }
  return latencies.sort((a, b) => a - b);
}

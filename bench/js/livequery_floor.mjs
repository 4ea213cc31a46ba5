#!/usr/bin/env node
// The floor of a live change: a bare WebSocket client (the `ws` package the server itself uses)
// speaks the LiveQuery protocol by hand — connect, subscribe, wait for "create" — with no SDK in
// between. Saves go through REST exactly as in livequery_latency.mjs, so the only difference to
// the SDK peers is the client's own work. Prints {"median_ms": ..., "p90_ms": ...}.
//
//   node bench/js/livequery_floor.mjs [N=50]

import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { loadBackendEnv, toWsUrl } from '../../backend/tools/lib/env.mjs';
import { ParseRest } from '../../backend/tools/lib/rest.mjs';
import { percentile, positiveInt, round, run, timeSavesToEvents, UsageError } from './common.mjs';

const USAGE = 'usage: livequery_floor.mjs [N]';
const BACKEND_DIR = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', 'backend');

function openSocket(WebSocket, env, app) {
  const socket = new WebSocket(toWsUrl(env.server), { ca: env.ca, perMessageDeflate: false });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('the subscription did not open within 10 s')), 10000);
    socket.on('error', reject);
    socket.on('open', () => {
      socket.send(JSON.stringify({ op: 'connect', applicationId: env.appId, clientKey: env.clientKey }));
    });
    socket.on('message', function onFirst(data) {
      const message = JSON.parse(data.toString());
      if (message.op === 'connected') {
        socket.send(
          JSON.stringify({
            op: 'subscribe',
            requestId: 1,
            query: { className: 'UnsupportedAppVersion', where: { app } },
          }),
        );
      } else if (message.op === 'subscribed') {
        clearTimeout(timer);
        socket.off('message', onFirst);
        resolve(socket);
      } else if (message.op === 'error') {
        clearTimeout(timer);
        reject(new Error(`LiveQuery error ${message.code}: ${message.error}`));
      }
    });
  });
}

async function main(argv) {
  if (argv.length > 1 || (argv[0] && argv[0].startsWith('--'))) throw new UsageError('one optional argument: N');
  const n = argv.length ? positiveInt(argv[0], 'N') : 50;
  const env = loadBackendEnv();
  const require = createRequire(path.join(BACKEND_DIR, 'package.json'));
  const WebSocket = require('ws');
  const saver = new ParseRest({ serverUrl: env.serverUrl, ca: env.ca, appId: env.appId, masterKey: env.masterKey });
  const app = `floor-${process.pid}-${Date.now()}`;
  const socket = await openSocket(WebSocket, env, app);

  const pending = new Map(); // version -> resolve(arrival time)
  socket.on('message', (data) => {
    const arrivedAt = process.hrtime.bigint();
    const message = JSON.parse(data.toString());
    if (message.op !== 'create') return;
    const done = pending.get(message.object?.version);
    if (done) done(arrivedAt);
  });

  const created = [];
  let latencies = [];
  try {
    latencies = await timeSavesToEvents({ saver, app, n, pending, created });
  } finally {
    for (const id of created) await saver.call('DELETE', `/classes/UnsupportedAppVersion/${id}`).catch(() => {});
    saver.close();
    socket.terminate();
  }
  process.stdout.write(JSON.stringify({ median_ms: round(percentile(latencies, 50)), p90_ms: round(percentile(latencies, 90)) }) + '\n');
}

run(main, USAGE);

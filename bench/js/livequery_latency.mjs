#!/usr/bin/env node
// Subscribes through the Parse JavaScript SDK, then saves objects one by one through REST and
// measures the time from the start of each save to the arrival of its create event. Prints
// {"median_ms": ..., "p90_ms": ...}.
//
//   node bench/js/livequery_latency.mjs [N=50] [--subscribe-on primary|second] [--save-on primary|second]
//
// The objects are rows of "UnsupportedAppVersion" under an application name of their own, so
// the run needs no session and disturbs no catalogue; they are deleted at the end.

import { percentile, positiveInt, round, run, setup, timeSavesToEvents, UsageError } from './common.mjs';

const USAGE = 'usage: livequery_latency.mjs [N] [--subscribe-on primary|second] [--save-on primary|second]';

async function main(argv) {
  const opts = { n: 50, subscribeOn: 'primary', saveOn: 'primary' };
  const pos = [];
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new UsageError(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--subscribe-on') opts.subscribeOn = value();
    else if (a === '--save-on') opts.saveOn = value();
    else if (a.startsWith('--')) throw new UsageError(`unknown option ${a}`);
    else pos.push(a);
  }
  if (pos.length > 1) throw new UsageError('too many arguments');
  if (pos.length) opts.n = positiveInt(pos[0], 'N');
  for (const s of [opts.subscribeOn, opts.saveOn]) if (!['primary', 'second'].includes(s)) throw new UsageError(`'${s}' is not primary or second`);

  const { Parse, rest } = setup({ master: false, server: opts.subscribeOn });
  const saver = rest(opts.saveOn);
  const app = `latency-${process.pid}-${Date.now()}`;
  const created = [];
  const pending = new Map(); // version -> resolve(arrival time)

  const query = new Parse.Query('UnsupportedAppVersion').equalTo('app', app);
  const subscription = await query.subscribe();
  await new Promise((resolve, reject) => {
    const t = setTimeout(() => reject(new Error('the subscription did not open within 10 s')), 10000);
    subscription.on('open', () => {
      clearTimeout(t);
      resolve();
    });
  });
  subscription.on('create', (obj) => {
    const done = pending.get(obj.get('version'));
    if (done) done(process.hrtime.bigint());
  });

  let latencies = [];
  try {
    latencies = await timeSavesToEvents({ saver, app, n: opts.n, pending, created });
  } finally {
    for (const id of created) await saver.call('DELETE', `/classes/UnsupportedAppVersion/${id}`).catch(() => {});
    saver.close();
    await Promise.race([Parse.LiveQuery.close(), new Promise((r) => setTimeout(r, 1000))]);
  }
  process.stdout.write(JSON.stringify({ median_ms: round(percentile(latencies, 50)), p90_ms: round(percentile(latencies, 90)) }) + '\n');
}

run(main, USAGE);

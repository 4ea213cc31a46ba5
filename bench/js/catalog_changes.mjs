#!/usr/bin/env node
// Changes a catalogue's components the way a second client would, while the Parse JavaScript SDK
// watches the same catalogue through its own LiveQuery subscription.
//
//   node bench/js/catalog_changes.mjs latency <N> --session <token> --catalog <id>
//       Three unmeasured saves, then N saves one after another; each waits for its own create
//       event. Prints one JSON line per measured save: {"id", "t0": epoch ms at the start of the
//       save, "js_ms": save start to the JavaScript SDK's event}.
//   node bench/js/catalog_changes.mjs burst <N> --session <token> --catalog <id> [--concurrency C]
//       N saves with C (default 16) in flight; prints {"ids": [...], "t0", "save_ms", "js_received",
//       "js_ms": first save start to the last event the JavaScript SDK received}.
//
// Saves go through REST with the session; every component made is deleted at the end with the
// master key. Times are wall-clock milliseconds (performance.timeOrigin + performance.now()), so
// a client in another process can compare its own arrival times with them.

import { performance } from 'node:perf_hooks';

import { positiveInt, run, setup, UsageError } from './common.mjs';

const USAGE = 'usage: catalog_changes.mjs latency|burst <N> --session TOKEN --catalog ID [--concurrency C]';
const EVENT_TIMEOUT_MS = 15000;

const wallClock = () => performance.timeOrigin + performance.now();

async function main(argv) {
  const opts = { mode: undefined, n: 0, session: undefined, catalog: undefined, concurrency: 16 };
  const pos = [];
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new UsageError(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--session') opts.session = value();
    else if (a === '--catalog') opts.catalog = value();
    else if (a === '--concurrency') opts.concurrency = positiveInt(value(), 'C');
    else if (a.startsWith('--')) throw new UsageError(`unknown option ${a}`);
    else pos.push(a);
  }
  if (pos.length !== 2 || !['latency', 'burst'].includes(pos[0])) throw new UsageError('give a mode and N');
  if (!opts.session || !opts.catalog) throw new UsageError('--session and --catalog are required');
  opts.mode = pos[0];
  opts.n = positiveInt(pos[1], 'N');

  const { Parse, rest } = setup({ master: false });
  const admin = rest();
  const saver = admin.withSession(opts.session);
  const catalog = { __type: 'Pointer', className: 'Catalog', objectId: opts.catalog };
  const tag = `bench-${process.pid}-${Date.now()}`;

  const subscription = await new Parse.Query('Component').equalTo('catalog', Parse.Object.fromJSON({ className: 'Catalog', objectId: opts.catalog })).subscribe(opts.session);
  await new Promise((resolve, reject) => {
    const t = setTimeout(() => reject(new Error('the subscription did not open within 10 s')), 10000);
    subscription.on('open', () => {
      clearTimeout(t);
      resolve();
    });
  });
  const arrivals = new Map(); // name -> wall-clock ms of the JavaScript SDK's create event
  const waiting = new Map(); // name -> resolve
  subscription.on('create', (obj) => {
    const name = obj.get('name');
    arrivals.set(name, wallClock());
    const done = waiting.get(name);
    if (done) done();
  });
  const arrivalOf = (name) =>
    arrivals.has(name)
      ? Promise.resolve()
      : new Promise((resolve, reject) => {
          waiting.set(name, resolve);
          setTimeout(() => reject(new Error(`no event for ${name} within ${EVENT_TIMEOUT_MS} ms`)), EVENT_TIMEOUT_MS).unref();
        });

  const created = [];
  const saveOne = async (name) => {
    const res = await saver.call('POST', '/classes/Component', { name, catalog });
    created.push(res.objectId);
    return res.objectId;
  };

  try {
    if (opts.mode === 'latency') {
      for (let i = -3; i < opts.n; i++) {
        const name = `${tag}-${i}`;
        const t0 = wallClock();
        const id = await saveOne(name);
        await arrivalOf(name);
        if (i >= 0) process.stdout.write(JSON.stringify({ id, t0, js_ms: arrivals.get(name) - t0 }) + '\n');
      }
    } else {
      const names = Array.from({ length: opts.n }, (_, i) => `${tag}-${i}`);
      const ids = [];
      const t0 = wallClock();
      let next = 0;
      const worker = async () => {
        while (next < names.length) {
          const name = names[next++];
          ids.push(await saveOne(name));
        }
      };
      await Promise.all(Array.from({ length: opts.concurrency }, worker));
      const saveMs = wallClock() - t0;
      await Promise.allSettled(names.map(arrivalOf));
      const received = names.filter((n) => arrivals.has(n));
      const last = Math.max(...received.map((n) => arrivals.get(n)));
      process.stdout.write(
        JSON.stringify({ ids, t0, save_ms: saveMs, js_received: received.length, js_ms: received.length ? last - t0 : null }) + '\n',
      );
    }
  } finally {
    for (let i = 0; i < created.length; i += 50) {
      const requests = created.slice(i, i + 50).map((id) => ({ method: 'DELETE', path: `/parse/classes/Component/${id}` }));
      await admin.call('POST', '/batch', { requests }).catch(() => {});
    }
    admin.close();
    saver.close();
    await Promise.race([Parse.LiveQuery.close(), new Promise((r) => setTimeout(r, 1000))]);
  }
}

run(main, USAGE);

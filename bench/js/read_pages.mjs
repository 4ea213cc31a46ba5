#!/usr/bin/env node
// Reads N objects of a class in pages of 100 through the Parse JavaScript SDK and prints
// {"ms": <mean time of one full read>, "count": <objects read per run>}, averaged over R runs.
//
//   node bench/js/read_pages.mjs N R [--class Component] [--where '{"catalog":{...}}']
//                                    [--session TOKEN] [--prepare] [--server primary|second]
//
// Without --session the master key reads. --prepare first creates a catalogue of its own with
// N components (REST batches, master key) and reads those; the data stays for later runs of
// other programs and goes with `seed.mjs reset`.

import { percentile, positiveInt, round, run, setup, UsageError } from './common.mjs';

const USAGE = 'usage: read_pages.mjs N R [--class NAME] [--where JSON] [--session TOKEN] [--prepare] [--server primary|second]';
const PAGE = 100;

async function prepare(rest, n) {
  const stamp = `${Date.now()}`;
  const company = await rest.call('POST', '/classes/Company', { name: `bench company ${stamp}` });
  const catalog = await rest.call('POST', '/classes/Catalog', { name: `bench ${stamp}`, company: { __type: 'Pointer', className: 'Company', objectId: company.objectId } });
  const pointer = { __type: 'Pointer', className: 'Catalog', objectId: catalog.objectId };
  for (let i = 0; i < n; i += 50) {
    const requests = [];
    for (let j = i; j < Math.min(n, i + 50); j++) {
      requests.push({
        method: 'POST',
        path: '/parse/classes/Component',
        body: {
          catalog: pointer,
          name: `Bench component ${j}`,
          productNumber: `B-${j}`,
          price: j + 0.5,
          scnModelFilePath: `bench/${j}.zip`,
          snappingAreas: [{ connectToComponentId: 'x', offsetPosition: '1,0,0', offsetRotation: '0,0,0,1' }],
          nodesToTags: [{ nodeName: 'seat', tag: 'fabric' }],
        },
      });
    }
    const answers = await rest.call('POST', '/batch', { requests });
    const failed = answers.find((a) => !a.success);
    if (failed) throw new Error(`preparing the data failed: ${JSON.stringify(failed.error)}`);
  }
  console.error(`read_pages: prepared ${n} components in catalog ${catalog.objectId}`);
  return { catalog: pointer };
}

async function main(argv) {
  const opts = { className: 'Component', where: {}, session: undefined, prepare: false, server: 'primary' };
  const pos = [];
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new UsageError(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--class') opts.className = value();
    else if (a === '--where') {
      try {
        opts.where = JSON.parse(value());
      } catch (e) {
        throw new UsageError(`--where is not JSON: ${e.message}`);
      }
    } else if (a === '--session') opts.session = value();
    else if (a === '--prepare') opts.prepare = true;
    else if (a === '--server') opts.server = value();
    else if (a.startsWith('--')) throw new UsageError(`unknown option ${a}`);
    else pos.push(a);
  }
  if (pos.length !== 2) throw new UsageError('give N and R');
  const n = positiveInt(pos[0], 'N');
  const runs = positiveInt(pos[1], 'R');
  if (!['primary', 'second'].includes(opts.server)) throw new UsageError('--server is primary or second');

  const { Parse, rest } = setup({ master: !opts.session, server: opts.server });
  const admin = rest();
  try {
    if (opts.prepare) {
      if (opts.className !== 'Component') throw new UsageError('--prepare creates components; use it with the default class');
      opts.where = { ...opts.where, ...(await prepare(admin, n)) };
    }
  } finally {
    admin.close();
  }
  const options = opts.session ? { sessionToken: opts.session } : { useMasterKey: true };

  const readAll = async () => {
    let count = 0;
    for (let skip = 0; skip < n; skip += PAGE) {
      const q = Parse.Query.fromJSON(opts.className, { where: opts.where });
      q.ascending('createdAt');
      q.addAscending('objectId');
      q.limit(Math.min(PAGE, n - skip));
      q.skip(skip);
      const page = await q.find(options);
      count += page.length;
      if (page.length < Math.min(PAGE, n - skip)) break;
    }
    return count;
  };

  await readAll(); // warm-up: connections, schema caches
  const times = [];
  let count = 0;
  for (let r = 0; r < runs; r++) {
    const t0 = process.hrtime.bigint();
    count = await readAll();
    times.push(Number(process.hrtime.bigint() - t0) / 1e6);
  }
  const mean = times.reduce((a, b) => a + b, 0) / times.length;
  if (count < n) console.error(`read_pages: only ${count} of ${n} objects matched`);
  console.error(`read_pages: median ${round(percentile([...times].sort((a, b) => a - b), 50))} ms over ${runs} runs`);
  process.stdout.write(JSON.stringify({ ms: round(mean), count }) + '\n');
}

run(main, USAGE);

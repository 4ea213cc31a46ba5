// LiveQuery: events cross between the two server processes through Redis, respect ACLs, and have
// the frame shapes the library reads.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';

import { httpRequest } from '../tools/lib/rest.mjs';
import {
  LiveClient,
  acquireTestLock,
  backendScript,
  env,
  makeWorld,
  masterRest,
  pointer,
  requireBackend,
  startNode,
  uniq,
  waitFor,
} from '../tools/lib/testkit.mjs';

let release;
let master;
let masterSecond;
let world;
let startedSecond = false;
const clients = [];

async function secondHealthy() {
  try {
    return (await httpRequest(`${env().secondServerUrl}/health`, { ca: env().ca, timeoutMs: 3000 })).status === 200;
  } catch {
    return false;
  }
}

before(async () => {
  await requireBackend();
  release = await acquireTestLock();
  if (!(await secondHealthy())) {
    const r = backendScript('start-second');
    assert.equal(r.code, 0, r.output);
    startedSecond = true;
  }
  master = masterRest();
  masterSecond = masterRest(env().secondServerUrl);
  world = await makeWorld(master);
});

after(() => {
  for (const c of clients) c.close();
  master?.close();
  masterSecond?.close();
  if (startedSecond) backendScript('stop-second');
  release?.();
});

async function client(options, serverUrl) {
  const c = new LiveClient(serverUrl, options);
  clients.push(c);
  const hello = await c.connect();
  assert.equal(hello.op, 'connected', JSON.stringify(hello));
  return c;
}

const catalogA = () => pointer('Catalog', world.ids.catalogA);
const catalogB = () => pointer('Catalog', world.ids.catalogB);

test('a create on the second server reaches a subscriber of the first', async () => {
  const a = await client({ sessionToken: world.ids.employee.sessionToken });
  const requestId = await a.subscribe('Component', { catalog: catalogA() });
  const name = uniq('crossing ');
  const created = await masterSecond.call('POST', '/classes/Component', {
    catalog: catalogA(),
    name,
    price: 12.5,
    images: { frame: { original: 'x.png' } },
  });
  const frame = await a.next((f) => f.op === 'create' && f.object?.name === name, 'create');
  assert.equal(frame.requestId, requestId);
  assert.equal(frame.object.objectId, created.objectId);
  assert.equal(frame.object.className, 'Component');
  assert.equal(frame.object.price, 12.5);
  assert.deepEqual(frame.object.images, { frame: { original: 'x.png' } });
  // Pointers arrive as stubs, dates as plain ISO strings.
  assert.deepEqual(frame.object.catalog, catalogA());
  assert.equal(typeof frame.object.createdAt, 'string');
  assert.ok(!Number.isNaN(Date.parse(frame.object.createdAt)));
});

test('a create on the first server reaches a subscriber of the second', async () => {
  const b = await client({ sessionToken: world.ids.employee.sessionToken }, env().secondServerUrl);
  await b.subscribe('Material', { catalog: catalogA() });
  const name = uniq('material ');
  await master.call('POST', '/classes/Material', { catalog: catalogA(), name });
  const frame = await b.next((f) => f.op === 'create' && f.object?.name === name, 'create');
  assert.equal(frame.object.className, 'Material');
});

test("a subscriber never hears of another company's records", async () => {
  const subA = await client({ sessionToken: world.ids.employee.sessionToken });
  const subB = await client({ sessionToken: world.ids.employeeB.sessionToken });
  await subA.subscribe('Component', {});
  await subB.subscribe('Component', {});
  const nameA = uniq('only A ');
  const nameB = uniq('only B ');
  await masterSecond.call('POST', '/classes/Component', { catalog: catalogA(), name: nameA });
  await masterSecond.call('POST', '/classes/Component', { catalog: catalogB(), name: nameB });
  await subA.next((f) => f.op === 'create' && f.object?.name === nameA, 'A create');
  // B's own event arrives after A's was published, so A's would have arrived by now.
  await subB.next((f) => f.op === 'create' && f.object?.name === nameB, 'B create');
  assert.ok(!subB.frames.some((f) => f.object?.name === nameA), 'B saw A');
  await new Promise((r) => setTimeout(r, 200));
  assert.ok(!subA.frames.some((f) => f.object?.name === nameB), 'A saw B');
});

test('update, leave, enter and delete frames', async () => {
  const tag = uniq('tag');
  const c = await client({ sessionToken: world.ids.employee.sessionToken });
  await c.subscribe('MarketingListItem', { catalog: catalogA(), label: tag });
  const item = await master.call('POST', '/classes/MarketingListItem', { catalog: catalogA(), label: tag, type: 'OVERLAY_IMAGE', index: 1 });
  await c.next((f) => f.op === 'create' && f.object.objectId === item.objectId, 'create');

  await master.call('PUT', `/classes/MarketingListItem/${item.objectId}`, { index: 2 });
  const update = await c.next((f) => f.op === 'update', 'update');
  assert.equal(update.object.index, 2);
  assert.equal(update.original.index, 1);

  await master.call('PUT', `/classes/MarketingListItem/${item.objectId}`, { label: `${tag}-moved` });
  const leave = await c.next((f) => f.op === 'leave', 'leave');
  assert.equal(leave.object.label, `${tag}-moved`);
  assert.equal(leave.original.label, tag);

  await master.call('PUT', `/classes/MarketingListItem/${item.objectId}`, { label: tag });
  const enter = await c.next((f) => f.op === 'enter', 'enter');
  assert.equal(enter.object.objectId, item.objectId);
  assert.ok(enter.original);

  await master.call('DELETE', `/classes/MarketingListItem/${item.objectId}`);
  const del = await c.next((f) => f.op === 'delete', 'delete');
  assert.equal(del.object.objectId, item.objectId);
});

test('the unsupported-version list can be watched without signing in', async () => {
  const c = await client({});
  const app = uniq('App');
  await c.subscribe('UnsupportedAppVersion', { app });
  await masterSecond.call('POST', '/classes/UnsupportedAppVersion', { app, version: '1.2.3' });
  const frame = await c.next((f) => f.op === 'create', 'create');
  assert.equal(frame.object.version, '1.2.3');
});

test('catalogue classes cannot be watched without signing in', async () => {
  const c = await client({});
  await assert.rejects(c.subscribe('Component', { catalog: catalogA() }), /Permission denied/);
});

test('a connection without a client key is refused', async () => {
  const c = new LiveClient(undefined, { clientKey: null });
  clients.push(c);
  const answer = await c.connect();
  assert.equal(answer.op, 'error');
});

test('the peer hears a create made on the second server', async () => {
  const name = uniq('peer ');
  const listener = startNode('peer/peer.mjs', [
    '--session',
    world.ids.employee.sessionToken,
    '--timeout',
    '20',
    'listen',
    'Component',
    JSON.stringify({ catalog: catalogA() }),
    '1',
  ]);
  await waitFor(() => listener.stderr.includes('peer: subscribed') || listener.code !== undefined, { timeoutMs: 15000, what: 'the peer to subscribe' });
  assert.equal(listener.code, undefined, listener.stderr);
  await masterSecond.call('POST', '/classes/Component', { catalog: catalogA(), name });
  const code = await listener.exited;
  assert.equal(code, 0, listener.stderr);
  const lines = listener.stdout.trim().split('\n').map((l) => JSON.parse(l));
  assert.equal(lines.length, 1);
  assert.equal(lines[0].event, 'create');
  assert.equal(lines[0].object.name, name);
  assert.equal(lines[0].object.className, 'Component');
  assert.deepEqual(lines[0].object.catalog, catalogA());
});

test('restart-primary drops live connections and the server comes back', async () => {
  const c = await client({ sessionToken: world.ids.employee.sessionToken });
  await c.subscribe('Scene', { catalog: catalogA() });
  const closed = new Promise((resolve) => c.ws.once('close', resolve));
  const r = backendScript('restart-primary');
  assert.equal(r.code, 0, r.output);
  await closed;
  const again = await client({ sessionToken: world.ids.employee.sessionToken });
  await again.subscribe('Scene', { catalog: catalogA() });
  await masterSecond.call('POST', '/classes/Scene', { catalog: catalogA(), lightingEnvironment: { intensity: 2 } });
  const frame = await again.next((f) => f.op === 'create', 'create');
  assert.equal(frame.object.lightingEnvironment.intensity, 2);
});

// Class-level permissions and ACLs: what a client may read and write.

import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';

import { DEMO_COMPANY_NAME, STANDARD_ROLES } from '../lib/settings.mjs';
import { acquireTestLock, clientRest, makeWorld, masterRest, pointer, requireBackend, uniq } from '../tools/lib/testkit.mjs';

let release;
let master;
let world;
let manager;
let employee;
let tokenUser;
let employeeB;
let anonymous;

before(async () => {
  await requireBackend();
  release = await acquireTestLock();
  master = masterRest();
  world = await makeWorld(master, [
    { alias: 'material', className: 'Material', fields: { catalog: { $ref: 'catalogA' }, name: 'Oak' } },
    { alias: 'scene', className: 'Scene', fields: { catalog: { $ref: 'catalogA' }, lightingEnvironment: { rgbHexCode: '#ffffff' } } },
    { alias: 'item', className: 'MarketingListItem', fields: { catalog: { $ref: 'catalogA' }, component: { $ref: 'componentA' }, type: 'MAIN_PRODUCT', index: 0 } },
    { alias: 'anchor', className: 'AnchorObject', fields: { catalog: { $ref: 'catalogA' }, name: 'Handle' } },
    { alias: 'version', className: 'UnsupportedAppVersion', fields: { app: 'IOS_SDK', version: uniq('v') } },
  ]);
  manager = clientRest(world.ids.manager.sessionToken);
  employee = clientRest(world.ids.employee.sessionToken);
  tokenUser = clientRest(world.ids.tokenUser.sessionToken);
  employeeB = clientRest(world.ids.employeeB.sessionToken);
  anonymous = clientRest(undefined);
});

after(() => {
  for (const r of [master, manager, employee, tokenUser, employeeB, anonymous]) r?.close();
  release?.();
});

const catalogA = () => pointer('Catalog', world.ids.catalogA);
const catalogB = () => pointer('Catalog', world.ids.catalogB);

test('a client cannot create a class', async () => {
  await assert.rejects(employee.call('POST', `/classes/${uniq('Made')}`, { a: 1 }), (e) => e.code === 119);
  await assert.rejects(manager.call('POST', '/schemas/Invented', { className: 'Invented' }), (e) => e.status === 403);
});

test('a client cannot add a field to a class', async () => {
  await assert.rejects(manager.call('POST', '/classes/Component', { catalog: catalogA(), [uniq('field')]: 1 }), (e) => e.code === 119);
});

test('a client cannot create, change or delete roles', async () => {
  await assert.rejects(manager.call('POST', '/roles', { name: uniq('ROLE_'), ACL: {} }), (e) => e.code === 119);
  const role = (await employee.call('GET', '/roles', undefined, { query: { where: { name: 'ROLE_COMPANY_MANAGER' } } })).results[0];
  assert.ok(role, 'the standard roles are readable');
  await assert.rejects(
    employee.call('PUT', `/roles/${role.objectId}`, { users: { __op: 'AddRelation', objects: [pointer('_User', world.ids.employee.objectId)] } }),
    (e) => e.code === 119,
  );
  await assert.rejects(employee.call('DELETE', `/roles/${role.objectId}`), (e) => e.code === 119);
});

test('the standard roles exist and answer membership counts', async () => {
  const names = (await employee.call('GET', '/roles', undefined, { query: { limit: '1000' } })).results.map((r) => r.name);
  for (const n of STANDARD_ROLES) assert.ok(names.includes(n), n);
  const count = async (rest, user, name) =>
    (await rest.call('GET', '/roles', undefined, { query: { where: { name, users: pointer('_User', user.objectId) }, count: '1', limit: '0' } })).count;
  assert.equal(await count(employee, world.ids.employee, 'ROLE_COMPANY_EMPLOYEE'), 1);
  assert.equal(await count(employee, world.ids.employee, 'ROLE_COMPANY_MANAGER'), 0);
  assert.equal(await count(manager, world.ids.manager, 'ROLE_COMPANY_MANAGER'), 1);
  assert.equal(await count(tokenUser, world.ids.tokenUser, 'ROLE_COMPANY_AUTH_TOKEN'), 1);
});

test('a client cannot set emailVerified or move itself to another company', async () => {
  const me = world.ids.employee.objectId;
  await assert.rejects(employee.call('PUT', `/users/${me}`, { emailVerified: true }));
  await assert.rejects(employee.call('PUT', `/users/${me}`, { company: pointer('Company', world.ids.companyB) }), (e) => e.code === 119);
  const after = await master.call('GET', `/users/${me}`);
  assert.deepEqual(after.company, pointer('Company', world.ids.companyA));
  // Ordinary fields of one's own user stay writable.
  await employee.call('PUT', `/users/${me}`, { fullName: 'Employee A, renamed' });
});

test('clients cannot sign up on their own or see other users', async () => {
  await assert.rejects(anonymous.call('POST', '/users', { username: uniq('u'), password: 'pw-123456' }), (e) => e.code === 119);
  await assert.rejects(employee.call('GET', '/users'), (e) => e.code === 119);
  await assert.rejects(employee.call('GET', `/users/${world.ids.manager.objectId}`), (e) => e.code === 101);
  const me = await employee.call('GET', '/users/me');
  assert.equal(me.objectId, world.ids.employee.objectId);
  assert.deepEqual(me.company, pointer('Company', world.ids.companyA));
});

test("a user reads its own company's records and nothing of another company", async () => {
  for (const [rest, label] of [[employee, 'employee'], [tokenUser, 'token user'], [manager, 'manager']]) {
    const got = await rest.call('GET', `/classes/Component/${world.ids.componentA}`);
    assert.equal(got.objectId, world.ids.componentA, label);
    await assert.rejects(rest.call('GET', `/classes/Component/${world.ids.componentB}`), (e) => e.code === 101, label);
    const catalogs = await rest.call('GET', '/classes/Catalog', undefined, { query: { where: { objectId: { $in: [world.ids.catalogA, world.ids.catalogB] } } } });
    assert.deepEqual(catalogs.results.map((c) => c.objectId), [world.ids.catalogA], label);
  }
  const inB = await employee.call('GET', '/classes/Component', undefined, { query: { where: { catalog: catalogB() } } });
  assert.equal(inB.results.length, 0);
  for (const [cls, alias] of [['Material', 'material'], ['Scene', 'scene'], ['MarketingListItem', 'item'], ['AnchorObject', 'anchor']]) {
    assert.equal((await employee.call('GET', `/classes/${cls}/${world.ids[alias]}`)).objectId, world.ids[alias]);
    await assert.rejects(employeeB.call('GET', `/classes/${cls}/${world.ids[alias]}`), (e) => e.code === 101, cls);
  }
  await assert.rejects(employeeB.call('GET', `/classes/Company/${world.ids.companyA}`), (e) => e.code === 101);
  assert.equal((await employee.call('GET', `/classes/Company/${world.ids.companyA}`)).objectId, world.ids.companyA);
  // include does not leak either: B's query for its own records includes nothing of A.
  const items = await employeeB.call('GET', '/classes/MarketingListItem', undefined, { query: { where: { catalog: catalogA() }, include: 'component' } });
  assert.equal(items.results.length, 0);
});

test('anonymous clients read the unsupported versions and the demonstration company only', async () => {
  const versions = await anonymous.call('GET', '/classes/UnsupportedAppVersion', undefined, { query: { where: { objectId: world.ids.version } } });
  assert.equal(versions.results.length, 1);
  await assert.rejects(anonymous.call('GET', '/classes/Component'), (e) => e.code === 101);
  await assert.rejects(anonymous.call('GET', `/classes/Catalog/${world.ids.catalogA}`), (e) => e.code === 101);
  await assert.rejects(anonymous.call('GET', `/classes/Company/${world.ids.companyA}`), (e) => e.code === 101);
  const demo = await anonymous.call('GET', '/classes/Company', undefined, { query: { where: { name: DEMO_COMPANY_NAME } } });
  const all = await master.call('GET', '/classes/Company', undefined, { query: { where: { name: DEMO_COMPANY_NAME } } });
  assert.equal(demo.results.length, all.results.length);
  await assert.rejects(anonymous.call('POST', '/classes/UnsupportedAppVersion', { app: 'x', version: '1' }), (e) => e.code === 119);
  await assert.rejects(employee.call('POST', '/classes/UnsupportedAppVersion', { app: 'x', version: '1' }), (e) => e.code === 119);
});

test('only managers write catalogue records, and only in their own catalog', async () => {
  await assert.rejects(employee.call('POST', '/classes/Component', { catalog: catalogA(), name: 'x' }), (e) => e.code === 119);
  await assert.rejects(tokenUser.call('POST', '/classes/Material', { catalog: catalogA(), name: 'x' }), (e) => e.code === 119);
  await assert.rejects(employee.call('PUT', `/classes/Component/${world.ids.componentA}`, { name: 'renamed' }), (e) => e.code === 119);
  await assert.rejects(employee.call('DELETE', `/classes/Component/${world.ids.componentA}`), (e) => e.code === 119);
  await assert.rejects(manager.call('POST', '/classes/Component', { catalog: catalogB(), name: 'x' }), (e) => e.code === 119);
  await assert.rejects(manager.call('POST', '/classes/Component', { name: 'no catalog' }), (e) => e.code === 142);
  await assert.rejects(manager.call('PUT', `/classes/Component/${world.ids.componentB}`, { name: 'x' }), (e) => e.code === 101);

  // A manager's own ACL is replaced by the company's, so a record cannot be made public.
  const created = await manager.call('POST', '/classes/Component', { catalog: catalogA(), name: 'by manager', ACL: { '*': { read: true, write: true } } });
  const stored = await master.call('GET', `/classes/Component/${created.objectId}`);
  assert.deepEqual(stored.ACL, { [`role:company_${world.ids.companyA}`]: { read: true, write: true } });
  assert.equal((await employee.call('GET', `/classes/Component/${created.objectId}`)).name, 'by manager');
  await assert.rejects(employeeB.call('GET', `/classes/Component/${created.objectId}`), (e) => e.code === 101);
  // Moving it to another company's catalog is refused.
  await assert.rejects(manager.call('PUT', `/classes/Component/${created.objectId}`, { catalog: catalogB() }), (e) => e.code === 119);
  await manager.call('PUT', `/classes/Component/${created.objectId}`, { name: 'by manager, renamed' });
  await manager.call('DELETE', `/classes/Component/${created.objectId}`);
});

test('records written with the master key get their ACL from the catalog, unless one is given', async () => {
  const derived = await master.call('POST', '/classes/Material', { catalog: catalogB(), name: 'derived' });
  const m = await master.call('GET', `/classes/Material/${derived.objectId}`);
  assert.deepEqual(m.ACL, { [`role:company_${world.ids.companyB}`]: { read: true, write: true } });
  const explicit = await master.call('POST', '/classes/Material', { catalog: catalogB(), name: 'explicit', ACL: { '*': { read: true } } });
  assert.deepEqual((await master.call('GET', `/classes/Material/${explicit.objectId}`)).ACL, { '*': { read: true } });
  assert.equal((await employee.call('GET', `/classes/Material/${explicit.objectId}`)).name, 'explicit');
  // Moving a record to another catalog moves its ACL along.
  await master.call('PUT', `/classes/Material/${derived.objectId}`, { catalog: catalogA() });
  assert.equal((await employee.call('GET', `/classes/Material/${derived.objectId}`)).name, 'derived');
  // Without a catalog there is no company to read it.
  const orphan = await master.call('POST', '/classes/Material', { name: 'orphan' });
  await assert.rejects(employee.call('GET', `/classes/Material/${orphan.objectId}`), (e) => e.code === 101);
});

test('each company has a role holding its users, following the company pointer', async () => {
  const role = async (companyId) =>
    (await master.call('GET', '/roles', undefined, { query: { where: { name: `company_${companyId}` } } })).results[0];
  const roleA = await role(world.ids.companyA);
  const members = async (r) =>
    (await master.call('GET', '/users', undefined, { query: { where: { $relatedTo: { object: pointer('_Role', r.objectId), key: 'users' } } } })).results
      .map((u) => u.objectId)
      .sort();
  assert.deepEqual(await members(roleA), [world.ids.manager.objectId, world.ids.employee.objectId, world.ids.tokenUser.objectId].sort());
  // The master key moves a user: the memberships follow.
  await master.call('PUT', `/users/${world.ids.employee.objectId}`, { company: pointer('Company', world.ids.companyB) });
  const roleB = await role(world.ids.companyB);
  assert.ok((await members(roleB)).includes(world.ids.employee.objectId));
  assert.ok(!(await members(roleA)).includes(world.ids.employee.objectId));
  await assert.rejects(employee.call('GET', `/classes/Component/${world.ids.componentA}`), (e) => e.code === 101);
  await master.call('PUT', `/users/${world.ids.employee.objectId}`, { company: pointer('Company', world.ids.companyA) });
  assert.equal((await employee.call('GET', `/classes/Component/${world.ids.componentA}`)).objectId, world.ids.componentA);
});

test('requests need a client key; the master key is refused from a client key alone', async () => {
  const noKey = clientRest(undefined);
  noKey.clientKey = undefined;
  try {
    await assert.rejects(noKey.call('GET', '/classes/UnsupportedAppVersion'), (e) => e.status === 403);
  } finally {
    noKey.close();
  }
  const wrongMaster = masterRest();
  wrongMaster.masterKey = 'not-the-master-key';
  try {
    await assert.rejects(wrongMaster.call('GET', '/classes/Component'), (e) => e.status === 403 || e.code === 101);
  } finally {
    wrongMaster.close();
  }
});

// getComponentThumbnailHome, registerCompanyUser and requestPasswordReset: result shapes and
// errors.

import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { DEMO_COMPANY_NAME } from '../lib/settings.mjs';
import { applyFixture } from '../tools/lib/fixture.mjs';
import { acquireTestLock, clientRest, makeWorld, masterRest, outbox, pointer, requireBackend, uniq } from '../tools/lib/testkit.mjs';

let release;
let master;
let world;
let employee;
let employeeB;
let anonymous;
let demoCompanyId;

before(async () => {
  await requireBackend();
  release = await acquireTestLock();
  master = masterRest();
  world = await makeWorld(master);
  employee = clientRest(world.ids.employee.sessionToken);
  employeeB = clientRest(world.ids.employeeB.sessionToken);
  anonymous = clientRest(undefined);
  // The demonstration company may exist from the demo data; tests use whichever is there.
  const found = await master.call('GET', '/classes/Company', undefined, { query: { where: { name: DEMO_COMPANY_NAME }, limit: '1' } });
  demoCompanyId = found.results[0]?.objectId;
  if (!demoCompanyId) {
    const ids = await applyFixture(master, { records: [{ alias: 'demo', className: 'Company', fields: { name: DEMO_COMPANY_NAME } }] });
    demoCompanyId = ids.demo;
  }
});

after(() => {
  for (const r of [master, employee, employeeB, anonymous]) r?.close();
  release?.();
});

describe('getComponentThumbnailHome', () => {
  test('answers {path} naming the company, catalog and component', async () => {
    const result = await employee.run('getComponentThumbnailHome', { component_id: world.ids.componentA });
    assert.deepEqual(Object.keys(result), ['path']);
    assert.equal(result.path, `companies/${world.ids.companyA}/catalogs/${world.ids.catalogA}/components/${world.ids.componentA}/thumbnails`);
  });

  test('does not reveal a component of another company', async () => {
    await assert.rejects(employeeB.run('getComponentThumbnailHome', { component_id: world.ids.componentA }), (e) => e.code === 101);
  });

  test('rejects unknown and empty ids and anonymous callers', async () => {
    await assert.rejects(employee.run('getComponentThumbnailHome', { component_id: 'doesNotExist' }), (e) => e.code === 101);
    await assert.rejects(employee.run('getComponentThumbnailHome', { component_id: '' }), (e) => e.code === 142);
    await assert.rejects(employee.run('getComponentThumbnailHome', {}), (e) => e.code === 142);
    await assert.rejects(anonymous.run('getComponentThumbnailHome', { component_id: world.ids.componentA }), (e) => e.code === 142);
  });
});

describe('registerCompanyUser', () => {
  const params = (over = {}) => ({
    company_id: demoCompanyId,
    full_name: 'Nina Newcomer',
    email: `${uniq('nina.')}@demo.test`,
    password: 'nina-secret',
    role: 'ROLE_COMPANY_EMPLOYEE',
    ...over,
  });

  test('creates an unverified employee of the demonstration company and answers its id', async () => {
    const p = params();
    const id = await anonymous.run('registerCompanyUser', p);
    assert.equal(typeof id, 'string');
    const user = await master.call('GET', `/users/${id}`);
    assert.equal(user.username, p.email);
    assert.equal(user.email, p.email);
    assert.equal(user.fullName, 'Nina Newcomer');
    assert.deepEqual(user.company, pointer('Company', demoCompanyId));
    assert.equal(user.emailVerified, false);

    const inRole = await master.call('GET', '/roles', undefined, {
      query: { where: { name: 'ROLE_COMPANY_EMPLOYEE', users: pointer('_User', id) }, count: '1', limit: '0' },
    });
    assert.equal(inRole.count, 1);
    const inCompany = await master.call('GET', '/roles', undefined, {
      query: { where: { name: `company_${demoCompanyId}`, users: pointer('_User', id) }, count: '1', limit: '0' },
    });
    assert.equal(inCompany.count, 1);

    const mail = outbox().filter((m) => m.to === p.email);
    assert.equal(mail.length, 1);
    assert.equal(mail[0].kind, 'verifyEmail');
    assert.match(mail[0].link, /^https:\/\/localhost:28443\/parse\/.*verify_email\?token=/);

    // The new user can sign in; the library itself refuses it until the address is verified.
    const login = await anonymous.call('POST', '/login', { username: p.email, password: p.password });
    assert.equal(login.emailVerified, false);
  });

  test('refuses a taken address', async () => {
    const p = params();
    await anonymous.run('registerCompanyUser', p);
    await assert.rejects(anonymous.run('registerCompanyUser', p), (e) => e.code === 202 || e.code === 203);
  });

  test('refuses other companies, other roles and bad input', async () => {
    await assert.rejects(anonymous.run('registerCompanyUser', params({ company_id: world.ids.companyA })), (e) => e.code === 119);
    await assert.rejects(anonymous.run('registerCompanyUser', params({ company_id: 'nope' })), (e) => e.code === 101);
    await assert.rejects(anonymous.run('registerCompanyUser', params({ role: 'ROLE_COMPANY_MANAGER' })), (e) => e.code === 119);
    await assert.rejects(anonymous.run('registerCompanyUser', params({ email: 'not-an-address' })), (e) => e.code === 125);
    await assert.rejects(anonymous.run('registerCompanyUser', params({ password: '123' })), (e) => e.code === 201);
    await assert.rejects(anonymous.run('registerCompanyUser', params({ full_name: 42 })), (e) => e.code === 142);
    await assert.rejects(anonymous.run('registerCompanyUser', params({ company_id: '' })), (e) => e.code === 142);
    const { email, ...noEmail } = params();
    assert.ok(email);
    await assert.rejects(anonymous.run('registerCompanyUser', noEmail), (e) => e.code === 142);
  });
});

describe('requestPasswordReset', () => {
  test('sends a reset link to a known address', async () => {
    const username = world.ids.employee.username;
    const before = outbox().filter((m) => m.to === username && m.kind === 'passwordReset').length;
    assert.equal(await anonymous.run('requestPasswordReset', { username, schema: '' }), true);
    const mails = outbox().filter((m) => m.to === username && m.kind === 'passwordReset');
    assert.equal(mails.length, before + 1);
    assert.match(mails.at(-1).link, /request_password_reset\?token=/);
  });

  test('answers an unknown address like a known one, without mail', async () => {
    const username = `${uniq('ghost.')}@nowhere.test`;
    assert.equal(await anonymous.run('requestPasswordReset', { username, schema: '' }), true);
    assert.equal(outbox().filter((m) => m.to === username).length, 0);
  });

  test('rejects blank and malformed addresses', async () => {
    await assert.rejects(anonymous.run('requestPasswordReset', { username: '   ', schema: '' }), (e) => e.code === 142);
    await assert.rejects(anonymous.run('requestPasswordReset', { username: 'nobody', schema: '' }), (e) => e.code === 125);
    await assert.rejects(anonymous.run('requestPasswordReset', { schema: '' }), (e) => e.code === 142);
    await assert.rejects(anonymous.run('requestPasswordReset', { username: world.ids.employee.username, schema: 5 }), (e) => e.code === 142);
  });
});

test('an unknown function is an error with code 141', async () => {
  await assert.rejects(employee.run('noSuchFunction', {}), (e) => e.code === 141);
});

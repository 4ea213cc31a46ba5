// The server as a whole: TLS from the local CA, loopback only, the environment file, the admin
// route's guard, the start script's status.

import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import tls from 'node:tls';
import { after, before, test } from 'node:test';

import { httpRequest } from '../tools/lib/rest.mjs';
import { acquireTestLock, backendScript, env, requireBackend } from '../tools/lib/testkit.mjs';

let release;
before(async () => {
  await requireBackend();
  release = await acquireTestLock();
});
after(() => release?.());

test('backend.env holds the connection settings', () => {
  const text = fs.readFileSync(path.join(env().state, 'backend.env'), 'utf8');
  const vars = Object.fromEntries([...text.matchAll(/^export ([A-Z_]+)=(.*)$/gm)].map((m) => [m[1], m[2]]));
  assert.equal(vars.VANTREL_SERVER, 'localhost:28443/parse');
  assert.equal(vars.VANTREL_SECOND_SERVER, 'localhost:28444/parse');
  assert.equal(vars.VANTREL_APP_ID, 'vantrel');
  assert.equal(vars.VANTREL_CLIENT_KEY, 'vantrel-client-key');
  assert.equal(vars.VANTREL_JS_KEY, 'vantrel-js-key');
  assert.equal(vars.VANTREL_MASTER_KEY, 'vantrel-master-key');
  assert.ok(path.isAbsolute(vars.VANTREL_CA_FILE));
  assert.equal(vars.NODE_EXTRA_CA_CERTS, vars.VANTREL_CA_FILE);
  assert.equal(vars.VANTREL_BACKEND_STATE, env().state);
});

test('the certificate comes from the local CA and names the loopback addresses', async () => {
  const socket = tls.connect({ host: '127.0.0.1', port: 28443, servername: 'localhost', ca: env().ca });
  await new Promise((resolve, reject) => {
    socket.once('secureConnect', resolve);
    socket.once('error', reject);
  });
  const cert = socket.getPeerX509Certificate();
  socket.end();
  const ca = new crypto.X509Certificate(env().ca);
  assert.ok(cert.verify(ca.publicKey), 'signed by the CA');
  assert.ok(ca.ca, 'the CA is a CA');
  for (const san of ['DNS:localhost', 'IP Address:127.0.0.1', 'IP Address:0:0:0:0:0:0:0:1']) assert.ok(cert.subjectAltName.includes(san), san);
  assert.ok(cert.checkHost('localhost'));
  assert.ok(cert.checkIP('127.0.0.1'));
});

test('verification stays on: without the CA the server is not trusted', async () => {
  // Only Node's bundled roots: NODE_EXTRA_CA_CERTS (set when backend.env is sourced) must not count.
  await assert.rejects(
    httpRequest(`${env().serverUrl}/health`, { ca: [...tls.rootCertificates], agent: false }),
    (e) => /self[- ]signed|unable to verify|certificate/i.test(e.message),
  );
});

test('the server listens on 127.0.0.1 only', async () => {
  const tryConnect = (host) =>
    new Promise((resolve) => {
      const s = net.connect({ host, port: 28443 });
      s.once('connect', () => {
        s.destroy();
        resolve(true);
      });
      s.once('error', () => resolve(false));
    });
  assert.equal(await tryConnect('127.0.0.1'), true);
  assert.equal(await tryConnect('::1'), false);
});

test('health, unknown routes and the admin guard', async () => {
  const h = await httpRequest(`${env().serverUrl}/health`, { ca: env().ca });
  assert.equal(h.status, 200);
  assert.deepEqual(JSON.parse(h.body), { status: 'ok' });
  const origin = new URL(env().serverUrl).origin;
  const nowhere = await httpRequest(`${origin}/nowhere`, { ca: env().ca });
  assert.equal(nowhere.status, 404);
  for (const headers of [{}, { 'X-Parse-Application-Id': 'vantrel', 'X-Parse-Client-Key': 'vantrel-client-key' }, { 'X-Parse-Application-Id': 'vantrel', 'X-Parse-Master-Key': 'wrong' }]) {
    const r = await httpRequest(`${origin}/admin/reset`, { method: 'POST', headers, ca: env().ca });
    assert.equal(r.status, 403, JSON.stringify(headers));
  }
});

test('status answers 0 while the server runs; start is quick when everything runs', () => {
  assert.equal(backendScript('status').code, 0);
  const t0 = Date.now();
  const r = backendScript('start');
  assert.equal(r.code, 0, r.output);
  assert.ok(Date.now() - t0 < 10000, `start took ${Date.now() - t0} ms`);
});

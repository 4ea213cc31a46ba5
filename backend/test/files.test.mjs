// The signed file route and the four file functions.

import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { FileKeyError, FileStore, encodeKeyPath, normalizeKey } from '../lib/filestore.mjs';
import { httpRequest } from '../tools/lib/rest.mjs';
import { acquireTestLock, clientRest, env, makeWorld, masterRest, requireBackend, uniq } from '../tools/lib/testkit.mjs';

describe('file keys (no server)', () => {
  test('a leading slash is dropped and the rest kept', () => {
    assert.equal(normalizeKey('/models/a/chair.zip'), 'models/a/chair.zip');
    assert.equal(normalizeKey('models/a/chair.zip'), 'models/a/chair.zip');
    assert.equal(normalizeKey('a b/ü..x.png'), 'a b/ü..x.png');
  });

  test('traversal, empty segments and odd characters are refused', () => {
    for (const bad of ['', '/', '..', 'a/../b', '../a', 'a/..', 'a//b', 'a/./b', 'a/', 'a\\b', 'a\u0000b', 'a\nb', 'x'.repeat(1025)]) {
      assert.throws(() => normalizeKey(bad), FileKeyError, `key ${JSON.stringify(bad)}`);
    }
    assert.throws(() => normalizeKey(42), FileKeyError);
  });

  test('signatures cover method, key, expiry and content type', () => {
    const now = 1_700_000_000_000;
    const store = new FileStore({ root: '/nonexistent', secret: 'x'.repeat(32), baseUrl: 'https://localhost:1', ttl: 60, now: () => now });
    const url = new URL(store.sign({ method: 'PUT', key: 'a/b c.zip', contentType: 'application/zip' }));
    assert.equal(url.pathname, '/storage/a/b%20c.zip');
    assert.equal(url.searchParams.get('expires'), String(now / 1000 + 60));
    const sig = url.searchParams.get('signature');
    const exp = url.searchParams.get('expires');
    assert.equal(store.signature('PUT', 'a/b c.zip', exp, 'application/zip'), sig);
    assert.notEqual(store.signature('GET', 'a/b c.zip', exp, 'application/zip'), sig);
    assert.notEqual(store.signature('PUT', 'a/b c.zi', exp, 'application/zip'), sig);
    assert.notEqual(store.signature('PUT', 'a/b c.zip', String(Number(exp) + 1), 'application/zip'), sig);
    assert.notEqual(store.signature('PUT', 'a/b c.zip', exp, 'application/octet-stream'), sig);
    // A shorter lifetime may be asked for, a longer one is capped.
    assert.equal(new URL(store.sign({ method: 'GET', key: 'k', ttlSeconds: 1 })).searchParams.get('expires'), String(now / 1000 + 1));
    assert.equal(new URL(store.sign({ method: 'GET', key: 'k', ttlSeconds: 9999 })).searchParams.get('expires'), String(now / 1000 + 60));
    assert.equal(encodeKeyPath('a/%/?#'), 'a/%25/%3F%23');
  });
});

describe('signed file route', () => {
  let release;
  let master;
  let user; // a signed-in employee
  const prefix = `tests/${uniq('f')}`;

  before(async () => {
    await requireBackend();
    release = await acquireTestLock();
    master = masterRest();
    const world = await makeWorld(master);
    user = clientRest(world.ids.employee.sessionToken);
  });
  after(() => {
    master?.close();
    user?.close();
    release?.();
  });

  const put = (url, body, contentType) =>
    httpRequest(url, { method: 'PUT', headers: contentType === undefined ? {} : { 'Content-Type': contentType }, body, ca: env().ca });
  const get = (url, method = 'GET') => httpRequest(url, { method, ca: env().ca });

  test('a PUT through a signed URL and a GET through another return the same bytes', async () => {
    const key = `${prefix}/models/chair one.zip`;
    const bytes = Buffer.from(Array.from({ length: 70000 }, (_, i) => i % 251));
    const up = await user.run('getSignedUrlToUploadByKey', { file_key: key });
    assert.deepEqual(Object.keys(up).sort(), ['contentType', 'filePath', 'signedUrl']);
    assert.equal(up.contentType, 'application/zip');
    assert.equal(up.filePath, key);
    assert.match(up.signedUrl, /^https:\/\/localhost:28443\/storage\//);
    const r = await put(up.signedUrl, bytes, up.contentType);
    assert.equal(r.status, 200, r.body.toString());

    assert.equal(await user.run('isFileExists', { file_key: key }), true);
    // The library sends the download key percent-encoded.
    const down = await user.run('getSignedUrlToDownloadByKey', { file_key: encodeURIComponent(key).replace(/%2F/g, '/') });
    assert.deepEqual(Object.keys(down), ['signedUrl']);
    const g = await get(down.signedUrl);
    assert.equal(g.status, 200);
    assert.equal(g.headers['content-type'], 'application/zip');
    assert.ok(g.body.equals(bytes));
    const h = await get(down.signedUrl, 'HEAD');
    assert.equal(h.status, 200);
    assert.equal(h.headers['content-length'], String(bytes.length));
  });

  test('a second PUT replaces the file; a leading slash names the same key', async () => {
    const key = `${prefix}/replace.txt`;
    await master.uploadFile(key, Buffer.from('one'));
    await master.uploadFile(`/${key}`, Buffer.from('two'));
    assert.equal((await master.downloadFile(key)).toString(), 'two');
  });

  test('a tampered signature, key, expiry or content type gets 403', async () => {
    const key = `${prefix}/tamper.png`;
    await master.uploadFile(key, Buffer.from('png'));
    const url = new URL((await user.run('getSignedUrlToDownloadByKey', { file_key: key })).signedUrl);

    const flipped = new URL(url);
    const sig = flipped.searchParams.get('signature');
    flipped.searchParams.set('signature', (sig[0] === 'a' ? 'b' : 'a') + sig.slice(1));
    assert.equal((await get(flipped.href)).status, 403);

    const otherKey = new URL(url);
    otherKey.pathname = otherKey.pathname.replace('tamper.png', 'tamper2.png');
    assert.equal((await get(otherKey.href)).status, 403);

    const later = new URL(url);
    later.searchParams.set('expires', String(Number(url.searchParams.get('expires')) + 3600));
    assert.equal((await get(later.href)).status, 403);

    const type = new URL(url);
    type.searchParams.set('contentType', 'text/html');
    assert.equal((await get(type.href)).status, 403);

    const unsigned = new URL(url);
    unsigned.search = '';
    assert.equal((await get(unsigned.href)).status, 403);

    assert.equal((await get(url.href)).status, 200, 'the untouched URL still works');
  });

  test('an expired URL gets 403', async () => {
    const key = `${prefix}/expiring.txt`;
    await master.uploadFile(key, Buffer.from('soon gone'));
    const { signedUrl } = await user.run('getSignedUrlToDownloadByKey', { file_key: key, expires_in: 1 });
    const expires = Number(new URL(signedUrl).searchParams.get('expires'));
    await new Promise((r) => setTimeout(r, Math.max(0, expires * 1000 - Date.now()) + 1100));
    const r = await get(signedUrl);
    assert.equal(r.status, 403);
    assert.match(r.body.toString(), /expired/);
  });

  test('a URL used with another method gets 403', async () => {
    const key = `${prefix}/method.bin`;
    const up = await user.run('getSignedUrlToUploadByKey', { file_key: key });
    assert.equal((await get(up.signedUrl)).status, 403, 'GET on a PUT URL');
    await put(up.signedUrl, Buffer.from('x'), up.contentType);
    const down = await user.run('getSignedUrlToDownloadByKey', { file_key: key });
    assert.equal((await put(down.signedUrl, Buffer.from('y'), 'application/octet-stream')).status, 403, 'PUT on a GET URL');
    assert.equal((await httpRequest(down.signedUrl, { method: 'DELETE', ca: env().ca })).status, 403, 'DELETE on a GET URL');
    assert.equal((await master.downloadFile(key)).toString(), 'x');
  });

  test('a PUT with another or no Content-Type gets 403 and stores nothing', async () => {
    const key = `${prefix}/typed.glb`;
    const up = await user.run('getSignedUrlToUploadByKey', { file_key: key });
    assert.equal(up.contentType, 'model/gltf-binary');
    assert.equal((await put(up.signedUrl, Buffer.from('x'), 'application/octet-stream')).status, 403);
    assert.equal((await put(up.signedUrl, Buffer.from('x'), undefined)).status, 403);
    assert.equal(await user.run('isFileExists', { file_key: key }), false);
    // An explicit content type is signed instead of the guessed one.
    const custom = await user.run('getSignedUrlToUploadByKey', { file_key: key, content_type: 'application/x-custom' });
    assert.equal(custom.contentType, 'application/x-custom');
    assert.equal((await put(custom.signedUrl, Buffer.from('x'), 'application/x-custom')).status, 200);
  });

  test('a key with ".." gets 400, however it is spelt', async () => {
    const origin = new URL(env().serverUrl).origin;
    const { signedUrl } = await user.run('getSignedUrlToDownloadByKey', { file_key: `${prefix}/a.txt` });
    const query = new URL(signedUrl).search;
    for (const p of [`/storage/${prefix}/../../secrets/signing.key`, `/storage/%2E%2E/x`, `/storage/a/%2e%2e/b`, `/storage/a%2F..%2Fb`, `/storage/..`]) {
      const r = await httpRequest({ origin, path: p + query }, { ca: env().ca });
      assert.equal(r.status, 400, p);
    }
    const r = await httpRequest({ origin, path: `/storage/%E0%A4%A${query}` }, { ca: env().ca });
    assert.equal(r.status, 400, 'broken percent-encoding');
  });

  test('a missing file gets 404 through a valid URL', async () => {
    const { signedUrl } = await user.run('getSignedUrlToDownloadByKey', { file_key: `${prefix}/never-uploaded.zip` });
    assert.equal((await get(signedUrl)).status, 404);
  });

  test('deleteFile removes a file; isFileExists follows', async () => {
    const key = `${prefix}/delete-me.txt`;
    await master.uploadFile(key, Buffer.from('bye'));
    assert.equal(await user.run('isFileExists', { file_key: key }), true);
    assert.equal(await user.run('deleteFile', { file_key: key }), true);
    assert.equal(await user.run('isFileExists', { file_key: key }), false);
    assert.equal(await user.run('deleteFile', { file_key: key }), false, 'deleting again is harmless');
    const { signedUrl } = await user.run('getSignedUrlToDownloadByKey', { file_key: key });
    assert.equal((await get(signedUrl)).status, 404);
  });

  test('the file functions refuse bad keys and anonymous callers', async () => {
    for (const name of ['getSignedUrlToDownloadByKey', 'getSignedUrlToUploadByKey', 'isFileExists', 'deleteFile']) {
      await assert.rejects(user.run(name, { file_key: 'a/../b' }), (e) => e.code === 142 && /\.\./.test(e.message), `${name} with ..`);
      await assert.rejects(user.run(name, { file_key: 7 }), (e) => e.code === 142, `${name} with a number`);
      await assert.rejects(user.run(name, {}), (e) => e.code === 142, `${name} without key`);
      await assert.rejects(clientRest(undefined).run(name, { file_key: 'a.txt' }), (e) => e.code === 142, `${name} anonymous`);
    }
    await assert.rejects(user.run('getSignedUrlToDownloadByKey', { file_key: 'a.txt', expires_in: 0 }), (e) => e.code === 142);
    await assert.rejects(user.run('getSignedUrlToUploadByKey', { file_key: 'a.txt', content_type: 'not a type' }), (e) => e.code === 142);
  });

  test('a file stored through one server is served through the other', async () => {
    const key = `${prefix}/shared.txt`;
    await master.uploadFile(key, Buffer.from('shared'));
    const { signedUrl } = await user.run('getSignedUrlToDownloadByKey', { file_key: key });
    const viaSecond = signedUrl.replace(':28443/', ':28444/');
    const health = await httpRequest(`${env().secondServerUrl}/health`, { ca: env().ca }).catch(() => null);
    if (!health || health.status !== 200) return; // the second server is not running
    assert.equal((await get(viaSecond)).body.toString(), 'shared');
  });

  test('a signed URL names the loopback host the caller used', async () => {
    const viaIp = clientRest(user.sessionToken, env().serverUrl.replace('localhost', '127.0.0.1'));
    try {
      const { signedUrl } = await viaIp.run('getSignedUrlToDownloadByKey', { file_key: `${prefix}/x.txt` });
      assert.match(signedUrl, /^https:\/\/127\.0\.0\.1:28443\/storage\//);
    } finally {
      viaIp.close();
    }
  });
});

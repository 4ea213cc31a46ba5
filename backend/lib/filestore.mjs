// The file store behind the signed URLs: files live on disk below one root directory, named by
// their file key. A signed URL names the key in its path and carries the HTTP method, the expiry
// (Unix seconds), the content type and an HMAC-SHA256 over those four values.

import crypto from 'node:crypto';
import fs from 'node:fs';
import fsp from 'node:fs/promises';
import path from 'node:path';
import { pipeline } from 'node:stream/promises';

export const MAX_KEY_LENGTH = 1024;

export class FileKeyError extends Error {
  constructor(message) {
    super(message);
    this.name = 'FileKeyError';
  }
}

// Returns the canonical form of a file key (one leading "/" dropped) or throws FileKeyError.
// Keys are relative paths: no empty, "." or ".." segments, no backslashes, no control characters.
export function normalizeKey(key) {
  if (typeof key !== 'string') throw new FileKeyError('file key must be a string');
  let k = key.startsWith('/') ? key.slice(1) : key;
  if (k.length === 0) throw new FileKeyError('file key is empty');
  if (k.length > MAX_KEY_LENGTH) throw new FileKeyError(`file key is longer than ${MAX_KEY_LENGTH} characters`);
  // eslint-disable-next-line no-control-regex
  if (/[\u0000-\u001f\u007f]/.test(k)) throw new FileKeyError('file key contains control characters');
  if (k.includes('\\')) throw new FileKeyError('file key contains a backslash');
  for (const segment of k.split('/')) {
    if (segment === '..') throw new FileKeyError("file key must not contain '..' segments");
    if (segment === '.') throw new FileKeyError("file key must not contain '.' segments");
    if (segment === '') throw new FileKeyError('file key contains an empty path segment');
  }
  return k;
}

// Content types by file extension; anything else is served as bytes.
const CONTENT_TYPES = {
  '.zip': 'application/zip',
  '.glb': 'model/gltf-binary',
  '.gltf': 'model/gltf+json',
  '.bin': 'application/octet-stream',
  '.obj': 'text/plain',
  '.mtl': 'text/plain',
  '.dae': 'model/vnd.collada+xml',
  '.fbx': 'application/octet-stream',
  '.usdz': 'model/vnd.usdz+zip',
  '.scn': 'application/octet-stream',
  '.png': 'image/png',
  '.jpg': 'image/jpeg',
  '.jpeg': 'image/jpeg',
  '.webp': 'image/webp',
  '.gif': 'image/gif',
  '.hdr': 'image/vnd.radiance',
  '.ktx2': 'image/ktx2',
  '.json': 'application/json',
  '.txt': 'text/plain',
  '.html': 'text/html',
  '.pdf': 'application/pdf',
};

export function contentTypeFor(key) {
  return CONTENT_TYPES[path.extname(key).toLowerCase()] || 'application/octet-stream';
}

const CONTENT_TYPE_RE = /^[a-z0-9][a-z0-9!#$&^_.+-]*\/[a-z0-9][a-z0-9!#$&^_.+-]*(\s*;\s*[a-z0-9!#$&^_.+-]+=("[^"]*"|[a-z0-9!#$&^_.+-]+))*$/i;

export function isValidContentType(ct) {
  return typeof ct === 'string' && ct.length <= 200 && CONTENT_TYPE_RE.test(ct.trim());
}

function canonicalContentType(ct) {
  return (ct || '').trim().toLowerCase();
}

// Path of a key inside a URL: each segment percent-encoded on its own.
export function encodeKeyPath(key) {
  return key.split('/').map(encodeURIComponent).join('/');
}

export class FileStore {
  // root: directory holding the files; secret: the HMAC key (string or Buffer); baseUrl: scheme,
  // host and port that signed URLs point at; routePath: the route the server mounts; ttl: default
  // lifetime of a URL in seconds.
  constructor({ root, secret, baseUrl, routePath = '/storage', ttl = 300, maxUploadBytes = 512 * 1024 * 1024, now = () => Date.now() }) {
    if (!root) throw new Error('FileStore needs a root directory');
    if (!secret || secret.length < 16) throw new Error('FileStore needs a signing secret of at least 16 bytes');
    this.root = path.resolve(root);
    this.secret = secret;
    this.baseUrl = baseUrl.replace(/\/+$/, '');
    this.routePath = routePath;
    this.ttl = ttl;
    this.maxUploadBytes = maxUploadBytes;
    this.now = now;
  }

  pathOf(key) {
    const k = normalizeKey(key);
    const p = path.resolve(this.root, k);
    if (!p.startsWith(this.root + path.sep)) throw new FileKeyError('file key leaves the store');
    return p;
  }

  signature(method, key, expires, contentType) {
    return crypto
      .createHmac('sha256', this.secret)
      .update(`${method}\n${key}\n${expires}\n${canonicalContentType(contentType)}`)
      .digest('hex');
  }

  // Returns a signed URL for one method on one key. ttlSeconds (optional) shortens the lifetime;
  // baseUrl (optional) replaces the configured one, for callers that reached the server under
  // another loopback name.
  sign({ method, key, contentType = '', ttlSeconds, baseUrl }) {
    const k = normalizeKey(key);
    const m = method.toUpperCase();
    if (m !== 'GET' && m !== 'PUT') throw new Error(`cannot sign method ${method}`);
    const ttl = ttlSeconds === undefined ? this.ttl : Math.max(1, Math.min(this.ttl, ttlSeconds));
    const expires = Math.floor(this.now() / 1000) + ttl;
    const params = new URLSearchParams({
      method: m,
      expires: String(expires),
      contentType,
      signature: this.signature(m, k, expires, contentType),
    });
    return `${(baseUrl || this.baseUrl).replace(/\/+$/, '')}${this.routePath}/${encodeKeyPath(k)}?${params}`;
  }

  async exists(key) {
    try {
      const st = await fsp.stat(this.pathOf(key));
      return st.isFile();
    } catch (e) {
      if (e instanceof FileKeyError) throw e;
      return false;
    }
  }

  async remove(key) {
    const p = this.pathOf(key);
    try {
      const st = await fsp.stat(p);
      if (!st.isFile()) return false;
      await fsp.unlink(p);
      return true;
    } catch (e) {
      if (e.code === 'ENOENT' || e.code === 'ENOTDIR') return false;
      throw e;
    }
  }

  async clear() {
    await fsp.rm(this.root, { recursive: true, force: true });
    await fsp.mkdir(this.root, { recursive: true });
  }

  // Express-compatible handler for `${routePath}/<key>`.
  handler() {
    return (req, res) => {
      this.#handle(req, res).catch((err) => {
        if (!res.headersSent) send(res, 500, `internal error: ${err.message}`);
        else res.destroy();
      });
    };
  }

  async #handle(req, res) {
    // Split the raw target by hand: URL parsing would resolve ".." segments before we see them.
    const target = req.originalUrl || req.url;
    const qpos = target.indexOf('?');
    let rawPath = qpos < 0 ? target : target.slice(0, qpos);
    const q = new URLSearchParams(qpos < 0 ? '' : target.slice(qpos + 1));
    if (rawPath.startsWith(this.routePath + '/')) rawPath = rawPath.slice(this.routePath.length + 1);
    else return send(res, 400, 'missing file key');

    let key;
    try {
      const decoded = rawPath.split('/').map((s) => decodeURIComponent(s)).join('/');
      key = normalizeKey(decoded);
    } catch (e) {
      return send(res, 400, e instanceof FileKeyError ? e.message : 'file key is not valid percent-encoding');
    }

    const signedMethod = q.get('method');
    const expiresText = q.get('expires');
    const signedType = q.get('contentType') ?? '';
    const sig = q.get('signature');
    if (!signedMethod || !expiresText || !sig) return send(res, 403, 'request is not signed');
    if (!/^\d{1,12}$/.test(expiresText)) return send(res, 403, 'malformed expiry');

    const expected = this.signature(signedMethod, key, expiresText, signedType);
    const a = Buffer.from(expected, 'hex');
    const b = /^[0-9a-f]{64}$/i.test(sig) ? Buffer.from(sig, 'hex') : Buffer.alloc(0);
    if (a.length !== b.length || !crypto.timingSafeEqual(a, b)) return send(res, 403, 'signature does not match');
    if (Number(expiresText) * 1000 < this.now()) return send(res, 403, 'signed URL has expired');

    const method = req.method.toUpperCase();
    const allowed = signedMethod === 'GET' ? ['GET', 'HEAD'] : [signedMethod];
    if (!allowed.includes(method)) return send(res, 403, `URL is signed for ${signedMethod}, not ${method}`);

    if (method === 'PUT') return this.#put(req, res, key, signedType);
    return this.#get(req, res, key, signedType, method === 'HEAD');
  }

  async #get(req, res, key, signedType, headOnly) {
    const p = this.pathOf(key);
    let st;
    try {
      st = await fsp.stat(p);
    } catch {
      return send(res, 404, 'no such file');
    }
    if (!st.isFile()) return send(res, 404, 'no such file');
    res.status(200);
    res.setHeader('Content-Type', signedType || contentTypeFor(key));
    res.setHeader('Content-Length', String(st.size));
    res.setHeader('Cache-Control', 'private, max-age=0, no-cache');
    if (headOnly) return res.end();
    await pipeline(fs.createReadStream(p), res);
  }

  async #put(req, res, key, signedType) {
    const got = req.headers['content-type'];
    if (canonicalContentType(got) !== canonicalContentType(signedType)) {
      // Drain what the client already sent so that it reads the answer instead of a reset.
      req.resume();
      return send(res, 403, `Content-Type '${got ?? ''}' does not match the signed '${signedType}'`);
    }
    const declared = req.headers['content-length'];
    if (declared !== undefined && Number(declared) > this.maxUploadBytes) {
      req.resume();
      return send(res, 413, `file is larger than ${this.maxUploadBytes} bytes`);
    }
    const p = this.pathOf(key);
    try {
      await fsp.mkdir(path.dirname(p), { recursive: true });
    } catch (e) {
      req.resume();
      if (e.code === 'EEXIST' || e.code === 'ENOTDIR') return send(res, 409, 'a file stands where the key needs a directory');
      throw e;
    }
    try {
      const st = await fsp.stat(p);
      if (st.isDirectory()) {
        req.resume();
        return send(res, 409, 'the key names a directory of other keys');
      }
    } catch {
      // nothing there yet
    }
    const tmp = `${p}.upload-${process.pid}-${crypto.randomBytes(6).toString('hex')}`;
    let size = 0;
    const limit = this.maxUploadBytes;
    try {
      const out = fs.createWriteStream(tmp, { flags: 'wx' });
      req.on('data', (chunk) => {
        size += chunk.length;
        if (size > limit) req.destroy(new Error('upload too large'));
      });
      await pipeline(req, out);
      await fsp.rename(tmp, p);
    } catch (e) {
      await fsp.rm(tmp, { force: true });
      if (size > limit) return send(res, 413, `file is larger than ${limit} bytes`);
      if (!res.headersSent && !res.destroyed) return send(res, 400, `upload failed: ${e.message}`);
      return;
    }
    res.status(200).json({ key, size });
  }
}

function send(res, status, message) {
  res.status(status);
  res.setHeader('Content-Type', 'text/plain; charset=utf-8');
  res.end(message + '\n');
}

// A small HTTPS client for the Parse REST API and the signed file route, verifying the server
// against the local CA (never with verification off).

import https from 'node:https';

export class RestError extends Error {
  constructor(status, code, message, body) {
    super(message);
    this.name = 'RestError';
    this.status = status;
    this.code = code;
    this.body = body;
  }
}

// Sends one request. url: absolute URL, or {origin, path} when the path must go out exactly as
// written (no normalisation of ".." segments). Resolves to {status, headers, body: Buffer}.
export function httpRequest(url, options = {}) {
  return sendOnce(url, options).catch((e) => {
    // A kept-alive connection that the server closed just as we reused it: the request never
    // reached the server, so sending it again is safe.
    if (e.reusedSocket && e.code === 'ECONNRESET') return sendOnce(url, options);
    throw e;
  });
}

function sendOnce(url, { method = 'GET', headers = {}, body, ca, agent, timeoutMs = 30000 } = {}) {
  return new Promise((resolve, reject) => {
    let target;
    if (typeof url === 'string') {
      const u = new URL(url);
      target = { hostname: u.hostname.replace(/^\[|\]$/g, ''), port: u.port || 443, path: u.pathname + u.search };
    } else {
      const u = new URL(url.origin);
      target = { hostname: u.hostname.replace(/^\[|\]$/g, ''), port: u.port || 443, path: url.path };
    }
    const req = https.request(
      { ...target, method, headers, ca, agent, servername: target.hostname === 'localhost' ? 'localhost' : undefined },
      (res) => {
        const chunks = [];
        res.on('data', (c) => chunks.push(c));
        res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) }));
        res.on('error', reject);
      },
    );
    req.setTimeout(timeoutMs, () => req.destroy(new Error(`request to ${typeof url === 'string' ? url : url.origin + url.path} timed out after ${timeoutMs} ms`)));
    req.on('error', (e) => {
      e.reusedSocket = req.reusedSocket;
      reject(e);
    });
    if (body !== undefined) req.end(body);
    else req.end();
  });
}

export class ParseRest {
  // serverUrl: "https://localhost:28443/parse"; ca: PEM buffer; appId plus one of masterKey,
  // clientKey (optionally with sessionToken).
  constructor({ serverUrl, ca, appId, masterKey, clientKey, sessionToken }) {
    this.serverUrl = serverUrl.replace(/\/+$/, '');
    this.origin = new URL(this.serverUrl).origin;
    this.ca = ca;
    this.appId = appId;
    this.masterKey = masterKey;
    this.clientKey = clientKey;
    this.sessionToken = sessionToken;
    this.agent = new https.Agent({ keepAlive: true, ca, maxSockets: 8 });
  }

  withSession(sessionToken) {
    return new ParseRest({ ...this, masterKey: undefined, sessionToken });
  }

  headers(extra = {}) {
    const h = { 'X-Parse-Application-Id': this.appId, ...extra };
    if (this.masterKey) h['X-Parse-Master-Key'] = this.masterKey;
    if (this.clientKey) h['X-Parse-Client-Key'] = this.clientKey;
    if (this.sessionToken) h['X-Parse-Session-Token'] = this.sessionToken;
    return h;
  }

  // Calls the API; resolves to the parsed JSON answer or rejects with a RestError carrying the
  // HTTP status and the Parse error code.
  async call(method, path, body, { query } = {}) {
    let url = `${this.serverUrl}${path}`;
    if (query) {
      const qs = new URLSearchParams();
      for (const [k, v] of Object.entries(query)) qs.set(k, typeof v === 'string' ? v : JSON.stringify(v));
      url += `?${qs}`;
    }
    const payload = body === undefined ? undefined : Buffer.from(JSON.stringify(body));
    const res = await httpRequest(url, {
      method,
      headers: this.headers(payload ? { 'Content-Type': 'application/json', 'Content-Length': String(payload.length) } : {}),
      body: payload,
      ca: this.ca,
      agent: this.agent,
    });
    let json;
    try {
      json = res.body.length ? JSON.parse(res.body.toString('utf8')) : {};
    } catch {
      throw new RestError(res.status, -1, `${method} ${path}: HTTP ${res.status} with a body that is not JSON: ${res.body.toString('utf8').slice(0, 200)}`);
    }
    if (res.status >= 400 || (json && typeof json.code === 'number' && json.error !== undefined)) {
      throw new RestError(res.status, json.code ?? -1, `${method} ${path}: [${json.code ?? res.status}] ${json.error ?? 'HTTP ' + res.status}`, json);
    }
    return json;
  }

  async run(name, params = {}) {
    const json = await this.call('POST', `/functions/${encodeURIComponent(name)}`, params);
    return json.result;
  }

  // Stores bytes under a file key through the signed upload route.
  async uploadFile(key, bytes, contentType) {
    const params = { file_key: key };
    if (contentType) params.content_type = contentType;
    const signed = await this.run('getSignedUrlToUploadByKey', params);
    const res = await httpRequest(signed.signedUrl, {
      method: 'PUT',
      headers: { 'Content-Type': signed.contentType, 'Content-Length': String(bytes.length) },
      body: bytes,
      ca: this.ca,
      agent: this.agent,
      timeoutMs: 300000,
    });
    if (res.status !== 200) throw new RestError(res.status, res.status, `upload of '${key}' failed: HTTP ${res.status} ${res.body.toString('utf8').trim()}`);
    return { key: signed.filePath, size: bytes.length, contentType: signed.contentType };
  }

  // Fetches the bytes of a file key through the signed download route.
  async downloadFile(key) {
    const signed = await this.run('getSignedUrlToDownloadByKey', { file_key: encodeURIComponent(key).replace(/%2F/g, '/') });
    const res = await httpRequest(signed.signedUrl, { ca: this.ca, agent: this.agent, timeoutMs: 300000 });
    if (res.status !== 200) throw new RestError(res.status, res.status, `download of '${key}' failed: HTTP ${res.status} ${res.body.toString('utf8').trim()}`);
    return res.body;
  }

  async adminReset() {
    const res = await httpRequest(`${this.origin}/admin/reset`, {
      method: 'POST',
      headers: this.headers({ 'Content-Length': '0' }),
      ca: this.ca,
      agent: this.agent,
      timeoutMs: 60000,
    });
    const text = res.body.toString('utf8');
    if (res.status !== 200) throw new RestError(res.status, -1, `reset failed: HTTP ${res.status} ${text}`);
    return JSON.parse(text);
  }

  close() {
    this.agent.destroy();
  }
}

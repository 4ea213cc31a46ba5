// Helpers for the backend's own tests (backend/test/*.test.mjs). They live outside test/ because
// node's test runner runs every module in that folder as a test file.

import { spawn, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';

import WebSocket from 'ws';

import { BACKEND_DIR, REPO_DIR } from '../../lib/settings.mjs';
import { loadBackendEnv, toWsUrl } from './env.mjs';
import { applyFixture } from './fixture.mjs';
import { ParseRest, httpRequest } from './rest.mjs';

let cachedEnv;
export function env() {
  if (!cachedEnv) {
    try {
      cachedEnv = loadBackendEnv();
    } catch (e) {
      throw new Error(`${e.message}\nThe backend tests need a running backend: scripts/backend.sh start`);
    }
  }
  return cachedEnv;
}

export async function requireBackend() {
  const e = env();
  let res;
  try {
    res = await httpRequest(`${e.serverUrl}/health`, { ca: e.ca, timeoutMs: 5000 });
  } catch (err) {
    throw new Error(`the backend at ${e.serverUrl} does not answer (${err.message}); start it with scripts/backend.sh start`);
  }
  if (res.status !== 200) throw new Error(`the backend at ${e.serverUrl} is not healthy (HTTP ${res.status})`);
}

// The test files run in parallel processes when the machine has cores to spare; one of them
// resets the whole database. Every file holds this lock while it runs, so they take turns.
export async function acquireTestLock({ timeoutMs = 120000 } = {}) {
  const dir = path.join(env().state, 'run', 'backend-tests.lock');
  fs.mkdirSync(path.dirname(dir), { recursive: true });
  const end = Date.now() + timeoutMs;
  for (;;) {
    try {
      fs.mkdirSync(dir);
      fs.writeFileSync(path.join(dir, 'pid'), String(process.pid));
      return () => fs.rmSync(dir, { recursive: true, force: true });
    } catch (e) {
      if (e.code !== 'EEXIST') throw e;
    }
    let holder;
    try {
      holder = Number(fs.readFileSync(path.join(dir, 'pid'), 'utf8'));
    } catch {
      holder = undefined;
    }
    const alive = holder ? fs.existsSync(`/proc/${holder}`) : true;
    if (holder && !alive) fs.rmSync(dir, { recursive: true, force: true });
    if (Date.now() > end) throw new Error(`another backend test run holds ${dir}`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

export function masterRest(serverUrl) {
  const e = env();
  return new ParseRest({ serverUrl: serverUrl ?? e.serverUrl, ca: e.ca, appId: e.appId, masterKey: e.masterKey, clientKey: e.clientKey });
}

export function clientRest(sessionToken, serverUrl) {
  const e = env();
  return new ParseRest({ serverUrl: serverUrl ?? e.serverUrl, ca: e.ca, appId: e.appId, clientKey: e.clientKey, sessionToken });
}

export function uniq(prefix = 't') {
  return `${prefix}${crypto.randomBytes(5).toString('hex')}`;
}

export const pointer = (className, objectId) => ({ __type: 'Pointer', className, objectId });

// Builds an isolated world for one test file: a company with a catalog, a manager, an employee
// and a B2C token user, plus a second company with its own catalog and employee. Names carry a
// random suffix so files never see each other's records.
export async function makeWorld(rest, extraRecords = []) {
  const s = uniq('w');
  const fixture = {
    records: [
      { alias: 'companyA', className: 'Company', fields: { name: `Company A ${s}` } },
      { alias: 'companyB', className: 'Company', fields: { name: `Company B ${s}` } },
      { alias: 'catalogA', className: 'Catalog', fields: { company: { $ref: 'companyA' }, name: `A ${s}` } },
      { alias: 'catalogB', className: 'Catalog', fields: { company: { $ref: 'companyB' }, name: `B ${s}` } },
      { alias: 'unit', className: 'ModelMeasuringUnit', fields: { name: `cm ${s}`, factor: 0.01 } },
      { alias: 'componentA', className: 'Component', fields: { catalog: { $ref: 'catalogA' }, name: `Sofa ${s}`, productNumber: `A-${s}`, scnModelMeasuringUnit: { $ref: 'unit' } } },
      { alias: 'componentB', className: 'Component', fields: { catalog: { $ref: 'catalogB' }, name: `Chair ${s}`, productNumber: `B-${s}` } },
      {
        alias: 'manager',
        className: '_User',
        username: `manager.${s}@a.test`,
        password: 'manager-pass',
        email: `manager.${s}@a.test`,
        fields: { fullName: 'Manager A', company: { $ref: 'companyA' } },
        roles: ['ROLE_COMPANY_MANAGER'],
        login: true,
      },
      {
        alias: 'employee',
        className: '_User',
        username: `employee.${s}@a.test`,
        password: 'employee-pass',
        email: `employee.${s}@a.test`,
        fields: { fullName: 'Employee A', company: { $ref: 'companyA' } },
        roles: ['ROLE_COMPANY_EMPLOYEE'],
        login: true,
      },
      {
        alias: 'tokenUser',
        className: '_User',
        username: `token-${s}`,
        password: `token-${s}`,
        fields: { company: { $ref: 'companyA' } },
        roles: ['ROLE_COMPANY_AUTH_TOKEN'],
        login: true,
      },
      {
        alias: 'employeeB',
        className: '_User',
        username: `employee.${s}@b.test`,
        password: 'employee-pass',
        email: `employee.${s}@b.test`,
        fields: { fullName: 'Employee B', company: { $ref: 'companyB' } },
        roles: ['ROLE_COMPANY_EMPLOYEE'],
        login: true,
      },
      ...extraRecords,
    ],
  };
  const ids = await applyFixture(rest, fixture, { baseDir: BACKEND_DIR, modelsDir: modelsDir() });
  return { suffix: s, ids };
}

export function modelsDir() {
  return path.resolve(process.env.VANTREL_MODELS_DIR || path.join(REPO_DIR, '..', 'shared', 'models'));
}

export function outbox() {
  const file = path.join(env().state, 'mail', 'outbox.jsonl');
  if (!fs.existsSync(file)) return [];
  return fs
    .readFileSync(file, 'utf8')
    .split('\n')
    .filter(Boolean)
    .map((l) => JSON.parse(l));
}

// Runs a CLI of the backend; resolves to {code, stdout, stderr}.
export function runNode(script, args, { input, timeoutMs = 60000, extraEnv = {} } = {}) {
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, [path.join(BACKEND_DIR, script), ...args], {
      env: { ...process.env, ...extraEnv },
      stdio: ['pipe', 'pipe', 'pipe'],
    });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (c) => (stdout += c));
    child.stderr.on('data', (c) => (stderr += c));
    const timer = setTimeout(() => child.kill('SIGKILL'), timeoutMs);
    child.on('error', reject);
    child.on('close', (code) => {
      clearTimeout(timer);
      resolve({ code, stdout, stderr });
    });
    child.stdin.end(input ?? '');
  });
}

// Starts a CLI without waiting for it; for `peer.mjs listen`.
export function startNode(script, args) {
  const child = spawn(process.execPath, [path.join(BACKEND_DIR, script), ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  const state = { stdout: '', stderr: '', code: undefined };
  child.stdout.on('data', (c) => (state.stdout += c));
  child.stderr.on('data', (c) => (state.stderr += c));
  state.exited = new Promise((resolve) => child.on('close', (code) => resolve((state.code = code))));
  state.child = child;
  return state;
}

export async function waitFor(predicate, { timeoutMs = 10000, stepMs = 50, what = 'condition' } = {}) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const v = await predicate();
    if (v) return v;
    if (Date.now() > end) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
    await new Promise((r) => setTimeout(r, stepMs));
  }
}

// Runs scripts/backend.sh with a command; resolves to {code, output}.
export function backendScript(command) {
  const r = spawnSync('bash', [path.join(REPO_DIR, 'scripts', 'backend.sh'), command], { encoding: 'utf8', timeout: 180000 });
  return { code: r.status, output: `${r.stdout}${r.stderr}` };
}

// A bare LiveQuery client speaking the WebSocket protocol directly, as the library does.
export class LiveClient {
  constructor(serverUrl, { sessionToken, clientKey = env().clientKey, masterKey } = {}) {
    this.url = toWsUrl(serverUrl ?? env().serverUrl);
    this.sessionToken = sessionToken;
    this.clientKey = clientKey;
    this.masterKey = masterKey;
    this.frames = [];
    this.waiters = [];
    this.nextId = 1;
  }

  async connect() {
    const e = env();
    this.ws = new WebSocket(this.url, { ca: e.ca });
    this.ws.on('message', (data) => {
      const frame = JSON.parse(data.toString());
      this.frames.push(frame);
      for (const w of [...this.waiters]) w();
    });
    await new Promise((resolve, reject) => {
      this.ws.once('open', resolve);
      this.ws.once('error', reject);
    });
    const hello = { op: 'connect', applicationId: e.appId };
    if (this.clientKey) hello.clientKey = this.clientKey;
    if (this.masterKey) hello.masterKey = this.masterKey;
    if (this.sessionToken) hello.sessionToken = this.sessionToken;
    this.ws.send(JSON.stringify(hello));
    return this.next((f) => f.op === 'connected' || f.op === 'error', 'connected');
  }

  async subscribe(className, where = {}) {
    const requestId = this.nextId++;
    const msg = { op: 'subscribe', requestId, query: { className, where } };
    if (this.sessionToken) msg.sessionToken = this.sessionToken;
    this.ws.send(JSON.stringify(msg));
    const ack = await this.next((f) => (f.op === 'subscribed' || f.op === 'error') && (f.requestId === requestId || f.op === 'error'), 'subscribed');
    if (ack.op === 'error') throw new Error(`subscribe failed: ${JSON.stringify(ack)}`);
    return requestId;
  }

  // Resolves to the first frame (received so far or later) that matches.
  next(match, what = 'frame', timeoutMs = 10000) {
    return new Promise((resolve, reject) => {
      const check = () => {
        const i = this.frames.findIndex(match);
        if (i >= 0) {
          const [f] = this.frames.splice(i, 1);
          cleanup();
          resolve(f);
        }
      };
      const timer = setTimeout(() => {
        cleanup();
        reject(new Error(`no ${what} frame within ${timeoutMs} ms (got ${JSON.stringify(this.frames).slice(0, 500)})`));
      }, timeoutMs);
      const cleanup = () => {
        clearTimeout(timer);
        this.waiters = this.waiters.filter((w) => w !== check);
      };
      this.waiters.push(check);
      check();
    });
  }

  close() {
    this.ws?.terminate();
  }
}

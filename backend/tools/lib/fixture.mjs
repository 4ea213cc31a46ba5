// Applies a declarative fixture (see backend/README.md, "Fixture format") to a running backend
// through the REST API with the master key. Returns the alias -> id mapping.

import fs from 'node:fs';
import path from 'node:path';

import { makePng, makeZip } from './archive.mjs';

export class FixtureError extends Error {}

const TOP_KEYS = new Set(['description', 'files', 'records', 'roles']);
const RECORD_KEYS = new Set(['alias', 'className', 'fields', 'ACL', 'repeat']);
const USER_KEYS = new Set(['username', 'password', 'email', 'emailVerified', 'roles', 'login']);
const SOURCE_KEYS = ['path', 'text', 'json', 'base64', 'png', 'zip'];
const ALIAS_RE = /^[A-Za-z_][A-Za-z0-9_.-]*$/;
const CLASS_RE = /^(_User|_Role|[A-Za-z][A-Za-z0-9_]*)$/;
const MAX_REPEAT = 10000;
const BATCH_SIZE = 50;

function isPlainObject(v) {
  return v !== null && typeof v === 'object' && !Array.isArray(v);
}

function directiveOf(v) {
  if (!isPlainObject(v)) return null;
  const keys = Object.keys(v);
  if (keys.length !== 1 || !keys[0].startsWith('$')) return null;
  return { name: keys[0], arg: v[keys[0]] };
}

// ---------------------------------------------------------------------------------------------
// files

function resolvePath(p, { baseDir, modelsDir }) {
  if (typeof p !== 'string' || !p) throw new FixtureError('"path" must be a non-empty string');
  if (p.startsWith('@models/')) return path.join(modelsDir, p.slice('@models/'.length));
  return path.resolve(baseDir, p);
}

function readSource(src, where, dirs, { allowZip = true } = {}) {
  if (!isPlainObject(src)) throw new FixtureError(`${where}: a file source must be an object`);
  const given = SOURCE_KEYS.filter((k) => k in src);
  if (given.length !== 1) throw new FixtureError(`${where}: give exactly one of ${SOURCE_KEYS.join(', ')}`);
  const kind = given[0];
  const v = src[kind];
  switch (kind) {
    case 'path': {
      const file = resolvePath(v, dirs);
      try {
        return fs.readFileSync(file);
      } catch (e) {
        throw new FixtureError(`${where}: cannot read ${file}: ${e.code || e.message}`);
      }
    }
    case 'text':
      if (typeof v !== 'string') throw new FixtureError(`${where}: "text" must be a string`);
      return Buffer.from(v, 'utf8');
    case 'json':
      return Buffer.from(JSON.stringify(v, null, 2), 'utf8');
    case 'base64':
      if (typeof v !== 'string' || !/^[A-Za-z0-9+/=\s]*$/.test(v)) throw new FixtureError(`${where}: "base64" must be base64 text`);
      return Buffer.from(v, 'base64');
    case 'png':
      try {
        return makePng(v === true ? {} : v);
      } catch (e) {
        throw new FixtureError(`${where}: ${e.message}`);
      }
    case 'zip': {
      if (!allowZip) throw new FixtureError(`${where}: archives cannot nest`);
      if (!isPlainObject(v) || !Object.keys(v).length) throw new FixtureError(`${where}: "zip" must map entry names to sources`);
      const entries = Object.entries(v).map(([name, s]) => ({ name, data: readSource(s, `${where} entry '${name}'`, dirs, { allowZip: false }) }));
      try {
        return makeZip(entries);
      } catch (e) {
        throw new FixtureError(`${where}: ${e.message}`);
      }
    }
    default:
      throw new FixtureError(`${where}: unknown source`);
  }
}

// ---------------------------------------------------------------------------------------------
// validation

function validate(fixture) {
  if (!isPlainObject(fixture)) throw new FixtureError('a fixture is a JSON object');
  for (const k of Object.keys(fixture)) if (!TOP_KEYS.has(k)) throw new FixtureError(`unknown top-level key '${k}' (expected ${[...TOP_KEYS].join(', ')})`);
  const files = fixture.files ?? [];
  const records = fixture.records ?? [];
  const roles = fixture.roles ?? [];
  if (!Array.isArray(files)) throw new FixtureError('"files" must be an array');
  if (!Array.isArray(records)) throw new FixtureError('"records" must be an array');
  if (!Array.isArray(roles)) throw new FixtureError('"roles" must be an array');

  const keys = new Set();
  files.forEach((f, i) => {
    if (!isPlainObject(f) || typeof f.key !== 'string' || !f.key) throw new FixtureError(`files[${i}]: needs a "key"`);
    if (keys.has(f.key)) throw new FixtureError(`files[${i}]: key '${f.key}' given twice`);
    if (f.contentType !== undefined && typeof f.contentType !== 'string') throw new FixtureError(`files[${i}]: "contentType" must be a string`);
    keys.add(f.key);
  });

  const aliases = new Map();
  records.forEach((r, i) => {
    const where = `records[${i}]`;
    if (!isPlainObject(r)) throw new FixtureError(`${where}: must be an object`);
    if (typeof r.alias !== 'string' || !ALIAS_RE.test(r.alias)) throw new FixtureError(`${where}: "alias" must be a name (letters, digits, _ . -)`);
    if (aliases.has(r.alias)) throw new FixtureError(`${where}: alias '${r.alias}' is used twice`);
    if (typeof r.className !== 'string' || !CLASS_RE.test(r.className)) throw new FixtureError(`${where}: "className" is missing or invalid`);
    if (r.className === '_Role') throw new FixtureError(`${where}: roles go into the "roles" list`);
    const isUser = r.className === '_User';
    for (const k of Object.keys(r)) {
      if (!RECORD_KEYS.has(k) && !(isUser && USER_KEYS.has(k))) throw new FixtureError(`${where} ('${r.alias}'): unknown key '${k}'`);
    }
    if (r.fields !== undefined && !isPlainObject(r.fields)) throw new FixtureError(`${where}: "fields" must be an object`);
    if (r.ACL !== undefined && !isPlainObject(r.ACL)) throw new FixtureError(`${where}: "ACL" must be an object`);
    if (r.repeat !== undefined) {
      if (isUser) throw new FixtureError(`${where}: users cannot repeat`);
      if (!Number.isInteger(r.repeat) || r.repeat < 1 || r.repeat > MAX_REPEAT) throw new FixtureError(`${where}: "repeat" must be an integer in 1..${MAX_REPEAT}`);
    }
    if (isUser) {
      if (typeof r.username !== 'string' || !r.username) throw new FixtureError(`${where}: a user needs a "username"`);
      if (typeof r.password !== 'string' || !r.password) throw new FixtureError(`${where}: a user needs a "password"`);
      if (r.roles !== undefined && (!Array.isArray(r.roles) || r.roles.some((x) => typeof x !== 'string'))) throw new FixtureError(`${where}: "roles" must be a list of role names`);
    }
    aliases.set(r.alias, { index: i, className: r.className, repeat: r.repeat !== undefined });
  });

  const checkRefs = (value, where) => {
    const d = directiveOf(value);
    if (d) {
      switch (d.name) {
        case '$ref':
        case '$id': {
          const a = aliases.get(d.arg);
          if (!a) throw new FixtureError(`${where}: ${d.name} names unknown alias '${d.arg}'`);
          if (a.repeat) throw new FixtureError(`${where}: ${d.name} cannot name the repeated record '${d.arg}'`);
          return;
        }
        case '$relation':
          if (!Array.isArray(d.arg)) throw new FixtureError(`${where}: $relation takes a list of aliases`);
          d.arg.forEach((x) => checkRefs({ $ref: x }, where));
          return;
        case '$fileSize':
          if (!keys.has(d.arg)) throw new FixtureError(`${where}: $fileSize names '${d.arg}', which is not among "files"`);
          return;
        case '$date':
          if (typeof d.arg !== 'string' || Number.isNaN(Date.parse(d.arg))) throw new FixtureError(`${where}: $date needs an ISO date`);
          return;
        default:
          break; // other "$..." objects are passed on untouched
      }
    }
    if (Array.isArray(value)) value.forEach((v, i) => checkRefs(v, `${where}[${i}]`));
    else if (isPlainObject(value)) for (const [k, v] of Object.entries(value)) checkRefs(v, `${where}.${k}`);
  };
  records.forEach((r) => checkRefs(r.fields ?? {}, `record '${r.alias}'`));
  roles.forEach((role, i) => {
    if (!isPlainObject(role) || typeof role.name !== 'string' || !/^[0-9A-Za-z_\- ]+$/.test(role.name)) throw new FixtureError(`roles[${i}]: needs a valid "name"`);
    if (role.users !== undefined && !Array.isArray(role.users)) throw new FixtureError(`roles[${i}]: "users" must be a list`);
    (role.users ?? []).forEach((u, j) => {
      checkRefs(u, `roles[${i}].users[${j}]`);
      const d = directiveOf(u);
      if (!d || d.name !== '$ref' || aliases.get(d.arg)?.className !== '_User') throw new FixtureError(`roles[${i}].users[${j}]: must be {"$ref": <user alias>}`);
    });
  });
  return { files, records, roles, aliases };
}

// ---------------------------------------------------------------------------------------------
// application

function substitute(value, i) {
  if (typeof value === 'string') return value.replaceAll('{i}', String(i));
  if (Array.isArray(value)) return value.map((v) => substitute(v, i));
  if (isPlainObject(value)) return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, substitute(v, i)]));
  return value;
}

export async function applyFixture(rest, fixture, { baseDir = process.cwd(), modelsDir, log = () => {} } = {}) {
  const { files, records, roles, aliases } = validate(fixture);
  const dirs = { baseDir, modelsDir };

  // Read every source before the first write, so a missing file fails before anything changed.
  const blobs = files.map((f, i) => ({ key: f.key, contentType: f.contentType, data: readSource(f, `files[${i}] ('${f.key}')`, dirs) }));
  const sizes = new Map();
  for (const b of blobs) {
    const r = await rest.uploadFile(b.key, b.data, b.contentType);
    sizes.set(b.key, r.size);
    log(`uploaded ${b.key} (${r.size} bytes)`);
  }

  const ids = new Map(); // alias -> objectId (or [ids] for repeated records)
  const out = {};

  const pointer = (alias) => {
    const a = aliases.get(alias);
    return { __type: 'Pointer', className: a.className, objectId: ids.get(alias) };
  };

  // Resolves directives; returns undefined when the value names a record not created yet.
  const resolve = (value) => {
    const d = directiveOf(value);
    if (d) {
      switch (d.name) {
        case '$ref':
          return ids.has(d.arg) ? pointer(d.arg) : undefined;
        case '$id':
          return ids.has(d.arg) ? ids.get(d.arg) : undefined;
        case '$relation':
          if (!d.arg.every((a) => ids.has(a))) return undefined;
          return { __op: 'AddRelation', objects: d.arg.map(pointer) };
        case '$fileSize':
          return sizes.get(d.arg);
        case '$date':
          return { __type: 'Date', iso: new Date(d.arg).toISOString() };
        default:
          break;
      }
    }
    if (Array.isArray(value)) {
      const arr = value.map(resolve);
      return arr.some((v) => v === undefined) ? undefined : arr;
    }
    if (isPlainObject(value)) {
      const obj = {};
      for (const [k, v] of Object.entries(value)) {
        const r = resolve(v);
        if (r === undefined) return undefined;
        obj[k] = r;
      }
      return obj;
    }
    return value;
  };

  const deferred = []; // {alias, className, objectId, field, value}
  let batch = []; // {alias, className, body, index}

  const describe = (alias, className) => `record '${alias}' (${className})`;

  const flush = async () => {
    if (!batch.length) return;
    const requests = batch.map((b) => ({ method: 'POST', path: `/parse/classes/${b.className}`, body: b.body }));
    const answers = await rest.call('POST', '/batch', { requests });
    const errors = [];
    answers.forEach((ans, i) => {
      const b = batch[i];
      if (ans.success) {
        if (b.repeatIndex === undefined) ids.set(b.alias, ans.success.objectId);
        else out[b.alias][b.repeatIndex] = ans.success.objectId;
      } else {
        errors.push(`${describe(b.alias, b.className)}: [${ans.error?.code}] ${ans.error?.error}`);
      }
    });
    batch = [];
    if (errors.length) throw new FixtureError(errors.join('\n'));
  };

  for (const r of records) {
    const fields = r.fields ?? {};
    if (r.className === '_User') {
      await flush();
      const body = { username: r.username, password: r.password, emailVerified: r.emailVerified ?? true };
      if (r.email !== undefined) body.email = r.email;
      const later = [];
      for (const [k, v] of Object.entries(fields)) {
        const res = resolve(v);
        if (res === undefined) later.push([k, v]);
        else body[k] = res;
      }
      if (r.ACL) body.ACL = r.ACL;
      let created;
      try {
        created = await rest.call('POST', '/users', body);
      } catch (e) {
        throw new FixtureError(`${describe(r.alias, '_User')}: ${e.message}`);
      }
      ids.set(r.alias, created.objectId);
      out[r.alias] = { objectId: created.objectId, username: r.username, password: r.password };
      // With e-mail verification on, the server stores a new user as unverified whatever the
      // request said; the master key sets the flag afterwards.
      if (body.emailVerified) {
        try {
          await rest.call('PUT', `/users/${created.objectId}`, { emailVerified: true });
        } catch (e) {
          throw new FixtureError(`${describe(r.alias, '_User')}: cannot mark the e-mail as verified: ${e.message}`);
        }
      }
      for (const [field, value] of later) deferred.push({ alias: r.alias, className: '_User', field, value });
      continue;
    }

    if (r.repeat !== undefined) {
      out[r.alias] = new Array(r.repeat);
      for (let i = 0; i < r.repeat; i++) {
        const body = {};
        for (const [k, v] of Object.entries(substitute(fields, i))) {
          const res = resolve(v);
          if (res === undefined) throw new FixtureError(`${describe(r.alias, r.className)}: repeated records may only name records listed before them ('${k}')`);
          body[k] = res;
        }
        if (r.ACL) body.ACL = r.ACL;
        batch.push({ alias: r.alias, className: r.className, body, repeatIndex: i });
        if (batch.length >= BATCH_SIZE) await flush();
      }
      continue;
    }

    // A record that names one in the current batch waits for the batch to be stored.
    const needsBatch = (value) => {
      const d = directiveOf(value);
      if (d && (d.name === '$ref' || d.name === '$id')) return batch.some((b) => b.alias === d.arg);
      if (d && d.name === '$relation') return d.arg.some((a) => batch.some((b) => b.alias === a));
      if (Array.isArray(value)) return value.some(needsBatch);
      if (isPlainObject(value)) return Object.values(value).some(needsBatch);
      return false;
    };
    if (needsBatch(fields)) await flush();

    const body = {};
    for (const [k, v] of Object.entries(fields)) {
      const res = resolve(v);
      if (res === undefined) deferred.push({ alias: r.alias, className: r.className, field: k, value: v });
      else body[k] = res;
    }
    if (r.ACL) body.ACL = r.ACL;
    batch.push({ alias: r.alias, className: r.className, body });
    if (batch.length >= BATCH_SIZE) await flush();
  }
  await flush();

  // Second pass: fields that named records created after their own.
  const updates = new Map();
  for (const d of deferred) {
    const value = resolve(d.value);
    if (value === undefined) throw new FixtureError(`${describe(d.alias, d.className)}: field '${d.field}' could not be resolved`);
    const key = `${d.className}/${d.alias}`;
    if (!updates.has(key)) updates.set(key, { ...d, body: {} });
    updates.get(key).body[d.field] = value;
  }
  for (const u of updates.values()) {
    const p = u.className === '_User' ? `/users/${ids.get(u.alias)}` : `/classes/${u.className}/${ids.get(u.alias)}`;
    try {
      await rest.call('PUT', p, u.body);
    } catch (e) {
      throw new FixtureError(`${describe(u.alias, u.className)}: ${e.message}`);
    }
  }

  // Roles: memberships named on the users and in the "roles" list.
  const members = new Map();
  const addMember = (roleName, alias) => {
    if (!members.has(roleName)) members.set(roleName, []);
    members.get(roleName).push(alias);
  };
  for (const r of records) if (r.className === '_User') for (const name of r.roles ?? []) addMember(name, r.alias);
  for (const role of roles) {
    if (!members.has(role.name)) members.set(role.name, []);
    for (const u of role.users ?? []) addMember(role.name, u.$ref);
  }
  for (const [name, userAliases] of members) {
    const found = await rest.call('GET', '/roles', undefined, { query: { where: { name }, limit: '1' } });
    let roleId = found.results[0]?.objectId;
    if (!roleId) {
      const created = await rest.call('POST', '/roles', { name, ACL: { '*': { read: true } } });
      roleId = created.objectId;
    }
    if (userAliases.length) {
      await rest.call('PUT', `/roles/${roleId}`, { users: { __op: 'AddRelation', objects: userAliases.map(pointer) } });
    }
  }

  // Sessions for the users that asked for one.
  for (const r of records) {
    if (r.className !== '_User' || !r.login) continue;
    try {
      const session = await rest.call('POST', '/login', { username: r.username, password: r.password });
      out[r.alias].sessionToken = session.sessionToken;
    } catch (e) {
      throw new FixtureError(`login of '${r.alias}' failed: ${e.message}`);
    }
  }

  for (const r of records) if (r.className !== '_User' && r.repeat === undefined) out[r.alias] = ids.get(r.alias);
  return out;
}

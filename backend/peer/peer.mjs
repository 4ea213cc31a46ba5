#!/usr/bin/env node
// A second client of the backend built on the Parse JavaScript SDK, for interoperability tests:
// what it writes our library must read, and the reverse.
//
//   node backend/peer/peer.mjs [options] save <Class> <json>          prints the objectId
//   node backend/peer/peer.mjs [options] update <Class> <id> <json>
//   node backend/peer/peer.mjs [options] delete <Class> <id>
//   node backend/peer/peer.mjs [options] get <Class> <id>             prints the object as JSON
//   node backend/peer/peer.mjs [options] login <username> <password>  prints {objectId, sessionToken}
//   node backend/peer/peer.mjs [options] listen <Class> <whereJson> <count>
//
// Options: --master (use the master key), --session <token>, --login <user>:<password>,
//          --server primary|second|<host:port/path>, --timeout <seconds> (listen; default 30).
// JSON values use Parse's REST encoding: {"__type":"Pointer",...}, {"__type":"Date",...}, and the
// operations {"__op":"Delete"|"Increment"|"Add"|"AddUnique"|"Remove"|"AddRelation"|"RemoveRelation"}.
// `listen` prints one JSON line per event on stdout ({"event":"create","object":{...}}; update,
// enter and leave also carry "original") and a line "peer: subscribed" on stderr once the
// subscription stands; it exits 0 after <count> events, 1 after the timeout.

import { ConfigError, ensureCaTrust, loadBackendEnv, toUrl, toWsUrl } from '../tools/lib/env.mjs';

const USAGE = `usage: peer.mjs [--master] [--session TOKEN] [--login USER:PASS] [--server primary|second|HOST:PORT/PATH] [--timeout S]
         save <Class> <json> | update <Class> <id> <json> | delete <Class> <id> | get <Class> <id>
         | login <username> <password> | listen <Class> <whereJson> <count>`;

class UsageError extends Error {}
class PeerError extends Error {}

function parseArgs(argv) {
  const opts = { master: false, session: undefined, login: undefined, server: 'primary', timeout: 30 };
  const rest = [];
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new UsageError(`${a} needs a value\n${USAGE}`);
      return argv[++i];
    };
    if (a === '--master') opts.master = true;
    else if (a === '--session') opts.session = value();
    else if (a === '--login') opts.login = value();
    else if (a === '--server') opts.server = value();
    else if (a === '--timeout') {
      opts.timeout = Number(value());
      if (!(opts.timeout > 0 && opts.timeout <= 3600)) throw new UsageError('--timeout takes seconds in (0, 3600]');
    } else if (a === '-h' || a === '--help') throw new UsageError(USAGE);
    else if (a.startsWith('--')) throw new UsageError(`unknown option ${a}\n${USAGE}`);
    else rest.push(a);
  }
  if ([opts.master, !!opts.session, !!opts.login].filter(Boolean).length > 1) throw new UsageError('give at most one of --master, --session, --login');
  return { opts, rest };
}

function parseJson(text, what) {
  try {
    return JSON.parse(text);
  } catch (e) {
    throw new UsageError(`${what} is not valid JSON: ${e.message}`);
  }
}

function checkClass(name) {
  if (!/^(_User|_Role|_Session|[A-Za-z][A-Za-z0-9_]*)$/.test(name)) throw new UsageError(`'${name}' is not a class name`);
  return name;
}

function applyFields(Parse, obj, fields) {
  if (fields === null || typeof fields !== 'object' || Array.isArray(fields)) throw new UsageError('the fields must be a JSON object');
  for (const [key, value] of Object.entries(fields)) {
    if (value && typeof value === 'object' && typeof value.__op === 'string') {
      const objects = (value.objects ?? []).map((o) => Parse._decode(null, o));
      switch (value.__op) {
        case 'Delete':
          obj.unset(key);
          break;
        case 'Increment':
          obj.increment(key, value.amount ?? 1);
          break;
        case 'Add':
          obj.addAll(key, objects);
          break;
        case 'AddUnique':
          obj.addAllUnique(key, objects);
          break;
        case 'Remove':
          obj.removeAll(key, objects);
          break;
        case 'AddRelation':
          obj.relation(key).add(objects);
          break;
        case 'RemoveRelation':
          obj.relation(key).remove(objects);
          break;
        default:
          throw new UsageError(`unsupported operation ${value.__op} on '${key}'`);
      }
    } else if (key === 'ACL') {
      obj.setACL(new Parse.ACL(value));
    } else {
      obj.set(key, Parse._decode(key, value));
    }
  }
}

function encode(obj) {
  return obj ? obj._toFullJSON() : null;
}

async function main(argv) {
  const { opts, rest } = parseArgs(argv);
  const [command, ...args] = rest;
  const arity = { save: 2, update: 3, delete: 2, get: 2, login: 2, listen: 3 };
  if (!command) throw new UsageError(USAGE);
  if (!(command in arity)) throw new UsageError(`unknown command '${command}'\n${USAGE}`);
  if (args.length !== arity[command]) throw new UsageError(`'${command}' takes ${arity[command]} arguments\n${USAGE}`);

  const env = loadBackendEnv();
  ensureCaTrust(env.caFile);

  let server = env.server;
  if (opts.server === 'second') {
    if (!env.secondServer) throw new ConfigError('VANTREL_SECOND_SERVER is not set');
    server = env.secondServer;
  } else if (opts.server !== 'primary') server = opts.server;

  const { default: Parse } = await import('parse/node');
  Parse.initialize(env.appId, env.jsKey, opts.master ? env.masterKey : undefined);
  Parse.serverURL = toUrl(server);
  Parse.liveQueryServerURL = toWsUrl(server);

  let sessionToken = opts.session;
  if (opts.login) {
    const i = opts.login.indexOf(':');
    if (i < 1) throw new UsageError('--login takes USER:PASSWORD');
    const user = await Parse.User.logIn(opts.login.slice(0, i), opts.login.slice(i + 1));
    sessionToken = user.getSessionToken();
  }
  const options = opts.master ? { useMasterKey: true } : sessionToken ? { sessionToken } : {};

  switch (command) {
    case 'save': {
      const obj = new Parse.Object(checkClass(args[0]));
      applyFields(Parse, obj, parseJson(args[1], 'the fields'));
      await obj.save(null, options);
      console.log(obj.id);
      return 0;
    }
    case 'update': {
      const obj = Parse.Object.extend(checkClass(args[0])).createWithoutData(args[1]);
      applyFields(Parse, obj, parseJson(args[2], 'the fields'));
      await obj.save(null, options);
      console.log(JSON.stringify({ objectId: obj.id, updatedAt: obj.updatedAt?.toISOString() }));
      return 0;
    }
    case 'delete': {
      const obj = Parse.Object.extend(checkClass(args[0])).createWithoutData(args[1]);
      await obj.destroy(options);
      console.log(JSON.stringify({ objectId: args[1], deleted: true }));
      return 0;
    }
    case 'get': {
      const obj = await new Parse.Query(checkClass(args[0])).get(args[1], options);
      console.log(JSON.stringify(encode(obj)));
      return 0;
    }
    case 'login': {
      const user = await Parse.User.logIn(args[0], args[1]);
      console.log(JSON.stringify({ objectId: user.id, username: user.getUsername(), sessionToken: user.getSessionToken() }));
      return 0;
    }
    case 'listen': {
      const className = checkClass(args[0]);
      const where = parseJson(args[1], 'the where constraint');
      if (where === null || typeof where !== 'object' || Array.isArray(where)) throw new UsageError('the where constraint must be a JSON object');
      const count = Number(args[2]);
      if (!Number.isInteger(count) || count < 1) throw new UsageError('<count> must be a positive integer');
      const query = Parse.Query.fromJSON(className, { where });
      return listen(Parse, query, count, opts.timeout, sessionToken);
    }
    default:
      throw new UsageError(USAGE);
  }
}

async function listen(Parse, query, count, timeoutSeconds, sessionToken) {
  const subscription = await query.subscribe(sessionToken);
  let seen = 0;
  return new Promise((resolve) => {
    const finish = async (code, message) => {
      clearTimeout(timer);
      if (message) console.error(message);
      try {
        await Promise.race([Parse.LiveQuery.close(), new Promise((r) => setTimeout(r, 1000))]);
      } catch {
        // closing is best effort
      }
      resolve(code);
    };
    const timer = setTimeout(() => finish(1, `peer: timed out after ${timeoutSeconds} s with ${seen} of ${count} events`), timeoutSeconds * 1000);
    const emit = (event, object, original) => {
      const line = { event, object: encode(object) };
      if (original !== undefined) line.original = encode(original);
      process.stdout.write(JSON.stringify(line) + '\n');
      if (++seen >= count) finish(0);
    };
    subscription.on('open', () => console.error('peer: subscribed'));
    subscription.on('error', (e) => finish(1, `peer: subscription error: ${e?.message || JSON.stringify(e)}`));
    subscription.on('create', (o) => emit('create', o));
    subscription.on('update', (o, orig) => emit('update', o, orig));
    subscription.on('enter', (o, orig) => emit('enter', o, orig));
    subscription.on('leave', (o, orig) => emit('leave', o, orig));
    subscription.on('delete', (o) => emit('delete', o));
    Parse.LiveQuery.on('error', (e) => finish(1, `peer: live query error: ${e?.message || e}`));
  });
}

main(process.argv.slice(2)).then(
  (code) => process.exit(code ?? 0),
  (e) => {
    if (e instanceof UsageError) {
      console.error(e.message);
      process.exit(2);
    }
    const code = typeof e?.code === 'number' ? `[${e.code}] ` : '';
    if (e instanceof ConfigError || e instanceof PeerError || code) console.error(`peer: error: ${code}${e.message}`);
    else console.error(`peer: error: ${e?.stack || e}`);
    process.exit(1);
  },
);

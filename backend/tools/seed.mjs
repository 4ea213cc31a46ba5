#!/usr/bin/env node
// Seed tool for tests and the demo: talks to the running backend over REST with the master key.
//
//   node backend/tools/seed.mjs reset
//   node backend/tools/seed.mjs apply <fixture.json|->
//   node backend/tools/seed.mjs upload <key> <localPath> [contentType]
//   node backend/tools/seed.mjs download <key> <outPath>
//   node backend/tools/seed.mjs verify-email <username>
//
// Settings come from the environment (VANTREL_SERVER, VANTREL_CA_FILE, ...) or from
// $VANTREL_BACKEND_STATE/backend.env. `apply` prints one JSON object mapping aliases to ids.
// Exit status: 0 on success, 1 on failure, 2 on wrong usage.

import fs from 'node:fs';
import path from 'node:path';

import { REPO_DIR } from '../lib/settings.mjs';
import { ConfigError, loadBackendEnv } from './lib/env.mjs';
import { FixtureError, applyFixture } from './lib/fixture.mjs';
import { ParseRest, RestError } from './lib/rest.mjs';

const USAGE = `usage: seed.mjs reset
       seed.mjs apply <fixture.json|->
       seed.mjs upload <key> <localPath> [contentType]
       seed.mjs download <key> <outPath>
       seed.mjs verify-email <username>`;

class UsageError extends Error {}

function readStdin() {
  return new Promise((resolve, reject) => {
    const chunks = [];
    process.stdin.on('data', (c) => chunks.push(c));
    process.stdin.on('end', () => resolve(Buffer.concat(chunks).toString('utf8')));
    process.stdin.on('error', reject);
  });
}

function modelsDir() {
  return path.resolve(process.env.VANTREL_MODELS_DIR || path.join(REPO_DIR, '..', 'shared', 'models'));
}

async function main(argv) {
  const [command, ...args] = argv;
  if (!command || command === '-h' || command === '--help') throw new UsageError(USAGE);
  const known = { reset: [0, 0], apply: [1, 1], upload: [2, 3], download: [2, 2], 'verify-email': [1, 1] };
  if (!(command in known)) throw new UsageError(`unknown command '${command}'\n${USAGE}`);
  const [min, max] = known[command];
  if (args.length < min || args.length > max) throw new UsageError(`wrong number of arguments for '${command}'\n${USAGE}`);

  const env = loadBackendEnv();
  const rest = new ParseRest({ serverUrl: env.serverUrl, ca: env.ca, appId: env.appId, masterKey: env.masterKey, clientKey: env.clientKey });
  try {
    switch (command) {
      case 'reset': {
        const t0 = Date.now();
        const r = await rest.adminReset();
        console.error(`seed: reset ${r.tables} tables and the file store in ${Date.now() - t0} ms`);
        break;
      }
      case 'apply': {
        const source = args[0];
        let text;
        let baseDir;
        if (source === '-') {
          text = await readStdin();
          baseDir = process.cwd();
        } else {
          try {
            text = fs.readFileSync(source, 'utf8');
          } catch (e) {
            throw new FixtureError(`cannot read ${source}: ${e.code || e.message}`);
          }
          baseDir = path.dirname(path.resolve(source));
        }
        let fixture;
        try {
          fixture = JSON.parse(text);
        } catch (e) {
          throw new FixtureError(`${source === '-' ? 'standard input' : source} is not valid JSON: ${e.message}`);
        }
        const ids = await applyFixture(rest, fixture, { baseDir, modelsDir: modelsDir(), log: (m) => console.error(`seed: ${m}`) });
        process.stdout.write(JSON.stringify(ids) + '\n');
        break;
      }
      case 'upload': {
        const [key, localPath, contentType] = args;
        let data;
        try {
          data = fs.readFileSync(localPath);
        } catch (e) {
          throw new FixtureError(`cannot read ${localPath}: ${e.code || e.message}`);
        }
        const r = await rest.uploadFile(key, data, contentType);
        process.stdout.write(JSON.stringify(r) + '\n');
        break;
      }
      case 'download': {
        const [key, outPath] = args;
        const data = await rest.downloadFile(key);
        fs.mkdirSync(path.dirname(path.resolve(outPath)), { recursive: true });
        fs.writeFileSync(outPath, data);
        process.stdout.write(JSON.stringify({ key, size: data.length, path: path.resolve(outPath) }) + '\n');
        break;
      }
      case 'verify-email': {
        const [username] = args;
        const found = await rest.call('GET', '/users', undefined, { query: { where: { username }, limit: '1' } });
        const user = found.results[0];
        if (!user) throw new FixtureError(`no user named '${username}'`);
        await rest.call('PUT', `/users/${user.objectId}`, { emailVerified: true });
        process.stdout.write(JSON.stringify({ objectId: user.objectId, username, emailVerified: true }) + '\n');
        break;
      }
      default:
        throw new UsageError(USAGE);
    }
  } finally {
    rest.close();
  }
}

main(process.argv.slice(2)).then(
  () => process.exit(0),
  (e) => {
    if (e instanceof UsageError) {
      console.error(e.message);
      process.exit(2);
    }
    if (e instanceof ConfigError || e instanceof FixtureError || e instanceof RestError) {
      console.error(`seed: error: ${e.message}`);
    } else if (e?.code === 'ECONNREFUSED') {
      console.error(`seed: error: the backend does not answer (${e.message}); start it with scripts/backend.sh start`);
    } else {
      console.error(`seed: error: ${e?.stack || e}`);
    }
    process.exit(1);
  },
);

#!/usr/bin/env node
// Draws every shared model with three.js in headless Chromium (software WebGL through SwiftShader)
// under the reference set-up, set-ups A and B, each over a grey and a black background, and writes
// the pictures and reference.json (per model and set-up: mean sRGB of the model's pixels and their
// count) into the output directory. See README.md.
//
//   node render.mjs <output directory> [--models <folder>] [--chromium <path>] [--only <model>,...]
//                   [--timeout <seconds, 240 by default>]
//
// Everything is served from a loopback HTTP server of this script's own: the page, three.js from
// node_modules and the models. Nothing is fetched from anywhere else.

import { createServer } from 'node:http';
import { readFile, readdir, mkdir, writeFile, stat } from 'node:fs/promises';
import { existsSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const SETUPS = ['A', 'B'];

function usage(message) {
  console.error(`render.mjs: ${message}`);
  console.error('usage: node render.mjs <output directory> [--models <folder>] [--chromium <path>] [--only <model>,...] [--timeout <s>]');
  process.exit(2);
}

function parseArguments(argv) {
  const options = {
    models: path.resolve(here, '../../../shared/models'),
    chromium: process.env.CHROMIUM || '/usr/bin/chromium',
    only: null,
    output: null,
    timeout: 240,
  };
  for (let i = 0; i < argv.length; ++i) {
    const argument = argv[i];
    const value = () => (i + 1 < argv.length ? argv[++i] : usage(`${argument} needs a value`));
    if (argument === '--models') options.models = path.resolve(value());
    else if (argument === '--chromium') options.chromium = value();
    else if (argument === '--only') options.only = value().split(',');
    else if (argument === '--timeout') options.timeout = Number(value());
    else if (argument.startsWith('--')) usage(`unknown option ${argument}`);
    else if (options.output === null) options.output = path.resolve(argument);
    else usage(`one output directory only (got ${argument})`);
  }
  if (options.output === null) usage('no output directory');
  if (!(options.timeout > 0)) usage('--timeout needs a positive number of seconds');
  return options;
}

// Each model folder's first .glb or .gltf file, by folder name.
async function findModels(folder, only) {
  const models = [];
  for (const entry of (await readdir(folder, { withFileTypes: true })).sort((a, b) => a.name.localeCompare(b.name))) {
    if (!entry.isDirectory() || (only && !only.includes(entry.name))) continue;
    const files = (await readdir(path.join(folder, entry.name))).filter((f) => /\.(glb|gltf)$/i.test(f)).sort();
    if (files.length > 0) models.push({ name: entry.name, file: `${entry.name}/${files[0]}` });
  }
  return models;
}

const CONTENT_TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.json': 'application/json',
  '.gltf': 'model/gltf+json', '.glb': 'model/gltf-binary', '.bin': 'application/octet-stream',
  '.png': 'image/png', '.jpg': 'image/jpeg', '.jpeg': 'image/jpeg', '.webp': 'image/webp',
};

// Serves /page.html, /node_modules/... and /models/... on 127.0.0.1; nothing outside those roots.
function serve(modelsFolder) {
  const roots = { '/node_modules/': path.join(here, 'node_modules'), '/models/': modelsFolder };
  const server = createServer(async (request, response) => {
    try {
      const url = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
      let file = null;
      if (url === '/' || url === '/page.html') file = path.join(here, 'page.html');
      for (const [prefix, root] of Object.entries(roots)) {
        if (url.startsWith(prefix)) {
          const candidate = path.resolve(root, url.slice(prefix.length));
          if (candidate.startsWith(root + path.sep)) file = candidate;
        }
      }
      if (file === null || !(await stat(file)).isFile()) throw new Error('not found');
      response.writeHead(200, { 'Content-Type': CONTENT_TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream' });
      response.end(await readFile(file));
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function main() {
  const started = performance.now();
  const options = parseArguments(process.argv.slice(2));
  if (!existsSync(options.chromium)) usage(`no Chromium at ${options.chromium} (apt-get install chromium)`);
  if (!existsSync(path.join(here, 'node_modules', 'three'))) usage('three is not installed: run npm ci in tests/reference');
  const models = await findModels(options.models, options.only);
  if (models.length === 0) usage(`no models under ${options.models}`);
  await mkdir(options.output, { recursive: true });

  const server = await serve(options.models);
  const origin = `http://127.0.0.1:${server.address().port}`;
  const args = ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist',
    '--disable-dev-shm-usage', '--no-first-run', '--no-default-browser-check'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  const browser = await puppeteer.launch({ executablePath: options.chromium, headless: true, args });
  // A browser that hangs must not outlive the test that started it.
  const watchdog = setTimeout(() => {
    console.error(`render.mjs: no end after ${options.timeout} s; stopping Chromium`);
    browser.process()?.kill('SIGKILL');
    process.exit(1);
  }, options.timeout * 1000);
  const pictures = [];
  try {
    const page = await browser.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => pageErrors.push(String(error)));
    page.on('console', (message) => { if (message.type() === 'error') pageErrors.push(message.text()); });
    await page.goto(`${origin}/page.html`);
    await page.waitForFunction('window.pageReady === true || false', { timeout: 60000 }).catch(() => {
      throw new Error(`the page did not start: ${pageErrors.join('; ') || 'no message'}`);
    });
    const revision = await page.evaluate('window.threeRevision');
    const browserVersion = await browser.version();
    console.log(`reference: three r${revision}, ${browserVersion}, ${models.length} models`);

    for (const model of models) {
      const modelStarted = performance.now();
      const drawn = await page.evaluate((url, setups) => window.drawModel(url, setups),
        `/models/${model.file.split('/').map(encodeURIComponent).join('/')}`, SETUPS);
      for (const result of drawn.results) {
        // The mask needs the backgrounds as asked for: grey 128 in the corner of the grey picture.
        if (result.background.some((level) => Math.abs(level - 128) > 1)) {
          throw new Error(`${model.name}: the grey background came out as ${result.background}`);
        }
        const files = {};
        for (const [background, dataUrl] of Object.entries(result.pictures)) {
          files[background] = `${model.name}_${result.setup}_${background}.png`;
          await writeFile(path.join(options.output, files[background]),
            Buffer.from(dataUrl.slice(dataUrl.indexOf(',') + 1), 'base64'));
        }
        const mean = result.mean.map((v) => Math.round(v * 100) / 100);
        pictures.push({ model: model.name, file: model.file, setup: result.setup, mean, covered: result.covered,
          background: result.background, pictures: files, box: drawn.box });
        console.log(`  ${model.name.padEnd(20)} ${result.setup}  mean ${mean.map((v) => v.toFixed(1)).join(', ')}` +
          `  covered ${result.covered}`);
      }
      console.log(`  ${model.name}: ${((performance.now() - modelStarted) / 1000).toFixed(1)} s`);
    }
    if (pageErrors.length > 0) console.warn(`page messages:\n  ${pageErrors.join('\n  ')}`);
    const seconds = (performance.now() - started) / 1000;
    const report = { width: 640, height: 480, three: revision, browser: browserVersion, setups: {
      A: 'no tone mapping (three NoToneMapping), exposure 1',
      B: 'neutral tone mapping (three NeutralToneMapping), exposure 1' },
    seconds: Math.round(seconds * 10) / 10, pictures };
    await writeFile(path.join(options.output, 'reference.json'), JSON.stringify(report, null, 1) + '\n');
    console.log(`reference: ${pictures.length} pictures in ${seconds.toFixed(1)} s -> ${options.output}`);
  } finally {
    clearTimeout(watchdog);
    await browser.close();
    server.close();
  }
}

main().catch((error) => {
  console.error(`render.mjs: ${error.stack || error}`);
  process.exit(1);
});

#!/usr/bin/env node
// One round of the web viewer's side of bench/side-by-side.sh: the sofa in a 1280 × 720
// <model-viewer> (page.html) in Debian's Chromium, WebGL through ANGLE over Mesa's OpenGL (llvmpipe),
// the camera turned by a fixed step each frame. Prints one JSON line: the renderer the page got,
// what a frame draws, and two times (ms) for each of `--frames` frames after `--warm-up` frames
// (see window.orbit in page.html): `work`, from the frame's start to the end of a one-pixel
// read-back that waits for the GPU once model-viewer drew, and `interval`, from one frame's start to
// the next's, Chromium's frame-rate cap off; and `cpuPerFrame`, the CPU time (ms) all of Chromium's
// processes used a frame while the frames were measured.
//
//   node orbit.mjs [--frames N] [--warm-up N] [--step degrees] [--mode headless|xvfb]
//                  [--model <file.glb>] [--chromium <path>] [--timeout <seconds>] [--picture <file.png>]
//
// --mode headless: --use-angle=gl-egl without a display; xvfb: --use-angle=gl on the X display
// (run under xvfb-run). --picture writes the page with the camera turned 30° once the frames are
// timed (vantrel_sofa_orbit --picture: the same). Fails when the page's WebGL is not on llvmpipe (SwiftShader, say).
// Everything is served from a loopback HTTP server of this script's own: the page, model-viewer
// from node_modules and the model. Nothing is fetched from anywhere else.

import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { existsSync, readdirSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = path.dirname(fileURLToPath(import.meta.url));

function usage(message) {
  console.error(`orbit.mjs: ${message}`);
  console.error('usage: node orbit.mjs [--frames N] [--warm-up N] [--step degrees] [--mode headless|xvfb] ' +
    '[--model <file.glb>] [--chromium <path>] [--timeout <s>] [--picture <file.png>]');
  process.exit(2);
}

function parseArguments(argv) {
  const options = {
    frames: 90,
    warmUp: 15,
    step: null,
    mode: 'headless',
    model: path.resolve(here, '../../../shared/models/GlamVelvetSofa/GlamVelvetSofa.glb'),
    chromium: process.env.CHROMIUM || '/usr/bin/chromium',
    timeout: 180,
    picture: null,
  };
  for (let i = 0; i < argv.length; ++i) {
    const argument = argv[i];
    const value = () => (i + 1 < argv.length ? argv[++i] : usage(`${argument} needs a value`));
    if (argument === '--frames') options.frames = Number(value());
    else if (argument === '--warm-up') options.warmUp = Number(value());
    else if (argument === '--step') options.step = Number(value());
    else if (argument === '--mode') options.mode = value();
    else if (argument === '--model') options.model = path.resolve(value());
    else if (argument === '--chromium') options.chromium = value();
    else if (argument === '--timeout') options.timeout = Number(value());
    else if (argument === '--picture') options.picture = path.resolve(value());
    else usage(`unknown argument ${argument}`);
  }
  if (!(options.frames >= 1) || !(options.warmUp >= 1)) usage('--frames and --warm-up need positive numbers');
  if (!['headless', 'xvfb'].includes(options.mode)) usage('--mode is headless or xvfb');
  if (!(options.timeout > 0)) usage('--timeout needs a positive number of seconds');
  // One turn over the measured frames unless told otherwise.
  if (options.step === null) options.step = 360 / options.frames;
  return options;
}

const CONTENT_TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.glb': 'model/gltf-binary' };

// Serves /page.html, /node_modules/... and /model.glb on 127.0.0.1; nothing else.
function serve(model) {
  const modules = path.join(here, 'node_modules');
  const server = createServer(async (request, response) => {
    try {
      const url = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
      let file = null;
      if (url === '/' || url === '/page.html') file = path.join(here, 'page.html');
      else if (url === '/model.glb') file = model;
      else if (url.startsWith('/node_modules/')) {
        const candidate = path.resolve(modules, url.slice('/node_modules/'.length));
        if (candidate.startsWith(modules + path.sep)) file = candidate;
      }
      if (file === null || !(await stat(file)).isFile()) throw new Error('not found');
      response.writeHead(200, { 'Content-Type': CONTENT_TYPES[path.extname(file)] || 'application/octet-stream' });
      response.end(await readFile(file));
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// CPU seconds (user and system) used so far by the process `root` and every process below it: for
// Chromium, the browser, its GPU process (where llvmpipe draws) and the page's renderer.
function cpuSeconds(root) {
  const processes = [];
  for (const name of readdirSync('/proc')) {
    if (!/^[0-9]+$/.test(name)) continue;
    try {
      const line = readFileSync(`/proc/${name}/stat`, 'utf8');
      // The command name (field 2) may hold spaces: the fields after it follow its closing bracket.
      const fields = line.slice(line.lastIndexOf(')') + 2).split(' ');
      processes.push({ pid: Number(name), parent: Number(fields[1]), ticks: Number(fields[11]) + Number(fields[12]) });
    } catch {
      // gone meanwhile
    }
  }
  const inTree = new Set([root]);
  for (let grew = true; grew;) {
    grew = false;
    for (const process of processes) {
      if (!inTree.has(process.pid) && inTree.has(process.parent)) {
        inTree.add(process.pid);
        grew = true;
      }
    }
  }
  const ticksPerSecond = 100;  // USER_HZ on Linux
  return processes.filter((p) => inTree.has(p.pid)).reduce((sum, p) => sum + p.ticks, 0) / ticksPerSecond;
}

function chromiumArguments(mode) {
  const args = [
    '--use-gl=angle', mode === 'headless' ? '--use-angle=gl-egl' : '--use-angle=gl',
    '--ignore-gpu-blocklist', '--enable-gpu',
    // Frame times are the work, not vsync's 60 Hz.
    '--disable-gpu-vsync', '--disable-frame-rate-limit',
    // A page in the background or occluded would be throttled.
    '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
    '--disable-backgrounding-occluded-windows',
    '--disable-dev-shm-usage', '--no-first-run', '--no-default-browser-check',
    '--window-size=1280,720',
  ];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  return args;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  if (!existsSync(options.chromium)) usage(`no Chromium at ${options.chromium} (apt-get install chromium)`);
  if (!existsSync(path.join(here, 'node_modules', '@google', 'model-viewer'))) {
    usage('model-viewer is not installed: run npm ci in bench/modelviewer');
  }
  if (!existsSync(options.model)) usage(`no model at ${options.model}`);
  if (options.mode === 'xvfb' && !process.env.DISPLAY) usage('--mode xvfb needs a display (run under xvfb-run)');

  const server = await serve(options.model);
  const origin = `http://127.0.0.1:${server.address().port}`;
  const browser = await puppeteer.launch({
    executablePath: options.chromium,
    headless: options.mode === 'headless',
    args: chromiumArguments(options.mode),
    defaultViewport: { width: 1280, height: 720, deviceScaleFactor: 1 },
  });
  // A browser that hangs must not outlive the run that started it.
  const watchdog = setTimeout(() => {
    console.error(`orbit.mjs: no end after ${options.timeout} s; stopping Chromium`);
    browser.process()?.kill('SIGKILL');
    process.exit(1);
  }, options.timeout * 1000);
  try {
    const page = await browser.newPage();
    const messages = [];
    page.on('pageerror', (error) => messages.push(String(error)));
    page.on('console', (message) => { if (message.type() === 'error') messages.push(message.text()); });
    await page.goto(`${origin}/page.html`);
    await page.waitForFunction('window.pageReady === true', { timeout: 60000 }).catch(() => {
      throw new Error(`the page did not start: ${messages.join('; ') || 'no message'}`);
    });
    const framing = await page.evaluate(() => window.loadModel('/model.glb'));
    const description = await page.evaluate(() => window.describe());
    if (!/llvmpipe/i.test(description.renderer)) {
      throw new Error(`WebGL is not on llvmpipe but on "${description.renderer}"`);
    }
    await page.evaluate((n, s) => window.orbit(n, 1, s), options.warmUp, options.step);
    // The measured call draws frames + 2 frames: one before its first measured frame, one after.
    const cpuBefore = cpuSeconds(browser.process().pid);
    const measured = await page.evaluate((n, s) => window.orbit(n, 1, s), options.frames, options.step);
    const cpuPerFrame = (cpuSeconds(browser.process().pid) - cpuBefore) * 1000 / (options.frames + 2);
    const after = await page.evaluate(() => window.describe());
    if (options.picture) {
      await page.evaluate(() => window.turnTo(30));
      await page.screenshot({ path: options.picture });
    }
    if (after.renderScales.some((scale) => scale !== 1)) {
      throw new Error(`the render scale changed: ${after.renderScales.join(', ')}`);
    }
    const result = {
      side: 'model-viewer',
      mode: options.mode,
      browser: await browser.version(),
      modelViewer: JSON.parse(await readFile(path.join(here, 'node_modules/@google/model-viewer/package.json'))).version,
      ...description,
      orbit: after.orbit,
      framing,
      step: options.step,
      perFrame: measured.perFrame,
      cpuPerFrame,
      work: measured.work,
      interval: measured.interval,
      messages,
    };
    console.log(JSON.stringify(result));
  } finally {
    clearTimeout(watchdog);
    await browser.close();
    server.close();
  }
}

main().catch((error) => {
  console.error(`orbit.mjs: ${error.stack || error}`);
  process.exit(1);
});

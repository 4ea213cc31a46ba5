#!/usr/bin/env node
// The table of bench/side-by-side.sh: reads the rounds' JSON lines (ours-<n>.json from
// vantrel_sofa_orbit, theirs-<n>.json from orbit.mjs) and run.json (machine, commit, our passes)
// from a directory and prints Markdown. Medians and 95th percentiles are over every measured frame
// of every round of a side (nearest rank); each round's median is listed too.
//
//   node table.mjs <directory>

import { readFileSync, readdirSync } from 'node:fs';
import path from 'node:path';

const GOAL = 1.0;  // ours / theirs, median frame time

const directory = process.argv[2];
if (!directory) {
  console.error('usage: node table.mjs <directory>');
  process.exit(2);
}

function percentile(values, share) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.max(0, Math.ceil(share * sorted.length) - 1))];
}

function rounds(prefix) {
  return readdirSync(directory).filter((name) => name.startsWith(`${prefix}-`) && name.endsWith('.json'))
    .sort((a, b) => parseInt(a.slice(prefix.length + 1), 10) - parseInt(b.slice(prefix.length + 1), 10))
    .map((name) => JSON.parse(readFileSync(path.join(directory, name), 'utf8')));
}

function summary(side) {
  const work = side.flatMap((round) => round.work);
  const interval = side.flatMap((round) => round.interval);
  return {
    frames: work.length,
    median: percentile(work, 0.5),
    p95: percentile(work, 0.95),
    intervalMedian: percentile(interval, 0.5),
    cpuPerFrame: side.reduce((sum, round) => sum + round.cpuPerFrame, 0) / side.length,
    roundMedians: side.map((round) => percentile(round.work, 0.5)),
  };
}

const run = JSON.parse(readFileSync(path.join(directory, 'run.json'), 'utf8'));
const ours = rounds('ours');
const theirs = rounds('theirs');
if (ours.length === 0 || theirs.length === 0) {
  console.error(`table.mjs: no rounds of ${ours.length === 0 ? 'ours' : 'theirs'} in ${directory}`);
  process.exit(1);
}
const a = summary(ours);
const b = summary(theirs);
const ms = (value) => `${value.toFixed(1)} ms`;
const ratio = a.median / b.median;
const first = (side) => side[0];
const mv = first(theirs);
const us = first(ours);

const lines = [];
lines.push(`### Sofa orbit side by side, 1280×720 (${run.date})`);
lines.push('');
lines.push(`Machine: ${run.nproc} cores, load average ${run.loadBefore} before, ${run.loadAfter} after; ` +
  `commit ${run.commit}; ${ours.length} rounds a side alternating (ours first), ` +
  `${a.frames / ours.length} frames a round after ${run.warmUp} warm-up frames, ${mv.step.toFixed(1)}° a frame.`);
lines.push('');
lines.push('| | ours (vantrel, SCNView) | model-viewer ' + mv.modelViewer + ' |');
lines.push('|---|---|---|');
lines.push(`| rasterizer | ${us.renderer} (EGL, offscreen) | ${mv.renderer}, ${mv.browser}, ${mv.mode} |`);
lines.push(`| resolution, MSAA | ${us.drawingBuffer.join('×')} at render scale ${us.renderScale}, ${us.samples}× | ` +
  `${mv.drawingBuffer.join('×')} at render scale ${[...new Set(mv.renderScales)].join(', ')} ` +
  `(minimumRenderScale ${mv.minimumRenderScale}), ${mv.samples}× |`);
lines.push(`| a frame draws | ${us.perFrame.draws} draw calls, ${us.perFrame.triangles} triangles | ` +
  `${mv.perFrame.draws} draw calls, ${mv.perFrame.triangles} triangles |`);
const theirPasses = `${mv.perFrame.framebufferBinds} framebuffer changes and ${mv.perFrame.clears} clear a frame: ` +
  'the scene into the canvas\'s multisampled buffer (the contact shadow is drawn once at load)';
lines.push(`| passes a frame | ${run.ourPasses} | ${theirPasses} |`);
lines.push(`| meshes ("sheen": its material has one) | ${us.meshes.join(', ')} (floor ${us.floor}) | ${mv.scene ? mv.scene.meshes.join(', ') : '?'} |`);
lines.push(`| light | ${us.lights.join(', ')}; ${us.environment} | ` +
  `${mv.scene ? mv.scene.lights.join(', ') : '?'} (the file's); ${mv.environment} environment |`);
lines.push(`| tone mapping | ${us.toneMapping} | ${mv.toneMapping === 'auto' ? 'neutral (auto)' : mv.toneMapping} |`);
lines.push(`| median frame time | **${ms(a.median)}** | **${ms(b.median)}** |`);
lines.push(`| p95 frame time | ${ms(a.p95)} | ${ms(b.p95)} |`);
lines.push(`| round medians | ${a.roundMedians.map(ms).join(', ')} | ${b.roundMedians.map(ms).join(', ')} |`);
lines.push(`| median interval between frames | ${ms(a.intervalMedian)} | ${ms(b.intervalMedian)} |`);
lines.push(`| CPU time a frame (all threads; theirs: all Chromium's processes) | ${ms(a.cpuPerFrame)} | ${ms(b.cpuPerFrame)} |`);
lines.push('');
lines.push(`Ratio ours/theirs: **${ratio.toFixed(2)}×** median, ${(a.p95 / b.p95).toFixed(2)}× p95; ` +
  `goal ≤ ${GOAL.toFixed(1)}×: **${ratio <= GOAL ? 'met' : 'not met'}**. CPU time a frame: ` +
  `${(a.cpuPerFrame / b.cpuPerFrame).toFixed(2)}× (less sensitive to the machine's other load than the wall-clock times).`);
lines.push('');
lines.push('Frame time: ours, one `SCNView::draw` (it ends with glFinish); model-viewer\'s, from the start of the ' +
  'frame\'s first requestAnimationFrame callback (model-viewer\'s, which draws) to the end of a one-pixel read-back ' +
  'after it drew (which waits for the GPU).');
console.log(lines.join('\n'));

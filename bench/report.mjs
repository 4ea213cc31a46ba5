#!/usr/bin/env node
// Turns the JSON files of benchmark runs (Google Benchmark's --benchmark_out) into one Markdown
// table: each measure with ours, its peer or floor, the ratio, the goal and whether every run met
// it. Called by bench/report.sh, which also prints the machine, the load and the commit.
//
//   node bench/report.mjs run1.json [run2.json ...]

import fs from 'node:fs';

// Each measure: the benchmark that makes it, the counters holding ours and the peer (or floor),
// and the goal on ours / peer. `scale` turns a counter into the unit shown.
export const MEASURES = [
  { measure: '1,000 records in pages of 100', bench: 'BM_ReadThousandInPagesOfHundred', ours: 'ours_ms', peer: 'js_ms', peerName: 'JavaScript SDK', goal: 0.6 },
  { measure: '1,000 records in pages of 100', bench: 'BM_ReadThousandInPagesOfHundred', ours: 'ours_ms', peer: 'floor_ms', peerName: 'bare HTTP floor', goal: 1.2 },
  { measure: 'save → change notification, median', bench: 'BM_LiveQuerySaveToEvent', ours: 'ours_median_ms', peer: 'js_median_ms', peerName: 'JavaScript SDK', goal: 1.0 },
  { measure: 'save → change notification, median', bench: 'BM_LiveQuerySaveToEvent', ours: 'ours_median_ms', peer: 'floor_median_ms', peerName: 'bare WebSocket client, turns with ours', goal: 1.05 },
  { measure: 'save → change notification, p90', bench: 'BM_LiveQuerySaveToEvent', ours: 'ours_p90_ms', peer: 'floor_p90_ms', peerName: 'bare WebSocket client, turns with ours', goal: 1.05 },
  { measure: 'save and read a design', bench: 'BM_SaveAndReadDesign', ours: 'ours_ms', peer: 'plain_ms', peerName: 'plain SQLite statements', goal: 1.5 },
  { measure: 'read a design', bench: 'BM_SaveAndReadDesign', ours: 'ours_read_ms', peer: 'plain_read_ms', peerName: 'plain SQLite statements', goal: 1.5 },
  { measure: 'cold model load, sofa', bench: 'BM_ColdLoad/sofa', ours: 'ours_ms', peer: 'floor_ms', peerName: 'curl + unzip + bare import', goal: 1.0 },
  { measure: 'cold model load, chair', bench: 'BM_ColdLoad/chair', ours: 'ours_ms', peer: 'floor_ms', peerName: 'curl + unzip + bare import', goal: 1.0 },
  { measure: 'warm model load, sofa', bench: 'BM_WarmLoad/sofa', ours: 'ours_ms', peer: 'floor_ms', peerName: 'read file + image decode', goal: 1.2 },
  { measure: 'warm model load, chair', bench: 'BM_WarmLoad/chair', ours: 'ours_ms', peer: 'floor_ms', peerName: 'read file + image decode', goal: 1.2 },
];

const fmt = (x) => (x === undefined || x === null || Number.isNaN(x) ? '—' : x >= 100 ? x.toFixed(0) : x >= 10 ? x.toFixed(1) : x.toFixed(2));
const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length ? (s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2) : undefined;
};

export function entriesByName(runFiles) {
  return runFiles.map((file) => {
    const json = JSON.parse(fs.readFileSync(file, 'utf8'));
    const byName = new Map();
    for (const b of json.benchmarks || []) {
      // Repetitions and aggregates are not used: each run file holds one value per benchmark.
      if (b.run_type === 'aggregate') continue;
      // "BM_ColdLoad/sofa/iterations:3/real_time" is found as "BM_ColdLoad/sofa".
      const name = (b.run_name || b.name).replace(/\/(iterations|repeats|real_time|manual_time|min_time)(:[^/]*)?/g, '');
      byName.set(name, b);
    }
    return byName;
  });
}

export function table(runs) {
  const lines = [];
  lines.push(`| measure | ours (ms) | peer / floor | peer (ms) | ratio${runs.length > 1 ? ' (each run)' : ''} | goal | met |`);
  lines.push('|---|---:|---|---:|---|---:|---|');
  for (const m of MEASURES) {
    const samples = runs
      .map((r) => r.get(m.bench))
      .filter((b) => b && !b.error_occurred && b[m.ours] > 0 && b[m.peer] > 0)
      .map((b) => ({ ours: b[m.ours], peer: b[m.peer], ratio: b[m.ours] / b[m.peer] }));
    if (!samples.length) {
      const failed = runs.map((r) => r.get(m.bench)).find((b) => b && b.error_occurred);
      lines.push(`| ${m.measure} | — | ${m.peerName} | — | ${failed ? `skipped: ${failed.error_message}` : 'not run'} | ≤ ${m.goal} | no |`);
      continue;
    }
    const met = samples.filter((s) => s.ratio <= m.goal).length;
    const ratios = samples.map((s) => s.ratio.toFixed(2)).join(', ');
    const verdict = met === samples.length ? 'yes' : met === 0 ? 'no' : `${met} of ${samples.length}`;
    lines.push(
      `| ${m.measure} | ${fmt(median(samples.map((s) => s.ours)))} | ${m.peerName} | ${fmt(median(samples.map((s) => s.peer)))} | ${ratios} | ≤ ${m.goal} | ${verdict} |`,
    );
  }
  return lines.join('\n');
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const files = process.argv.slice(2);
  if (!files.length) {
    console.error('usage: report.mjs run1.json [run2.json ...]');
    process.exit(2);
  }
  process.stdout.write(table(entriesByName(files)) + '\n');
}

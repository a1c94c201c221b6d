// One STEP import through the real UI server and the real view: starts both,
// sends `openSTLFile ROOT MODEL` and prints the time from the command to the
// view's "step_file_loaded_flag", the view's resident memory once ready
// (idle) and its peak at that moment. With COPY_TO, copies ROOT/data there
// before the view stops (the view deletes the face and solid files on exit).
// Usage (under X): node benchmarks/import-through-ui.mjs MODEL.step ROOT [COPY_TO]
// The view is ORVANE_BIN, else build/src/app/orvane.
import { cpSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { performance } from 'node:perf_hooks';
import { startUiServer, startView, stopAll } from '../tests/e2e/harness.mjs';

const [model, root, copyTo] = process.argv.slice(2);
if (!model || !root) {
  process.stderr.write('usage: node import-through-ui.mjs MODEL.step ROOT [COPY_TO]\n');
  process.exit(2);
}

// A large model takes minutes on a small machine under software GL.
const IMPORT_TIMEOUT = 30 * 60 * 1000;
const READY_TIMEOUT = 60000;

try {
  const ui = await startUiServer();
  const view = await startView({ url: ui.url });
  await ui.waitFor({ event: 'ready' }, { after: 0, timeout: READY_TIMEOUT });
  // The window has drawn its first frames by now; what follows is the import's.
  await new Promise((resolve) => setTimeout(resolve, 1000));
  const idle = /VmRSS:\s+(\d+) kB/.exec(readFileSync(`/proc/${view.pid}/status`, 'latin1'));
  if (idle) process.stdout.write(`import_idle_rss_mib ${(Number(idle[1]) / 1024).toFixed(1)}\n`);
  const mark = ui.mark();
  const start = performance.now();
  await ui.send(`openSTLFile ${root} ${model}`);
  const flag = await ui.waitFor({ event: 'message', text: 'step_file_loaded_flag' },
    { after: mark, timeout: IMPORT_TIMEOUT });
  const seconds = (performance.now() - start) / 1000;
  const open = ui.events.slice(mark).find((e) => e.event === 'message' && e.args[0] === 'open');
  if (open) process.stdout.write(`import: "open" to "step_file_loaded_flag" ${((flag.t - open.t) / 1000).toFixed(3)} s\n`);
  process.stdout.write(`import_seconds ${seconds.toFixed(3)}\n`);
  // Where the time goes: each phase's first and last progress event, from "open".
  const phases = new Map();
  for (const e of ui.events.slice(mark)) {
    if (e.event !== 'progress') continue;
    const phase = String(e.args[0]).split(' ')[0];
    const at = (((e.t - (open?.t ?? e.t)) / 1000)).toFixed(2);
    if (!phases.has(phase)) phases.set(phase, [at, at]);
    phases.get(phase)[1] = at;
  }
  const spans = [...phases].map(([phase, [from, to]]) => `${phase} ${from}-${to} s`).join(', ');
  if (open) process.stdout.write(`import phases: ${spans}, flag ${((flag.t - open.t) / 1000).toFixed(2)} s\n`);
  const peak = /VmHWM:\s+(\d+) kB/.exec(readFileSync(`/proc/${view.pid}/status`, 'latin1'));
  if (peak) process.stdout.write(`import_peak_rss_mib ${(Number(peak[1]) / 1024).toFixed(1)}\n`);
  if (copyTo) cpSync(join(root, 'data'), copyTo, { recursive: true });
} finally {
  await stopAll();
}

// Command round trip: sends reply-producing commands one after the other
// through a socket.io server and times each from send to reply, to the real
// view ("selectId" answered by "selectFace") and to a plain socket.io client
// in its own process that echoes every "message" at once, in alternating
// blocks so that both see the same machine load. Prints median and 99th
// percentile of both. Needs an X display for the view.
// Usage: node benchmarks/round-trip.mjs [COMMANDS]   (COMMANDS: 10000)
// The view is ORVANE_BIN, else build/src/app/orvane.
import { spawn } from 'node:child_process';
import { createServer } from 'node:http';
import { once } from 'node:events';
import { performance } from 'node:perf_hooks';
import { createRequire } from 'node:module';
import { viewBinary } from '../tests/e2e/harness.mjs';

const packageJson = new URL('../tools/ui-server/package.json', import.meta.url);
const require = createRequire(packageJson);
const { Server } = require('socket.io');

const count = Number(process.argv[2] ?? 10000);
const WARM_UP = 200;
const BLOCKS = 10;

const http = createServer();
const server = new Server(http);
http.listen(0, '127.0.0.1');
await once(http, 'listening');
const url = `ws://127.0.0.1:${http.address().port}`;

// The echo peer: socket.io-client resolved from the UI server's packages.
const echoSource = `
  const { io } = require(${JSON.stringify(require.resolve('socket.io-client'))});
  const socket = io(process.argv[1], { transports: ['websocket'] });
  socket.on('connect', () => socket.emit('echo-ready'));
  socket.on('message', (text) => socket.emit('selectFace', text));
  process.on('SIGTERM', () => process.exit(0));
`;

// Times `n` sends on the peer's socket, each waiting for its reply.
async function timeRoundTrips(socket, n, into) {
  for (let i = 0; i < n; i++) {
    const replied = once(socket, 'selectFace');
    const start = performance.now();
    socket.emit('message', 'selectId');
    await replied;
    if (into) into.push(performance.now() - start);
  }
}

const summary = (times) => {
  times.sort((a, b) => a - b);
  const at = (p) => times[Math.min(times.length - 1, Math.ceil(p * times.length) - 1)];
  return { median: at(0.5), p99: at(0.99) };
};

const peers = {};
server.on('connection', (socket) => {
  socket.once('ready', () => { peers.view = socket; });
  socket.once('echo-ready', () => { peers.echo = socket; });
});
const view = spawn(viewBinary(), [], { env: { ...process.env, ORVANE_UI_URL: url }, stdio: 'ignore' });
const echo = spawn(process.execPath, ['-e', echoSource, url], { stdio: 'ignore' });
try {
  const deadline = Date.now() + 60000;
  while (!(peers.view && peers.echo)) {
    if (Date.now() > deadline) throw new Error('the view or the echo peer did not connect');
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  await timeRoundTrips(peers.view, WARM_UP);
  await timeRoundTrips(peers.echo, WARM_UP);
  const times = { view: [], echo: [] };
  const block = Math.max(1, Math.round(count / BLOCKS));
  for (let done = 0; done < count; done += block) {
    const n = Math.min(block, count - done);
    await timeRoundTrips(peers.view, n, times.view);
    await timeRoundTrips(peers.echo, n, times.echo);
  }
  for (const name of ['view', 'echo']) {
    const r = summary(times[name]);
    process.stdout.write(
      `round_trip_${name} median ${r.median.toFixed(3)} ms p99 ${r.p99.toFixed(3)} ms (${count} commands)\n`);
  }
} finally {
  view.kill('SIGTERM');
  echo.kill('SIGTERM');
  server.close();
  http.close();
}

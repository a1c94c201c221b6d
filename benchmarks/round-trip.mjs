// Command round trip: sends reply-producing commands one after the other
// through a socket.io server and times each from send to reply, first to the
// real view ("selectId" answered by "selectFace"), then to a plain socket.io
// client that echoes every "message" at once. Prints median and 99th
// percentile of both. Needs an X display for the view.
// Usage: node benchmarks/round-trip.mjs [COMMANDS]   (COMMANDS: 10000)
// The view is ORVANE_BIN, else build/src/app/orvane.
import { spawn } from 'node:child_process';
import { createServer } from 'node:http';
import { once } from 'node:events';
import { performance } from 'node:perf_hooks';
import { createRequire } from 'node:module';
import { viewBinary } from '../tests/e2e/harness.mjs';

const require = createRequire(new URL('../tools/ui-server/package.json', import.meta.url));
const { Server } = require('socket.io');
const { io: connect } = require('socket.io-client');

const count = Number(process.argv[2] ?? 10000);
const WARM_UP = 200;

const http = createServer();
const server = new Server(http);
http.listen(0);
await once(http, 'listening');
const url = `ws://localhost:${http.address().port}`;

// Times `count` sends on the peer's socket, each waiting for `replyEvent`.
async function timeRoundTrips(socket, replyEvent) {
  const times = [];
  for (let i = 0; i < WARM_UP + count; i++) {
    const replied = once(socket, replyEvent);
    const start = performance.now();
    socket.emit('message', 'selectId');
    await replied;
    if (i >= WARM_UP) times.push(performance.now() - start);
  }
  times.sort((a, b) => a - b);
  const at = (p) => times[Math.min(times.length - 1, Math.ceil(p * times.length) - 1)];
  return { median: at(0.5), p99: at(0.99) };
}

function nextConnection() {
  return new Promise((resolve) => server.once('connection', resolve));
}

const print = (name, r) => process.stdout.write(
  `round_trip_${name} median ${r.median.toFixed(3)} ms p99 ${r.p99.toFixed(3)} ms (${count} commands)\n`);

const viewConnected = nextConnection();
const view = spawn(viewBinary(), [], { env: { ...process.env, ORVANE_UI_URL: url }, stdio: 'ignore' });
try {
  const viewSocket = await viewConnected;
  await once(viewSocket, 'ready');
  print('view', await timeRoundTrips(viewSocket, 'selectFace'));
} finally {
  view.kill('SIGTERM');
}

const echoConnected = nextConnection();
const echo = connect(url, { transports: ['websocket'] });
echo.on('message', (text) => echo.emit('selectFace', text));
const echoSocket = await echoConnected;
print('echo', await timeRoundTrips(echoSocket, 'selectFace'));
echo.close();
server.close();
http.close();

// A socket.io v4 server that the sio client's integration tests drive.
//
// Options: --port N (0: any free port), --ping-interval MS, --ping-timeout MS.
// Prints one JSON object per line on stdout, {"listening":PORT} first, then
// {"connect":{nsp,id,auth}}, {"event":NAME,"nsp":NSP,"args":[…],"ack":BOOL},
// {"disconnect":{nsp,reason}}, {"ack":TAG,"error":…,"args":[…]} and
// {"done":CMD} after each command. Buffers are logged as {"_binary":[bytes]}.
//
// Reads one JSON command per line on stdin:
//   {"cmd":"emit","event":E,"args":[…],"nsp":"/"}       emit to every socket
//   {"cmd":"emitAck","event":E,"args":[…],"tag":T}      emit asking for an ack
//   {"cmd":"emitBinary","event":E,"bytes":[…],"args":[…]} emit with a Buffer first
//   {"cmd":"raw","data":S} / {"cmd":"raw","bytes":[…]}  send a raw websocket frame
//   {"cmd":"disconnect","nsp":"/"}                      socket.disconnect() (packet 41)
//   {"cmd":"closeEngine"}                               close every engine connection
//   {"cmd":"exit"}
// Events that the client sends with an ack are answered with ("ok", ...args).
// The namespace /forbidden refuses every connection. Exits when stdin closes.

import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { createInterface } from 'node:readline';

const require = createRequire(new URL('../../tools/ui-server/package.json', import.meta.url));
const { Server } = require('socket.io');

function option(name, fallback) {
    const i = process.argv.indexOf(`--${name}`);
    return i >= 0 ? Number(process.argv[i + 1]) : fallback;
}

const log = (entry) => process.stdout.write(JSON.stringify(entry) + '\n');

function loggable(value) {
    if (Buffer.isBuffer(value)) return { _binary: [...value] };
    if (Array.isArray(value)) return value.map(loggable);
    if (value && typeof value === 'object') {
        return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, loggable(v)]));
    }
    return value;
}

const http = createServer();
const io = new Server(http, {
    pingInterval: option('ping-interval', 25000),
    pingTimeout: option('ping-timeout', 20000),
    transports: ['websocket'],
    serveClient: false,
});

function serve(nsp) {
    nsp.on('connection', (socket) => {
        log({ connect: { nsp: socket.nsp.name, id: socket.id, auth: socket.handshake.auth } });
        socket.onAny((event, ...args) => {
            const ack = typeof args.at(-1) === 'function' ? args.pop() : null;
            log({ event, nsp: socket.nsp.name, args: loggable(args), ack: ack !== null });
            if (ack) ack('ok', ...args);
        });
        socket.on('disconnect', (reason) => log({ disconnect: { nsp: socket.nsp.name, reason } }));
    });
}

io.of('/forbidden').use((socket, next) => next(new Error('not allowed')));
serve(io.of('/'));
serve(io.of(/^\/\w+$/));

const engineSockets = () => Object.values(io.engine.clients);

function run(cmd) {
    const nsp = io.of(cmd.nsp ?? '/');
    const args = cmd.args ?? [];
    switch (cmd.cmd) {
    case 'emit':
        nsp.emit(cmd.event, ...args);
        break;
    case 'emitAck':
        for (const socket of nsp.sockets.values()) {
            socket.timeout(cmd.timeout ?? 5000).emit(cmd.event, ...args, (err, ...resp) =>
                log({ ack: cmd.tag, error: err ? String(err.message) : null, args: loggable(resp) }));
        }
        break;
    case 'emitBinary':
        nsp.emit(cmd.event, Buffer.from(cmd.bytes ?? [1, 2, 3]), ...args);
        break;
    case 'raw':
        for (const conn of engineSockets()) {
            conn.transport.socket.send(cmd.bytes ? Buffer.from(cmd.bytes) : cmd.data);
        }
        break;
    case 'disconnect':
        nsp.disconnectSockets(false);
        break;
    case 'closeEngine':
        for (const conn of engineSockets()) conn.close();
        break;
    case 'exit':
        process.exit(0);
        break;
    default:
        log({ error: `unknown command ${cmd.cmd}` });
        return;
    }
    log({ done: cmd.cmd });
}

createInterface({ input: process.stdin })
    .on('line', (line) => {
        if (!line.trim()) return;
        try {
            run(JSON.parse(line));
        } catch (err) {
            log({ error: String(err) });
        }
    })
    .on('close', () => process.exit(0));

// A restarted server asks for the port its predecessor had, which the kernel
// may not have released yet.
let retries = 50;
http.on('error', (err) => {
    if (err.code === 'EADDRINUSE' && retries-- > 0) {
        setTimeout(() => http.listen(option('port', 0), '127.0.0.1'), 100);
        return;
    }
    throw err;
});
http.on('listening', () => log({ listening: http.address().port }));
http.listen(option('port', 0), '127.0.0.1');

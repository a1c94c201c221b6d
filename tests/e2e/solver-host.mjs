// A solver host on this machine for the view's remote runs: the account laid
// out by scripts/solver-host.sh, an sshd of its own on a free loopback port
// with its own host and client keys, and an mpirun wrapper for containers.
// Needs root. The user's own ~/.ssh is never read or written: keys, host keys
// and both configurations live in `dir`.
import { spawn, execFile } from 'node:child_process';
import { chmodSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { join } from 'node:path';
import { promisify } from 'node:util';

const execFileAsync = promisify(execFile);
const run = (program, args, options = {}) => execFileAsync(program, args, { timeout: 600000, ...options });

export const SSHD = '/usr/sbin/sshd';

export function freePort() {
  return new Promise((resolvePort, reject) => {
    const server = createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolvePort(port));
    });
  });
}

// More ranks than cores, no single-copy shared memory (needs ptrace), no
// remote daemons: what OpenMPI needs in a small container. Returns its path.
export function writeMpirunWrapper(home) {
  const mpirun = join(home, 'mpirun-for-tests');
  writeFileSync(mpirun, '#!/bin/sh\n'
    + 'export OMPI_MCA_plm=isolated OMPI_MCA_btl_vader_single_copy_mechanism=none '
    + 'OMPI_MCA_rmaps_base_oversubscribe=1\n'
    + 'exec mpirun --mca btl self,vader "$@"\n');
  chmodSync(mpirun, 0o755);
  return mpirun;
}

// An sshd of its own on a free loopback port that lets `account` in with a
// client key made here, and the client configuration (every host name leads
// to it) for the view's ssh and scp. writeClientConfig({port, key}) rewrites
// that configuration, to break the link on purpose.
export async function startPrivateSshd({ account, dir }) {
  // sshd's privilege separation directory.
  mkdirSync('/run/sshd', { recursive: true, mode: 0o755 });
  const ssh = join(dir, 'ssh');
  mkdirSync(ssh, { recursive: true });
  // sshd reads the authorized keys as the account.
  chmodSync(dir, 0o755);
  chmodSync(ssh, 0o755);
  await run('ssh-keygen', ['-q', '-t', 'ed25519', '-N', '', '-f', join(ssh, 'host_key')]);
  await run('ssh-keygen', ['-q', '-t', 'ed25519', '-N', '', '-f', join(ssh, 'client_key')]);
  writeFileSync(join(ssh, 'authorized_keys'), readFileSync(join(ssh, 'client_key.pub')), { mode: 0o644 });
  const port = await freePort();
  // StrictModes would reject the key below the world-writable /tmp.
  writeFileSync(join(ssh, 'sshd_config'), [
    `Port ${port}`, 'ListenAddress 127.0.0.1', `HostKey ${join(ssh, 'host_key')}`, 'PidFile none',
    `AuthorizedKeysFile ${join(ssh, 'authorized_keys')}`, 'StrictModes no', 'UsePAM no',
    'PasswordAuthentication no', 'KbdInteractiveAuthentication no', `AllowUsers ${account}`,
    'Subsystem sftp internal-sftp', '',
  ].join('\n'));
  const hostKey = readFileSync(join(ssh, 'host_key.pub'), 'utf8').split(' ').slice(0, 2).join(' ');
  writeFileSync(join(ssh, 'known_hosts'), `[127.0.0.1]:${port} ${hostKey}\n`);

  const sshdLog = [];
  const sshd = spawn(SSHD, ['-D', '-e', '-f', join(ssh, 'sshd_config')], { stdio: ['ignore', 'ignore', 'pipe'] });
  sshd.stderr.setEncoding('utf8');
  await new Promise((resolveStart, reject) => {
    const timer = setTimeout(() => reject(new Error(`sshd did not start:\n${sshdLog.join('')}`)), 15000);
    sshd.on('exit', (code) => reject(new Error(`sshd exited with ${code}:\n${sshdLog.join('')}`)));
    sshd.stderr.on('data', (chunk) => {
      sshdLog.push(chunk);
      if (sshdLog.join('').includes('Server listening')) {
        clearTimeout(timer);
        resolveStart();
      }
    });
  });

  const clientConfig = join(ssh, 'config');
  const writeClientConfig = ({ port: p = port, key = join(ssh, 'client_key') } = {}) => writeFileSync(clientConfig, [
    'Host *', '  HostName 127.0.0.1', `  Port ${p}`, `  IdentityFile ${key}`, '  IdentitiesOnly yes',
    '  IdentityAgent none', `  UserKnownHostsFile ${join(ssh, 'known_hosts')}`,
    '  GlobalKnownHostsFile /dev/null', '  StrictHostKeyChecking yes', '  LogLevel ERROR', '',
  ].join('\n'));
  writeClientConfig();
  return { sshd, sshdLog, port, clientConfig, writeClientConfig, dir: ssh };
}

// Lays out /home/ACCOUNT/project with `solver` as output/demo and starts the
// sshd. Returns what the view needs (ORVANE_* settings) and stop().
export async function startSolverHost({ repoRoot, account, solver, dir }) {
  await run(join(repoRoot, 'scripts/solver-host.sh'), [account], {
    env: { ...process.env, ORVANE_SOLVER_PROGRAM: solver },
  });
  // Without PAM sshd refuses an account whose password is locked ("!").
  await run('usermod', ['-p', '*', account]);
  const home = `/home/${account}`;
  const mpirun = writeMpirunWrapper(home);
  const { sshd, sshdLog, clientConfig } = await startPrivateSshd({ account, dir });
  return {
    account,
    project: `${home}/project`,
    sshdLog,
    viewEnv: {
      ORVANE_REMOTE_HOST: 'solver-host',
      ORVANE_REMOTE_ACCOUNT: account,
      ORVANE_MPIRUN: mpirun,
      ORVANE_SSH_CONFIG: clientConfig,
    },
    stop() {
      sshd.kill('SIGTERM');
    },
  };
}

// Who may talk to the UI server. The view it drives runs programs and writes
// files as the user, so a request must name the server by one of its own
// host names (Host: defeats DNS rebinding), must not come from a page of
// another site (Origin), and must carry the per-start token to drive or read
// the view.
import { createHash, randomBytes, timingSafeEqual } from 'node:crypto';
import { isIPv6 } from 'node:net';
import { hostname, networkInterfaces } from 'node:os';

export const LOOPBACK_ADDRESSES = ['127.0.0.1', '::1'];
const LOOPBACK_NAMES = ['localhost', ...LOOPBACK_ADDRESSES];
const WILDCARD_ADDRESSES = ['0.0.0.0', '::'];

// 256 random bits as hexadecimal: safe in a URL, a header and a shell word.
export function newToken() {
  return randomBytes(32).toString('hex');
}

// Why a token given from outside cannot be used, or null. It travels in an
// HTTP header, so it must be visible ASCII.
export function tokenProblem(token) {
  return /^[\x21-\x7e]+$/.test(token) ? null : 'must be visible ASCII characters without spaces';
}

// The host as a URL or a Host header names it: IPv6 addresses in brackets.
export function urlHost(host) {
  const lower = host.toLowerCase();
  return isIPv6(lower) ? `[${lower}]` : lower;
}

export const isLoopback = (host) => LOOPBACK_NAMES.includes(host.toLowerCase());
export const isWildcard = (host) => WILDCARD_ADDRESSES.includes(host);

// The addresses to listen on: the loopback ones, plus the one --host opens.
// A wildcard covers the loopback address of its own family, and binding both
// would collide.
export function listenAddresses(extraHost) {
  if (extraHost === null || isLoopback(extraHost)) return [...LOOPBACK_ADDRESSES];
  if (extraHost === '::') return ['::'];
  if (extraHost === '0.0.0.0') return ['0.0.0.0', '::1'];
  return [...LOOPBACK_ADDRESSES, extraHost];
}

// The names a client may use for this machine behind a wildcard --host.
function machineNames() {
  const addresses = Object.values(networkInterfaces()).flat().map((i) => i.address.replace(/%.*$/, ''));
  return [hostname(), ...addresses];
}

const digest = (text) => createHash('sha256').update(text).digest();

export class Access {
  constructor({ token, extraHost }) {
    this.tokenDigest = digest(token);
    const extra = extraHost === null ? [] : isWildcard(extraHost) ? machineNames() : [extraHost];
    this.hosts = [...new Set([...LOOPBACK_NAMES, ...extra].map(urlHost))];
    this.hostHeaders = new Set();
    this.origins = new Set();
  }

  // Called once the port is known.
  setPort(port) {
    for (const host of this.hosts) {
      const withPort = `${host}:${port}`;
      this.hostHeaders.add(withPort);
      this.origins.add(`http://${withPort}`);
      // Browsers leave the default port out of both headers.
      if (port === 80) {
        this.hostHeaders.add(host);
        this.origins.add(`http://${host}`);
      }
    }
  }

  // Why the request may not reach any handler, or null.
  refusal(req) {
    const { host, origin } = req.headers;
    if (host === undefined || !this.hostHeaders.has(host.toLowerCase())) {
      return `Host ${JSON.stringify(host ?? null)} is not a name of this server`;
    }
    if (origin !== undefined && !this.origins.has(origin.toLowerCase())) {
      return `Origin ${JSON.stringify(origin)} is not this server's`;
    }
    return null;
  }

  // Constant time: comparing digests hides both the length and the first
  // differing character.
  tokenMatches(candidate) {
    return typeof candidate === 'string' && timingSafeEqual(digest(candidate), this.tokenDigest);
  }

  // "missing token", "wrong token", or null for an HTTP request's "Authorization: Bearer T".
  httpTokenProblem(req) {
    const match = /^Bearer +(\S+) *$/i.exec(req.headers.authorization ?? '');
    if (!match) return 'missing token';
    return this.tokenMatches(match[1]) ? null : 'wrong token';
  }
}

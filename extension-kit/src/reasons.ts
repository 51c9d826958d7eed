import { browserMessages } from './browserMessages.js';

/**
 * Why a connection ended. From the browser's text: notFound, forbidden, blocked (permanent),
 * failedToStart, exited, protocolError; from the kit: noHostInfo (no hostInfo answer in time),
 * closed (the extension called close()), unavailable (no runtime.connectNative here), unknown (a
 * text no browser is known to give).
 */
export type Reason =
  | 'notFound' | 'forbidden' | 'blocked' | 'failedToStart' | 'exited' | 'protocolError'
  | 'noHostInfo' | 'closed' | 'unavailable' | 'unknown';

const PERMANENT: ReadonlySet<Reason> = new Set<Reason>(['notFound', 'forbidden', 'blocked', 'unavailable']);

/** A reason that retrying cannot cure: the kit never reconnects after one. */
export function isPermanent(reason: Reason): boolean {
  return PERMANENT.has(reason);
}

const escape = (text: string) => text.replace(/[.*+?^$()|[\]\\]/g, '\\$&');

const PATTERNS = browserMessages.map((row) => ({
  reason: row.reason as Reason,
  pattern: new RegExp(`^${escape(row.text).replace(/\{\w+\}/g, '[\\s\\S]*')}$`),
}));

/** The reason a browser's disconnect text gives; no text at all means the host exited. */
export function reasonFromBrowserText(text: string | undefined | null): Reason {
  if (!text) {
    return 'exited';
  }
  return PATTERNS.find((row) => row.pattern.test(text))?.reason ?? 'unknown';
}

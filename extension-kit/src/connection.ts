import { build, decodeFrame, encodedSize, Envelope, HostInfo, InboundMessage, LogLevelUpdate, UndecodableFrame } from './messages.js';
import { defaultRuntime, NativePort, NativeRuntime } from './port.js';
import { isPermanent, Reason, reasonFromBrowserText } from './reasons.js';

/** The wire contract this kit speaks: the host's hostInfo names its own. */
export const PROTOCOL = 1;

/**
 * Chromium refuses a message over 64 MiB from the extension ("Message exceeded maximum allowed
 * size of 64MiB.", extensions/renderer/api/messaging/messaging_util.cc); Firefox allows
 * 0xffffffff bytes (toolkit/components/extensions/NativeMessaging.sys.mjs, MAX_WRITE).
 */
export const MAX_MESSAGE_BYTES = 64 * 1024 * 1024;

export type State = 'connecting' | 'ready' | 'disconnected';

export interface Status {
  state: State;
  /** While ready: what the host said about itself. */
  hostInfo?: HostInfo;
  /** While disconnected: why, the browser's own text, and when the kit tries again (if it does). */
  reason?: Reason | 'incompatible';
  message?: string;
  permanent?: boolean;
  retryInMs?: number;
}

export interface ReconnectPolicy {
  firstDelayMs: number;
  maxDelayMs: number;
  factor: number;
  /** Each delay is shortened by up to this share, at random, so that many workers spread out. */
  jitter: number;
  /** A connection that stayed ready this long starts the backoff afresh when it drops. */
  stableMs: number;
}

export interface Clock {
  setTimeout(callback: () => void, ms: number): unknown;
  clearTimeout(timer: unknown): void;
  now(): number;
}

export interface ConnectOptions {
  /** Defaults to browser.runtime, else chrome.runtime. */
  runtime?: NativeRuntime;
  /** How long the host has to answer hostInfo before the kit gives the port up. */
  readyTimeoutMs?: number;
  /** false: never reconnect. */
  reconnect?: Partial<ReconnectPolicy> | false;
  maxMessageBytes?: number;
  random?: () => number;
  clock?: Clock;
}

export type SendError =
  | { code: 'tooLarge'; bytes: number; limit: number }
  | { code: 'notConnected' }
  | { code: 'portError'; message: string };

export type SendResult = { sent: true } | { sent: false; error: SendError };

interface KnownTypes {
  hostInfo: HostInfo;
  updateLogLevel: LogLevelUpdate;
}

export interface Connection {
  readonly hostName: string;
  readonly status: Status;
  /** Calls handler with every later status; returns a function that stops it. */
  onState(handler: (status: Status) => void): () => void;
  /** Messages of one type ("*": every message). */
  on<K extends keyof KnownTypes>(type: K, handler: (message: KnownTypes[K]) => void): () => void;
  on(type: string, handler: (message: InboundMessage) => void): () => void;
  /** Frames that hold no message with a type. */
  onUndecodable(handler: (frame: UndecodableFrame) => void): () => void;
  send(message: Envelope): SendResult;
  /** Disconnects for good: the host's input ends and no reconnect follows. */
  close(): void;
}

const DEFAULT_POLICY: ReconnectPolicy = { firstDelayMs: 1000, maxDelayMs: 60000, factor: 2, jitter: 0.5, stableMs: 30000 };

const SYSTEM_CLOCK: Clock = {
  setTimeout: (callback, ms) => setTimeout(callback, ms),
  clearTimeout: (timer) => clearTimeout(timer as ReturnType<typeof setTimeout>),
  now: () => Date.now(),
};

/** The delay before reconnect number `attempt` (0 for the first). */
export function backoffDelay(policy: ReconnectPolicy, attempt: number, random: () => number): number {
  const full = Math.min(policy.maxDelayMs, policy.firstDelayMs * policy.factor ** attempt);
  return Math.round(full * (1 - policy.jitter * random()));
}

type Handler<T> = (value: T) => void;

class Listeners<T> {
  private readonly handlers = new Set<Handler<T>>();

  add(handler: Handler<T>): () => void {
    this.handlers.add(handler);
    return () => this.handlers.delete(handler);
  }

  // A handler that throws must not keep the others, or the kit, from going on: its error goes to
  // the worker's console as an uncaught one would.
  emit(value: T): void {
    for (const handler of [...this.handlers]) {
      try {
        handler(value);
      } catch (error) {
        const scope = globalThis as { reportError?: (error: unknown) => void };
        scope.reportError ? scope.reportError(error) : console.error(error);
      }
    }
  }
}

// One live connection per host and runtime: a worker that calls connect() again gets the same one,
// not a second host process.
const live = new WeakMap<NativeRuntime, Map<string, NativeConnection>>();

class NativeConnection implements Connection {
  status: Status = { state: 'connecting' };
  private port: NativePort | null = null;
  private readyTimer: unknown = null;
  private retryTimer: unknown = null;
  private attempt = 0;
  private readyAt: number | null = null;
  private closed = false;
  private readonly states = new Listeners<Status>();
  private readonly undecodable = new Listeners<UndecodableFrame>();
  private readonly byType = new Map<string, Listeners<InboundMessage>>();
  private readonly policy: ReconnectPolicy | null;
  private readonly clock: Clock;

  constructor(readonly hostName: string, private readonly runtime: NativeRuntime | undefined,
              private readonly options: ConnectOptions) {
    this.policy = options.reconnect === false ? null : { ...DEFAULT_POLICY, ...options.reconnect };
    this.clock = options.clock ?? SYSTEM_CLOCK;
    this.open();
  }

  onState(handler: Handler<Status>) { return this.states.add(handler); }

  onUndecodable(handler: Handler<UndecodableFrame>) { return this.undecodable.add(handler); }

  on(type: string, handler: Handler<any>): () => void {
    let listeners = this.byType.get(type);
    if (!listeners) {
      listeners = new Listeners<InboundMessage>();
      this.byType.set(type, listeners);
    }
    return listeners.add(handler);
  }

  send(message: Envelope): SendResult {
    if (this.port === null) {
      return { sent: false, error: { code: 'notConnected' } };
    }
    const limit = this.options.maxMessageBytes ?? MAX_MESSAGE_BYTES;
    const bytes = encodedSize(message);
    if (bytes > limit) {
      return { sent: false, error: { code: 'tooLarge', bytes, limit } };
    }
    try {
      this.port.postMessage(message);
      return { sent: true };
    } catch (error) {
      return { sent: false, error: { code: 'portError', message: String((error as Error)?.message ?? error) } };
    }
  }

  close(): void {
    if (this.closed) {
      return;
    }
    this.closed = true;
    this.clock.clearTimeout(this.retryTimer);
    const connections = this.runtime ? live.get(this.runtime) : undefined;
    if (connections?.get(this.hostName) === this) {
      connections.delete(this.hostName);
    }
    this.drop();
    if (this.status.state !== 'disconnected' || this.status.retryInMs !== undefined) {
      this.setStatus({ state: 'disconnected', reason: 'closed', permanent: true });
    }
  }

  private open(): void {
    this.retryTimer = null;
    this.setStatus({ state: 'connecting' });
    if (!this.runtime) {
      this.end('unavailable', 'runtime.connectNative is not available here');
      return;
    }
    let port: NativePort;
    try {
      port = this.runtime.connectNative(this.hostName);
    } catch (error) {
      const text = String((error as Error)?.message ?? error);
      this.end(reasonFromBrowserText(text), text);
      return;
    }
    this.port = port;
    port.onMessage.addListener((frame) => this.port === port && this.receive(frame));
    port.onDisconnect.addListener(() => {
      if (this.port !== port) {
        return;
      }
      // Chromium says why in runtime.lastError (only inside this listener), Firefox in port.error.
      const text = port.error?.message ?? this.runtime?.lastError?.message ?? undefined;
      this.port = null;
      this.end(reasonFromBrowserText(text), text);
    });
    this.readyTimer = this.clock.setTimeout(() => {
      this.drop();
      this.end('noHostInfo', 'the host did not answer hostInfo in time');
    }, this.options.readyTimeoutMs ?? 10000);
    this.send(build.hostInfo());
  }

  private receive(frame: unknown): void {
    const decoded = decodeFrame(frame);
    if ('undecodable' in decoded) {
      this.undecodable.emit(decoded.undecodable);
      return;
    }
    const message = decoded.message;
    if (message.type === 'hostInfo' && this.status.state === 'connecting') {
      this.clock.clearTimeout(this.readyTimer);
      const info = message as unknown as HostInfo;
      if (info.protocol !== PROTOCOL) {
        this.drop();
        this.end('incompatible', `the host speaks protocol ${String(info.protocol)}, this kit ${PROTOCOL}`);
        return;
      }
      this.readyAt = this.clock.now();
      this.setStatus({ state: 'ready', hostInfo: info });
    }
    this.byType.get(message.type)?.emit(message);
    this.byType.get('*')?.emit(message);
  }

  // Ends the port from this side: the browser closes the host's input and the host exits.
  private drop(): void {
    this.clock.clearTimeout(this.readyTimer);
    const port = this.port;
    this.port = null;
    try {
      port?.disconnect();
    } catch {
      // already gone
    }
  }

  private end(reason: Reason | 'incompatible', message: string | undefined): void {
    this.clock.clearTimeout(this.readyTimer);
    if (this.readyAt !== null && this.policy && this.clock.now() - this.readyAt >= this.policy.stableMs) {
      this.attempt = 0;
    }
    this.readyAt = null;
    const permanent = reason === 'incompatible' || isPermanent(reason);
    const status: Status = { state: 'disconnected', reason, message, permanent };
    if (this.policy && !permanent && !this.closed) {
      status.retryInMs = backoffDelay(this.policy, this.attempt++, this.options.random ?? Math.random);
      this.retryTimer = this.clock.setTimeout(() => this.open(), status.retryInMs);
    }
    this.setStatus(status);
  }

  private setStatus(status: Status): void {
    this.status = status;
    this.states.emit(status);
  }
}

/**
 * Opens a port to the host and keeps it: connecting → ready once the host has answered hostInfo
 * → disconnected with a reason, and connecting again after a backoff unless the reason is
 * permanent. Keeps nothing a restarted service worker could miss: call it again at start-up.
 */
export function connect(hostName: string, options: ConnectOptions = {}): Connection {
  const runtime = options.runtime ?? defaultRuntime();
  const connections = runtime ? live.get(runtime) ?? new Map<string, NativeConnection>() : null;
  const existing = connections?.get(hostName);
  // One that ended for good (say the host was not registered yet) makes way for a new attempt.
  const ended = existing?.status.state === 'disconnected' && existing.status.retryInMs === undefined;
  if (existing && !ended) {
    return existing;
  }
  const connection = new NativeConnection(hostName, runtime, options);
  if (runtime && connections) {
    connections.set(hostName, connection);
    live.set(runtime, connections);
  }
  return connection;
}

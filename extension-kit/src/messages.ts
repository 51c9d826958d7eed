// Messages to and from the host, as docs/PROTOCOL.md describes them.

/** A tab: the browser's numeric id or the string the host already uses. */
export type TabId = number | string;

/** Every message the extension sends: the envelope. */
export interface Envelope {
  tabID?: string;
  type: string;
  requestID?: string;
  payload?: unknown;
}

/** What the host says about itself in answer to hostInfo. */
export interface HostInfo {
  type: 'hostInfo';
  bridge: 'loading' | 'ready' | 'unavailable';
  name: string;
  protocol: number;
  version: string;
}

export interface LogLevelUpdate {
  type: 'updateLogLevel';
  level: number;
}

/** Any message that arrived: the agent's and the design tool's have members of their own. */
export interface InboundMessage {
  type: string;
  tabID?: string;
  requestID?: string;
  [member: string]: unknown;
}

/** A frame that holds no message with a type: the text is kept for whoever wants to read it. */
export interface UndecodableFrame {
  problem: 'notAString' | 'notJson' | 'noType';
  frame: unknown;
}

export type Decoded = { message: InboundMessage } | { undecodable: UndecodableFrame };

/** Every frame is a JSON string holding the message: the browser parsed it once, this parses it again. */
export function decodeFrame(frame: unknown): Decoded {
  if (typeof frame !== 'string') {
    return { undecodable: { problem: 'notAString', frame } };
  }
  let value: unknown;
  try {
    value = JSON.parse(frame);
  } catch {
    return { undecodable: { problem: 'notJson', frame } };
  }
  const type = (value as { type?: unknown } | null)?.type;
  if (typeof value !== 'object' || Array.isArray(value) || typeof type !== 'string' || type === '') {
    return { undecodable: { problem: 'noType', frame } };
  }
  return { message: value as InboundMessage };
}

/** The host reads a numeric tabID as no tab at all: it is always sent as a string. */
const tab = (id: TabId) => String(id);

/** One builder for each message of the protocol. */
export const build = {
  documentComplete: (tabId: TabId, url: string, topLevel: boolean): Envelope =>
    ({ tabID: tab(tabId), type: 'documentComplete', payload: { url, bTopLvlDoc: topLevel ? 'true' : 'false' } }),
  basicAuthentication: (tabId: TabId, host: string): Envelope =>
    ({ tabID: tab(tabId), type: 'basicAuthentication', payload: { host } }),
  saveCredentials: (tabId: TabId, host: string, username: string, password: string): Envelope =>
    ({ tabID: tab(tabId), type: 'saveCredentials', payload: { host, username, password } }),
  /** values: signature → captured value. */
  triggerFired: (tabId: TabId, triggerId: string, values: Record<string, string>): Envelope => ({
    tabID: tab(tabId), type: 'triggerFired',
    payload: { triggerId, values: Object.entries(values).map(([signature, value]) => ({ signature, value })) },
  }),
  triggerFailed: (tabId: TabId, triggerId: string): Envelope =>
    ({ tabID: tab(tabId), type: 'triggerFailed', payload: { triggerId } }),
  /** level: an integer; the host keeps its low 32 bits. */
  log: (tabId: TabId, level: number, message: string): Envelope =>
    ({ tabID: tab(tabId), type: 'log', payload: { level: Math.trunc(level), message } }),
  closeTab: (tabId: TabId): Envelope => ({ tabID: tab(tabId), type: 'closeTab' }),
  /** For the design tool: the host passes the whole message on as it is. */
  xpath: (tabId: TabId, payload: Record<string, unknown>): Envelope =>
    ({ tabID: tab(tabId), type: 'XPath', payload }),
  hostInfo: (): Envelope => ({ type: 'hostInfo' }),
  /**
   * The answer to a request of the agent: its tab and requestID, every value a string. The host
   * passes no type to the agent, so the type is "answer": without a requestID the host drops it
   * instead of taking it for another message.
   */
  answer: (request: InboundMessage, payload: Record<string, string>): Envelope => ({
    tabID: request.tabID ?? '', type: 'answer', requestID: request.requestID ?? '', payload,
  }),
};

/** Bytes of UTF-8 the browser writes for a message: its JSON text. */
export function encodedSize(message: unknown): number {
  return new TextEncoder().encode(JSON.stringify(message)).length;
}

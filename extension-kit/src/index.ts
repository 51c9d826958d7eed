export { connect, backoffDelay, MAX_MESSAGE_BYTES, PROTOCOL } from './connection.js';
export type { Clock, Connection, ConnectOptions, ReconnectPolicy, SendError, SendResult, State, Status } from './connection.js';
export { build, decodeFrame, encodedSize } from './messages.js';
export type { Decoded, Envelope, HostInfo, InboundMessage, LogLevelUpdate, TabId, UndecodableFrame } from './messages.js';
export { isPermanent, reasonFromBrowserText } from './reasons.js';
export type { Reason } from './reasons.js';
export type { NativeEvent, NativePort, NativeRuntime } from './port.js';

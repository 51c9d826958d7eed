import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { backoffDelay, build, connect, reasonFromBrowserText } from '../dist/index.js';
import { fakeClock, fakeRuntime, HOST_INFO } from './fake.mjs';

function setUp(options = {}) {
  const runtime = fakeRuntime();
  const clock = fakeClock();
  const statuses = [];
  const connection = connect('com.quenlow.host', { runtime, clock, random: () => 0, ...options });
  connection.onState((status) => statuses.push(status));
  return { runtime, clock, connection, statuses };
}

// Every text of the shared table reads as its reason, with its varying parts filled in.
test('each browser text gives its reason', () => {
  const table = readFileSync(new URL('../../browser/tools/register/browser_messages.txt', import.meta.url), 'utf8');
  const rows = table.split('\n').map((line) => /^([a-z]+) ([a-zA-Z]+) (.+)$/.exec(line)).filter(Boolean);
  assert.ok(rows.length >= 10);
  for (const [, , reason, text] of rows) {
    assert.equal(reasonFromBrowserText(text.replace(/\{\w+\}/g, 'x y')), reason, text);
  }
  assert.equal(reasonFromBrowserText(undefined), 'exited');
  assert.equal(reasonFromBrowserText('Specified native messaging host not found. '), 'unknown');
});

test('connecting → ready on the hostInfo answer, a requestID-less hostInfo sent first', () => {
  const { runtime, connection, statuses } = setUp();
  assert.equal(connection.status.state, 'connecting');
  assert.deepEqual(runtime.port.posted, [{ type: 'hostInfo' }]);
  runtime.port.message({ level: 3, type: 'updateLogLevel' });
  assert.equal(connection.status.state, 'connecting');
  runtime.port.message(HOST_INFO);
  assert.deepEqual(statuses.map((s) => s.state), ['ready']);
  assert.deepEqual(connection.status.hostInfo, HOST_INFO);
});

const disconnects = [
  // [case, how the browser closes, reason, permanent]
  ['chromium: not found', { chromium: 'Specified native messaging host not found.' }, 'notFound', true],
  ['chromium: forbidden', { chromium: 'Access to the specified native messaging host is forbidden.' }, 'forbidden', true],
  ['chromium: blocked', { chromium: 'Access to the native messaging host was disabled by the system administrator.' }, 'blocked', true],
  ['chromium: failed to start', { chromium: 'Failed to start native messaging host.' }, 'failedToStart', false],
  ['chromium: exited', { chromium: 'Native host has exited.' }, 'exited', false],
  ['chromium: frame too large', { chromium: 'Error when communicating with the native messaging host.' }, 'protocolError', false],
  ['firefox: no such application', { firefox: 'No such native application com.quenlow.host' }, 'notFound', true],
  ['firefox: exited (no error)', { firefox: null }, 'exited', false],
  ['firefox: cannot start', { firefox: 'An unexpected error occurred' }, 'failedToStart', false],
  ['unknown text', { chromium: 'Something new.' }, 'unknown', false],
];

for (const [name, how, reason, permanent] of disconnects) {
  test(`disconnect, ${name}: ${reason}, ${permanent ? 'no reconnect' : 'reconnects'}`, () => {
    const { runtime, clock, connection } = setUp();
    runtime.port.close(how);
    assert.equal(connection.status.state, 'disconnected');
    assert.equal(connection.status.reason, reason);
    assert.equal(connection.status.permanent, permanent);
    assert.equal(connection.status.retryInMs, permanent ? undefined : 1000);
    clock.advance(120000);
    assert.equal(runtime.ports.length, permanent ? 1 : 2);
  });
}

test('connectNative that throws: the reason from its text', () => {
  const runtime = fakeRuntime();
  runtime.refuseWith = 'Invalid native messaging host name specified.';
  const connection = connect('Bad Name', { runtime, clock: fakeClock() });
  assert.equal(connection.status.reason, 'notFound');
  assert.equal(connect('no runtime here', { runtime: undefined }).status.reason, 'unavailable');
});

test('no hostInfo answer within the bound: the port is dropped and retried', () => {
  const { runtime, clock, connection } = setUp({ readyTimeoutMs: 500 });
  clock.advance(499);
  assert.equal(connection.status.state, 'connecting');
  clock.advance(1);
  assert.equal(connection.status.reason, 'noHostInfo');
  assert.ok(runtime.ports[0].disconnected);
  clock.advance(1000);
  assert.equal(runtime.ports.length, 2);
});

test('a host of another protocol: disconnected for good', () => {
  const { runtime, clock, connection } = setUp();
  runtime.port.message({ ...HOST_INFO, protocol: 2 });
  assert.deepEqual([connection.status.reason, connection.status.permanent], ['incompatible', true]);
  assert.ok(runtime.ports[0].disconnected);
  clock.advance(120000);
  assert.equal(runtime.ports.length, 1);
});

test('backoff doubles up to the cap, jitter shortens, a stable connection starts afresh', () => {
  const policy = { firstDelayMs: 1000, maxDelayMs: 8000, factor: 2, jitter: 0.5, stableMs: 30000 };
  assert.deepEqual([0, 1, 2, 3, 4, 10].map((n) => backoffDelay(policy, n, () => 0)), [1000, 2000, 4000, 8000, 8000, 8000]);
  assert.equal(backoffDelay(policy, 3, () => 0.999), 4004);

  const { runtime, clock, statuses } = setUp({ reconnect: policy });
  const exit = () => runtime.port.close({ chromium: 'Native host has exited.' });
  const delays = [];
  for (let i = 0; i < 5; ++i) {
    exit();
    delays.push(statuses.at(-1).retryInMs);
    clock.advance(statuses.at(-1).retryInMs);
  }
  assert.deepEqual(delays, [1000, 2000, 4000, 8000, 8000]);
  runtime.port.message(HOST_INFO);
  clock.advance(29999);
  exit();
  assert.equal(statuses.at(-1).retryInMs, 8000, 'ready, but not for stableMs');
  clock.advance(8000);
  runtime.port.message(HOST_INFO);
  clock.advance(30000);
  exit();
  assert.equal(statuses.at(-1).retryInMs, 1000);
});

test('one port at a time: connect again gives the same connection; close ends it for good', () => {
  const { runtime, clock, connection } = setUp();
  assert.equal(connect('com.quenlow.host', { runtime }), connection);
  runtime.port.close({ chromium: 'Native host has exited.' });
  connection.close();
  clock.advance(120000);
  assert.equal(runtime.ports.length, 1, 'the pending reconnect was cancelled');
  assert.equal(connection.status.reason, 'closed');
  assert.notEqual(connect('com.quenlow.host', { runtime, clock }), connection);
  assert.equal(runtime.ports.length, 2);
  runtime.ports[0].close({ chromium: 'Native host has exited.' });  // a late event of an old port
  assert.equal(runtime.ports.length, 2);
  // Ended for good (not registered yet): connecting again, once registered, is a new attempt.
  runtime.port.close({ chromium: 'Specified native messaging host not found.' });
  connect('com.quenlow.host', { runtime, clock });
  assert.equal(runtime.ports.length, 3);
});

test('send: refused when too large or not connected, typed; a throwing port is caught', () => {
  const { runtime, connection } = setUp({ maxMessageBytes: 100, reconnect: false });
  const bytes = Buffer.byteLength(JSON.stringify(build.log(1, 2, ''))) + 80;  // UTF-8, not UTF-16 units
  assert.deepEqual(connection.send(build.log(1, 2, 'é'.repeat(40))), { sent: false, error: { code: 'tooLarge', bytes, limit: 100 } });
  assert.deepEqual(connection.send(build.closeTab(1)), { sent: true });
  runtime.port.postMessage = () => { throw new Error('Attempting to use a disconnected port object'); };
  assert.deepEqual(connection.send(build.closeTab(1)).error, { code: 'portError', message: 'Attempting to use a disconnected port object' });
  runtime.port.close({ chromium: 'Native host has exited.' });
  assert.deepEqual(connection.send(build.closeTab(1)).error, { code: 'notConnected' });
});

test('frames: dispatch by type, "*" for all, undecodable ones typed, a throwing handler contained', () => {
  const { runtime, connection } = setUp();
  const seen = [];
  connection.on('documentCompleteAck', (m) => seen.push(['ack', m.tabID]));
  connection.on('updateLogLevel', (m) => seen.push(['level', m.level]));
  connection.on('*', (m) => seen.push(['*', m.type]));
  connection.onUndecodable((u) => seen.push(['undecodable', u.problem]));
  connection.on('updateLogLevel', () => { throw new Error('handler fault'); });
  const reported = [];
  globalThis.reportError = (error) => reported.push(error.message);
  for (const frame of ['{"level":3,"type":"updateLogLevel"}', 7, 'not json', '[1]', '{"type":""}', '"text"']) {
    runtime.port.frame(frame);
  }
  runtime.port.message({ tabID: '7', type: 'documentCompleteAck' });
  delete globalThis.reportError;
  assert.deepEqual(reported, ['handler fault']);
  assert.deepEqual(seen, [['level', 3], ['*', 'updateLogLevel'], ['undecodable', 'notAString'], ['undecodable', 'notJson'],
    ['undecodable', 'noType'], ['undecodable', 'noType'], ['undecodable', 'noType'], ['ack', '7'], ['*', 'documentCompleteAck']]);
});

test('builders: the envelopes of the protocol', () => {
  const cases = [
    [build.documentComplete(7, 'https://a.example/', true), { tabID: '7', type: 'documentComplete', payload: { url: 'https://a.example/', bTopLvlDoc: 'true' } }],
    [build.basicAuthentication('7', 'h'), { tabID: '7', type: 'basicAuthentication', payload: { host: 'h' } }],
    [build.saveCredentials(7, 'h', 'u', 'p'), { tabID: '7', type: 'saveCredentials', payload: { host: 'h', username: 'u', password: 'p' } }],
    [build.triggerFired(7, 't', { '#u': 'a' }), { tabID: '7', type: 'triggerFired', payload: { triggerId: 't', values: [{ signature: '#u', value: 'a' }] } }],
    [build.triggerFailed(7, 't'), { tabID: '7', type: 'triggerFailed', payload: { triggerId: 't' } }],
    [build.log(7, 2.9, 'm'), { tabID: '7', type: 'log', payload: { level: 2, message: 'm' } }],
    [build.closeTab(7), { tabID: '7', type: 'closeTab' }],
    [build.xpath(3, { xpath: '//a' }), { tabID: '3', type: 'XPath', payload: { xpath: '//a' } }],
    [build.hostInfo(), { type: 'hostInfo' }],
    [build.answer({ tabID: '7', type: 'agentRequest', requestID: 'r-1' }, { pageTitle: 'T' }), { tabID: '7', type: 'answer', requestID: 'r-1', payload: { pageTitle: 'T' } }],
  ];
  for (const [built, wire] of cases) {
    assert.deepEqual(built, wire);
  }
});

// Drives the native host from a real browser through the extension kit (kit/: the kit's built
// dist/, copied in by the test) and posts what it saw to the test's local server. Chromium runs it
// as the extension's service worker, Firefox as its background script. The test writes config.json
// beside it, with { port } and one of:
//   { hostName, unicodeUrl, edgeUrlLength }  one session through the host;
//   { probeHosts }                           connect to each host in turn, report how it went;
//   { exitingHost }                          a host that exits at once: the kit's reconnects;
//   { restartHost, reportFirst }             connect, then reload the extension (the worker
//                                            stops, its host with it), connect again, report.
import { build, connect } from './kit/index.js';

// Only a step that fails waits this long; a loaded machine can take seconds over a mebibyte.
const STEP_TIMEOUT_MS = 60000;
const runtime = (globalThis.browser ?? globalThis.chrome).runtime;
const storage = (globalThis.browser ?? globalThis.chrome).storage.local;

let config;

// Resolves with the connection's first status that satisfies `matches`, or null in time.
function statusWhere(connection, matches) {
  return new Promise((resolve) => {
    if (matches(connection.status)) {
      resolve(connection.status);
      return;
    }
    const timer = setTimeout(() => { stop(); resolve(null); }, STEP_TIMEOUT_MS);
    const stop = connection.onState((status) => {
      if (matches(status)) {
        clearTimeout(timer);
        stop();
        resolve(status);
      }
    });
  });
}

const settled = (connection) => statusWhere(connection, (s) => s.state !== 'connecting');

async function session() {
  const received = [];  // every message from the host but its hostInfo answer, in order
  let waiters = [];
  const connection = connect(config.hostName, { reconnect: false, readyTimeoutMs: STEP_TIMEOUT_MS });
  connection.on('*', (message) => {
    if (message.type !== 'hostInfo') {
      received.push(message);
      waiters.forEach((wake) => wake());
      waiters = [];
    }
  });
  const undecodable = [];
  connection.onUndecodable((frame) => undecodable.push(frame));

  // The first message (from index `from` on) that satisfies `matches`, or null.
  const waitFor = async (matches, from = 0) => {
    const deadline = Date.now() + STEP_TIMEOUT_MS;
    for (;;) {
      const found = received.slice(from).find(matches);
      if (found !== undefined) {
        return found;
      }
      if (connection.status.state === 'disconnected' || Date.now() >= deadline) {
        return null;
      }
      await new Promise((resolve) => { waiters.push(resolve); setTimeout(resolve, 100); });
    }
  };
  const ackFor = (tabID) => (m) => m.type === 'documentCompleteAck' && m.tabID === tabID;
  const longUrl = (length) => 'https://long.example/' + 'a'.repeat(length - 'https://long.example/'.length);
  const report = { steps: {} };
  const steps = report.steps;

  steps.ready = await settled(connection);
  steps.first = await waitFor(() => true);

  connection.send(build.saveCredentials(1, 'intranet.example', 'alice', 'pä$$wörd'));
  connection.send(build.basicAuthentication(1, 'intranet.example'));
  steps.credentials = await waitFor((m) => m.type === 'basicAuthCredentials');

  connection.send(build.documentComplete(2, config.unicodeUrl, true));
  steps.unicodeAck = await waitFor(ackFor('2'));

  const xpath = build.xpath(3, { xpath: "//div[@title='Zürich']" });
  connection.send(xpath);
  steps.echo = await waitFor((m) => m.type === 'XPath');
  steps.xpathSent = xpath;

  // An acknowledgement of exactly the browser's limit, then one a byte over it, then a short one.
  connection.send(build.documentComplete('edge', longUrl(config.edgeUrlLength), true));
  const edge = await waitFor(ackFor('edge'));
  steps.edgeAckLength = edge === null ? null : JSON.stringify(edge).length;
  connection.send(build.documentComplete('over', longUrl(config.edgeUrlLength + 1), true));
  connection.send(build.documentComplete('after', 'https://after.example/', true));
  steps.afterAck = await waitFor(ackFor('after'));
  steps.overArrived = received.some(ackFor('over'));
  steps.statusAfterOver = connection.status.state;


  // The acknowledgement of a later message proves the host has handled closeTab before it.
  connection.send(build.closeTab(9));
  connection.send(build.documentComplete('last', 'https://last.example/', true));
  steps.lastAck = await waitFor(ackFor('last'));

  connection.close();
  report.received = received.map((m) => (JSON.stringify(m).length > 4096 ? { type: m.type, tabID: m.tabID } : m));
  report.undecodable = undecodable;
  report.finalStatus = connection.status;
  return report;
}

// For each host: 'connected' once the host answered hostInfo (so it was started), else the
// browser's text; and the reason the kit read from it.
async function probe(hostNames) {
  const outcomes = {};
  const reasons = {};
  for (const hostName of hostNames) {
    const connection = connect(hostName, { reconnect: false, readyTimeoutMs: STEP_TIMEOUT_MS });
    const status = await settled(connection);
    connection.close();
    outcomes[hostName] = status?.state === 'ready' ? 'connected' : (status?.message ?? 'no answer');
    reasons[hostName] = status?.state === 'ready' ? 'ready' : status?.reason ?? 'no answer';
  }
  return { outcomes, reasons };
}

// A host that exits at once: the statuses of the first attempts, reconnects quick.
async function exiting(hostName) {
  const statuses = [];
  const connection = connect(hostName, { readyTimeoutMs: STEP_TIMEOUT_MS,
    reconnect: { firstDelayMs: 100, maxDelayMs: 400, jitter: 0 } });
  connection.onState((status) => statuses.push(status));
  await statusWhere(connection, () => statuses.filter((s) => s.state === 'disconnected').length >= 3);
  connection.close();
  return { statuses };
}

// The extension reloads once it was ready: its worker (or background page) stops, and its host
// with it. With config.reportFirst the first run reports before it reloads (headless Chromium
// does not start the reloaded worker again by itself); otherwise the second run connects anew
// and reports both runs' statuses.
async function restart(hostName) {
  const { firstRun } = await storage.get('firstRun');
  const connection = connect(hostName, { reconnect: false, readyTimeoutMs: STEP_TIMEOUT_MS });
  const status = await settled(connection);
  if (!firstRun) {
    await storage.set({ firstRun: status });
    if (config.reportFirst) {
      await post({ firstRun: status });
    }
    runtime.reload();
    return null;
  }
  await storage.remove('firstRun');
  const report = { firstRun, secondRun: status };
  connection.close();
  return report;
}

function post(report) {
  return fetch(`http://127.0.0.1:${config.port}/report`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(report),
  });
}

async function run() {
  config = await (await fetch(runtime.getURL('config.json'))).json();
  let report;
  try {
    if (config.probeHosts) {
      report = await probe(config.probeHosts);
    } else if (config.exitingHost) {
      report = await exiting(config.exitingHost);
    } else if (config.restartHost) {
      report = await restart(config.restartHost);
    } else {
      report = await session();
    }
  } catch (error) {
    report = { error: String(error && error.stack || error) };
  }
  if (report !== null) {
    await post(report);
  }
}

run();

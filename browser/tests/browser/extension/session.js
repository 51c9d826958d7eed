// Drives the native host from a real browser and posts what it saw to the test's local server.
// Chromium runs it as the extension's service worker, Firefox as its background script. The test
// writes config.json beside it: { port, hostName, unicodeUrl, edgeUrlLength } for one session
// through the host, or { port, probeHosts } to try connecting to each of those hosts in turn.

// Only a step that fails waits this long; a loaded machine can take seconds over a mebibyte.
const STEP_TIMEOUT_MS = 60000;

let config;
const received = [];  // every message from the host, in order of arrival
let disconnectReason = null;
let waiters = [];

function wake() {
  const pending = waiters;
  waiters = [];
  pending.forEach((resolve) => resolve());
}

function inner(message) {
  if (typeof message !== 'string') {
    return null;
  }
  try {
    return JSON.parse(message);
  } catch (e) {
    return null;
  }
}

// Resolves with the first message (from index `from` on) that satisfies `matches`, or null when
// none arrives in time or the port goes away.
async function waitFor(matches, from = 0) {
  const deadline = Date.now() + STEP_TIMEOUT_MS;
  for (;;) {
    const found = received.slice(from).find(matches);
    if (found !== undefined) {
      return found;
    }
    if (disconnectReason !== null || Date.now() >= deadline) {
      return null;
    }
    await new Promise((resolve) => {
      waiters.push(resolve);
      setTimeout(resolve, 100);
    });
  }
}

function ackFor(tabID) {
  return (m) => {
    const reply = inner(m);
    return reply !== null && reply.type === 'documentCompleteAck' && reply.tabID === tabID;
  };
}

function documentComplete(tabID, url) {
  return { tabID, type: 'documentComplete', payload: { url, bTopLvlDoc: 'true' } };
}

function longUrl(length) {
  const start = 'https://long.example/';
  return start + 'a'.repeat(length - start.length);
}

async function bridgeReady() {
  const deadline = Date.now() + STEP_TIMEOUT_MS;
  while (Date.now() < deadline) {
    const answer = await fetch(`http://127.0.0.1:${config.port}/bridge-ready`);
    if ((await answer.text()) === 'yes') {
      return true;
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  return false;
}

async function session(port) {
  const report = { steps: {} };
  const steps = report.steps;

  steps.first = await waitFor(() => true);

  port.postMessage({
    tabID: '1', type: 'saveCredentials',
    payload: { host: 'intranet.example', username: 'alice', password: 'pä$$wörd' },
  });
  port.postMessage({ tabID: '1', type: 'basicAuthentication', payload: { host: 'intranet.example' } });
  steps.credentials = await waitFor((m) => {
    const reply = inner(m);
    return reply !== null && reply.type === 'basicAuthCredentials';
  });

  port.postMessage(documentComplete('2', config.unicodeUrl));
  steps.unicodeAck = await waitFor(ackFor('2'));

  steps.bridgeReady = await bridgeReady();
  const xpath = JSON.stringify({ tabID: '3', type: 'XPath', payload: { xpath: "//div[@title='Zürich']" } });
  port.postMessage(JSON.parse(xpath));
  steps.echo = await waitFor((m) => m === xpath);
  steps.xpathSent = xpath;

  // An acknowledgement of exactly the browser's limit, then one a byte over it, then a short one.
  port.postMessage(documentComplete('edge', longUrl(config.edgeUrlLength)));
  const edge = await waitFor(ackFor('edge'));
  steps.edgeAckLength = edge === null ? null : edge.length;
  port.postMessage(documentComplete('over', longUrl(config.edgeUrlLength + 1)));
  port.postMessage(documentComplete('after', 'https://after.example/'));
  steps.afterAck = await waitFor(ackFor('after'));
  steps.overArrived = received.some(ackFor('over'));
  steps.disconnectedAfterOver = disconnectReason;

  // The acknowledgement of a later message proves the host has handled closeTab before it.
  port.postMessage({ tabID: '9', type: 'closeTab' });
  port.postMessage(documentComplete('last', 'https://last.example/'));
  steps.lastAck = await waitFor(ackFor('last'));

  port.disconnect();
  report.received = received.map((m) => (typeof m === 'string' && m.length > 4096
    ? { truncated: m.slice(0, 200), length: m.length } : m));
  report.disconnectReason = disconnectReason;
  return report;
}

// Chromium reports why a port closed through runtime.lastError, Firefox through port.error.
function disconnectError(port) {
  if (port.error) {
    return port.error.message;
  }
  return chrome.runtime.lastError ? chrome.runtime.lastError.message : '';
}

// 'connected' once the host has sent its first message (so it was started), else the error the
// port closed with.
function tryHost(hostName) {
  return new Promise((resolve) => {
    let port = null;
    let settled = false;
    const settle = (outcome) => {
      if (settled) {
        return;
      }
      settled = true;
      clearTimeout(timer);
      if (outcome === 'connected') {
        port.disconnect();
      }
      resolve(outcome);
    };
    const timer = setTimeout(() => settle('no answer'), STEP_TIMEOUT_MS);
    try {
      port = chrome.runtime.connectNative(hostName);
      port.onMessage.addListener(() => settle('connected'));
      port.onDisconnect.addListener(() => settle(disconnectError(port)));
    } catch (error) {
      settle(`threw: ${error.message}`);
    }
  });
}

async function probe(hostNames) {
  const outcomes = {};
  for (const hostName of hostNames) {
    outcomes[hostName] = await tryHost(hostName);
  }
  return { outcomes };
}

async function runSession() {
  const port = chrome.runtime.connectNative(config.hostName);
  port.onMessage.addListener((message) => {
    received.push(message);
    wake();
  });
  port.onDisconnect.addListener(() => {
    disconnectReason = disconnectError(port);
    wake();
  });
  return session(port);
}

async function run() {
  config = await (await fetch(chrome.runtime.getURL('config.json'))).json();
  let report;
  try {
    report = config.probeHosts ? await probe(config.probeHosts) : await runSession();
  } catch (error) {
    report = { error: String(error), received, disconnectReason };
  }
  await fetch(`http://127.0.0.1:${config.port}/report`, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(report),
  });
}

run();

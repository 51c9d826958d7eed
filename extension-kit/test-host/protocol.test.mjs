// docs/PROTOCOL.md's example exchanges, run through the kit against the built host: the kit
// connects (hostInfo), sends each message as an extension would, and must receive the frames the
// document shows, while the stand-in agent and bridge record the calls it shows. An example whose
// input an extension cannot send (raw bytes, text that is not JSON, JSON that a browser would
// write otherwise) stays with the docs test, which writes the bytes itself.
//
// QUENLOW_BIN_DIR: the built host's folder; QUENLOW_TARGET: linux or windows; QUENLOW_WINE_RUN:
// the Wine wrapper for the Windows build.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { connect } from '../dist/index.js';
import { spawnedRuntime } from './spawnedRuntime.mjs';

const BIN = process.env.QUENLOW_BIN_DIR;
const WINDOWS = process.env.QUENLOW_TARGET === 'windows';
const TIMEOUT_MS = WINDOWS ? 60000 : 20000;
const FRAME_KINDS = ['update', 'reply', 'echo', 'info'];
const KEYWORDS = new Set(['env', 'send', ...FRAME_KINDS, 'agent', 'bridge', 'debug']);

function examples() {
  const lines = readFileSync(new URL('../../docs/PROTOCOL.md', import.meta.url), 'utf8').split('\n');
  const found = [];
  let block = null;
  let fence = false;
  lines.forEach((line, index) => {
    if (block === null && !fence) {
      if (line.trim() === '```exchange') {
        block = { line: index + 1, lines: [] };
      } else if (line.startsWith('```')) {
        fence = true;
      }
    } else if (line.startsWith('```')) {
      if (block) {
        found.push(block);
      }
      block = null;
      fence = false;
    } else if (block && line.trim() && !line.startsWith('#')) {
      const [, keyword, rest] = /^(\S+)\s*(.*)$/.exec(line);
      block.lines.push([keyword, rest]);
    }
  });
  return found;
}

// Why an extension cannot send this example's input, or null.
function unsendable(example) {
  for (const [keyword, text] of example.lines) {
    if (!KEYWORDS.has(keyword)) {
      return `keyword ${keyword}`;
    }
    if (keyword === 'send') {
      try {
        if (JSON.stringify(JSON.parse(text)) !== text) {
          return 'a browser writes this JSON otherwise';
        }
      } catch {
        return 'not JSON';
      }
    }
  }
  return null;
}

const hostPath = (path) => (WINDOWS ? `Z:${path.replaceAll('/', '\\')}` : path);

function program(env) {
  const exe = join(BIN, WINDOWS ? 'Quenlow.exe' : 'Quenlow');
  return {
    command: WINDOWS ? process.env.QUENLOW_WINE_RUN : exe,
    args: WINDOWS ? [exe] : [],
    cwd: BIN,
    env: { ...process.env, ...env },
  };
}

const journal = (path) => (existsSync(path) ? readFileSync(path, 'utf8').split('\n').filter(Boolean) : []);

const isMonitorEntry = (line) => /^\{"call":"WriteLog","args":\[3,"\{\\"level\\":-?\d+,\\"type\\":\\"updateLogLevel\\"\}"\]\}$/.test(line);

// The lines in order without the log-level monitor's, and the monitor's in any order.
const apart = (lines) => [lines.filter((l) => !isMonitorEntry(l)), lines.filter(isMonitorEntry).sort()];

function waitFor(condition, what) {
  return new Promise((resolve, reject) => {
    const deadline = Date.now() + TIMEOUT_MS;
    const poll = () => {
      if (condition()) {
        resolve();
      } else if (Date.now() > deadline) {
        reject(new Error(`timed out waiting for ${what}`));
      } else {
        setTimeout(poll, 20);
      }
    };
    poll();
  });
}

for (const example of examples()) {
  const skip = unsendable(example);
  test(`PROTOCOL.md line ${example.line}`, { skip: skip ?? false }, async () => {
    const dir = mkdtempSync(join(tmpdir(), 'kit-host-'));
    try {
      const agentJournal = join(dir, 'agent.jsonl');
      const bridgeJournal = join(dir, 'bridge.jsonl');
      const env = { VARNHOLD_JOURNAL: hostPath(agentJournal), HALVERN_JOURNAL: hostPath(bridgeJournal), VARNHOLD_LOG_LEVEL: '1' };
      const expected = Object.fromEntries(FRAME_KINDS.map((kind) => [kind, []]));
      const calls = { agent: [], bridge: [] };
      const sends = [];
      for (const [keyword, text] of example.lines) {
        if (keyword === 'env') {
          const [name, ...value] = text.split('=');
          env[name] = value.join('=');
        } else if (keyword === 'send') {
          sends.push(JSON.parse(text));
        } else if (keyword in expected) {
          expected[keyword].push(JSON.stringify(JSON.parse(JSON.parse(text))));
        } else if (keyword in calls) {
          calls[keyword].push(text);
        }
      }

      const runtime = spawnedRuntime(program(env));
      const connection = connect('com.quenlow.host', { runtime, reconnect: false, readyTimeoutMs: TIMEOUT_MS });
      const received = [];
      connection.on('*', (message) => received.push(JSON.stringify(message)));
      connection.onUndecodable((frame) => received.push(frame));
      await waitFor(() => connection.status.state !== 'connecting', 'the hostInfo answer');
      assert.equal(connection.status.state, 'ready', JSON.stringify(connection.status));
      const info = connection.status.hostInfo;
      assert.deepEqual([info.name, info.protocol, typeof info.version, ['loading', 'ready', 'unavailable'].includes(info.bridge)],
        ['com.quenlow.host', 1, 'string', true]);

      // The answer to the kit's own hostInfo: the first of its type, which made the kit ready.
      received.splice(received.findIndex((m) => m.startsWith('{"bridge":') && m.includes('"type":"hostInfo"')), 1);
      // Sends once the bridge runs, as the docs test does: hostInfo then says "ready".
      await waitFor(() => journal(bridgeJournal).some((line) => line.includes('"CreateThreadBroker"')), 'the bridge');
      for (const message of sends) {
        assert.deepEqual(connection.send(message), { sent: true });
      }
      const count = FRAME_KINDS.reduce((sum, kind) => sum + expected[kind].length, 0);
      await waitFor(() => received.length >= count, `${count} frames`);
      connection.close();
      assert.equal(await runtime.ports[0].exited, 0);

      assert.deepEqual([...received].sort(), FRAME_KINDS.flatMap((kind) => expected[kind]).sort(), 'frames');
      for (const kind of FRAME_KINDS) {
        assert.deepEqual(received.filter((m) => expected[kind].includes(m)), expected[kind], `${kind} order`);
      }
      const agent = journal(agentJournal).filter((line) => !line.includes('"call":"GetLogLevel"'));
      assert.deepEqual(apart(agent), apart(calls.agent), 'agent');
      assert.deepEqual(journal(bridgeJournal).filter((l) => l.startsWith('{"call":"SendMessageToKestrova"')), calls.bridge, 'bridge');
    } finally {
      rmSync(dir, { recursive: true, force: true });
    }
  });
}

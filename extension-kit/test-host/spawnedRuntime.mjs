// A runtime for Node whose connectNative starts the host as Chromium does: the program with the
// caller's origin as its argument, in its own folder; frames of a 4-byte length in the machine's
// byte order and UTF-8 JSON each way; a reply over 1 MiB or the host's exit closes the port with
// Chromium's words; disconnect() ends the host's input and kills it two seconds later.
import { spawn } from 'node:child_process';
import { endianness } from 'node:os';

const MAX_FROM_HOST = 1024 * 1024;
const EXITED = 'Native host has exited.';
const IO_ERROR = 'Error when communicating with the native messaging host.';
const FAILED_TO_START = 'Failed to start native messaging host.';

const readLength = (buffer) => (endianness() === 'LE' ? buffer.readUInt32LE(0) : buffer.readUInt32BE(0));

function frame(message) {
  const body = Buffer.from(JSON.stringify(message), 'utf8');
  const head = Buffer.alloc(4);
  endianness() === 'LE' ? head.writeUInt32LE(body.length) : head.writeUInt32BE(body.length);
  return Buffer.concat([head, body]);
}

// program: { command, args, cwd, env } of the host.
export function spawnedRuntime(program, origin = 'chrome-extension://kit-test/') {
  const runtime = {
    lastError: null,
    ports: [],
    connectNative() {
      const child = spawn(program.command, [...program.args, origin],
        { cwd: program.cwd, env: program.env, stdio: ['pipe', 'pipe', 'inherit'] });
      const messageListeners = [];
      const disconnectListeners = [];
      let pending = Buffer.alloc(0);
      let open = true;
      const exited = new Promise((resolve) => child.once('close', (code) => resolve(code)));

      const closeWith = (text) => {
        if (!open) {
          return;
        }
        open = false;
        child.stdin.end();
        runtime.lastError = { message: text };
        disconnectListeners.forEach((listener) => listener(port));
        runtime.lastError = null;
      };
      child.stdin.on('error', () => {});
      child.once('error', () => closeWith(FAILED_TO_START));
      child.once('close', () => closeWith(EXITED));
      child.stdout.on('data', (chunk) => {
        pending = Buffer.concat([pending, chunk]);
        while (open && pending.length >= 4) {
          const length = readLength(pending);
          if (length > MAX_FROM_HOST) {
            closeWith(IO_ERROR);
            child.kill('SIGKILL');
            return;
          }
          if (pending.length < 4 + length) {
            return;
          }
          const body = pending.subarray(4, 4 + length).toString('utf8');
          pending = pending.subarray(4 + length);
          let value;
          try {
            value = JSON.parse(body);
          } catch {
            continue;  // Chromium drops a body that is not JSON and keeps the port
          }
          messageListeners.forEach((listener) => listener(value));
        }
      });

      const port = {
        exited,
        postMessage(message) {
          if (!open) {
            throw new Error('Attempting to use a disconnected port object');
          }
          child.stdin.write(frame(message));
        },
        disconnect() {
          if (!open) {
            return;
          }
          open = false;
          child.stdin.end();
          const kill = setTimeout(() => child.kill('SIGKILL'), 2000);
          exited.then(() => clearTimeout(kill));
        },
        onMessage: { addListener: (listener) => messageListeners.push(listener) },
        onDisconnect: { addListener: (listener) => disconnectListeners.push(listener) },
      };
      runtime.ports.push(port);
      return port;
    },
  };
  return runtime;
}

// A runtime whose ports the test drives by hand, and a clock whose timers it fires.
export function fakeRuntime() {
  const runtime = {
    ports: [],
    lastError: null,
    refuseWith: null,  // connectNative throws this text
    connectNative(hostName) {
      if (runtime.refuseWith) {
        throw new Error(runtime.refuseWith);
      }
      const port = {
        hostName, posted: [], disconnected: false, error: undefined, messageListeners: [], disconnectListeners: [],
        postMessage(message) { port.posted.push(message); },
        disconnect() { port.disconnected = true; },
        onMessage: { addListener: (l) => port.messageListeners.push(l) },
        onDisconnect: { addListener: (l) => port.disconnectListeners.push(l) },
        // The host sends a frame: the browser hands the extension its JSON string.
        frame(value) { port.messageListeners.forEach((l) => l(value)); },
        message(object) { port.frame(JSON.stringify(object)); },
        // The browser closes the port: Chromium through runtime.lastError, Firefox through port.error.
        close({ chromium, firefox } = {}) {
          port.error = firefox === undefined ? undefined : (firefox === null ? null : { message: firefox });
          runtime.lastError = chromium === undefined ? null : { message: chromium };
          port.disconnectListeners.forEach((l) => l(port));
          runtime.lastError = null;
        },
      };
      runtime.ports.push(port);
      return port;
    },
    get port() { return runtime.ports.at(-1); },
  };
  return runtime;
}

export function fakeClock() {
  const clock = {
    time: 0,
    timers: new Map(),
    next: 1,
    setTimeout(callback, ms) { const id = clock.next++; clock.timers.set(id, { callback, at: clock.time + ms, ms }); return id; },
    clearTimeout(id) { clock.timers.delete(id); },
    now: () => clock.time,
    pending: () => [...clock.timers.values()].map((t) => t.ms),
    // Moves time on by ms, firing what falls due.
    advance(ms) {
      clock.time += ms;
      for (const [id, timer] of [...clock.timers]) {
        if (timer.at <= clock.time && clock.timers.delete(id)) {
          timer.callback();
        }
      }
    },
  };
  return clock;
}

export const HOST_INFO = { bridge: 'ready', name: 'com.quenlow.host', protocol: 1, type: 'hostInfo', version: '1.0.0' };

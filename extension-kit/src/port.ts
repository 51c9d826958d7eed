// The little of the browsers' runtime API the kit uses, typed here so that it needs neither
// browser's type package. Chromium's chrome.runtime and Firefox's browser.runtime both fit.

export interface NativeEvent<Listener> {
  addListener(listener: Listener): void;
}

export interface NativePort {
  postMessage(message: unknown): void;
  disconnect(): void;
  onMessage: NativeEvent<(message: unknown) => void>;
  onDisconnect: NativeEvent<(port: NativePort) => void>;
  /** Firefox: why the port closed (null when the host ended its output). */
  error?: { message?: string } | null;
}

export interface NativeRuntime {
  connectNative(hostName: string): NativePort;
  /** Chromium: why the port closed, read inside onDisconnect. */
  lastError?: { message?: string } | null;
}

interface Namespaces {
  browser?: { runtime?: NativeRuntime };
  chrome?: { runtime?: NativeRuntime };
}

/** browser.runtime where it exists (Firefox), else chrome.runtime (Chromium). */
export function defaultRuntime(): NativeRuntime | undefined {
  const scope = globalThis as Namespaces;
  const runtime = scope.browser?.runtime ?? scope.chrome?.runtime;
  return runtime && typeof runtime.connectNative === 'function' ? runtime : undefined;
}

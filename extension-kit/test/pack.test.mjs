// What npm pack makes installs into an empty folder, and the example extension type-checks against
// the types it ships (chrome.* is the browser's: left untyped here).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const kit = fileURLToPath(new URL('..', import.meta.url));
const tsc = join(kit, 'node_modules', 'typescript', 'bin', 'tsc');

test('the packed kit installs and types the example', { timeout: 300000 }, () => {
  const dir = mkdtempSync(join(tmpdir(), 'kit-pack-'));
  try {
    const [{ filename, files }] = JSON.parse(execFileSync('npm', ['pack', '--json', '--pack-destination', dir], { cwd: kit, stdio: ['ignore', 'pipe', 'ignore'] }));
    assert.ok(files.some((f) => f.path === 'dist/index.d.ts'));
    const app = join(dir, 'app');
    execFileSync('mkdir', [app]);
    writeFileSync(join(app, 'package.json'), '{"name":"app","version":"1.0.0","private":true,"type":"module"}');
    execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', join(dir, filename)], { cwd: app, stdio: 'ignore' });
    const example = readFileSync(new URL('../../examples/extension/background.js', import.meta.url), 'utf8');
    writeFileSync(join(app, 'background.js'), example.replace("'./kit/index.js'", "'quenlow-extension-kit'"));
    writeFileSync(join(app, 'browser.d.ts'), 'declare const chrome: any;\n');
    copyFileSync(join(app, 'background.js'), join(app, 'wrong.js'));
    writeFileSync(join(app, 'wrong.js'), readFileSync(join(app, 'wrong.js'), 'utf8').replace('build.closeTab(tabId)', 'build.closeTab(tabId, 1)'));
    // One run for both: the example must pass, the same with a wrong call must not.
    const run = () => execFileSync(process.execPath, [tsc, '--noEmit', '--allowJs', '--checkJs', '--strict', '--noImplicitAny', 'false',
      '--target', 'es2020', '--module', 'es2020', '--moduleResolution', 'bundler', 'background.js', 'wrong.js', 'browser.d.ts'],
    { cwd: app, encoding: 'utf8' });
    assert.throws(run, (error) => {
      assert.match(error.stdout.trim(), /^wrong\.js\(\d+,\d+\): error TS2554: Expected 1 arguments, but got 2\.$/);
      return true;
    });
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

// Makes src/browserMessages.ts from the table the register tool's doctor is built from too, so
// that the kit and the doctor read one list of what browsers say.
import { readFileSync, writeFileSync } from 'node:fs';

const source = new URL('../../browser/tools/register/browser_messages.txt', import.meta.url);
const rows = readFileSync(source, 'utf8').split('\n')
  .map((line) => /^([a-z]+) ([a-zA-Z]+) (.+)$/.exec(line))
  .filter((match) => match !== null)
  .map(([, family, reason, text]) => ({ family, reason, text }));
if (rows.length === 0) {
  throw new Error(`${source.pathname}: no rows`);
}
writeFileSync(new URL('../src/browserMessages.ts', import.meta.url),
  '// Made by scripts/generate-messages.mjs from browser/tools/register/browser_messages.txt.\n' +
  '// {word} in a text stands for a part that varies.\n' +
  `export const browserMessages = ${JSON.stringify(rows, null, 2)} as const;\n`);

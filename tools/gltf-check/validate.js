// Validates glTF files with the Khronos validator; prints its report's counts and every error,
// exits 1 when a file has an error (2 when the validator is not installed).
// usage: node tools/gltf-check/validate.js FILE.glb...
'use strict';
const fs = require('fs');
const path = require('path');

let validator;
try {
  validator = require(path.join(process.env.Q9_NODE_MODULES ||
                                path.join(__dirname, '..', '..', 'build', 'node', 'node_modules'),
                                'gltf-validator'));
} catch (e) {
  console.error('gltf-validator is not installed (scripts/install-deps.sh installs it): ' + e.message);
  process.exit(2);
}

(async () => {
  let failed = false;
  for (const file of process.argv.slice(2)) {
    // Images are referenced by file URIs; they are read and checked too, so a map that is not
    // where the URI says is an error.
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
      uri: path.basename(file),
      externalResourceFunction: (uri) => new Promise((resolve, reject) => {
        // Wine shows this machine's root as drive Z:, so a Windows build's map paths resolve too.
        const local = uri.startsWith('file://')
          ? decodeURIComponent(uri.slice('file://'.length)).replace(/^\/[Zz]:\//, '/')
          : path.join(path.dirname(file), decodeURIComponent(uri));
        fs.readFile(local, (error, data) => (error ? reject(error) : resolve(new Uint8Array(data))));
      }),
    });
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                `${issues.numInfos} infos, ${issues.numHints} hints`);
    for (const message of issues.messages) {
      if (message.severity <= 1) console.log(`  ${['error', 'warning'][message.severity]} ${message.code} ${message.pointer || ''}: ${message.message}`);
    }
    if (issues.numErrors > 0) failed = true;
  }
  process.exit(failed ? 1 : 0);
})().catch((e) => { console.error(e); process.exit(1); });

// Validates glTF files with the Khronos validator; prints its report's counts and every error and
// warning, and exits 1 when a file has an error or a warning (infos and hints are allowed), 77
// when the validator is not installed (the test is then skipped).
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
  console.log('gltf-validator is not installed (scripts/install-deps.sh installs it): ' + e.message);
  process.exit(77);
}

(async () => {
  let failed = false;
  for (const file of process.argv.slice(2)) {
    // The files q9x writes are whole in themselves: nothing outside them is read.
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
      uri: path.basename(file),
      externalResourceFunction: (uri) => Promise.reject(new Error(`${uri}: not read`)),
    });
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                `${issues.numInfos} infos, ${issues.numHints} hints`);
    for (const message of issues.messages) {
      if (message.severity <= 1) console.log(`  ${['error', 'warning'][message.severity]} ${message.code} ${message.pointer || ''}: ${message.message}`);
    }
    if (issues.numErrors > 0 || issues.numWarnings > 0) failed = true;
  }
  process.exit(failed ? 1 : 0);
})().catch((e) => { console.error(e); process.exit(1); });

// SPDX-License-Identifier: MIT
// Ending environments while conversions are in flight never takes the
// process down: workers converting in loops, sync and async, ended by
// terminate() or by their own process.exit at random moments over many
// rounds, then the main thread's process.exit with its own conversions in
// flight. Judged by the process's exit status alone.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { spawnSync } = require('child_process');

const HOST = path.join(__dirname, 'teardown-host.js');

// Two seeds; each run is a separate process with 15 rounds of 4 workers.
for (const seed of [1, 2]) {
  test(`workers ended at random moments, seed ${seed}: the process exits with its own status`, () => {
    const run = spawnSync(process.execPath, [HOST, String(seed), '15', '4', '7'], { encoding: 'utf8', timeout: 300000 });
    assert.equal(run.signal, null, `killed by ${run.signal}; stderr:\n${run.stderr}`);
    assert.equal(run.status, 7, `exit status ${run.status}; stderr:\n${run.stderr}`);
    assert.doesNotMatch(run.stderr, /terminate called|Napi::Error|FATAL ERROR/);
  });
}

#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Builds the addon with node-gyp against the headers of the Node that runs
// this script (<prefix>/include/node beside <prefix>/bin/node), so nothing is
// downloaded. LYRN_NODEDIR names another header tree; extra arguments go to
// node-gyp. Run from the package folder (npm run build does).
'use strict';

const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');

const nodedir = path.resolve(process.env.LYRN_NODEDIR || path.join(path.dirname(process.execPath), '..'));
if (!fs.existsSync(path.join(nodedir, 'include', 'node', 'node_api.h'))) {
  process.stderr.write(
    `lyrn: no Node headers in ${nodedir}/include/node; install them (Debian: libnode-dev or the nodejs ` +
      `package that ships them) or set LYRN_NODEDIR to the folder that holds include/node\n`,
  );
  process.exit(1);
}

const where = spawnSync(process.execPath, [path.join(__dirname, 'find-lib.js'), 'where'], {
  cwd: process.cwd(),
  stdio: ['ignore', 'pipe', 'inherit'],
  encoding: 'utf8',
});
if (where.status !== 0) process.exit(1);
process.stderr.write(`lyrn: linking the library from ${where.stdout.trim()}; Node headers from ${nodedir}\n`);

const gyp = require.resolve('node-gyp/bin/node-gyp.js', { paths: [process.cwd(), path.join(__dirname, '..')] });
const jobs = process.env.JOBS || '2';
const result = spawnSync(
  process.execPath,
  [gyp, 'rebuild', `--nodedir=${nodedir}`, `--jobs=${jobs}`, ...process.argv.slice(2)],
  { stdio: 'inherit' },
);
process.exit(result.status === null ? 1 : result.status);

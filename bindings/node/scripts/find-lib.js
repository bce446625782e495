#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Tells binding.gyp where the lyrn C library is. `find-lib.js include`
// prints the header's folders, `find-lib.js libs` the linker arguments, one
// a line. Looked for, in this order:
//   1. LYRN_LIB_DIR (the folder holding the shared library, such as a CMake
//      build folder) with LYRN_INCLUDE_DIR (the folder holding lyrn.h);
//   2. pkg-config's quorvane-velotune-feed-rss-parser (an install or a
//      Debian package);
//   3. the build folder of the source tree this package sits in (../../build
//      after `make run`), with ../../include.
// A library outside the linker's default folders is found at run time
// through an rpath to its folder.
// `find-lib.js hosts-sources` and `hosts-include` name the hosts' shared
// preparation: hosts/ in this package when it carries a copy (a staged
// build), else ../../hosts of the source tree.
'use strict';

const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');

const LIB = 'quorvane-velotune-feed-rss-parser';
const SYSTEM_LIB_DIRS = new Set(['/lib', '/usr/lib', '/lib64', '/usr/lib64']);

function fail(message) {
  process.stderr.write(`lyrn: ${message}\n`);
  process.exit(1);
}

function hasHeader(dir) {
  return fs.existsSync(path.join(dir, 'lyrn.h'));
}

function hasLibrary(dir) {
  return fs.existsSync(path.join(dir, `lib${LIB}.so`)) || fs.existsSync(path.join(dir, `lib${LIB}.dylib`));
}

function pkgConfig(args) {
  try {
    return execFileSync('pkg-config', [...args, LIB], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }).trim();
  } catch {
    return null;
  }
}

function isSystemLibDir(dir) {
  return SYSTEM_LIB_DIRS.has(dir) || /^\/(usr\/)?lib\/[^/]+-linux-gnu[^/]*$/.test(dir);
}

// { includeDirs, libs, from }
function locate() {
  const envLib = process.env.LYRN_LIB_DIR;
  const envInclude = process.env.LYRN_INCLUDE_DIR;
  const repo = path.resolve(__dirname, '..', '..', '..');
  if (envLib) {
    const libDir = path.resolve(envLib);
    if (!hasLibrary(libDir)) fail(`LYRN_LIB_DIR=${envLib} holds no lib${LIB}.so`);
    const includeDir = path.resolve(envInclude || path.join(repo, 'include'));
    if (!hasHeader(includeDir)) fail(`no lyrn.h in ${includeDir}; set LYRN_INCLUDE_DIR to the folder that holds it`);
    return { includeDirs: [includeDir], libs: [`-L${libDir}`, `-l${LIB}`, `-Wl,-rpath,${libDir}`], from: libDir };
  }
  const cflags = pkgConfig(['--cflags-only-I']);
  const libs = pkgConfig(['--libs']);
  if (cflags !== null && libs !== null) {
    const includeDirs = cflags.split(/\s+/).filter(Boolean).map((f) => f.replace(/^-I/, ''));
    if (envInclude) includeDirs.unshift(path.resolve(envInclude));
    const libDir = pkgConfig(['--variable=libdir']);
    const args = libs.split(/\s+/).filter(Boolean);
    if (libDir && !isSystemLibDir(path.resolve(libDir))) args.push(`-Wl,-rpath,${path.resolve(libDir)}`);
    return { includeDirs, libs: args, from: `pkg-config (${libDir ? path.resolve(libDir) : 'default folders'})` };
  }
  const buildDir = path.join(repo, 'build');
  if (hasLibrary(buildDir) && hasHeader(path.join(repo, 'include'))) {
    return {
      includeDirs: [path.resolve(envInclude || path.join(repo, 'include'))],
      libs: [`-L${buildDir}`, `-l${LIB}`, `-Wl,-rpath,${buildDir}`],
      from: buildDir,
    };
  }
  fail(
    `cannot find lib${LIB}: set LYRN_LIB_DIR (and LYRN_INCLUDE_DIR) to its folders, ` +
      `install it where pkg-config finds ${LIB}.pc, or build it in ${buildDir}`,
  );
  return null;
}

// The folder of hosts/prepare.cpp, relative to the package folder (where
// binding.gyp resolves sources).
function hostsDir() {
  const pkg = path.resolve(__dirname, '..');
  for (const dir of [path.join(pkg, 'hosts'), path.join(pkg, '..', '..', 'hosts')]) {
    if (fs.existsSync(path.join(dir, 'prepare.cpp'))) return path.relative(pkg, dir) || '.';
  }
  fail(`no hosts/prepare.cpp in ${pkg} or in the source tree around it`);
  return null;
}

const what = process.argv[2];
if (what === 'hosts-sources') {
  process.stdout.write(path.join(hostsDir(), 'prepare.cpp') + '\n');
  process.exit(0);
}
// The preparation also includes the library's ASCII helpers (src/ascii.hpp),
// which a staged build carries beside it in hosts/.
if (what === 'hosts-include') {
  const hosts = hostsDir();
  const pkg = path.resolve(__dirname, '..');
  const ascii = fs.existsSync(path.join(pkg, hosts, 'ascii.hpp')) ? hosts : path.join('..', '..', 'src');
  process.stdout.write(hosts + '\n' + (ascii === hosts ? '' : ascii + '\n'));
  process.exit(0);
}
const found = locate();
if (what === 'include') {
  process.stdout.write(found.includeDirs.join('\n') + '\n');
} else if (what === 'libs') {
  process.stdout.write(found.libs.join('\n') + '\n');
} else if (what === 'where') {
  process.stdout.write(found.from + '\n');
} else {
  fail('usage: find-lib.js include|libs|where|hosts-sources|hosts-include');
}

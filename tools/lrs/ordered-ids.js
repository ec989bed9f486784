// SPDX-License-Identifier: GPL-3.0-or-later
// Preload for the local learning record store of the checks, beside loopback.js:
//
//   node -r tools/lrs/ordered-ids.js node_modules/xapi-statements/dist/index.js
//
// In memory, the store gives each stored statement an inner id from uuid's v1() and pages
// by it: it sorts by `stored`, then by that id, and the `more` link asks for the ids below
// the last one, compared as text. A v1 UUID's text begins with the low 32 bits of its time,
// which wrap every 429.5 s, so a page that meets a wrap skips statements, whenever the
// check runs. With this, the inner ids are the same v1 UUIDs with their time written first
// and whole (as a store on MongoDB sorts its ObjectIds): as text they sort as they were made.
'use strict';

const path = require('path');

const store = path.dirname(process.argv[1] || '.');
const uuid = require(require.resolve('uuid', { paths: [store] }));
const v1 = uuid.v1;

uuid.v1 = function orderedV1(...args) {
  const id = v1.apply(this, args);
  if (typeof id !== 'string') return id; // written into a buffer: left as it is
  // time_low-time_mid-time_hi_and_version-clock_seq-node → time_hi time_mid time_low-…
  const [low, mid, hi, seq, node] = id.split('-');
  return `${hi.slice(1)}${mid}${low}-${seq}-${node}`;
};

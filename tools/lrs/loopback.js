// SPDX-License-Identifier: GPL-3.0-or-later
// Preload for the local learning record store of the checks:
//
//   node -r tools/lrs/loopback.js node_modules/xapi-statements/dist/index.js
//
// The store listens on every interface and has no setting for that: this makes every
// listen() of the process bind to 127.0.0.1, whatever host (or none) it asks for.
// It also keeps the store from outliving the check that started it: the process ends when
// its parent goes, and after LRS_LIFETIME seconds in any case (default 1800).
// And it keeps Japanese text whole: the store reads a JSON body chunk by chunk and decodes
// each chunk on its own (its dependency stream-to-string), so a character whose bytes fall on
// both sides of a chunk's end becomes U+FFFD. Seen on POSTs of 1000 statements, 38 of 21,680
// statements damaged. A JSON request is therefore decoded here as one UTF-8 stream.
'use strict';

const http = require('http');
const net = require('net');

const emit = http.Server.prototype.emit;
http.Server.prototype.emit = function (event, ...args) {
  if (event === 'request' && /^application\/json/i.test(args[0].headers['content-type'] || '')) {
    // A StringDecoder: a character split between two chunks is put together.
    args[0].setEncoding('utf8');
  }
  return emit.call(this, event, ...args);
};

const HOST = '127.0.0.1';
const listen = net.Server.prototype.listen;

net.Server.prototype.listen = function (...args) {
  const callback = typeof args[args.length - 1] === 'function' ? args.pop() : undefined;
  let options;
  const first = args[0];
  if (first !== null && typeof first === 'object') {
    if (first.path !== undefined || first.fd !== undefined || first._handle !== undefined) {
      // A Unix socket or an inherited handle is no network address: left as it is.
      return listen.apply(this, callback ? [...args, callback] : args);
    }
    options = { ...first };
  } else if (typeof first === 'string' && !/^\d+$/.test(first)) {
    return listen.apply(this, callback ? [...args, callback] : args); // a Unix socket path
  } else {
    // listen([port[, host[, backlog]]])
    options = { port: first === undefined ? 0 : Number(first) };
    let i = 1;
    if (typeof args[i] === 'string') i += 1;
    if (typeof args[i] === 'number') options.backlog = args[i];
  }
  options.host = HOST;
  delete options.ipv6Only;
  return callback ? listen.call(this, options, callback) : listen.call(this, options);
};

const parent = process.ppid;
const lifetime = Number(process.env.LRS_LIFETIME || 1800);
const started = Date.now();
setInterval(() => {
  if (process.ppid !== parent) {
    console.error('lrs: the process that started the store is gone; stopping');
    process.exit(0);
  }
  if (Date.now() - started > lifetime * 1000) {
    console.error(`lrs: stopping after ${lifetime} s`);
    process.exit(0);
  }
}, 500).unref();

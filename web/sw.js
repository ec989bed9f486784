// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the page's files after the first visit, so that ポロメ starts without a network.
// A new version comes with a new cache name; the old cache is removed once it is active.
"use strict";
const CACHE = "porome-@VERSION@";
const FILES = [@FILES@];

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith("porome-") && n !== CACHE)
                                      .map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The kept copy first; the network for anything not kept. Nothing is kept but the page's
// own files, named without a query: never an address of a launch, porome-config.json (which
// may hold a credential) or anything the store or a launch's fetch address answers.
self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== "GET" || url.origin !== self.location.origin || url.pathname.endsWith("/porome-config.json"))
    return;
  event.respondWith(caches.match(event.request, { ignoreSearch: true })
    .then((kept) => kept || fetch(event.request)));
});

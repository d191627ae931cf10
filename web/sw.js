// sw.js -- the service worker: keeps one build of the site in a cache named
// after that build, so the game loads and plays offline after one visit.
// The build writes BUILD (a hash of the site's files, web/version.cmake), so
// a new build is a new worker with a new cache: it fills its cache while the
// old one goes on serving, and takes over only when the page asks (the
// player's "Update" button) or no page of the old build is open; the old
// cache is then deleted.  Files come from one cache only, never a mix of
// two builds.
"use strict";

const BUILD = "@SITE_VERSION@";
const CACHE = "clovenfeld-" + BUILD;
const FILES = ["./", "index.html", "page.js", "page.css", "manifest.webmanifest", "prove_worker.js", "clovenfeld.js",
               "clovenfeld.wasm", "clovenfeld.data", "clovenfeld-prove.js", "clovenfeld-prove.wasm",
               "clovenfeld-prove.data", "icon-32.png", "icon-192.png", "icon-512.png"];

// The page starts the worker once it has the game's files, so they are in the
// browser's cache: "no-cache" asks the server whether they are still the same
// (so never an old file) and gets only that answer when they are.
self.addEventListener("install", function (e) {
  e.waitUntil(caches.open(CACHE).then(function (cache) {
    return cache.addAll(FILES.map(function (f) { return new Request(f, {cache: "no-cache"}); }));
  }));
});

self.addEventListener("activate", function (e) {
  e.waitUntil(caches.keys().then(function (keys) {
    return Promise.all(keys.filter(function (k) { return k.startsWith("clovenfeld-") && k !== CACHE; })
                           .map(function (k) { return caches.delete(k); }));
  }).then(function () { return self.clients.claim(); }));
});

self.addEventListener("message", function (e) {
  if (e.data === "update") self.skipWaiting();
});

self.addEventListener("fetch", function (e) {
  const url = new URL(e.request.url);
  if (e.request.method !== "GET" || url.origin !== self.location.origin) return;
  e.respondWith(caches.open(CACHE).then(function (cache) {
    return cache.match(e.request, {ignoreSearch: true}).then(function (hit) { return hit || fetch(e.request); });
  }));
});

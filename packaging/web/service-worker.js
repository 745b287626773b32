"use strict";
// Keeps every file of the page after the first visit, so that the page
// plays with the server gone (an exhibition screen, a phone on a train).
// Network first: while the server answers, the viewer gets what it serves
// now and the copy is renewed; when it does not, the copy kept here. Any
// static server will do: nothing here needs a header of its own.
var CACHE = "quillmoor";
var FILES = ["./", "index.html", "quillmoor.js", "quillmoor.wasm", "quillmoor-data.js", "quillmoor.data",
             "poster.png", "manifest.webmanifest", "icon-192.png", "icon-512.png"];

self.addEventListener("install", function (event) {
  // Each file alone: a build without a poster still keeps the rest.
  event.waitUntil(caches.open(CACHE).then(function (cache) {
    return Promise.all(FILES.map(function (file) {
      return cache.add(file).catch(function () {});
    }));
  }).then(function () { return self.skipWaiting(); }));
});

self.addEventListener("activate", function (event) {
  event.waitUntil(self.clients.claim());
});

self.addEventListener("fetch", function (event) {
  var request = event.request;
  if (request.method !== "GET" || new URL(request.url).origin !== location.origin)
    return;
  event.respondWith(fetch(request).then(function (response) {
    if (response.status === 200) {
      var copy = response.clone();
      caches.open(CACHE).then(function (cache) { return cache.put(request, copy); });
    }
    return response;
  }, function () {
    // The address's parameters (?from=56s) choose how to play, not what.
    return caches.match(request, {ignoreSearch: true}).then(function (kept) {
      return kept || Response.error();
    });
  }));
});

# version.cmake -- writes the site's service worker (sw.js) with the build's
# version: the first 16 hex digits of a SHA-256 over the site's files, so any
# change to any of them makes a new worker and a new cache.
#   cmake -DSITE=<site dir> -DSOURCE=<web/sw.js> -P version.cmake
set(all "")
foreach(f index.html page.js page.css manifest.webmanifest clovenfeld.js clovenfeld.wasm clovenfeld.data
          prove_worker.js clovenfeld-prove.js clovenfeld-prove.wasm clovenfeld-prove.data
          icon-32.png icon-192.png icon-512.png)
  file(SHA256 ${SITE}/${f} h)
  string(APPEND all "${f} ${h}\n")
endforeach()
string(SHA256 SITE_VERSION "${all}")
string(SUBSTRING ${SITE_VERSION} 0 16 SITE_VERSION)
configure_file(${SOURCE} ${SITE}/sw.js @ONLY)

// prove_worker.js -- the level editor's prover in the browser.  A page
// cannot start a process, so the editor's "child" (src/port/web_process.cpp)
// is this worker running the prover's own module (src/main/main_prove_web.cpp) with the
// arguments it is sent ("--prove /tmp/.../level.bmp --level N ... --out
// FILE --progress"), with the level file written into its own file system
// first.  Every line it prints is posted back as it comes; when it ends, its
// exit status and the recording it wrote (--out) are.
"use strict";

self.onmessage = function (e) {
  const job = e.data;
  let data = null;
  function mkdirs(FS, path) {
    const parts = path.split("/").slice(1, -1);
    let dir = "";
    for (const p of parts) {
      dir += "/" + p;
      if (!FS.analyzePath(dir).exists) FS.mkdir(dir);
    }
  }
  function finish(status) {
    let file = null;
    try { if (job.out) file = self.Module.FS.readFile(job.out); } catch (err) { file = null; }
    self.postMessage({exit: status, file: file});
  }
  Promise.all(["clovenfeld-prove.wasm", "clovenfeld-prove.data"].map(function (f) {
    return fetch(f).then(function (r) {
      if (!r.ok) throw new Error(f + ": " + r.status);
      return r.arrayBuffer();
    });
  })).then(function (got) {
    data = got[1];
    self.Module = {
      arguments: job.args,
      wasmBinary: got[0],
      getPreloadedPackage: function () { const d = data; data = null; return d; },
      preRun: [function () {
        for (const path in job.files) {
          mkdirs(self.Module.FS, path);
          self.Module.FS.writeFile(path, job.files[path]);
        }
      }],
      print: function (line) { self.postMessage({line: line}); },
      printErr: function (line) { self.postMessage({line: line}); },
      onExit: finish,
      quit: function (status) { finish(status); },
    };
    importScripts("clovenfeld-prove.js");
  }).catch(function (err) {
    self.postMessage({line: "the prover could not load: " + (err.message || err)});
    self.postMessage({exit: 2, file: null});
  });
};

// page.js -- the page around the game: the command line from the URL, the
// canvas scaled by whole numbers to fit the tab, fullscreen, focus, and the
// game's standard error and exit status shown on the page.
//
// URL parameters (all optional):
//   seed=N          fix the random seed
//   replay=NAME     replay the recording NAME shipped with the page (game.rec)
//   fast=1          do not wait out the frame waits (with replay)
//   stop=N          stop after N ticks and keep the work page as /shot.bmp
//   events=1        log every event the game announces (to the console)
//   without=PATH    remove a file (e.g. gfx/egg.bmp) before the game starts,
//                   to see how a broken installation is reported
"use strict";

var Module = (function () {
  const params = new URLSearchParams(window.location.search);
  const canvas = document.getElementById("screen");
  const stage = document.getElementById("stage");
  const status = document.getElementById("status");
  const report = document.getElementById("report");
  const args = [];
  const number = /^[0-9]{1,15}$/;
  const name = /^[A-Za-z0-9_-][A-Za-z0-9_.-]{0,63}$/;
  if (number.test(params.get("seed") || "")) args.push("--seed", params.get("seed"));
  if (name.test(params.get("replay") || "")) args.push("--replay", "recordings/" + params.get("replay"));
  if (params.get("fast") === "1") args.push("--fast");
  if (number.test(params.get("stop") || "")) args.push("--stop-tick", params.get("stop"), "--shot", "shot.bmp");
  if (params.get("events") === "1") args.push("--events");
  // The player's settings (the same text as the desktop's settings.ini) live
  // in the page's storage; the game reads them from /settings.ini.
  args.push("--settings", "/settings.ini");

  function say(text) { status.textContent = text; }

  function showError(line) {
    report.hidden = false;
    report.textContent += line + "\n";
  }

  // The largest whole-number scale of 640 x 480 device pixels that fits.
  function fit() {
    const full = document.fullscreenElement === stage;
    const dpr = window.devicePixelRatio || 1;
    const room = full ? 0 : document.getElementById("bar").offsetHeight + 8;
    const w = (full ? window.innerWidth : document.documentElement.clientWidth) * dpr;
    const h = (window.innerHeight - room) * dpr;
    const scale = Math.max(1, Math.floor(Math.min(w / 640, h / 480)));
    canvas.style.width = (640 * scale) / dpr + "px";
    canvas.style.height = (480 * scale) / dpr + "px";
  }
  window.addEventListener("resize", fit);
  document.addEventListener("fullscreenchange", fit);
  fit();

  document.getElementById("fullscreen").addEventListener("click", function () {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(function () {});
    canvas.focus();
  });
  // The sound's button shows what M does too.
  const mute = document.getElementById("mute");
  function showMute() {
    if (!Module._web_audio_muted) return;
    const off = Module._web_audio_muted() !== 0;
    mute.textContent = off ? "Sound: off" : "Sound: on";
    mute.setAttribute("aria-pressed", off ? "true" : "false");
  }
  mute.addEventListener("click", function () {
    if (!Module.running || !Module._web_audio_set_muted) return;
    Module._web_audio_set_muted(Module._web_audio_muted() ? 0 : 1);
    showMute();
    canvas.focus();
  });
  document.addEventListener("keyup", function (e) { if (e.code === "KeyM") showMute(); });
  // A hidden tab pauses the game; P resumes it.
  document.addEventListener("visibilitychange", function () {
    if (document.hidden && Module.running && Module._web_pause) Module._web_pause();
  });

  canvas.addEventListener("focus", function () { if (Module.running) say("Playing."); });
  canvas.addEventListener("blur", function () { if (Module.running) say("Click the picture to play."); });

  return {
    canvas: canvas,
    arguments: args,
    preRun: [function () {
      let text = null;
      try { text = window.localStorage.getItem("clovenfeld.settings"); } catch (e) { text = null; }
      if (text !== null) Module.FS.writeFile("/settings.ini", text);
    }],
    output: [],
    running: false,
    print: function (line) {
      Module.output.push(line);
      console.log(line);
    },
    printErr: function (line) {
      showError(line);
      console.error(line);
    },
    onRuntimeInitialized: function () {
      const drop = params.get("without");
      if (drop && Module.FS.analyzePath("/" + drop).exists) Module.FS.unlink("/" + drop);
      Module.running = true;
      say(document.activeElement === canvas ? "Playing." : "Click the picture to play.");
      canvas.focus();
    },
    onExit: function (code) {
      Module.running = false;
      Module.exitStatus = code;
      say((code === 0 ? "The game has ended." : "The game stopped with error " + code + ".") +
          " Reload the page to play again.");
    },
    onAbort: function (what) {
      Module.running = false;
      Module.exitStatus = -1;
      showError("The game stopped: " + what);
      say("The game stopped.");
    },
  };
})();

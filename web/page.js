// page.js -- the page around the game: the command line from the URL, the
// game's files loaded with a progress bar (and a clear message when one
// cannot be), the canvas scaled to fit, the on-screen controls of a touch
// screen, fullscreen, "How to play", and the game's standard error and exit
// status shown on the page.
//
// URL parameters (all optional):
//   seed=N          fix the random seed
//   replay=NAME     replay the recording NAME shipped with the page (game.rec)
//   fast=1          do not wait out the frame waits (with replay)
//   stop=N          stop after N ticks and keep the work page as /shot.bmp
//   events=1        log every event the game announces (to the console)
//   record=1        record the game from its start (the Record button); the
//                   page offers clovenfeld.rec when the recording stops
//   watch=1         watch the recording the player opened or dropped on the
//                   page (kept in the tab's session storage meanwhile), with
//                   the viewer's controls; the page takes it off its
//                   address, so a reload plays a game
//   without=PATH    remove a file (e.g. gfx/egg.bmp) before the game starts,
//                   to see how a broken installation is reported
//
// Level packs: a pack opened or dropped on the page (its .cvpack or .zip, or
// its folder) is kept in the page's storage and chosen; "Packs" beside
// "Records" chooses among the kept ones and the built-in levels.
"use strict";

var Module = (function () {
  const params = new URLSearchParams(window.location.search);
  const canvas = document.getElementById("screen");
  const stage = document.getElementById("stage");
  const play = document.getElementById("play");
  const howto = document.getElementById("howto");
  const body = document.body;
  const status = document.getElementById("status");
  const report = document.getElementById("report");
  const reportFile = document.getElementById("report-file");
  const loading = document.getElementById("loading");
  const progress = document.getElementById("progress");
  const args = [];
  let afterFit = null; // what else follows the canvas's size (the viewer's line)
  const number = /^[0-9]{1,15}$/;
  const name = /^[A-Za-z0-9_-][A-Za-z0-9_.-]{0,63}$/;
  if (number.test(params.get("seed") || "")) args.push("--seed", params.get("seed"));
  if (name.test(params.get("replay") || "")) args.push("--replay", "recordings/" + params.get("replay"));
  let watched = null;
  if (params.get("watch") === "1") {
    try { watched = window.sessionStorage.getItem("clovenfeld.watch"); } catch (e) { watched = null; }
    if (watched !== null) args.push("--watch", "/watched.rec");
    // Watched once: reloading the page (or coming back to it) plays a game.
    try { window.sessionStorage.removeItem("clovenfeld.watch"); } catch (e) { /* kept */ }
    const clean = new URLSearchParams(window.location.search);
    clean.delete("watch");
    const rest = clean.toString();
    window.history.replaceState(null, "", window.location.pathname + (rest ? "?" + rest : "") + window.location.hash);
  }
  const watching = args.includes("--replay") || args.includes("--watch");
  if (params.get("record") === "1" && !watching) args.push("--record", "/clovenfeld.rec");
  if (params.get("fast") === "1") args.push("--fast");
  if (number.test(params.get("stop") || "")) args.push("--stop-tick", params.get("stop"), "--shot", "shot.bmp");
  if (params.get("events") === "1") args.push("--events");
  // The level editor (edit=1): on the work kept in the page's storage, if any.
  const EDIT_WORK = "clovenfeld.editor.work";
  let work = null;
  if (params.get("edit") === "1" && !watching) {
    try { work = window.localStorage.getItem(EDIT_WORK); } catch (e) { work = null; }
    if (work !== null) args.push("--edit", "/work/level.bmp");
    else args.push("--edit");
  }
  // The player's settings (the same text as the desktop's settings.ini) live
  // in the page's storage; the game reads them from /settings.ini.
  args.push("--settings", "/settings.ini");
  // The chosen pack, written into the game's file system before it starts
  // (preRun) and played with --pack; the shipped recordings play the
  // built-in levels they were made in.
  const PACKS = "clovenfeld.packs", PACK = "clovenfeld.pack", PACK_FILES = "clovenfeld.pack.";
  function keptPacks() {
    let list = [];
    try { list = JSON.parse(window.localStorage.getItem(PACKS) || "[]"); } catch (e) { list = []; }
    return Array.isArray(list) ? list.filter(function (p) {
      return p && name.test(p.name) && (p.kind === "zip" || p.kind === "folder");
    }) : [];
  }
  let pack = null;
  try {
    const chosen = window.localStorage.getItem(PACK);
    pack = keptPacks().find(function (p) { return p.name === chosen; }) || null;
  } catch (e) { pack = null; }
  if (pack && !params.has("replay")) args.push("--pack", pack.kind === "zip" ? "/pack.zip" : "/pack");
  else pack = null;

  function say(text) { status.textContent = text; }

  function showError(line) {
    report.hidden = false;
    report.textContent += line + "\n";
  }

  // The game could not start: one message on the page instead of the picture.
  function failure(text) {
    const box = document.getElementById("failure");
    box.textContent = text;
    box.hidden = false;
    loading.hidden = true;
    say("The game could not start.");
  }

  // --- the picture's size ---------------------------------------------------
  // As the desktop's --fit: the largest 4:3 rectangle of the stage, each
  // pixel the nearest of the picture's (smooth where that is less than one
  // device pixel).  Out of fullscreen a whole-number scale of 640 x 480
  // device pixels instead, where that fills 90% of it.  "How to play" goes
  // beside the game where the picture is no smaller for it and it fits whole.
  function fit() {
    const dpr = window.devicePixelRatio || 1;
    const full = body.classList.contains("fullscreen");
    if (howto.parentNode === body) {
      body.classList.add("howto-beside");
      const roomy = !full && !body.classList.contains("touchscreen") &&
                    stage.clientWidth * 3 >= stage.clientHeight * 4 && howto.scrollHeight <= howto.clientHeight;
      if (!roomy) body.classList.remove("howto-beside");
    }
    const w = stage.clientWidth * dpr, h = stage.clientHeight * dpr;
    let width = Math.max(4, Math.floor(Math.min(w, h * 4 / 3) / 4) * 4);
    const whole = Math.floor(width / 640);
    if (!full && whole >= 1 && whole * 640 * 10 >= width * 9) width = whole * 640;
    canvas.classList.toggle("smooth", width < 640);
    canvas.style.width = width / dpr + "px";
    canvas.style.height = width * 3 / 4 / dpr + "px";
    if (afterFit) afterFit();
  }
  window.addEventListener("resize", fit);

  // --- touch controls -----------------------------------------------------------
  // Shown on a touch screen; hidden while a gamepad is connected or once a
  // hardware key is pressed.  Every finger holds the key of the control under
  // it (a finger may slide from one to another), so walking and jumping go
  // together; they reach the game through the key map as keys do.
  let keyboardUsed = false;
  let padConnected = false;
  function showTouch() {
    const touch = (navigator.maxTouchPoints || 0) > 0 && !keyboardUsed && !padConnected;
    if (touch !== body.classList.contains("touchscreen")) {
      if (!touch) releaseAll();
      body.classList.toggle("touchscreen", touch);
      fit();
    }
  }
  const fingers = new Map(); // pointerId -> the control it holds
  const held = new Map();    // usage -> how many fingers hold it
  function holdKey(usage, down) {
    const n = (held.get(usage) || 0) + (down ? 1 : -1);
    held.set(usage, n);
    document.querySelectorAll('.pad[data-usage="' + usage + '"]').forEach(function (b) {
      b.classList.toggle("held", n > 0);
    });
    if ((down && n === 1) || (!down && n === 0))
      if (Module.running && Module._web_touch_key) Module._web_touch_key(usage, down ? 1 : 0);
  }
  function controlAt(x, y) {
    const el = document.elementFromPoint(x, y);
    return el && el.classList.contains("pad") ? el : null;
  }
  function moveFinger(id, control) {
    const was = fingers.get(id) || null;
    if (was === control) return;
    if (was) holdKey(Number(was.dataset.usage), false);
    if (control) { fingers.set(id, control); holdKey(Number(control.dataset.usage), true); }
    else fingers.delete(id);
  }
  function releaseAll() { fingers.forEach(function (_, id) { moveFinger(id, null); }); }
  document.querySelectorAll(".touch").forEach(function (group) {
    group.addEventListener("pointerdown", function (e) {
      const control = controlAt(e.clientX, e.clientY);
      if (!control) return;
      e.preventDefault();
      moveFinger(e.pointerId, control);
    });
  });
  document.addEventListener("pointermove", function (e) {
    if (fingers.has(e.pointerId)) moveFinger(e.pointerId, controlAt(e.clientX, e.clientY));
  });
  for (const end of ["pointerup", "pointercancel"])
    document.addEventListener(end, function (e) { if (fingers.has(e.pointerId)) moveFinger(e.pointerId, null); });
  window.addEventListener("blur", releaseAll);
  // No long-press menu or selection on the picture and the controls.
  for (const el of [canvas, document.getElementById("dpad"), document.getElementById("keys")])
    el.addEventListener("contextmenu", function (e) { e.preventDefault(); });
  document.addEventListener("keydown", function () {
    if (!keyboardUsed) { keyboardUsed = true; showTouch(); }
  }, true);
  window.addEventListener("gamepadconnected", function () { padConnected = true; showTouch(); });
  // The game reads the pads every tick and says when it sees one.
  window.addEventListener("gamepaddisconnected", function () {
    padConnected = Array.from(navigator.getGamepads ? navigator.getGamepads() : []).some(function (p) { return p; });
    showTouch();
  });
  showTouch();
  fit();

  // --- buttons ----------------------------------------------------------------
  // A button pressed with the mouse or a finger lets go of the focus (Space
  // is then the game's, not the button's); one pressed with the keyboard
  // keeps it.
  function backToGame(e) { if (e.detail > 0) e.currentTarget.blur(); }
  // Fullscreen: the play area (picture, bar and touch controls).  Where the
  // browser has none (or refuses it), the page's own: the play area over the
  // whole window.
  const fullscreen = document.getElementById("fullscreen");
  let pageFullscreen = false;
  function showFullscreen() {
    const on = pageFullscreen || document.fullscreenElement === play;
    body.classList.toggle("fullscreen", on);
    fullscreen.setAttribute("aria-pressed", on ? "true" : "false");
    fit();
  }
  function pageFullscreenOn() { pageFullscreen = true; showFullscreen(); }
  fullscreen.addEventListener("click", function (e) {
    if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
    else if (pageFullscreen) { pageFullscreen = false; showFullscreen(); }
    else if (play.requestFullscreen) play.requestFullscreen().catch(pageFullscreenOn);
    else pageFullscreenOn();
    backToGame(e);
  });
  document.addEventListener("fullscreenchange", showFullscreen);
  // "How to play" where it is not beside the game: in a dialog.
  const helpDialog = document.getElementById("help-dialog");
  document.getElementById("help").addEventListener("click", function () {
    helpDialog.append(howto);
    if (helpDialog.showModal) helpDialog.showModal(); else helpDialog.setAttribute("open", "");
  });
  document.getElementById("help-close").addEventListener("click", function () {
    if (helpDialog.close) helpDialog.close(); else helpDialog.removeAttribute("open");
  });
  helpDialog.addEventListener("close", function () {
    document.getElementById("app").after(howto);
    fit();
  });
  // The sound's button shows what M does too (the game tells, see onGameState).
  const mute = document.getElementById("mute");
  function showMute(off) {
    mute.textContent = off ? "Sound: off" : "Sound: on";
    mute.setAttribute("aria-pressed", off ? "true" : "false");
  }
  mute.addEventListener("click", function (e) {
    if (!Module.running || !Module._web_audio_set_muted) return;
    Module._web_audio_set_muted(Module._web_audio_muted() ? 0 : 1);
    backToGame(e);
  });

  // --- pause and quit -------------------------------------------------------------
  // Pause pauses and resumes (as P and the pad's Start do); a hidden tab
  // pauses.  While paused a tap on the picture resumes.  The game's pause
  // menu asks "Quit? Y/N" (Esc while paused; a touch Esc or a pad's Back
  // during play): Yes and No answer it as Y and N do.
  const pause = document.getElementById("pause");
  const quitAsk = document.getElementById("quit-ask");
  const menuButtons = document.getElementById("menu-buttons");
  const assistsButtons = document.getElementById("assists");
  const practiceButton = document.getElementById("menu-practice");
  const editorButton = document.getElementById("menu-editor");
  const levelsButtons = document.getElementById("levels");
  const recordsBack = document.getElementById("records-back");
  // The pause menu's pages by touch or click: each button is the menu's key.
  for (const group of [menuButtons, assistsButtons, levelsButtons, recordsBack])
    group.addEventListener("click", function (e) {
      const b = e.target.closest("button");
      if (!b || !Module.running || !Module._web_menu_key) return;
      Module._web_menu_key(Number(b.dataset.menuKey));
      backToGame(e);
    });
  let menu = 0; // the game's pause menu: 0 playing, 1 paused, 2 "Quit? Y/N", 3 a key asked for
  function playingText() {
    if (watching) return "Watching the recording.";
    // The keys reach the game wherever the focus is on the page.
    return body.classList.contains("touchscreen") || document.hasFocus() ? "Playing." : "Click the picture to play.";
  }
  function showMenu(now) {
    const was = menu;
    menu = now;
    pause.textContent = menu ? "Resume" : "Pause";
    pause.setAttribute("aria-pressed", menu ? "true" : "false");
    quitAsk.hidden = menu !== 2;
    menuButtons.hidden = menu !== 1 || watching;
    // Practice is offered on the title screen only (the game says where it waits).
    practiceButton.hidden = !Module._web_on_title || !Module._web_on_title();
    editorButton.hidden = practiceButton.hidden;
    assistsButtons.hidden = menu !== 4;
    levelsButtons.hidden = menu !== 5;
    recordsBack.hidden = menu !== 6;
    if (menu === 4) say("Paused: assists. 1 to 4 change them (the buttons too), Esc goes back.");
    else if (menu === 5) say("Paused: practice. Left and Right choose a level you have reached, Enter plays it.");
    else if (menu === 6) say("Paused: your records.");
    if (menu === 1) say("Paused.");
    else if (menu === 2) say("Paused: quit the game?");
    else if (menu === 3) say("Paused: press the key the picture asks for.");
    else if (was !== 0) say(playingText());
  }
  pause.addEventListener("click", function (e) {
    if (!Module.running || !Module._web_pause) return;
    if (Module._web_is_paused()) Module._web_resume();
    else Module._web_pause();
    backToGame(e);
  });
  canvas.addEventListener("pointerdown", function () {
    if (Module.running && Module._web_is_paused && Module._web_is_paused()) Module._web_resume();
  });

  // --- the pointer over the picture ---------------------------------------------
  // The mouse, a pen and fingers over the canvas, in page pixels (the canvas
  // is the page at 4:3, so its box maps straight onto 640 x 480), for the
  // parts of the program that read a pointer; the game itself never does.
  // Kinds and buttons as the program numbers them (pointer.h).
  const PTR = { move: 1, down: 2, up: 3, wheel: 4, leave: 5, touchDown: 6, touchMove: 7, touchUp: 8 };
  const PTR_BUTTON = [1, 4, 2]; // left, middle, right
  function reportPointer(kind, e, value) {
    if (!Module.running || !Module._web_pointer) return;
    const r = canvas.getBoundingClientRect();
    if (r.width <= 0 || r.height <= 0) return;
    const x = Math.floor((e.clientX - r.left) * 640 / r.width);
    const y = Math.floor((e.clientY - r.top) * 480 / r.height);
    Module._web_pointer(kind, x, y, value);
  }
  const touchId = function (e) { return e.pointerId & 0x7fffffff; };
  canvas.addEventListener("pointermove", function (e) {
    if (e.pointerType === "touch") reportPointer(PTR.touchMove, e, touchId(e));
    else reportPointer(PTR.move, e, 0);
  });
  canvas.addEventListener("pointerdown", function (e) {
    if (e.pointerType === "touch") reportPointer(PTR.touchDown, e, touchId(e));
    else if (PTR_BUTTON[e.button]) reportPointer(PTR.down, e, PTR_BUTTON[e.button]);
    // A drag past the canvas's edge stays the canvas's until let go.
    if (canvas.setPointerCapture) try { canvas.setPointerCapture(e.pointerId); } catch (err) { /* gone already */ }
  });
  for (const end of ["pointerup", "pointercancel"])
    canvas.addEventListener(end, function (e) {
      if (e.pointerType === "touch") reportPointer(PTR.touchUp, e, touchId(e));
      else if (PTR_BUTTON[e.button]) reportPointer(PTR.up, e, PTR_BUTTON[e.button]);
    });
  canvas.addEventListener("pointerleave", function (e) {
    if (e.pointerType !== "touch") reportPointer(PTR.leave, e, 0);
  });
  // The wheel in notches, away from the player positive; fine wheels add up.
  let wheelPart = 0;
  canvas.addEventListener("wheel", function (e) {
    const per = e.deltaMode === 1 ? 3 : e.deltaMode === 2 ? 1 : 100; // lines, pages, pixels a notch
    wheelPart -= e.deltaY;
    const notches = Math.trunc(wheelPart / per);
    wheelPart -= notches * per;
    if (notches) reportPointer(PTR.wheel, e, notches);
  }, { passive: true });
  for (const [id, yes] of [["quit-yes", 1], ["quit-no", 0]])
    document.getElementById(id).addEventListener("click", function (e) {
      if (Module.running && Module._web_quit_answer) Module._web_quit_answer(yes);
      backToGame(e);
    });
  document.addEventListener("visibilitychange", function () {
    if (document.hidden && Module.running && Module._web_pause) Module._web_pause();
  });

  // The keys reach the game wherever the focus is on the page, so only a page
  // without the focus needs a click.
  window.addEventListener("focus", function () { if (Module.running && !menu) say(playingText()); });
  window.addEventListener("blur", function () {
    if (Module.running && !menu && !watching && !body.classList.contains("touchscreen"))
      say("Click the picture to play.");
  });

  // --- what the picture shows, as text ---------------------------------------------
  // The game announces its events (onGameEvent): each message box's text (a
  // life lost, Time Up, the final score), and the score each level leaves,
  // are said in an aria-live region; the last few stay.
  const announce = document.getElementById("announce");
  let level = 0;
  function tell(text) {
    const line = document.createElement("p");
    line.textContent = text;
    announce.appendChild(line);
    while (announce.childNodes.length > 3) announce.removeChild(announce.firstChild);
  }
  function heard(name) {
    let m;
    if (name === "title") tell("The title screen: Space or Start / OK plays.");
    else if ((m = /^infobox:(.*)$/.exec(name))) tell(m[1]);
    else if ((m = /^level:(\d+)$/.exec(name))) level = Number(m[1]);
    else if ((m = /^score:(\d+)$/.exec(name))) tell("Level " + level + " done. Score: " + m[1] + ".");
  }

  // --- recording and watching -----------------------------------------------------
  // A recording starts with a game: Record reloads the page recording, and
  // the button then stops it (the game writes the file and offers it).  A
  // .rec file opened or dropped on the page is kept in the tab's session
  // storage and replayed by a reloaded page.
  const record = document.getElementById("record");
  function showRecording() {
    const on = Module.running && Module._web_is_recording && Module._web_is_recording() !== 0;
    record.textContent = on ? "Stop recording" : "Record";
    record.setAttribute("aria-pressed", on ? "true" : "false");
  }
  function reloadWith(change) {
    const next = new URLSearchParams(window.location.search);
    for (const k of ["record", "watch", "replay", "fast", "stop"]) next.delete(k);
    for (const k in change) next.set(k, change[k]);
    window.location.search = next.toString();
  }
  record.addEventListener("click", function (e) {
    if (Module.running && Module._web_record_stop && Module._web_record_stop()) showRecording();
    else reloadWith({record: "1"});
    backToGame(e);
  });
  // A file's bytes as a string of char codes 0 to 255 (what the storage keeps).
  function asText(bytes) {
    const b = new Uint8Array(bytes);
    let text = "";
    for (let i = 0; i < b.length; i += 32768) text += String.fromCharCode.apply(null, b.subarray(i, i + 32768));
    return text;
  }
  function asBytes(text) { return Uint8Array.from(text, function (c) { return c.charCodeAt(0); }); }
  function watch(file) {
    if (!file) return;
    file.arrayBuffer().then(function (bytes) {
      const text = asText(bytes);
      try {
        window.sessionStorage.setItem("clovenfeld.watch", text);
      } catch (e) {
        say("That recording is too large to open here.");
        return;
      }
      reloadWith({watch: "1"});
    });
  }
  const watchFile = document.getElementById("watch-file");
  watchFile.addEventListener("change", function () { watch(watchFile.files[0]); });
  document.getElementById("watch").addEventListener("click", function () { watchFile.click(); });
  document.addEventListener("dragover", function (e) {
    if (!e.dataTransfer || !Array.from(e.dataTransfer.types).includes("Files")) return;
    e.preventDefault();
    body.classList.add("dragging");
  });
  document.addEventListener("dragleave", function () { body.classList.remove("dragging"); });
  document.addEventListener("drop", function (e) {
    body.classList.remove("dragging");
    if (!e.dataTransfer || !e.dataTransfer.files.length) return;
    e.preventDefault();
    const file = e.dataTransfer.files[0];
    if (/\.(cvpack|zip)$/i.test(file.name)) openPackZip(file);
    else watch(file);
  });

  // --- level packs -------------------------------------------------------------------
  // A kept pack is one storage item: a zip's bytes, or a folder's files as
  // JSON (path: bytes), under "clovenfeld.pack.<name>"; "clovenfeld.packs"
  // lists them and "clovenfeld.pack" names the chosen one.  Choosing reloads
  // the page, which plays it.  The game checks the pack as it starts and the
  // page shows what is wrong with one it cannot play.
  const packList = document.getElementById("pack-list");
  function packName(text) {
    return text.replace(/[^A-Za-z0-9_.-]/g, "_").replace(/^\.+/, "").slice(0, 64) || "pack";
  }
  function keepPack(entry, text) {
    const packs = keptPacks().filter(function (p) { return p.name !== entry.name; });
    packs.push(entry);
    try {
      window.localStorage.setItem(PACK_FILES + entry.name, text);
      window.localStorage.setItem(PACKS, JSON.stringify(packs));
      window.localStorage.setItem(PACK, entry.name);
    } catch (e) {
      try { window.localStorage.removeItem(PACK_FILES + entry.name); } catch (e2) { /* not kept */ }
      say("That pack is too large to keep in this browser's storage.");
      return false;
    }
    return true;
  }
  function openPackZip(file) {
    if (!file) return;
    file.arrayBuffer().then(function (bytes) {
      if (keepPack({name: packName(file.name), kind: "zip"}, asText(bytes))) reloadWith({});
    });
  }
  function openPackFolder(files) {
    // Only what a pack holds is kept: pack.ini, levels/N.bmp and proofs/level-N.rec.
    const wanted = /^(pack\.ini|levels\/[1-9]\.bmp|proofs\/level-[0-9]{1,2}\.rec)$/;
    let top = null;
    const reads = [];
    Array.from(files).forEach(function (f) {
      const parts = (f.webkitRelativePath || f.name).split("/");
      if (parts.length < 2) return;
      top = top || parts[0];
      const path = parts.slice(1).join("/");
      if (wanted.test(path)) reads.push(f.arrayBuffer().then(function (b) { return [path, asText(b)]; }));
    });
    Promise.all(reads).then(function (got) {
      if (!got.some(function (g) { return g[0] === "pack.ini"; })) {
        say("That folder is not a level pack: it has no pack.ini.");
        return;
      }
      const folder = {};
      got.forEach(function (g) { folder[g[0]] = g[1]; });
      if (keepPack({name: packName(top), kind: "folder"}, JSON.stringify(folder))) reloadWith({});
    });
  }
  // The chosen pack into the game's file system (preRun).
  function writePack(FS) {
    let text = null;
    try { text = window.localStorage.getItem(PACK_FILES + pack.name); } catch (e) { text = null; }
    if (text === null) return; // the game says /pack.zip or /pack is missing
    if (pack.kind === "zip") { FS.writeFile("/pack.zip", asBytes(text)); return; }
    let folder = {};
    try { folder = JSON.parse(text); } catch (e) { folder = {}; }
    FS.mkdir("/pack");
    for (const path in folder) {
      if (!/^(pack\.ini|levels\/[1-9]\.bmp|proofs\/level-[0-9]{1,2}\.rec)$/.test(path)) continue;
      const dir = path.indexOf("/") > 0 ? "/pack/" + path.split("/")[0] : null;
      if (dir && !FS.analyzePath(dir).exists) FS.mkdir(dir);
      FS.writeFile("/pack/" + path, asBytes(String(folder[path])));
    }
  }
  function showPacks() {
    packList.textContent = "";
    const builtIn = document.createElement("option");
    builtIn.value = "";
    builtIn.textContent = "Clovenfeld (the game's own levels)";
    packList.appendChild(builtIn);
    keptPacks().forEach(function (p) {
      const o = document.createElement("option");
      o.value = p.name;
      o.textContent = p.name + (p.kind === "folder" ? " (folder)" : "");
      packList.appendChild(o);
    });
    packList.value = pack ? pack.name : "";
  }
  showPacks();
  packList.addEventListener("change", function () {
    try {
      if (packList.value === "") window.localStorage.removeItem(PACK);
      else window.localStorage.setItem(PACK, packList.value);
    } catch (e) { /* the choice is not kept */ }
    reloadWith({});
  });
  const packFile = document.getElementById("pack-file"), packDir = document.getElementById("pack-dir");
  packFile.addEventListener("change", function () { openPackZip(packFile.files[0]); });
  packDir.addEventListener("change", function () { openPackFolder(packDir.files); });
  // The two labels open their pickers by a click (as labels do) or by Enter or Space.
  [["pack-open", packFile], ["pack-folder", packDir]].forEach(function (pick) {
    document.getElementById(pick[0]).addEventListener("keydown", function (e) {
      if (e.key !== "Enter" && e.key !== " ") return;
      e.preventDefault();
      e.stopPropagation();
      pick[1].click();
    });
  });

  // --- the level editor --------------------------------------------------------------
  // The editor runs in the game (edit=1, or Editor on the title's pause menu).
  // Its work is kept in the page's storage after each change, so a reload
  // loses nothing; Save offers the level file as a download; Publish keeps
  // the pack among the page's packs and offers it as a zip.  Its prover runs
  // in a worker (prove_worker.js), a second copy of the game's module.
  function offerFile(bytes, fileName, type) {
    const a = document.createElement("a");
    a.href = URL.createObjectURL(new Blob([bytes], {type: type}));
    a.download = fileName;
    document.body.appendChild(a);
    a.click();
    setTimeout(function () { URL.revokeObjectURL(a.href); a.remove(); }, 1000);
  }
  // A zip of stored entries (no compression), as a pack's zip is read.
  const crcTable = (function () {
    const t = new Uint32Array(256);
    for (let n = 0; n < 256; n++) {
      let c = n;
      for (let k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
      t[n] = c >>> 0;
    }
    return t;
  })();
  function crc32(b) {
    let c = 0xFFFFFFFF;
    for (let i = 0; i < b.length; i++) c = crcTable[(c ^ b[i]) & 255] ^ (c >>> 8);
    return (c ^ 0xFFFFFFFF) >>> 0;
  }
  function zipStored(files) { // [[name, Uint8Array], ...]
    const parts = [], central = [];
    let offset = 0;
    const le = function (n, size) {
      const b = new Uint8Array(size);
      for (let i = 0; i < size; i++) b[i] = (n >>> (8 * i)) & 255;
      return b;
    };
    const join = function (list) {
      const out = new Uint8Array(list.reduce(function (n, b) { return n + b.length; }, 0));
      let at = 0;
      list.forEach(function (b) { out.set(b, at); at += b.length; });
      return out;
    };
    files.forEach(function (f) {
      const nameBytes = new TextEncoder().encode(f[0]), data = f[1], crc = crc32(data);
      const common = [le(20, 2), le(0, 2), le(0, 2), le(0, 2), le(0x21, 2), le(crc, 4), le(data.length, 4),
                      le(data.length, 4), le(nameBytes.length, 2), le(0, 2)];
      const local = join([le(0x04034b50, 4)].concat(common, [nameBytes, data]));
      central.push(join([le(0x02014b50, 4), le(20, 2)].concat(common, [le(0, 2), le(0, 2), le(0, 2), le(0, 4),
                                                                       le(offset, 4), nameBytes])));
      parts.push(local);
      offset += local.length;
    });
    const dir = join(central);
    const end = join([le(0x06054b50, 4), le(0, 2), le(0, 2), le(files.length, 2), le(files.length, 2),
                      le(dir.length, 4), le(offset, 4), le(0, 2)]);
    return join(parts.concat([dir, end]));
  }
  function editorKept(path, what) {
    const FS = Module.FS;
    if (what === 0 || what === 1) {
      const bytes = FS.readFile(path);
      try { window.localStorage.setItem(EDIT_WORK, asText(bytes)); } catch (e) { say("The level is too large to keep here."); }
      if (what === 1) offerFile(bytes, path.split("/").pop(), "image/bmp");
      return;
    }
    // A pack: its folder's files.
    const folder = {}, files = [];
    const add = function (rel) {
      const full = path + "/" + rel;
      if (!FS.analyzePath(full).exists) return;
      const bytes = FS.readFile(full);
      folder[rel] = asText(bytes);
      files.push([rel, bytes]);
    };
    add("pack.ini");
    for (let n = 1; n <= 9; n++) add("levels/" + n + ".bmp");
    for (let n = 1; n <= 27; n++) add("proofs/level-" + n + ".rec");
    const id = path.split("/").pop();
    Module.published = {id: id, files: folder}; // for the page's tests
    keepPack({name: packName(id), kind: "folder"}, JSON.stringify(folder));
    showPacks();
    offerFile(zipStored(files), id + ".cvpack", "application/zip");
    say("Published " + id + ": kept under Packs, and offered as " + id + ".cvpack.");
  }
  const provers = {};
  let nextProver = 1;
  const prover = {
    start: function (joined) {
      const args = joined.split("\n");
      const files = {};
      const at = args.indexOf("--prove"), outAt = args.indexOf("--out");
      if (at < 0 || at + 1 >= args.length) return 0;
      try { files[args[at + 1]] = Module.FS.readFile(args[at + 1]); } catch (e) { return 0; }
      let w;
      try { w = new Worker("prove_worker.js"); } catch (e) { return 0; }
      const id = nextProver++;
      const p = {worker: w, said: [], status: null, out: outAt >= 0 ? args[outAt + 1] : null};
      provers[id] = p;
      w.onmessage = function (e) {
        const m = e.data;
        if (m.line !== undefined) p.said.push(new TextEncoder().encode(m.line + "\n"));
        if (m.exit !== undefined && p.status === null) {
          if (m.file && p.out) try { Module.FS.writeFile(p.out, m.file); } catch (err) { /* said by the game */ }
          p.status = m.exit;
          Module.proverAnswers.push(m.exit); // for the page's tests
          w.terminate();
        }
      };
      w.onerror = function () {
        if (p.status !== null) return;
        p.said.push(new TextEncoder().encode("the prover's worker stopped\n"));
        p.status = 2;
        w.terminate();
      };
      w.postMessage({args: args, files: files, out: p.out});
      return id;
    },
    read: function (id, buf, cap) {
      const p = provers[id];
      if (!p) return -1;
      if (p.said.length === 0) return p.status !== null ? -1 : 0;
      let b = p.said[0];
      if (b.length > cap) { p.said[0] = b.subarray(cap); b = b.subarray(0, cap); } else p.said.shift();
      Module.HEAPU8.set(b, buf);
      return b.length;
    },
    poll: function (id) {
      const p = provers[id];
      return !p ? 2 : p.status === null ? -1000 : p.status;
    },
    end: function (id) {
      const p = provers[id];
      if (!p) return;
      if (p.status === null) p.worker.terminate();
      delete provers[id];
    },
  };
  const editFile = document.getElementById("edit-file");
  editFile.addEventListener("change", function () {
    const f = editFile.files[0];
    if (!f) return;
    f.arrayBuffer().then(function (bytes) {
      try { window.localStorage.setItem(EDIT_WORK, asText(bytes)); } catch (e) { say("That file is too large."); return; }
      reloadWith({edit: "1"});
    });
  });
  document.getElementById("edit-pick").addEventListener("keydown", function (e) {
    if (e.key !== "Enter" && e.key !== " ") return;
    e.preventDefault();
    e.stopPropagation();
    editFile.click();
  });
  document.getElementById("edit-new").addEventListener("click", function (e) {
    e.preventDefault();
    try { window.localStorage.removeItem(EDIT_WORK); } catch (err) { /* none kept */ }
    reloadWith({edit: "1"});
  });
  document.getElementById("edit-open").addEventListener("click", function (e) {
    e.preventDefault();
    reloadWith({edit: "1"});
  });
  document.getElementById("edit-leave").addEventListener("click", function (e) {
    e.preventDefault();
    reloadWith({edit: ""});
  });

  // --- the viewer's controls -------------------------------------------------------
  // Watching a recording, the game tells what its viewer shows
  // (onViewState); the page draws the progress line over the bottom of the
  // picture, as the desktop draws it over its window, and the buttons beside
  // Pause act as the viewer's keys do.
  const viewLine = document.getElementById("view-line");
  const viewText = document.getElementById("view-text");
  const viewDone = document.getElementById("view-done");
  const viewControls = document.getElementById("view-controls");
  let view = null, viewDrawn = false, viewKeyAt = -1e9;
  function placeViewLine() {
    viewLine.style.left = canvas.offsetLeft + "px";
    viewLine.style.top = canvas.offsetTop + "px";
    viewLine.style.width = canvas.style.width;
    viewLine.style.height = canvas.style.height;
  }
  function drawView() {
    viewDrawn = false;
    const v = view;
    viewLine.hidden = v.hidden;
    if (v.hidden) return;
    const speed = v.speedX2 === 1 ? "\u00bd\u00d7" : v.speedX2 / 2 + "\u00d7";
    const state = v.ended ? "End" : v.skipping ? "Next level" : v.paused ? "Paused" : "\u25b6";
    viewText.textContent = state + " \u00b7 " + speed + " \u00b7 tick " + v.tick + " of " + v.total;
    viewText.hidden = !(v.paused || v.skipping || v.ended || performance.now() - viewKeyAt < 3000);
    viewDone.style.width = (v.total > 0 ? Math.min(100, 100 * v.tick / v.total) : 0) + "%";
    pause.textContent = v.paused ? "Play" : "Pause";
    pause.setAttribute("aria-pressed", v.paused ? "true" : "false");
  }
  function viewChanged(tick, total, speedX2, paused, skipping, ended, hidden) {
    const was = view;
    view = {tick: tick, total: total, speedX2: speedX2, paused: paused !== 0, skipping: skipping !== 0,
            ended: ended !== 0, hidden: hidden !== 0};
    Module.view = view; // for the page's tests
    if (!was) { viewControls.hidden = false; fit(); } // the bar may take another row
    if (was && (was.paused !== view.paused || was.speedX2 !== view.speedX2 || was.skipping !== view.skipping)) {
      viewKeyAt = performance.now();
      say(view.paused ? "Watching: paused at tick " + tick + "." : "Watching at " + speedX2 / 2 + " times speed.");
      setTimeout(function () { if (view) drawView(); }, 3100); // the text goes after a while
    }
    if (!viewDrawn) { viewDrawn = true; window.requestAnimationFrame(drawView); }
  }
  viewControls.addEventListener("click", function (e) {
    const b = e.target.closest("button");
    if (!b || !Module.running || !Module._web_view_act) return;
    Module._web_view_act(Number(b.dataset.view));
    backToGame(e);
  });
  afterFit = function () { if (view) placeViewLine(); };

  // --- offline ----------------------------------------------------------------
  // The service worker (sw.js) keeps this build for offline play.  It starts
  // once the game's files are here, so that it finds them in the browser's
  // cache instead of downloading them again.  When a new build has come in
  // the background, a button offers it; the page reloads once the new worker
  // has taken over.
  function keepOffline() {
    if (!("serviceWorker" in navigator) || !window.isSecureContext) return;
    const update = document.getElementById("update");
    let updating = false;
    navigator.serviceWorker.register("sw.js").then(function (reg) {
      function offer(worker) {
        update.hidden = false;
        fit();
        update.onclick = function () { updating = true; worker.postMessage("update"); };
      }
      if (reg.waiting && navigator.serviceWorker.controller) offer(reg.waiting);
      reg.addEventListener("updatefound", function () {
        const worker = reg.installing;
        worker.addEventListener("statechange", function () {
          if (worker.state === "installed" && navigator.serviceWorker.controller) offer(worker);
        });
      });
    }).catch(function (e) { console.warn("no offline play: " + e); });
    navigator.serviceWorker.addEventListener("controllerchange", function () { if (updating) location.reload(); });
  }

  // --- loading ----------------------------------------------------------------
  // The program (clovenfeld.wasm) and the data (clovenfeld.data) are fetched
  // here, side by side, for one progress bar and a message naming a file that
  // does not come; then the script that runs them.
  const files = {"clovenfeld.wasm": [0, 0], "clovenfeld.data": [0, 0]};
  function showProgress() {
    let got = 0, total = 0;
    for (const f in files) { got += files[f][0]; total += Math.max(files[f][1], files[f][0]); }
    if (total > 0) progress.value = got / total;
  }
  function fetchFile(file) {
    return fetch(file, {credentials: "same-origin"}).then(function (r) {
      if (!r.ok) throw new Error("status " + r.status);
      files[file][1] = Number(r.headers.get("Content-Length")) || 0;
      if (!r.body || !r.body.getReader) return r.arrayBuffer();
      const reader = r.body.getReader(), parts = [];
      function next() {
        return reader.read().then(function (step) {
          if (step.done) return new Blob(parts).arrayBuffer();
          parts.push(step.value);
          files[file][0] += step.value.length;
          showProgress();
          return next();
        });
      }
      return next();
    }).catch(function (e) {
      throw new Error("The game's file " + file + " could not be loaded (" + (e.message || e) +
                      "). Check the connection and reload the page.");
    });
  }
  let data = null;
  function start() {
    // The program uses WebAssembly's 128-bit SIMD (a module that makes one vector).
    const simd = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0,
                                 10, 8, 1, 6, 0, 65, 0, 253, 15, 11]);
    if (typeof WebAssembly !== "object" || typeof WebAssembly.instantiate !== "function" ||
        !WebAssembly.validate(simd)) {
      failure("This browser cannot run the game: it lacks WebAssembly (with SIMD). A current Firefox, " +
              "Chromium, Chrome, Edge or Safari (16.4 or later) can.");
      return;
    }
    Promise.all([fetchFile("clovenfeld.wasm"), fetchFile("clovenfeld.data")]).then(function (got) {
      Module.wasmBinary = got[0];
      data = got[1];
      keepOffline();
      const script = document.createElement("script");
      script.src = "clovenfeld.js";
      script.addEventListener("error", function () {
        failure("The game's script clovenfeld.js could not be loaded. Check the connection and reload the page.");
      });
      document.body.appendChild(script);
    }, function (e) { failure(e.message); });
  }

  // The file whose opening failed last, named under a report of error 2 or 3
  // (file not found, file I/O error).
  function watchOpens() {
    const FS = Module.FS, open = FS.open;
    FS.open = function (path) {
      try {
        return open.apply(this, arguments);
      } catch (e) {
        if (typeof path === "string") Module.lastFailedOpen = path.replace(/^\/+/, "");
        throw e;
      }
    };
  }

  // --- records ------------------------------------------------------------------
  // The records the game keeps (records.ini, in the page's storage), in "How
  // to play": each kind of play's furthest level and best game, and a table of
  // the levels' best scores and fewest ticks.
  function showRecords(text) {
    const list = document.getElementById("records-list");
    const sets = {"levels": {}, "levels assisted": {}};
    let section = null;
    (text || "").split(/\r?\n/).forEach(function (line) {
      line = line.trim();
      const head = /^\[(.*)\]$/.exec(line);
      if (head) { section = Object.prototype.hasOwnProperty.call(sets, head[1]) ? sets[head[1]] : null; return; }
      const pair = /^([a-z0-9._]+)\s*=\s*([0-9]{1,9})$/.exec(line);
      if (section && pair) section[pair[1]] = Number(pair[2]);
    });
    list.textContent = "";
    function add(parent, tag, words) {
      const e = document.createElement(tag);
      if (words !== undefined) e.textContent = words;
      parent.appendChild(e);
      return e;
    }
    [["levels", "Unassisted"], ["levels assisted", "Assisted"]].forEach(function (kind) {
      const r = sets[kind[0]];
      add(list, "h3", kind[1]);
      const facts = [];
      if (r.furthest_level) facts.push("Furthest level reached: " + r.furthest_level + ".");
      if (r.best_game_score !== undefined) facts.push("Best score of a whole game: " + r.best_game_score + ".");
      const table = document.createElement("table");
      add(table, "caption", kind[1] + ": each level's best");
      const header = add(add(table, "thead"), "tr");
      ["Level", "Best score", "Fewest ticks"].forEach(function (h) { add(header, "th", h).scope = "col"; });
      const rows = add(table, "tbody");
      for (let n = 1; n <= 27; n++) {
        if (r["level." + n + ".fewest_ticks"] === undefined) continue;
        const row = add(rows, "tr");
        add(row, "th", String(n)).scope = "row";
        add(row, "td", String(r["level." + n + ".best_score"]));
        add(row, "td", String(r["level." + n + ".fewest_ticks"]));
      }
      if (facts.length === 0 && rows.rows.length === 0) { add(list, "p", "None yet."); return; }
      if (facts.length > 0) add(list, "p", facts.join(" "));
      if (rows.rows.length > 0) list.appendChild(table);
    });
  }
  let shown = null;
  try { shown = window.localStorage.getItem("clovenfeld.records"); } catch (e) { shown = null; }
  showRecords(shown);

  const self = {
    canvas: canvas,
    arguments: args,
    onPadSeen: function () { if (!padConnected) { padConnected = true; showTouch(); } },
    getPreloadedPackage: function () { const d = data; data = null; return d; },
    preRun: [function () {
      watchOpens();
      let text = null;
      try { text = window.localStorage.getItem("clovenfeld.settings"); } catch (e) { text = null; }
      if (text !== null) Module.FS.writeFile("/settings.ini", text);
      let kept = null;
      try { kept = window.localStorage.getItem("clovenfeld.records"); } catch (e) { kept = null; }
      if (kept !== null) Module.FS.writeFile("/records.ini", kept);
      if (watched !== null) Module.FS.writeFile("/watched.rec", asBytes(watched));
      if (work !== null) {
        Module.FS.mkdir("/work");
        Module.FS.writeFile("/work/level.bmp", asBytes(work));
      }
      if (pack) writePack(Module.FS);
    }],
    output: [],
    running: false,
    onGameState: function (now, muted) { showMute(muted !== 0); showMenu(now); },
    onGameEvent: heard,
    prover: prover,
    proverAnswers: [],
    zipStored: zipStored,
    editorKept: editorKept,
    onRecords: showRecords,
    onViewState: viewChanged,
    toggleFullscreen: function () { document.getElementById("fullscreen").click(); },
    print: function (line) {
      Module.output.push(line);
      console.log(line);
    },
    printErr: function (line) {
      // Where a screenshot went is news, not an error: the download says it.
      if (/^clovenfeld: screenshot saved/.test(line)) { console.log(line); return; }
      if (Module.started) showError(line);
      console.error(line);
    },
    onRuntimeInitialized: function () {
      const drop = params.get("without");
      if (drop && Module.FS.analyzePath("/" + drop).exists) Module.FS.unlink("/" + drop);
      loading.hidden = true;
      Module.started = true;
      Module.running = true;
      say(args.includes("--edit") ? "The level editor: one finger or the mouse draws, two fingers scroll and zoom; F1 lists the keys." :
          watched !== null || watching ? playingText() :
          body.classList.contains("touchscreen") ? "Tap Start / OK to play." :
          document.hasFocus() ? "Playing." : "Click the picture to play.");
      setTimeout(showRecording, 0);
    },
    onExit: function (code) {
      Module.running = false;
      showMenu(0);
      showRecording();
      Module.exitStatus = code;
      if ((code === 2 || code === 3) && Module.lastFailedOpen) {
        reportFile.textContent = "File: " + Module.lastFailedOpen;
        reportFile.hidden = false;
      }
      say((code !== 0 ? "The game stopped with error " + code + "." :
           watching ? "The recording has ended." : "The game has ended.") +
          (params.has("replay") ? " Reload the page to watch it again." :
           watching ? " Reload the page to play." : " Reload the page to play again."));
    },
    onAbort: function (what) {
      Module.running = false;
      Module.exitStatus = -1;
      if (!Module.started) {
        failure("The game's program clovenfeld.wasm could not be started (" + what + "). Reload the page.");
        return;
      }
      showError("The game stopped: " + what);
      say("The game stopped.");
    },
  };
  start();
  return self;
})();

#!/usr/bin/env python3
"""layers.py -- checks the floors of the code: which room includes and calls which.

    python3 scripts/layers.py [--source DIR] [--build DIR]

The rooms, lowest first, and the files of each come from cmake/rooms.cmake
and cmake/sources.cmake (a source file is in the room whose list names it; a
header in the room of the source file beside it with the same name, else in
the room that owns its folder).  Two kinds of edge join the modules (a
module is a header and its source file: src/services/screen):
  - an include: a file of one module includes a header of another;
  - a call: an object file uses a symbol that another object defines (read
    with nm from the build's objects; without --build, includes only).
Each room's includes and calls are listed.  The check fails (status 1) when
an edge runs from a room to a room above it, or when a circle of edges
(modules that reach each other) spans two rooms.
"""
import argparse
import collections
import os
import re
import subprocess
import sys

DEFAULT_ROOMS = ["port", "sound", "services", "game", "proof", "editor", "platform", "program"]
DEFAULT_FOLDERS = {"port": "port", "sound": "sound", "services": "services", "main": "game",
                   "map": "game", "actors": "game", "proof": "proof", "editor": "editor",
                   "platform": "platform"}
# The source lists of cmake/sources.cmake and the room each belongs to.
LIST_ROOM = {"PORT": "port", "PORT_POSIX": "port", "PORT_WINDOWS": "port", "PORT_WEB": "port", "SOUND": "sound",
             "SERVICES": "services", "GAME": "game", "PROOF": "proof", "EDITOR": "editor", "PLATFORM": "platform", "SDL": "platform",
             "WEB": "platform", "WINDOWS": "platform", "PROGRAM": "program", "PROGRAM_ENTRIES": "program"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def cmake_sets(text):
    """Every set(NAME values...) of a CMake file: name -> list of values."""
    sets = {}
    for m in re.finditer(r'set\(\s*(\w+)((?:[^()"]|"[^"]*")*)\)', text):
        sets[m.group(1)] = [v.strip('"') for v in m.group(2).split()]
    return sets


def read_rooms(source):
    """(rooms lowest first, folder -> room, file -> room) for the checkout."""
    rooms, folders, files = list(DEFAULT_ROOMS), dict(DEFAULT_FOLDERS), {}
    rooms_cmake = os.path.join(source, "cmake", "rooms.cmake")
    if os.path.exists(rooms_cmake):
        sets = cmake_sets(open(rooms_cmake).read())
        rooms = sets.get("CLOVENFELD_ROOMS", rooms)
        folders = {}
        for room in rooms:
            for folder in sets.get("CLOVENFELD_ROOM_FOLDERS_" + room, []):
                folders[folder] = room
        for header in sets.get("CLOVENFELD_PROGRAM_HEADERS", []):
            files["src/" + header] = "program"
    sets = cmake_sets(open(os.path.join(source, "cmake", "sources.cmake")).read())
    for name, values in sets.items():
        m = re.fullmatch(r"CLOVENFELD_(\w+?)_SOURCES", name) or re.fullmatch(r"CLOVENFELD_(PROGRAM_ENTRIES)", name)
        if m and m.group(1) in LIST_ROOM:
            for v in values:
                if v.startswith("src/"):
                    files[v] = LIST_ROOM[m.group(1)]
    return rooms, folders, files


def module_of(path):
    return os.path.splitext(path)[0]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description="Checks that no include or call runs up the floors.")
    ap.add_argument("--source", default=os.path.dirname(here))
    ap.add_argument("--build", help="a build folder whose objects give the calls")
    args = ap.parse_args()

    rooms, folders, listed = read_rooms(args.source)
    floor = {room: i for i, room in enumerate(rooms)}
    src = os.path.join(args.source, "src")
    paths = []
    for dirpath, _, names in os.walk(src):
        for n in names:
            if n.endswith((".h", ".cpp")):
                paths.append(os.path.relpath(os.path.join(dirpath, n), args.source))
    paths.sort()
    pathset = set(paths)

    def room_of_module(module):
        for ext in (".cpp", ".h"):
            if module + ext in listed:
                return listed[module + ext]
        parts = module.split("/")
        return folders.get(parts[1]) if len(parts) > 2 else None

    room = {}
    for p in paths:
        r = room_of_module(module_of(p))
        if r is not None:
            room[module_of(p)] = r

    edges = collections.defaultdict(dict)  # module -> {module: [why, ...]}

    # Includes: "dir/name.h" from src/, or "name.h" beside the including file.
    for p in paths:
        mod = module_of(p)
        if mod not in room:
            continue
        for inc in INCLUDE.findall(open(os.path.join(args.source, p), errors="replace").read()):
            for target in (os.path.normpath(os.path.join(os.path.dirname(p), inc)), "src/" + inc):
                if target in pathset:
                    tmod = module_of(target)
                    if tmod != mod and tmod in room:
                        edges[mod].setdefault(tmod, []).append("includes " + inc)
                    break

    # Calls: the symbols an object uses and another object defines.
    if args.build:
        objects = {}
        cmakefiles = os.path.join(args.build, "CMakeFiles")
        for d in sorted(os.listdir(cmakefiles)) if os.path.isdir(cmakefiles) else []:
            if not (d.startswith("clovenfeld_") and d.endswith(".dir")) or d == "clovenfeld_tests.dir":
                continue
            for dirpath, _, names in os.walk(os.path.join(cmakefiles, d)):
                for n in names:
                    if n.endswith(".cpp.o"):
                        obj = os.path.join(dirpath, n)
                        source_path = os.path.relpath(obj, os.path.join(cmakefiles, d))[: -len(".o")]
                        if module_of(source_path) in room:
                            objects[obj] = module_of(source_path)
        if not objects:
            print(f"layers: no objects of the rooms under {cmakefiles}", file=sys.stderr)
            return 2
        defined, used = {}, collections.defaultdict(set)
        for obj, mod in objects.items():
            out = subprocess.run(["nm", "-P", obj], capture_output=True, text=True, check=True).stdout
            for line in out.splitlines():
                fields = line.split()
                if len(fields) < 2:
                    continue
                name, kind = fields[0], fields[1]
                if kind == "U":
                    used[mod].add(name)
                elif kind in "TDBRu":
                    defined[name] = mod
        calls = [(mod, defined[name], name) for mod, names in sorted(used.items()) for name in sorted(names)
                 if defined.get(name, mod) != mod]
        names = sorted({name for _, _, name in calls})
        out = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True).stdout.split("\n")
        pretty = dict(zip(names, out))
        for mod, target, name in calls:
            edges[mod].setdefault(target, []).append("calls " + pretty.get(name, name))

    # Each room's includes and calls, by room.
    problems = []
    print("rooms, lowest first: " + " ".join(rooms))
    for r in rooms:
        inc, call = collections.Counter(), collections.Counter()
        for mod in (m for m in room if room[m] == r):
            for t, whys in edges[mod].items():
                inc[room[t]] += any(w.startswith("includes") for w in whys)
                call[room[t]] += any(w.startswith("calls") for w in whys)
        show = lambda c: ", ".join(f"{k} {c[k]}" for k in rooms if c[k]) or "nothing"
        print(f"  {r:9} includes {show(inc)}; calls {show(call)}")
    for mod in sorted(edges):
        for t, whys in sorted(edges[mod].items()):
            if floor[room[t]] > floor[room[mod]]:
                for why in whys:
                    problems.append(f"up a floor: {mod} ({room[mod]}) {why}, in {t} ({room[t]})")

    # Circles: the strongly connected modules (Tarjan), those of two rooms or more.
    index, low, stack, on, comps = {}, {}, [], set(), []
    sys.setrecursionlimit(10000)

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on.add(v)
        for w in edges.get(v, {}):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                on.discard(w)
                comp.append(w)
                if w == v:
                    break
            comps.append(comp)

    for v in sorted(room):
        if v not in index:
            visit(v)
    for comp in comps:
        spanned = sorted({room[m] for m in comp}, key=floor.get)
        if len(spanned) > 1:
            files = [p for p in paths if module_of(p) in comp]
            problems.append(f"a circle of {len(comp)} modules ({len(files)} files) spans {', '.join(spanned)}: "
                            + " ".join(sorted(comp)))

    for p in problems:
        print("layers: " + p)
    if problems:
        return 1
    print("layers: every include and call runs down the floors or within a room, and no circle spans two rooms")
    return 0


if __name__ == "__main__":
    sys.exit(main())

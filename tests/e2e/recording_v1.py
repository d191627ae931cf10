#!/usr/bin/env python3
"""recording_v1.py FILE: a recording written out as version 1 text, one
line per tick run ("Nx held scan codes|queued codes"), for the test scripts
that read or edit ticks with awk.  Version 1 input is printed as it is.
Version 2 runs: arrows held (- none; U D L R are 72 80 75 77), other held
scan codes in (), queued codes in {}, then the ticks; =H and the end line
are left out (version 1 has no hashes)."""
import re
import sys

ARROWS = {"U": 72, "D": 80, "L": 75, "R": 77}
RUN = re.compile(r"(-|[UDLR]+)(?:\(([\d,]+)\))?(?:\{([\d,]+)\})?(\d+)|=[0-9a-f]+")


def main(path):
    lines = open(path, encoding="latin-1").read().split("\n")
    if not lines or not lines[0].startswith("clovenfeld-recording 2"):
        sys.stdout.write("\n".join(lines))
        return
    seed = next(l.split()[1] for l in lines if l.startswith("seed "))
    out = ["clovenfeld-recording 1", "seed " + seed]
    ticks = False
    for line in lines[1:]:
        if line.startswith("pack"):
            ticks = True
            continue
        if not ticks or not line.strip() or line.startswith("#") or line.startswith("end "):
            continue
        for m in RUN.finditer(line.strip()):
            if m.group(0).startswith("="):
                continue
            held = [ARROWS[c] for c in m.group(1) if c in ARROWS]
            held += [int(c) for c in (m.group(2) or "").split(",") if c]
            queued = [c for c in (m.group(3) or "").split(",") if c]
            text = " ".join(str(c) for c in sorted(held)) + "|" + " ".join(queued)
            n = int(m.group(4))
            out.append(("%dx %s" % (n, text)) if n > 1 else text)
    print("\n".join(out))


main(sys.argv[1])

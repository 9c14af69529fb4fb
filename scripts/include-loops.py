#!/usr/bin/env python3
"""Lists the includes inside one source folder that take part in a loop between its files (a
file and its header counted as one): the includes that point back up. A layered folder has none.
  scripts/include-loops.py [FOLDER]     (default src/engine)"""
import os, re, sys
from collections import defaultdict
folder = sys.argv[1] if len(sys.argv) > 1 else "src/engine"
rooms = {}
for name in os.listdir(folder):
    stem, ext = os.path.splitext(name)
    if ext in (".h", ".cpp"):
        rooms.setdefault(stem, []).append(os.path.join(folder, name))
def room_of(header):
    base = os.path.basename(header)
    stem, _ = os.path.splitext(base)
    return stem if os.path.exists(os.path.join(folder, base)) else None
edges = defaultdict(set)
where = defaultdict(list)
for stem, files in rooms.items():
    for f in files:
        for line in open(f, encoding="utf-8", errors="replace"):
            m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not m: continue
            inc = m.group(1)
            if "/" in inc and not inc.startswith(os.path.basename(folder) + "/"): continue
            target = room_of(inc)
            if target and target != stem:
                edges[stem].add(target); where[(stem, target)].append(os.path.basename(f))
# Tarjan's strongly connected components
index, low, stack, on, comps, counter = {}, {}, [], set(), [], [0]
def visit(v):
    index[v] = low[v] = counter[0]; counter[0] += 1; stack.append(v); on.add(v)
    for w in edges[v]:
        if w not in index: visit(w); low[v] = min(low[v], low[w])
        elif w in on: low[v] = min(low[v], index[w])
    if low[v] == index[v]:
        comp = set()
        while True:
            w = stack.pop(); on.discard(w); comp.add(w)
            if w == v: break
        comps.append(comp)
sys.setrecursionlimit(10000)
for v in sorted(rooms):
    if v not in index: visit(v)
count = 0
for comp in comps:
    if len(comp) < 2: continue
    print("loop:", " ".join(sorted(comp)))
    for a in sorted(comp):
        for b in sorted(edges[a] & comp):
            print(f"  {a} -> {b}   ({', '.join(sorted(set(where[(a, b)])))})"); count += 1
print(f"{count} includes inside loops")

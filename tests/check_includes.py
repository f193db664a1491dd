#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Includes only go down the layers: each folder is one library and may include only itself and
# the folders below it. Fails naming every include that runs up or sideways, and every circle
# of units inside a folder (a header and its .cpp form one unit, x/y).
import os, re, sys
root = sys.argv[1]
below = {
    'model': {'model'},
    'draw': {'model', 'draw'},
    'results': {'model', 'results'},
    'print': {'model', 'results', 'print'},
    'app': {'model', 'draw', 'results', 'print', 'app'},
}
wrong, edges = [], {}
for folder, allowed in below.items():
    for f in sorted(os.listdir(os.path.join(root, folder))):
        if not f.endswith(('.h', '.cpp')):
            continue
        unit = folder + '/' + f.rsplit('.', 1)[0]
        edges.setdefault(unit, set())
        for line in open(os.path.join(root, folder, f), encoding='utf-8'):
            m = re.match(r'\s*#include\s+"(([^"/]+)/[^"]+)\.h"', line)
            if not m:
                continue
            if m.group(2) not in allowed:
                wrong.append(f'{folder}/{f}: {line.strip()}')
            elif m.group(1) != unit:
                edges[unit].add(m.group(1))

def circle_from(start):
    # A path from start back to itself, if there is one.
    stack, seen = [(start, [start])], set()
    while stack:
        v, path = stack.pop()
        for w in edges.get(v, ()):
            if w == start:
                return path
            if w not in seen:
                seen.add(w)
                stack.append((w, path + [w]))
    return None

circles = {tuple(sorted(c)) for c in map(circle_from, edges) if c}
print('includes against the layers:', wrong if wrong else 'none')
print('include graph:', len(edges), 'units, circles:', sorted(circles) if circles else 'none')
sys.exit(1 if wrong or circles else 0)

#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# The program's include graph has no circle: a file includes "x/y.h"; a header and its .cpp form
# one unit (x/y). Fails naming every circle of units (Tarjan's strongly connected parts), and
# every include of the window (app/) or of QtWidgets from the rules and the pages, which the
# libraries' Qt modules catch only for the unqualified <QWidget> form.
import os, re, sys
sys.setrecursionlimit(10000)
root = sys.argv[1]
edges = {}
for d in ['app', 'model', 'draw', 'results', 'print', 'platform']:
    if not os.path.isdir(os.path.join(root, d)):
        continue
    for f in os.listdir(os.path.join(root, d)):
        if not f.endswith(('.h', '.cpp')):
            continue
        unit = d + '/' + f.rsplit('.', 1)[0]
        for line in open(os.path.join(root, d, f), encoding='utf-8'):
            m = re.match(r'\s*#include\s+"([^"]+)\.h"', line)
            if m and m.group(1) != unit:
                edges.setdefault(unit, set()).add(m.group(1))
        edges.setdefault(unit, set())
index, low, stack, on, comps = {}, {}, [], set(), []
def strong(v):
    index[v] = low[v] = len(index); stack.append(v); on.add(v)
    for w in edges.get(v, ()):
        if w not in index:
            strong(w); low[v] = min(low[v], low[w])
        elif w in on:
            low[v] = min(low[v], index[w])
    if low[v] == index[v]:
        c = []
        while True:
            w = stack.pop(); on.discard(w); c.append(w)
            if w == v: break
        if len(c) > 1: comps.append(sorted(c))
for v in list(edges):
    if v not in index: strong(v)
rules = ('model/', 'draw/', 'results/', 'print/textpage', 'print/printjob', 'print/fitting',
         'platform/coreplatform', 'platform/timer', 'platform/waitms', 'platform/textfile')
leaks = []
for d in ['model', 'draw', 'results', 'print', 'platform']:
    if not os.path.isdir(os.path.join(root, d)):
        continue
    for f in os.listdir(os.path.join(root, d)):
        name = d + '/' + f
        if not name.startswith(rules) or not f.endswith(('.h', '.cpp')):
            continue
        for line in open(os.path.join(root, d, f), encoding='utf-8'):
            if re.match(r'\s*#include\s+("app/|<QtWidgets)', line):
                leaks.append(name + ': ' + line.strip())
print('rules including the window or widgets:', leaks if leaks else 'none')
print('include graph:', len(edges), 'units, circles:', comps if comps else 'none')
sys.exit(1 if comps or leaks else 0)

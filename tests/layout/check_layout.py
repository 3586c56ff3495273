#!/usr/bin/env python3
"""The layout of src/ as the build promises it, read from the includes.

  check_layout.py SRC_DIR GUI_INCLUDE_DIR WIDGETS_INCLUDE_DIR

Fails (exit 1, one line per fault) when
  - a file under core/ or platform's public headers includes a Gui or Widgets header,
    or a file under agent/engine/ a Widgets header;
  - a file includes one from a folder above its own
    (app > gui > agent/view > agent/engine > core > platform);
  - the folders include one another in a cycle.
"""
import os
import re
import sys

RANKS = [('app', 5), ('gui', 4), ('agent/view', 3), ('agent/engine', 2), ('core', 1), ('platform', 0)]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)


def rank(path):
    for prefix, r in RANKS:
        if path == prefix or path.startswith(prefix + '/'):
            return r, prefix
    return None, None


def main():
    src, gui_dir, widgets_dir = sys.argv[1:4]
    faults = []
    edges = {}
    for folder, _, names in os.walk(src):
        for name in sorted(names):
            if not name.endswith(('.h', '.cpp')):
                continue
            path = os.path.relpath(os.path.join(folder, name), src)
            here = os.path.dirname(path)
            my_rank, my_lib = rank(path)
            with open(os.path.join(folder, name), encoding='utf-8') as f:
                text = f.read()
            for kind, target in INCLUDE.findall(text):
                if kind == '<':
                    header = target.split('/')[-1]
                    gui = os.path.exists(os.path.join(gui_dir, header)) or target.startswith('QtGui/')
                    widgets = os.path.exists(os.path.join(widgets_dir, header)) or target.startswith('QtWidgets/')
                    if my_lib == 'core' and (gui or widgets):
                        faults.append(f'{path}: includes <{target}>, a Gui/Widgets header, in core/')
                    if my_lib == 'agent/engine' and widgets:
                        faults.append(f'{path}: includes <{target}>, a Widgets header, in agent/engine/')
                    continue
                if not os.path.exists(os.path.join(src, target)):
                    continue  # a header beside the file or a generated one
                their_rank, their_lib = rank(target)
                if my_rank is not None and their_rank is not None and their_rank > my_rank:
                    faults.append(f'{path}: includes "{target}" from {their_lib}/, above {my_lib}/')
                there = os.path.dirname(target)
                if there != here:
                    edges.setdefault(here, set()).add(there)
    # Folders in a cycle: strongly connected components with more than one folder.
    index, low, stack, on, counter, cycles = {}, {}, [], set(), [0], []

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in edges.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                cycles.append(sorted(component))

    sys.setrecursionlimit(10000)
    for v in sorted(set(edges) | {w for ws in edges.values() for w in ws}):
        if v not in index:
            visit(v)
    for c in cycles:
        faults.append('folders include one another in a cycle: ' + ', '.join(c))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())

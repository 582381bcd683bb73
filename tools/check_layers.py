#!/usr/bin/env python3
"""Fails when a source file includes from a layer above its own.

Layers, lowest first: platform, link, the window-free area libraries, the
shared widgets, the area windows (every area's ui/ folder), app. A file may
include from its own layer and the ones below it. Prints each offending file
and include; exit status 1 when there is one.
"""
import os
import re
import sys

AREAS = {"remote", "transfer", "local", "image", "ioconf", "netconf"}
NAMES = ["platform", "link", "area library", "widgets", "area window", "app"]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')

def layer(path):
    """Layer index of a path relative to src/, or None for what no layer holds."""
    parts = path.split("/")
    top = parts[0]
    if top == "platform":
        return 0
    if top == "widgets":
        return 3
    if top == "app":
        return 5
    if top == "link" or top in AREAS:
        if len(parts) > 2 and parts[1] == "ui":
            return 4
        return 1 if top == "link" else 2
    return None


def main():
    src = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(os.path.dirname(__file__), "..", "src"))
    found = set()
    for root, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            full = os.path.join(root, name)
            rel = os.path.relpath(full, src).replace(os.sep, "/")
            own = layer(rel)
            if own is None:
                continue
            with open(full, encoding="utf-8", errors="replace") as f:
                for line in f:
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    if "/" not in target:
                        target = os.path.dirname(rel) + "/" + target
                    theirs = layer(target)
                    if theirs is not None and theirs > own:
                        found.add((rel, m.group(1), own, theirs))
    bad = 0
    for rel, inc, own, theirs in sorted(found):
        print(f'{rel}: includes "{inc}" ({NAMES[own]} -> {NAMES[theirs]})')
        bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

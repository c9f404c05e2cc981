#!/usr/bin/env python3
"""Fails when a file under src/ includes a header of a folder above its own.

The folders of src/ are layers, from the bottom up; a folder may use only
itself and the folders below it (ARCHITECTURE.md)."""
import pathlib
import re
import sys

LAYERS = ["base", "platform", "codec", "image", "cli", "convert", "regions", "edit", "listing", "inspect",
          "microcode", "folder", "app"]
RANK = {name: i for i, name in enumerate(LAYERS)}

root = pathlib.Path(__file__).resolve().parent.parent / "src"
bad = []
for path in sorted(root.rglob("*")):
    if path.suffix not in (".h", ".cpp"):
        continue
    layer = path.relative_to(root).parts[0]
    if layer not in RANK:
        bad.append(f"{path}: folder {layer} is no layer")
        continue
    for number, line in enumerate(path.read_text().splitlines(), 1):
        m = re.match(r'\s*#\s*include\s+"([^/"]+)/', line)
        if m and m.group(1) in RANK and RANK[m.group(1)] > RANK[layer]:
            bad.append(f"{path}:{number}: {layer} includes {m.group(1)}, a layer above it")
print("\n".join(bad) if bad else "layers: every include points down")
sys.exit(1 if bad else 0)

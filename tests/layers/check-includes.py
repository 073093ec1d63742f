#!/usr/bin/env python3
"""Each layer's folder includes only its own headers and those of the layers
below it. The link checks (scourix_layer in CMakeLists.txt) keep the calls in
that direction; this keeps the includes too, which also carry types,
constants and inline functions that no link sees.

    check-includes.py SOURCE_DIR LAYER...    (the layers' folders, lowest first)
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
layers = sys.argv[2:]
rank = {layer: index for index, layer in enumerate(layers)}
include = re.compile(r'^\s*#\s*include\s+"([^/"]+)/')

faults = []
for layer in layers:
    for path in sorted((root / layer).iterdir()):
        if path.suffix not in (".h", ".cpp"):
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = include.match(line)
            if match and rank.get(match.group(1), -1) > rank[layer]:
                faults.append(f"{path.relative_to(root)}:{number}: {layer} includes "
                              f"{match.group(1)}, a layer above it")
print("\n".join(faults) or "layers: every include points down: " + " <- ".join(layers))
sys.exit(1 if faults else 0)

#!/usr/bin/env python3
"""The layer check finds an upward #include however it is spelled, and passes the tree as it is.

Each case copies src/ into a scratch folder, adds one offending line to one file, and expects
the check to fail naming that file; the untouched copy must pass.
"""
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = sys.argv[1]
CHECK = os.path.join(ROOT, "scripts", "check-layers")
CASES = [
    ("panel/Mailbox.cpp", '#include "routing/Routing.h"'),
    ("panel/Mailbox.cpp", '#include "../routing/Routing.h"'),
    ("store/Log.cpp", "#include <handlers/views/Views.h>"),
    ("platform/Clock.cpp", '#  include "store/Log.h"'),
    ("shell/EntryPoints.cpp", '#include "../../sim/host/SimHost.h"'),
    ("store/Log.cpp", '#include "sim/host/SimHost.h"'),
]


def run(tree):
    return subprocess.run([sys.executable, CHECK, tree], capture_output=True, text=True)


failures = 0
with tempfile.TemporaryDirectory() as scratch:
    tree = os.path.join(scratch, "tree")
    shutil.copytree(os.path.join(ROOT, "src"), os.path.join(tree, "src"))
    clean = run(tree)
    if clean.returncode != 0:
        print("the tree as it is fails the check:\n" + clean.stdout)
        failures += 1
    for file, line in CASES:
        path = os.path.join(tree, "src", file)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        with open(path, "a", encoding="utf-8") as f:
            f.write("\n" + line + "\n")
        result = run(tree)
        if result.returncode != 1 or f"src/{file}:" not in result.stdout:
            print(f"not caught: {line!r} in {file}\n{result.stdout}")
            failures += 1
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)
print(f"layer check cases: {len(CASES) + 1 - failures} of {len(CASES) + 1} as expected")
sys.exit(1 if failures else 0)

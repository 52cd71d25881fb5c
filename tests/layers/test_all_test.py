#!/usr/bin/env python3
"""The test command fails a stage that cannot run or that runs nothing, and says so.

Each case copies scripts/test-all into a scratch project and runs one stage there: the Windows
stage with its script not executable, and then missing; a configuration whose tests all lack the
stage's label. Each must end with a failing status and the closing line counting a failure.
"""
import os
import shutil
import stat
import subprocess
import sys
import tempfile

ROOT = sys.argv[1]
PRESETS = """{
  "version": 6,
  "configurePresets": [{"name": "asan", "generator": "Ninja", "binaryDir": "${sourceDir}/build/asan"}],
  "buildPresets": [{"name": "asan", "configurePreset": "asan"}],
  "testPresets": [{"name": "asan", "configurePreset": "asan", "filter": {"include": {"label": "behaviour"}},
                   "execution": {"noTestsAction": "error"}}]
}
"""
# One test, labelled otherwise than the stage selects.
PROJECT = """cmake_minimum_required(VERSION 3.25)
project(Empty NONE)
enable_testing()
add_test(NAME unlabelled COMMAND ${CMAKE_COMMAND} -E true)
set_tests_properties(unlabelled PROPERTIES LABELS static)
"""


def project(scratch, name):
    root = os.path.join(scratch, name)
    os.makedirs(os.path.join(root, "scripts"))
    shutil.copy(os.path.join(ROOT, "scripts", "test-all"), os.path.join(root, "scripts", "test-all"))
    return root


def run_stage(root, stage):
    env = dict(os.environ, CI="")
    return subprocess.run([os.path.join(root, "scripts", "test-all"), stage], cwd=root, env=env,
                          capture_output=True, text=True, timeout=300)


def expect_failure(label, result, message):
    lines = result.stdout.strip().splitlines()
    problems = []
    if result.returncode == 0:
        problems.append("ended with status 0")
    if not lines or lines[-1] != "tests: 0 passed, 1 failed":
        problems.append(f"last line {lines[-1] if lines else '(none)'!r}")
    if message not in result.stdout + result.stderr:
        problems.append(f"no {message!r} in its output")
    if problems:
        print(f"{label}: " + "; ".join(problems) + "\n" + result.stdout + result.stderr)
    return len(problems) > 0


failures = 0
with tempfile.TemporaryDirectory() as scratch:
    root = project(scratch, "no-run-bit")
    script = os.path.join(root, "scripts", "test-windows")
    with open(script, "w", encoding="utf-8") as f:
        f.write("#!/bin/sh\nexit 0\n")
    os.chmod(script, stat.S_IRUSR | stat.S_IWUSR)
    failures += expect_failure("a Windows script without its run bit", run_stage(root, "windows"),
                               "scripts/test-windows is missing or not executable")

    root = project(scratch, "no-script")
    failures += expect_failure("no Windows script", run_stage(root, "windows"),
                               "scripts/test-windows is missing or not executable")

    root = project(scratch, "no-tests")
    with open(os.path.join(root, "CMakePresets.json"), "w", encoding="utf-8") as f:
        f.write(PRESETS)
    with open(os.path.join(root, "CMakeLists.txt"), "w", encoding="utf-8") as f:
        f.write(PROJECT)
    failures += expect_failure("a stage whose label selects no test", run_stage(root, "asan"), "No tests were found")

sys.exit(1 if failures else 0)

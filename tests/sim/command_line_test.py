#!/usr/bin/env python3
"""The simulator's command line as people and scripts use it: --help and --version on standard
output, a file that cannot be read named with the reason, and a run that honours the options it
takes (the account's credits, the model, the project's name, the host language) or refuses them.

Usage: command_line_test.py TAMSEL_SIM SOURCE_DIR SCRATCH
"""
import os
import re
import shutil
import subprocess
import sys
import unittest

SIM, SOURCE, SCRATCH = sys.argv[1:4]


def sim(*args, stdin=None):
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(SCRATCH, "data"))
    return subprocess.run([SIM, *args], input=stdin, capture_output=True, text=True, env=env, timeout=300)


def run(name, *args):
    """A run with its report in a scratch folder of its own: (process, report folder)."""
    out = os.path.join(SCRATCH, name)
    shutil.rmtree(out, ignore_errors=True)
    return sim("run", "--out", out, *args), out


def step_line(output, step):
    for line in output.splitlines():
        if re.match(r"\[\s*\d+/\d+\] +[\d.]+ s  " + re.escape(step) + ":", line):
            return line
    return ""


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


class Usage(unittest.TestCase):
    def test_help_and_version_answer_on_standard_output(self):
        for args in (["--help"], ["-h"], ["run", "--help"], ["requests", "x", "-h"]):
            with self.subTest(args=args):
                done = sim(*args)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stderr, "")
                self.assertTrue(done.stdout.startswith("usage: tamsel-sim"), done.stdout)
        # The version is the add-on's own, as its state reports it.
        state = sim("requests", "-", stdin='{"id":"1","type":"getState"}\n')
        version = re.search(r'"pluginVersion":"([^"]+)"', state.stdout)
        self.assertIsNotNone(version, state.stdout + state.stderr)
        done = sim("--version")
        self.assertEqual((done.returncode, done.stdout), (0, "tamsel-sim " + version.group(1) + "\n"))

    def test_the_usage_names_every_command_and_every_option_the_code_reads(self):
        text = sim("--help").stdout
        for command in ("demo", "requests", "run"):
            self.assertRegex(text, r"tamsel-sim (\[)?" + command)
        # The options the parsers compare arguments with.
        options = set()
        for source in ("sim/SimOptions.cpp", "sim/SimRunPosix.cpp"):
            for found in re.findall(r'(?:argv\[i\]|arg) == "(--[a-z-]+)"', read(os.path.join(SOURCE, source))):
                options.add(found)
        self.assertIn("--out", options)
        self.assertIn("--scripted-page", options)
        self.assertIn("--credits", options)
        for option in sorted(options):
            self.assertRegex(text, r"(?m)^\s+" + re.escape(option) + r"\b", option + " is not in the usage")

    def test_a_file_that_cannot_be_read_is_named_with_the_reason(self):
        missing = os.path.join(SCRATCH, "no-such.requests")
        done = sim("requests", missing)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stderr, "tamsel-sim: cannot read " + missing + ": No such file or directory\n")
        done = sim("requests", SCRATCH)
        self.assertEqual(done.stderr, "tamsel-sim: cannot read " + SCRATCH + ": Is a directory\n")


class RunOptions(unittest.TestCase):
    def test_options_the_run_cannot_honour_are_refused_before_anything_runs(self):
        for args, message in ((["--signed-in"], "--signed-in"), (["--run-for", "3"], "--run-for"),
                              (["demo"], "no other command")):
            with self.subTest(args=args):
                done, out = run("refused", *args)
                self.assertEqual(done.returncode, 2)
                self.assertIn(message, done.stderr)
                self.assertFalse(os.path.exists(os.path.join(out, "index.html")))

    def test_no_credits_fails_the_generation_with_the_services_message_in_the_panel_and_the_report(self):
        done, out = run("no-credits", "--credits", "0")
        self.assertEqual(done.returncode, 1, done.stdout)
        line = step_line(done.stdout, "start the generation")
        self.assertIn("FAILED", line)
        self.assertIn("Insufficient credits. Nothing was charged.", line)
        if "scripted page" not in done.stdout:
            self.assertIn("the panel shows:", line)
        self.assertIn("Insufficient credits. Nothing was charged.", read(os.path.join(out, "index.html")))
        self.assertRegex(done.stdout, r"(?m)^7 of 13 steps in [\d.]+ s; report: ")

    def test_an_empty_model_ends_the_capture_with_the_panels_empty_view_state(self):
        done, out = run("empty", "--model", "empty", "--host-language", "POR")
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertIn("nothing to capture", step_line(done.stdout, "capture a saved camera"))
        line = step_line(done.stdout, "capture the current view")
        self.assertIn("FAILED", line)
        if "scripted page" in done.stdout:
            self.assertIn('{"empty":true}', line)
        else:
            self.assertIn("A vista está vazia: nada para capturar.", line)
        self.assertEqual(step_line(done.stdout, "upload the capture"), "", "the run stops at the failed step")

    def test_the_project_name_and_host_language_reach_the_add_on_and_the_report(self):
        done, out = run("named", "--scripted-page", "--project-name", "Casa Ribeira", "--host-language", "SPA")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn('project "Casa Ribeira"', step_line(done.stdout, "open the palette"))
        self.assertTrue(os.path.isfile(os.path.join(out, "project", "Tamsel Ovra", "render.png")))
        report = read(os.path.join(out, "index.html"))
        self.assertIn("host language SPA", report)
        self.assertIn("--project-name Casa Ribeira", report)
        self.assertIn("longest single host-thread turn", report)
        # Every step's line has its number in a column as wide as the count's.
        numbers = re.findall(r"(?m)^\[([ \d]+)/13\]", done.stdout)
        self.assertEqual(len(numbers), 13)
        self.assertEqual({len(n) for n in numbers}, {2})


if __name__ == "__main__":
    os.makedirs(SCRATCH, exist_ok=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)

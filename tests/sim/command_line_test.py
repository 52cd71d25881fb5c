#!/usr/bin/env python3
"""The simulator's command line as people and scripts use it: --help and --version on standard
output, a file that cannot be read named with the reason, a run that honours the options it
takes (the account's credits, the model, the project's name, the host language) or refuses them,
and the user opening another project while the add-on's work is in flight.

Usage: command_line_test.py TAMSEL_SIM SOURCE_DIR SCRATCH
"""
import json
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


def first_line(text):
    return text.splitlines()[0] if text else ""


def reply_ids(stdout):
    """The ids of the replies printed, in order (events have none)."""
    return [json.loads(line).get("id") for line in stdout.splitlines() if line.startswith("{")]


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


class ProjectChangeOptions(unittest.TestCase):
    def test_bad_values_are_refused_with_one_line_before_anything_runs(self):
        seconds = ("--project-change-at takes S[=PATH], S simulated seconds from the start, 0 or more, with at "
                   "most three decimals (such as 2 or 0.25)")
        for value, message in (("-1", seconds), ("+1", seconds), ("", seconds), ("ten", seconds), ("1e3", seconds),
                               (".5", seconds), ("2.", seconds), ("0.1234", seconds), ("99999999999", seconds),
                               ("nan", seconds), ("2=", "--project-change-at 2=: PATH after = is "
                                                                  "empty (leave out =PATH for an untitled project)")):
            with self.subTest(value=value):
                done = sim("requests", "/dev/null", "--project-change-at", value)
                self.assertEqual(done.returncode, 2)
                self.assertEqual(first_line(done.stderr), "tamsel-sim: " + message)
                self.assertEqual(done.stdout, "")
        done = sim("requests", "/dev/null", "--project-change-at")
        self.assertEqual((done.returncode, first_line(done.stderr)), (2, "tamsel-sim: --project-change-at needs a value"))

    def test_demo_and_run_stay_in_one_project_and_refuse_the_change(self):
        done = sim("demo", "--project-change-at", "1")
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stderr, "tamsel-sim: --project-change-at is for requests; demo stays in one project\n")
        self.assertEqual(done.stdout, "")
        done, out = run("refused-change", "--project-change-at", "1=/p/Other.pln")
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stderr, "tamsel-sim: --project-change-at is for requests; the run renders in one project\n")
        self.assertFalse(os.path.exists(os.path.join(out, "index.html")))


def project_name(stdout, request_id):
    for line in stdout.splitlines():
        reply = json.loads(line)
        if reply.get("id") == request_id:
            return reply["result"]["session"]["projectName"]
    return None


class ProjectChanges(unittest.TestCase):
    """--project-change-at in requests mode. The change is made in a wait, between host turns;
    each case states why its work is in flight then, and checks it was (the request is named as
    dropped), so a shift in the timing fails the case instead of passing it vacuously."""

    def test_lines_after_the_reload_go_to_the_new_project_and_a_reference_to_a_dropped_request_ends_the_run(self):
        # getState is answered as it is posted; the second line's wait makes the change first.
        requests = '{"id":"before","type":"getState"}\n{"id":"after","type":"getState","x":{{before.ok}}}\n'
        for change, name in (("0=/projects/Casa Ribeira.pln", "Casa Ribeira"), ("0", "Untitled"),
                             ("0=C:\\Projetos\\Torre.v2.pln", "Torre.v2")):
            with self.subTest(change=change):
                done = sim("requests", "-", "--project-name", "House", "--project-path", "/p/House.pln",
                           "--project-change-at", change, stdin=requests)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stderr, "")
                self.assertEqual(project_name(done.stdout, "before"), "House")
                self.assertEqual(project_name(done.stdout, "after"), name)
        # An "api" request is answered from a worker, so at the wait it is still in flight.
        done = sim("requests", "-", "--service", "--project-change-at", "0",
                   stdin='{"id":"a","type":"api","payload":{"method":"GET","path":"/api/v1/plugin/config"}}\n'
                         '{"id":"b","type":"getState","x":{{a.result.contract}}}\n')
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stderr, "tamsel-sim: request a dropped by the reload\n"
                                      "tamsel-sim: line 2: {{a.result.contract}} names request a, which the reload "
                                      "dropped before its reply came\n")
        self.assertNotIn("b", reply_ids(done.stdout))

    def test_a_placement_in_flight_at_the_change_leaves_no_worksheet(self):
        # With the call-backs first, a placement's model step runs at the idle notification of one
        # turn and its host step in the next turn's event-loop call-back. The pick takes the first
        # turn of the second line's wait (simulated 0.1 s to 0.2 s); the final wait's first turn
        # runs the placement's model step (0.2 s to 0.3 s), and the change at 0.25 s comes before
        # the turn that would make the worksheet.
        project = os.path.join(SCRATCH, "in-flight-project.json")
        requests = ('{"id":"pick","type":"pickFile","payload":{"accept":["image/png"]}}\n'
                    '{"id":"place","type":"place","payload":{"fileRef":{{pick.result.fileRef}},'
                    '"label":"The old project\'s render"}}\n')
        done = sim("requests", "-", "--callbacks-first", "--pick", os.path.join(SOURCE, "tests/sim/cases/pick-me.png"),
                   "--project-change-at", "0.25=" + os.path.join(SCRATCH, "Other.pln"), "--project-out", project,
                   "--run-for", "2", stdin=requests)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("pick", reply_ids(done.stdout))
        # Had the change come before the placement was posted or after it was made, the worksheet
        # would be there too: the case cannot pass on a shift in the timing.
        with open(project, encoding="utf-8") as f:
            self.assertEqual(json.load(f), {"worksheets": []},
                             "the old project's picture landed in the new one\n" + done.stdout + done.stderr)
        self.assertNotIn("place", reply_ids(done.stdout), "the old page's placement was answered after the change")
        self.assertEqual(done.stderr, "tamsel-sim: request place dropped by the reload\n")

    def test_an_api_reply_in_flight_at_the_change_does_not_reach_the_new_page(self):
        # The request goes to the service from a worker and its reply waits for a host call-back;
        # the change at 0 s is made at the start of the final wait, before any turn, so the
        # reply is in flight. --run-for keeps the host turning until the worker has ended.
        record = os.path.join(SCRATCH, "in-flight-record.jsonl")
        done = sim("requests", "-", "--service", "--project-change-at", "0", "--run-for", "2",
                   "--service-record", record,
                   stdin='{"id":"config","type":"api","payload":{"method":"GET","path":"/api/v1/plugin/config"}}\n')
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertNotIn("config", reply_ids(done.stdout), "the old page's reply reached the new page")
        self.assertEqual(done.stderr, "tamsel-sim: request config dropped by the reload\n")
        with open(record, encoding="utf-8") as f:
            paths = [json.loads(line)["path"] for line in f]
        self.assertEqual(paths, ["/api/v1/plugin/config"], "the request was in flight at the service")


if __name__ == "__main__":
    os.makedirs(SCRATCH, exist_ok=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)

#!/usr/bin/env python3
"""bench/run, run small: it must write its results and plot and clean up
after itself, and it must refuse to write results that compare the shell with
a tool run that did not do the same work.

    bench_run_test.py BUILD_DIR GENERATOR [unittest arguments]
"""

import os
import subprocess
import sys
import tempfile
import unittest

BENCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench", "run")
BUILD_DIR = None
GENERATOR = None


def run_bench(*args):
    return subprocess.run([sys.executable, BENCH, "--sizes", "2000", "--server-sizes", "2000", "--runs", "1",
                           "--no-jet"] + list(args), capture_output=True, text=True, timeout=170)


class Smoke(unittest.TestCase):
    def test_writes_results_with_the_plot_and_removes_its_work_files(self):
        with tempfile.TemporaryDirectory() as tmp:
            work = os.path.join(tmp, "work")
            results = os.path.join(tmp, "out", "RESULTS.md")
            done = run_bench("--build", BUILD_DIR, "--generator", GENERATOR, "--work", work, "--output", results)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn("Targets:", done.stdout)
            with open(results, encoding="utf-8") as f:
                text = f.read()
            self.assertRegex(text, r"\n\| 2,000 \| bench-2000\.sqlite \| [0-9.]+ MB \| [0-9.]+ s \| [0-9.]+ s \|")
            self.assertRegex(text, r"\n\| 2,000 \| bench_2000 \| [0-9.]+ MB \| [0-9.]+ s \| [0-9.]+ s \|")
            self.assertIn("](results.png)", text)
            with open(os.path.join(tmp, "out", "results.png"), "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
            self.assertEqual(os.listdir(work), [])


FAKE_TOOLS = [
    ("the tool prints other lines",
     "echo '{00000000-0000-0000-0000-000000000000}'; echo 1; echo 2; echo 3", "differ"),
    ("the tool leaves out the last line",
     None, "differ"),
    ("the tool fails", "echo 'Err :: the file is locked'; exit 1", "exit status 1"),
]


class Refusals(unittest.TestCase):
    def assert_refused(self, done, message, tmp):
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertIn(message, done.stderr)
        self.assertFalse(os.path.exists(os.path.join(tmp, "RESULTS.md")))
        self.assertEqual(os.listdir(os.path.join(tmp, "work")), [])

    def test_a_tool_run_that_is_not_the_expected_one(self):
        real_tool = os.path.join(BUILD_DIR, "reconsider-tagger")
        for name, body, message in FAKE_TOOLS:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                fake_build = os.path.join(tmp, "build")
                os.mkdir(fake_build)
                if body is None:
                    body = '"%s" "$1" | head -n 3' % real_tool
                fake = os.path.join(fake_build, "reconsider-tagger")
                with open(fake, "w") as f:
                    f.write("#!/bin/sh\n" + body + "\n")
                os.chmod(fake, 0o755)
                done = run_bench("--build", fake_build, "--generator", GENERATOR,
                                 "--work", os.path.join(tmp, "work"), "--output", os.path.join(tmp, "RESULTS.md"))
                self.assert_refused(done, message, tmp)

    def test_a_missing_generator(self):
        with tempfile.TemporaryDirectory() as tmp:
            done = run_bench("--build", BUILD_DIR, "--generator", os.path.join(tmp, "no-generator"),
                             "--work", os.path.join(tmp, "work"), "--output", os.path.join(tmp, "RESULTS.md"))
            self.assertEqual(done.returncode, 1)
            self.assertIn("no repository generator", done.stderr)
            self.assertFalse(os.path.exists(os.path.join(tmp, "RESULTS.md")))


if __name__ == "__main__":
    BUILD_DIR, GENERATOR = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])

#!/usr/bin/env python3
"""What `cmake --install` puts in place, under a DESTDIR and a prefix.

Usage: install_tree_test.py CMAKE BUILD_DIR SOURCE_DIR

Installs the build tree into a temporary DESTDIR once per prefix and checks
the tree: exactly the executable, the gzipped manual page and the package's
two doc files, with Debian's modes; the compressed files hold the sources'
bytes, without a name or a time in their gzip header; the installed
executable runs the README's sample.
"""
import gzip
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

CMAKE, BUILD_DIR, SOURCE_DIR = sys.argv[1:4]

# Installed path (below the prefix) -> (mode, source whose bytes it holds
# gzipped, or None).
EXPECTED_FILES = {
    "bin/reconsider-tagger": (0o755, None),
    "share/man/man1/reconsider-tagger.1.gz": (0o644, "doc/reconsider-tagger.1"),
    "share/doc/reconsider-tagger/copyright": (0o644, None),
    "share/doc/reconsider-tagger/changelog.gz": (0o644, "packaging/changelog"),
}

SAMPLE_LINES = [
    "{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}",
    "2,3,6,4,5,7,9",
    "110,111",
    "200,201,205,200",
]


def install(destdir, prefix):
    env = dict(os.environ, DESTDIR=destdir)
    subprocess.run([CMAKE, "--install", BUILD_DIR, "--prefix", prefix], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(destdir, prefix.lstrip("/"))


class InstallTreeTest(unittest.TestCase):
    def setUp(self):
        self.destdir = tempfile.mkdtemp(prefix="install-tree-")
        self.addCleanup(shutil.rmtree, self.destdir)

    def test_prefixes(self):
        for prefix in ["/usr", "/usr/local", "/opt/reconsider tagger"]:
            with self.subTest(prefix=prefix):
                root = install(os.path.join(self.destdir, prefix.strip("/")), prefix)
                files, dirs = set(), []
                for top, subdirs, names in os.walk(root):
                    dirs += [os.path.join(top, d) for d in subdirs]
                    files |= {os.path.relpath(os.path.join(top, n), root) for n in names}
                self.assertEqual(files, set(EXPECTED_FILES))
                for directory in dirs:
                    self.assertEqual(stat.S_IMODE(os.stat(directory).st_mode), 0o755, directory)
                for path, (mode, source) in EXPECTED_FILES.items():
                    full = os.path.join(root, path)
                    self.assertEqual(stat.S_IMODE(os.stat(full).st_mode), mode, path)
                    if source is None:
                        continue
                    with open(full, "rb") as f:
                        header = f.read(10)
                    # gzip -n: no FNAME flag and a zero MTIME, so equal
                    # sources give equal bytes.
                    self.assertEqual(header[:2], b"\x1f\x8b", path)
                    self.assertEqual(header[3] & 0x08, 0, path + ": the file name is stored")
                    self.assertEqual(header[4:8], b"\0\0\0\0", path + ": a time is stored")
                    with gzip.open(full, "rb") as f, \
                            open(os.path.join(SOURCE_DIR, source), "rb") as s:
                        self.assertEqual(f.read(), s.read(), path)

    def test_installed_executable_runs_the_sample(self):
        root = install(self.destdir, "/usr")
        sample = os.path.join(self.destdir, "sample.mdb")
        shutil.copyfile(os.path.join(SOURCE_DIR, "examples/sample.mdb"), sample)
        run = subprocess.run([os.path.join(root, "bin/reconsider-tagger"), sample],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual((run.returncode, run.stdout.splitlines(), run.stderr),
                         (0, SAMPLE_LINES, ""))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)

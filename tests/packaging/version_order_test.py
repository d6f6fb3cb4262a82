#!/usr/bin/python3
"""The versions cmake/talvik_version.cmake gives successive commits of a
scratch repository sort in commit order under dpkg's rules, in a clone with
release tags and in one without (CI clones with --no-tags), and the same
commit is called the same in both.

Usage: version_order_test.py CMAKE VERSION_SCRIPT"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CMAKE, SCRIPT = sys.argv[1], sys.argv[2]

# Fixed names, dates and no user configuration: the same hashes on every run.
GIT_ENV = dict(os.environ, GIT_CONFIG_GLOBAL=os.devnull, GIT_CONFIG_NOSYSTEM="1",
               GIT_AUTHOR_NAME="t", GIT_AUTHOR_EMAIL="t@localhost",
               GIT_COMMITTER_NAME="t", GIT_COMMITTER_EMAIL="t@localhost")


def git(repo, *args):
    return subprocess.run(["git", "-C", repo, *args], check=True, capture_output=True, text=True,
                          env=GIT_ENV).stdout.strip()


def versions(repo):
    """(--version form, Debian form) of the checkout."""
    out = subprocess.run([CMAKE, f"-DTALVIK_SOURCE_DIR={repo}", "-P", SCRIPT], check=True,
                         capture_output=True, text=True).stdout.split()
    assert len(out) == 2, out
    return out[0], out[1]


def dpkg_less(a, b):
    return subprocess.run(["dpkg", "--compare-versions", a, "lt", b]).returncode == 0


class History:
    """A repository whose VERSION file says `release` at each commit."""

    def __init__(self, root):
        self.repo = os.path.join(root, "repo")
        os.makedirs(self.repo)
        git(self.repo, "init", "-q", "-b", "main")
        self.commits = 0

    def commit(self, release, tag=None):
        self.commits += 1
        with open(os.path.join(self.repo, "VERSION"), "w") as f:
            f.write(release + "\n")
        with open(os.path.join(self.repo, "work.txt"), "a") as f:
            f.write(f"change {self.commits}\n")
        git(self.repo, "add", "-A")
        date = f"2026-01-{self.commits:02d}T12:00:00Z"
        subprocess.run(["git", "-C", self.repo, "commit", "-q", "-m", f"change {self.commits}"], check=True,
                       env=dict(GIT_ENV, GIT_AUTHOR_DATE=date, GIT_COMMITTER_DATE=date))
        if tag:
            git(self.repo, "tag", "-a", tag, "-m", tag)
        return versions(self.repo)


class VersionOrder(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="talvik-versions.")
        self.history = History(self.root)

    def tearDown(self):
        shutil.rmtree(self.root)

    def assert_ascending(self, debian):
        for older, newer in zip(debian, debian[1:]):
            self.assertTrue(dpkg_less(older, newer), f"{older} does not sort below {newer}: {debian}")

    def test_without_tags_commits_sort_in_order(self):
        # Enough commits that hashes alone would sort them out of order, and
        # past 9 so that the count must compare as a number.
        made = [self.history.commit("1.1.0") for _ in range(12)]
        self.assert_ascending([debian for _, debian in made])
        version, debian = made[-1]
        commit = git(self.history.repo, "rev-parse", "--short", "HEAD")
        self.assertEqual(version, f"1.1.0-12-g{commit}")
        self.assertEqual(debian, f"1.1.0+12.g{commit}")

    def test_releases_and_commits_between_sort_in_order(self):
        h = self.history
        made = [h.commit("1.0.0", tag="v1.0.0"), h.commit("1.0.0"), h.commit("1.1.0", tag="v1.1.0"),
                h.commit("1.1.0"), h.commit("1.1.0")]
        debian = [d for _, d in made]
        self.assertEqual(debian[0], "1.0.0")
        self.assertEqual(debian[2], "1.1.0")
        self.assert_ascending(debian)
        # A modified tree sorts after its commit and before the next one.
        with open(os.path.join(h.repo, "work.txt"), "a") as f:
            f.write("uncommitted\n")
        version, dirty = versions(h.repo)
        self.assertTrue(version.endswith("-5-g" + git(h.repo, "rev-parse", "--short", "HEAD") + "-dirty"), version)
        git(h.repo, "checkout", "-q", "--", "work.txt")
        after = h.commit("1.1.0")[1]
        self.assert_ascending([debian[-1], dirty, after])

    def test_a_clone_without_tags_names_commits_as_the_tagged_one_does(self):
        h = self.history
        tagged = [h.commit("1.0.0"), h.commit("1.1.0", tag="v1.1.0"), h.commit("1.1.0"), h.commit("1.1.0")]
        clone = os.path.join(self.root, "clone")
        subprocess.run(["git", "clone", "-q", "--no-tags", h.repo, clone], check=True, env=GIT_ENV)
        self.assertEqual(git(clone, "tag"), "")
        untagged = []
        for back in range(len(tagged) - 1, -1, -1):
            git(clone, "checkout", "-q", f"main~{back}")
            untagged.append(versions(clone))
        self.assert_ascending([d for _, d in untagged])
        # The tagged commit is the bare release only where the tag is known.
        self.assertEqual(tagged[1][1], "1.1.0")
        self.assertTrue(re.fullmatch(r"1\.1\.0\+2\.g[0-9a-f]{7,}", untagged[1][1]), untagged[1][1])
        for i in (0, 2, 3):
            self.assertEqual(untagged[i], tagged[i])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)

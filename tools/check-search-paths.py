#!/usr/bin/python3
"""Checks the library search paths (DT_RPATH, DT_RUNPATH) of every ELF file
under a folder: each entry must name a folder inside that folder, either as
an absolute path (a build tree) or relative to the file through $ORIGIN (an
installed tree, which may be moved). The loader takes an empty entry for
the current folder, and a relative one from it: whoever runs the program
from a folder holding a library of a wanted name would run that library's
code.

Usage: check-search-paths.py [--none] ROOT
  --none   no ELF file under ROOT may carry a search path at all (a plug-in
           that loads inside a host that already provides its libraries).
Prints each offending entry and exits 1 when there is one."""
import os
import re
import subprocess
import sys

ENTRY = re.compile(r"\((RPATH|RUNPATH)\)\s+Library (?:rpath|runpath): \[(.*)\]")
ORIGIN = re.compile(r"\$(ORIGIN\b|\{ORIGIN\})")


def elf_files(root):
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            try:
                with open(path, "rb") as f:
                    if f.read(4) == b"\x7fELF":
                        yield path
            except OSError:
                continue  # gone or unreadable: written by something else meanwhile


def search_paths(path):
    """[(tag, entries)] of the file's dynamic section."""
    text = subprocess.run(["readelf", "-d", "-W", path], check=True, capture_output=True, text=True).stdout
    return [(m.group(1), m.group(2).split(":")) for m in ENTRY.finditer(text)]


def inside(folder, root):
    return os.path.commonpath([folder, root]) == root


def problems(path, root, none_allowed):
    for tag, entries in search_paths(path):
        if none_allowed:
            yield f"{tag} {':'.join(entries)}: this file may carry no search path"
            continue
        for entry in entries:
            if entry == "":
                yield f"{tag} has an empty entry (the current folder): [{':'.join(entries)}]"
                continue
            expanded = ORIGIN.sub(os.path.dirname(path), entry)
            if "$" in expanded:
                yield f"{tag} entry {entry} uses a loader variable other than $ORIGIN"
            elif not os.path.isabs(expanded):
                yield f"{tag} entry {entry} is relative to the current folder"
            elif not inside(os.path.realpath(expanded), root):
                yield f"{tag} entry {entry} lies outside {root}"


def main(argv):
    none_allowed = "--none" in argv
    args = [a for a in argv if a != "--none"]
    if len(args) != 1 or not os.path.isdir(args[0]):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = os.path.realpath(args[0])
    count = 0
    bad = 0
    for path in elf_files(root):
        count += 1
        for problem in problems(path, root, none_allowed):
            print(f"{os.path.relpath(path, root)}: {problem}", file=sys.stderr)
            bad += 1
    if count == 0:
        print(f"no ELF file under {root}: nothing was checked", file=sys.stderr)
        return 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

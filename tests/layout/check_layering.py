#!/usr/bin/env python3
"""Checks which way the code depends: every folder includes only from itself
and from the folders its row allows, so no two folders include each other
and nothing below the command includes the command's headers.

Usage: check_layering.py SOURCE_ROOT. Prints each include that crosses a
boundary the wrong way and exits 1 when there is one."""
import pathlib
import re
import sys

# Folder -> the folders it may include from, besides itself. The most
# specific folder a file lies in is its folder. DDImage/ is the host's
# (Nuke's) SDK: the plug-in and the host include it.
ALLOWED = {
    "lens": set(),
    "node": {"lens", "DDImage"},
    "host": {"DDImage", "io"},
    "io": set(),
    # Deflate for both file formats: whole streams and joined pieces.
    "deflate": set(),
    # File formats, side by side.
    "exr": {"io", "deflate"},
    "png": {"io", "deflate"},
    # A take and a plate come in here.
    "shot": {"exr", "io", "host", "DDImage", "lens"},
    # The shot pipeline: from a job value to a shot's files. It never sees
    # a command line or a terminal.
    "pipeline/job": {"shot", "exr"},
    "pipeline/output": {"pipeline/job", "shot", "io"},
    "pipeline/render": {"pipeline/job", "pipeline/output", "png", "shot", "exr", "io", "host", "DDImage", "lens"},
    "pipeline/points": {"pipeline/job", "pipeline/output", "pipeline/render", "shot", "io", "host", "DDImage", "lens"},
    "pipeline/handoff": {"pipeline/job", "pipeline/output", "pipeline/render", "shot", "exr", "io", "host", "DDImage",
                         "lens"},
    "pipeline/farm": {"pipeline/job", "pipeline/output", "pipeline/render", "shot", "exr", "io", "host", "DDImage",
                      "lens"},
    # The two front ends: the command and the Python module.
    "cli/options": {"pipeline/job", "shot", "exr", "io"},
    "cli/output": {"pipeline/job", "shot", "io"},
    "cli/farm": {"cli/output", "pipeline/farm", "pipeline/job", "pipeline/output", "pipeline/render", "shot", "exr",
                 "io", "host", "DDImage", "lens"},
    "cli": {"cli/options", "cli/output", "cli/farm", "pipeline/job", "pipeline/output", "pipeline/render",
            "pipeline/points", "pipeline/handoff", "pipeline/farm", "png", "shot", "exr", "io", "host", "DDImage",
            "lens"},
    "python": {"pipeline/job", "pipeline/output", "pipeline/render", "pipeline/points", "pipeline/handoff",
               "pipeline/farm", "shot", "exr", "io", "host", "DDImage", "lens"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(relative):
    """The most specific folder of ALLOWED holding `relative`, or None."""
    parts = pathlib.PurePosixPath(relative).parts
    for depth in range(len(parts) - 1, 0, -1):
        candidate = "/".join(parts[:depth])
        if candidate in ALLOWED:
            return candidate
    return None


def target_of(include):
    """The folder an include names: "pipeline/render/x.h" -> pipeline/render."""
    if include.startswith("DDImage/"):
        return "DDImage"
    return folder_of(include)


def violations(root):
    for path in sorted(root.rglob("*")):
        if path.suffix not in {".h", ".cpp", ".in"}:
            continue
        relative = path.relative_to(root).as_posix()
        if relative.startswith(("build", "tests/", "bench/", ".")):
            continue
        home = folder_of(relative)
        if home is None:
            continue
        for include in INCLUDE.findall(path.read_text(errors="replace")):
            target = target_of(include)
            if target is None or target == home:
                continue
            if target not in ALLOWED[home]:
                yield f"{relative}: includes \"{include}\" ({home} may not depend on {target})"


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    found = list(violations(root))
    for line in found:
        print(line)
    # The table itself must not let two folders include each other.
    for a, deps in ALLOWED.items():
        for b in deps:
            if a in ALLOWED.get(b, set()):
                found.append(f"{a} and {b} may include each other")
                print(found[-1])
    print(f"{'no' if not found else len(found)} layering violations")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

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
    "exr": {"io"},
    "shot": {"exr", "io", "host", "DDImage", "lens"},
    "cli/options": {"shot", "exr", "io"},
    "cli/output": {"cli/options", "shot", "io"},
    "cli/preview": {"io"},
    "cli/points": set(),
    "cli/render": {"cli/options", "cli/output", "cli/preview", "shot", "exr", "io", "host", "DDImage", "lens"},
    "cli/handoff": {"cli/options", "cli/output", "cli/render", "shot", "exr", "io", "host", "DDImage", "lens"},
    "cli/farm": {"cli/options", "cli/output", "cli/preview", "cli/render", "shot", "exr", "io", "host", "DDImage", "lens"},
    "cli": {"cli/options", "cli/output", "cli/preview", "cli/points", "cli/render", "cli/handoff", "cli/farm", "shot", "exr", "io",
            "host", "DDImage", "lens"},
    # The Python module: beside the command, on what it shares with it.
    "python": {"shot", "exr", "io", "host", "DDImage", "lens"},
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
    """The folder an include names: "cli/render/x.h" -> cli/render."""
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

"""The shot functions against the command on the sample shot: the same
files bit for bit, the same report, the same verdict, and the command's
warnings as Python warnings."""
import filecmp
import json
import re
import warnings

import pytest

import talvik
from conftest import SAMPLE_PLATE, SAMPLE_TAKE, run_stmap

SHOT = {"fbx": SAMPLE_TAKE, "plate": SAMPLE_PLATE}


def test_render_overscan_and_verify_match_the_command(tmp_path):
    run_stmap("render", "--fbx", SAMPLE_TAKE, "--plate", SAMPLE_PLATE, "--mode", "distort", "--overscan", "auto",
              "--frames", "1001-1002", "-o", tmp_path / "cmd/rm.####.exr", "--preview", tmp_path / "cmd/rm.####.png")
    talvik.render(tmp_path / "py/rm.####.exr", **SHOT, direction="remove", overscan="auto", frames=[1001, 1002],
                  preview=tmp_path / "py/rm.####.png")
    for name in ["rm.1001.exr", "rm.1002.exr", "rm.1002.png"]:
        assert filecmp.cmp(tmp_path / "cmd" / name, tmp_path / "py" / name, shallow=False), name

    run_stmap("overscan", "--fbx", SAMPLE_TAKE, "--plate", SAMPLE_PLATE, "-o", tmp_path / "cmd.json")
    report = talvik.overscan(tmp_path / "py.json", **SHOT)
    assert report == json.loads((tmp_path / "cmd.json").read_text())

    shot = dict(SHOT, mode="distort", overscan="auto", frames="1001-1002")
    assert talvik.verify(tmp_path / "py/rm.####.exr", **shot)
    (tmp_path / "py/rm.1002.exr").write_bytes(b"")
    verdict = talvik.verify(tmp_path / "py/rm.####.exr", **shot)
    command = run_stmap("verify", "--fbx", SAMPLE_TAKE, "--plate", SAMPLE_PLATE, "--mode", "distort", "--overscan",
                        "auto", "--frames", "1001-1002", "-o", tmp_path / "py/rm.####.exr", check=False)
    assert not verdict and verdict.failing == [1002]
    assert command.returncode == 1 and str(verdict) == command.stdout.strip()


def test_a_warning_of_the_command_is_a_python_warning(tmp_path):
    # Frames outside the take's keys: the command warns, --strict fails.
    with pytest.warns(RuntimeWarning, match="outside the take's keyed range"):
        talvik.render(tmp_path / "a.####.exr", **SHOT, mode="undistort", frames="1-2")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(RuntimeWarning):
            talvik.render(tmp_path / "b.####.exr", **SHOT, mode="undistort", frames="1-2")
    assert not list(tmp_path.glob("b.*"))


@pytest.mark.parametrize("keywords, error", [
    ({"fbx": "missing.fbx"}, FileNotFoundError),
    ({"plate": "missing.exr"}, FileNotFoundError),
    ({"frames": "1-x"}, ValueError),
    ({"size": (0, 10)}, ValueError),
    ({"mode": "sideways"}, ValueError),
    ({"direction": "distort"}, ValueError),
    ({"size": "1920"}, ValueError),
    ({"size": "1920x0"}, ValueError),
    ({"bogus": 1}, TypeError),
])
def test_bad_keywords_raise_the_fitting_exception(tmp_path, keywords, error):
    with pytest.raises(error):
        talvik.render(tmp_path / "x.####.exr", **keywords)


# The job's own rules hold for Python as for the command, and name the
# keywords: the output is "output", not -o.
@pytest.mark.parametrize("function, keywords, message", [
    ("points", {"direction": "remove", "size": "1920x1080"}, "points needs the take: give fbx="),
    ("points", {"fbx": SAMPLE_TAKE, "size": (1920, 1080)}, 'points needs direction="remove" or "add"'),
    ("render", dict(SHOT, size="1920x1080"), "plate and size both set the frame size"),
    ("render", dict(SHOT, direction="add", mode="distort"), 'direction="add" and mode="distort" disagree'),
    ("render", dict(SHOT, overscan="auto", overscan_from=SAMPLE_TAKE), "overscan and overscan_from both give"),
    ("render", dict(SHOT, frames="1001", preview="{out}"), 'output ".*" .frame 1001. and preview'),
    ("plan", dict(SHOT, chunk=0), "chunk 0 is out of range"),
    ("camera", dict(SHOT, film_back="36x0.01"), "film_back height 0.01 is out of range"),
])
def test_a_job_that_cannot_run_names_its_keywords(tmp_path, function, keywords, message):
    track = tmp_path / "track.csv"
    track.write_text("name,frame,x,y\np,1001,10,10\n")
    out = tmp_path / ("t.csv" if function == "points" else "x.####.exr")
    keywords = {k: (str(out) if v == "{out}" else v) for k, v in keywords.items()}
    extra = {"track": track} if function == "points" else {}
    with pytest.raises(ValueError, match=message):
        getattr(talvik, function)(out, **keywords, **extra)


# Each function takes the options its command lists in --help, as keywords,
# and no other command's.
COMMANDS = {"render": "render", "overscan": "overscan", "camera": "camera", "nuke_script": "nuke-script",
            "points": "points", "plan": "plan", "verify": "verify"}
TERMINAL = {"quiet", "verbose", "strict", "print_controls", "json", "help", "output", "no_config"}


# What Python leaves to the command: a farm task's log, the scheduler's job
# names, and verify of both maps at once (call verify once per map).
COMMAND_ONLY = {"task_log": {"render", "overscan", "verify"}, "job_name": {"plan"},
                "remove_map": {"verify"}, "add_map": {"verify"}}


def command_keywords(command):
    names = re.findall(r"^  (?:-\w, )?--([a-z-]+)", run_stmap(command, "--help").stdout, re.M)
    keywords = {name.replace("-", "_") for name in names} - TERMINAL | ({"track"} if command == "points" else set())
    return {k for k in keywords if command not in COMMAND_ONLY.get(k, set())}


def test_each_function_takes_its_commands_options():
    taken = {function: command_keywords(command) for function, command in COMMANDS.items()}
    every = set().union(*taken.values()) - {"fbx"}
    for function, keywords in taken.items():
        for key in sorted(every):
            expected = FileNotFoundError if key in keywords else TypeError
            with pytest.raises(expected):
                getattr(talvik, function)("out", **{key: None}, fbx="missing.fbx")

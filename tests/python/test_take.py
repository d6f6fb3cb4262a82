"""talvik.Take: what the node's reload gives each camera, as the command
reloads it, and its failures in the command's words."""
import math
import os
import subprocess
import sys
import threading
import warnings

import numpy as np
import pytest

import talvik
from conftest import SAMPLE_TAKE, SOURCE, command_error, print_controls, write_take

FIXTURES = SOURCE / "tests" / "fixtures" / "fbx"


def test_controls_at_every_frame_are_print_controls():
    take = talvik.Take(SAMPLE_TAKE)
    assert take.cameras == [1, 2]
    for camera in take.cameras:
        printed = print_controls("--fbx", SAMPLE_TAKE, "--camera", camera)
        assert take.frames(camera) == [line["frame"] for line in printed]
        for line in printed:
            assert take.controls(camera, line["frame"]) == line


def test_the_lens_is_the_controls_at_that_frame():
    take = talvik.Take(SAMPLE_TAKE)
    # Past the keys the take holds its last key, as Nuke's curves do.
    for frame in (1001, 1017, 1024, 2000):
        controls = take.controls(2, frame)
        lens = take.lens(2, frame)
        for name in ("cx", "cy", "fx", "fy", "k1", "k2"):
            # --print-controls writes the float's shortest text.
            assert np.float32(getattr(lens, name)) == np.float32(controls[name]), (frame, name)
        assert lens.anamorphic == bool(controls["anamorphic"])
    assert take.lens(2, 2000) == take.lens(2, 1024) != take.lens(2, 1001)


def test_keys_written_by_hand_come_back(folder):
    keys = {f: dict(cx=f - 1000, cy=-2.5, fx=1400 + f % 7, fy=1300, k1=-0.01 * (f % 3), k2=0.002, anamorphic=1)
            for f in range(1, 6)}
    take = talvik.Take(write_take(folder / "take_cam3.fbx", 3, keys))
    assert take.cameras == [3] and take.frames(3) == [1, 2, 3, 4, 5]
    for frame, want in keys.items():
        lens = take.lens(3, frame)
        for name, value in want.items():
            assert getattr(lens, name) == np.float32(value), (frame, name)


def test_failures_are_the_commands(folder):
    missing = folder / "missing.fbx"
    with pytest.raises(RuntimeError) as e:
        talvik.Take(missing)
    assert str(e.value) == command_error("render", "--fbx", missing, "--print-controls")
    damaged = FIXTURES / "bad_magic.fbx"
    with pytest.raises(RuntimeError) as e:
        talvik.Take(damaged)
    assert str(e.value) == command_error("render", "--fbx", damaged, "--print-controls")
    take = talvik.Take(SAMPLE_TAKE)
    with pytest.raises(RuntimeError) as e:
        take.lens(5, 1001)
    assert str(e.value) == command_error("render", "--fbx", SAMPLE_TAKE, "--camera", 5, "--print-controls")
    # A failed camera leaves the take usable.
    assert take.frames(1)[0] == 1001
    with pytest.raises(ValueError, match="camera -1"):
        take.frames(-1)
    os.mkfifo(folder / "fifo.fbx")
    with pytest.raises(RuntimeError, match="FIFO"):
        talvik.Take(folder / "fifo.fbx")


def test_a_non_finite_key_is_refused_as_the_command_refuses_it(folder):
    keys = {f: dict(cx=0, cy=0, fx=1500, fy=1500, k1=0.0, k2=0.0, anamorphic=0) for f in (1, 2)}
    keys[2]["k1"] = 1e39  # beyond a 32-bit float
    path = write_take(folder / "take.fbx", 1, keys)
    with pytest.raises(RuntimeError) as e:
        talvik.Take(path).lens(1, 1)
    assert str(e.value) == command_error("render", "--fbx", path, "--camera", 1, "--print-controls")


def in_new_process(code, **env):
    """Runs Python code in a process of its own (the plug-in loads once per
    process); returns its standard output."""
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                            env={**os.environ, **env})
    assert result.returncode == 0, result.stderr
    return result.stdout


def test_plugin_path_is_searched_first(folder):
    # A library of the plug-in's name that is not one, in the folder asked
    # for or on TALVIK_PLUGIN_PATH, is the one loaded.
    bogus = folder / "bogus"
    bogus.mkdir()
    (bogus / "TalvikDistort.so").write_bytes(b"not a library")
    load = ("import talvik\n"
            "try:\n"
            "    talvik.Take({take!r}{argument}).frames(1)\n"
            "except RuntimeError as e:\n"
            "    print(e)\n")
    said = in_new_process(load.format(take=str(SAMPLE_TAKE), argument=f", plugin_path={str(bogus)!r}"))
    assert str(bogus / "TalvikDistort.so") in said
    said = in_new_process(load.format(take=str(SAMPLE_TAKE), argument=""), TALVIK_PLUGIN_PATH=f":{bogus}:")
    assert str(bogus / "TalvikDistort.so") in said


def test_plugin_folders_asked_for_are_the_only_ones(folder):
    # As for talvik-stmap: a folder asked for that is missing, or folders
    # without the plug-in, never fall back on the plug-in beside the module.
    empty = folder / "empty"
    empty.mkdir()
    load = ("import talvik\n"
            "try:\n"
            "    print(talvik.Take({take!r}{argument}).frames(1)[0])\n"
            "except RuntimeError as e:\n"
            "    print('RuntimeError:', e)\n")
    said = in_new_process(load.format(take=str(SAMPLE_TAKE), argument=f", plugin_path=[{str(empty)!r}]"))
    assert said == f"RuntimeError: unknown node class TalvikDistort (plug-in path: {empty})\n"
    missing = folder / "missing"
    said = in_new_process(load.format(take=str(SAMPLE_TAKE), argument=f", plugin_path={str(missing)!r}"))
    assert said == f'RuntimeError: plugin_path "{missing}" does not exist; the plug-in is looked for only in the folders asked for\n'
    said = in_new_process(load.format(take=str(SAMPLE_TAKE), argument=""), TALVIK_PLUGIN_PATH=f"{empty}:{missing}")
    assert said.startswith(f'RuntimeError: TALVIK_PLUGIN_PATH folder "{missing}" does not exist'), said
    # Asked for none, the plug-in beside the module.
    said = in_new_process(load.format(take=str(SAMPLE_TAKE), argument=""), TALVIK_PLUGIN_PATH="")
    assert said == "1001\n"


def test_a_plugin_of_another_lens_model_is_named_in_a_warning():
    silent = os.environ.get("TALVIK_SILENT_PLUGIN_DIR")
    if not silent:
        pytest.skip("TALVIK_SILENT_PLUGIN_DIR is not set (CTest sets it)")
    code = ("import talvik, warnings\n"
            "with warnings.catch_warnings(record=True) as seen:\n"
            "    warnings.simplefilter('always')\n"
            "    talvik.Take({take!r}, plugin_path={silent!r}).frames(1)\n"
            "print(seen[0].category.__name__, seen[0].message)\n")
    said = in_new_process(code.format(take=str(SAMPLE_TAKE), silent=silent))
    assert said.startswith(f"RuntimeWarning plug-in {os.path.realpath(silent)}/TalvikDistort.so does not say")
    # Warnings made errors raise it.
    strict = ("import talvik, warnings\n"
              "warnings.simplefilter('error')\n"
              "try:\n"
              "    talvik.Take({take!r}, plugin_path={silent!r}).frames(1)\n"
              "except RuntimeWarning as e:\n"
              "    print('raised')\n")
    assert in_new_process(strict.format(take=str(SAMPLE_TAKE), silent=silent)) == "raised\n"


def test_a_process_with_a_nuke_module_of_its_own_keeps_it(monkeypatch):
    ours = type(sys)("nuke")
    monkeypatch.setitem(sys.modules, "nuke", ours)
    assert talvik.Take(SAMPLE_TAKE).frames(2)[-1] == 1024
    assert sys.modules["nuke"] is ours
    assert "nukescripts" not in sys.modules


def test_reloads_in_threads_each_get_their_own_camera():
    take_a, take_b = talvik.Take(SAMPLE_TAKE), talvik.Take(SAMPLE_TAKE)
    want = {1: talvik.Take(SAMPLE_TAKE).lens(1, 1010), 2: talvik.Take(SAMPLE_TAKE).lens(2, 1010)}
    got, failures = {}, []

    def reload(take, camera):
        try:
            got[camera] = take.lens(camera, 1010)
        except Exception as e:  # reported below
            failures.append(e)

    threads = [threading.Thread(target=reload, args=a) for a in ((take_a, 1), (take_b, 2))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not failures and got == want


def test_long_work_lets_other_threads_run():
    # With a switch interval longer than the work, only a released GIL
    # lets the main thread in while the map is computed.
    lens = talvik.Lens(fx=1200, k1=0.05, k2=0.01)
    started, done = threading.Event(), threading.Event()
    ran_meanwhile = []

    def work():
        started.set()
        lens.st_map(8192, 4320, "undistort")
        done.set()

    interval = sys.getswitchinterval()
    sys.setswitchinterval(100.0)
    try:
        worker = threading.Thread(target=work)
        worker.start()
        started.wait()
        if not done.is_set():
            ran_meanwhile.append(True)
        worker.join()
    finally:
        sys.setswitchinterval(interval)
    assert ran_meanwhile


def test_lens_values_are_checked():
    with pytest.raises(ValueError, match="fx nan"):
        talvik.Lens(fx=math.nan)
    with pytest.raises(ValueError, match="k1 1e\\+39"):
        talvik.Lens(k1=1e39)
    with pytest.raises(TypeError):
        talvik.Lens(1500.0)  # keywords only
    lens = talvik.Lens(fx=1500)
    with pytest.raises(ValueError, match='not "Distort"'):
        lens.st_map(10, 10, "Distort")
    with pytest.raises(ValueError, match="r must exceed x"):
        lens.st_map(10, 10, "distort", box=(5, 0, 5, 10))
    assert talvik.Lens() == talvik.Lens(cx=0, cy=0, fx=1920, fy=1920, anamorphic=False, k1=0, k2=0)
    assert eval(repr(lens), {"talvik": talvik}) == lens

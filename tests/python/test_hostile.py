"""The module under hostile use: threads from the first call, a take freed
by the garbage collector mid-reload, Ctrl-C and memory limits, a take file
replaced under a Take, uninitialised objects, NUL bytes and lenses the
command refuses."""
import os
import pickle
import subprocess
import sys
import warnings

import pytest

import talvik
from conftest import SAMPLE_TAKE, write_take

# Only a hang takes this long; nothing here is timed.
HANG = 120


def run_python(code):
    """Python code run in a fresh process (its output and error)."""
    try:
        result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=HANG)
    except subprocess.TimeoutExpired:
        pytest.fail(f"hung:\n{code}")
    return result


def test_first_calls_from_several_threads_finish():
    # numpy is not imported first: the module's first calls set it up.
    said = run_python(
        "import threading, talvik\n"
        "lens = talvik.Lens(fx=1500, k1=-0.05)\n"
        "calls = [lambda: lens.undistort([[960.5, 540.5]], 1920, 1080), lambda: lens.st_map(64, 36, 'distort')] * 2\n"
        "threads = [threading.Thread(target=c) for c in calls]\n"
        "[t.start() for t in threads], [t.join() for t in threads], print('done')\n")
    assert said.stdout == "done\n", said.stderr


def test_a_take_collected_during_another_takes_reload_is_freed():
    # The exception kept in a local holds the frame, and so the take, in a
    # cycle that the collector frees during a later reload's script.
    said = run_python(
        "import talvik\n"
        "def load():\n"
        "    take = talvik.Take({take!r})\n"
        "    try:\n"
        "        take.frames(3)\n"
        "    except RuntimeError as e:\n"
        "        failure = e\n"
        "for _ in range(200):\n"
        "    load()\n"
        "print('done')\n".format(take=str(SAMPLE_TAKE)))
    assert said.stdout == "done\n", said.stderr


def test_ctrl_c_stops_a_long_map_while_it_is_computed():
    # A thread of this process sends SIGINT once the map's own threads run;
    # the handler looks whether they still do when the interrupt is taken.
    said = run_python(
        "import os, signal, threading, time, talvik\n"
        "def native():  # threads Python does not know of: the map's\n"
        "    return len(os.listdir('/proc/self/task')) - threading.active_count()\n"
        "idle = native()\n"
        "def send():\n"
        "    while native() <= idle:\n"
        "        time.sleep(0.001)\n"
        "    os.kill(os.getpid(), signal.SIGINT)\n"
        "    threading.Event().wait()  # stays, so that it is counted alike\n"
        "def taken(signum, frame):\n"
        "    print('while computing' if native() > idle else 'after computing')\n"
        "    raise KeyboardInterrupt\n"
        "signal.signal(signal.SIGINT, taken)\n"
        "threading.Thread(target=send, daemon=True).start()\n"
        "talvik.Lens(fx=1200, k1=0.05, k2=0.01).st_map(8192, 4320, 'undistort')\n")
    assert said.stdout == "while computing\n", said.stderr
    assert said.stderr.rstrip().endswith("KeyboardInterrupt")


def test_a_map_larger_than_the_process_may_hold_is_refused_before_allocating():
    # Under an address-space limit 512 MiB above what the process holds,
    # 2 GiB of map cannot be.
    said = run_python(
        "import resource, talvik\n"
        "held = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()\n"
        "resource.setrlimit(resource.RLIMIT_AS, (held + (512 << 20), resource.RLIM_INFINITY))\n"
        "lens = talvik.Lens()\n"
        "for call in (lambda: lens.st_map(16384, 16384, 'distort'), lambda: lens.st_map(64, 64, 'distort')):\n"
        "    try:\n"
        "        print(call().shape)\n"
        "    except MemoryError as e:\n"
        "        print('MemoryError:', e)\n")
    refused, fits = said.stdout.splitlines()
    assert refused.startswith("MemoryError: a 16384 x 16384 ST map needs about 2.0 GiB of memory, more than this "
                              "process may use"), said.stderr
    assert fits == "(64, 64, 2)"


def test_a_take_whose_file_is_replaced_is_refused_not_mixed(folder):
    keys = {f: dict(cx=0, cy=0, fx=1500, fy=1500, k1=-0.01, k2=0.0, anamorphic=0) for f in (1, 2)}
    path = write_take(folder / "take.fbx", 1, keys)
    take = talvik.Take(path)
    before = take.lens(1, 1)
    os.replace(write_take(folder / "other.fbx", 2, keys), path)
    with pytest.raises(RuntimeError, match=f'take "{path}" changed since it was read'):
        take.lens(2, 1)
    # What was read stays as it was read.
    assert take.cameras == [1] and take.lens(1, 1) == before


NEVER_INITIALISED = {
    "Take.cameras": lambda: talvik.Take.__new__(talvik.Take).cameras,
    "Take.frames": lambda: talvik.Take.__new__(talvik.Take).frames(1),
    "Take repr": lambda: repr(talvik.Take.__new__(talvik.Take)),
    "Lens.k1": lambda: talvik.Lens.__new__(talvik.Lens).k1,
    "Lens.st_map": lambda: talvik.Lens.__new__(talvik.Lens).st_map(4, 4, "distort"),
    "Lens ==": lambda: talvik.Lens() == talvik.Lens.__new__(talvik.Lens),
    "Lens pickled": lambda: pickle.dumps(talvik.Lens.__new__(talvik.Lens)),
}


@pytest.mark.parametrize("use", NEVER_INITIALISED.values(), ids=NEVER_INITIALISED)
def test_an_object_never_initialised_is_refused(use):
    with pytest.raises(TypeError, match="never initialised"):
        use()
    # Unpickling makes a lens with __new__ alone too, and initialises it then.
    lens = talvik.Lens(cx=3, fx=1400, k1=-0.02)
    assert pickle.loads(pickle.dumps(lens)) == lens


@pytest.mark.parametrize("call", [
    lambda: talvik.Take(str(SAMPLE_TAKE) + "\0x"),
    lambda: talvik.Take(SAMPLE_TAKE, plugin_path=str(SAMPLE_TAKE.parent) + "\0x"),
    lambda: talvik.Take(SAMPLE_TAKE, plugin_path=[SAMPLE_TAKE.parent, str(SAMPLE_TAKE.parent) + "\0"]),
])
def test_a_nul_in_a_path_is_refused_as_open_refuses_it(call):
    with pytest.raises(ValueError, match="embedded null byte"):
        call()


@pytest.mark.parametrize("lens, named, warned", [
    # Usable by its values, yet its Undistort solve overflows.
    (dict(k1=1e30), "k1=1.00000002e+30", False),
    # No edge-fitted focal length: the command warns first.
    (dict(fx=1e-45), "fx=1.40129846e-45", True),
])
def test_a_lens_without_a_finite_map_is_refused_as_the_command_refuses_it(lens, named, warned):
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        with pytest.raises(ValueError, match="no finite position at pixel") as e:
            talvik.Lens(**lens).st_map(64, 36, "undistort")
    assert named in str(e.value)
    assert [str(w.message).startswith("the lens makes no usable map: ") for w in seen] == ([True] if warned else [])

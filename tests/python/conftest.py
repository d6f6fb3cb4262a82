"""What the module's tests share: the built command, the sample take, EXR
maps read back with OpenImageIO, and lens takes written on the fly."""
import json
import os
import pathlib
import subprocess

import numpy as np
import OpenImageIO as oiio
import pytest

SOURCE = pathlib.Path(os.environ.get("TALVIK_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
STMAP = os.environ.get("TALVIK_STMAP", str(SOURCE / "build" / "cli" / "talvik-stmap"))
SAMPLE_TAKE = SOURCE / "sample" / "sample_take.fbx"
SAMPLE_PLATE = SOURCE / "sample" / "plate.exr"


def run_stmap(*args, check=True):
    """talvik-stmap with these arguments; its exit status must be 0 unless
    check is False."""
    result = subprocess.run([STMAP, *map(str, args)], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise AssertionError(f"talvik-stmap {' '.join(map(str, args))} exited {result.returncode}:\n{result.stderr}")
    return result


def command_error(*args):
    """The message talvik-stmap fails with, without its name."""
    result = run_stmap(*args, check=False)
    assert result.returncode != 0, result.stderr
    last = result.stderr.strip().splitlines()[-1]
    assert last.startswith("talvik-stmap: "), result.stderr
    return last[len("talvik-stmap: "):]


def print_controls(*args):
    """The JSON objects of render --print-controls, one per frame (the
    overscan line left out)."""
    out = run_stmap("render", "--print-controls", "--quiet", *args).stdout
    lines = [o for o in map(json.loads, out.splitlines()) if "frame" in o]
    for line in lines:
        assert line.pop("format_version") == 1
    return lines


def read_map(path):
    """R and G of an ST-map EXR over its data window, top line first, as
    OpenImageIO reads it, and the data window (x, y, width, height) in the
    file's own coordinates (y down)."""
    image = oiio.ImageBuf(str(path))
    layout = image.nativespec()
    names = list(layout.channelnames)
    pixels = image.get_pixels(oiio.FLOAT)
    assert pixels is not None, oiio.geterror()
    rg = np.stack([pixels[..., names.index("R")], pixels[..., names.index("G")]], axis=-1)
    return rg, (layout.x, layout.y, layout.width, layout.height)


def same_bits(a, b):
    """Equal float32 arrays bit for bit (NaNs and signed zeros included)."""
    a = np.ascontiguousarray(a, dtype=np.float32)
    b = np.ascontiguousarray(b, dtype=np.float32)
    return a.shape == b.shape and np.array_equal(a.view(np.uint32), b.view(np.uint32))


# The lens nodes of camera n and the translation channel (0 X, 1 Y, 2 Z)
# each control comes from, as the reload reads them.
LENS_NODES = {
    "cx": ("BP_TalvikLensCxCyFOV", 0),
    "cy": ("BP_TalvikLensCxCyFOV", 2),
    "k1": ("BP_TalvikLensK1K2FD", 0),
    "k2": ("BP_TalvikLensK1K2FD", 2),
    "fx": ("BP_TalvikLensFxAndOverscanFactor", 0),
    "anamorphic": ("BP_TalvikLensFxAndOverscanFactor", 1),
    "fy": ("BP_TalvikLensEPDFy", 0),
}
TICKS_PER_FRAME = 46186158000 // 24


def write_take(path, camera, keys):
    """An ASCII FBX take at 24 fps holding camera `camera`'s lens nodes.
    keys: {frame: {"cx": .., "cy": .., "fx": .., "fy": .., "k1": .., "k2":
    .., "anamorphic": 0 or 1}}, every control at every frame."""
    frames = sorted(keys)
    channels = {}
    for control, (node, axis) in LENS_NODES.items():
        channels.setdefault(node, {})[axis] = [float(keys[f][control]) for f in frames]
    objects, connections, next_id = [], [], 100
    times = ",".join(str(f * TICKS_PER_FRAME) for f in frames)
    for node, axes in channels.items():
        model, curve_node = next_id, next_id + 1
        next_id += 2
        objects.append(f'\tModel: {model}, "Model::{node}{camera}", "Null" {{\n\t}}\n')
        objects.append(f'\tAnimationCurveNode: {curve_node}, "AnimCurveNode::T", "" {{\n\t}}\n')
        connections.append(f'\tC: "OO",{model},0\n\tC: "OP",{curve_node},{model}, "Lcl Translation"\n')
        for axis, values in sorted(axes.items()):
            curve = next_id
            next_id += 1
            text = ",".join(repr(v) for v in values)
            objects.append(f'\tAnimationCurve: {curve}, "AnimCurve::", "" {{\n'
                           f'\t\tKeyTime: *{len(frames)} {{\n\t\t\ta: {times}\n\t\t}}\n'
                           f'\t\tKeyValueFloat: *{len(frames)} {{\n\t\t\ta: {text}\n\t\t}}\n\t}}\n')
            connections.append(f'\tC: "OP",{curve},{curve_node}, "d|{"XYZ"[axis]}"\n')
    pathlib.Path(path).write_text(
        "; FBX 7.4.0 project file\n"
        "FBXHeaderExtension:  {\n\tFBXHeaderVersion: 1003\n\tFBXVersion: 7400\n}\n"
        "GlobalSettings:  {\n\tVersion: 1000\n\tProperties70:  {\n"
        '\t\tP: "TimeMode", "enum", "", "",11\n\t}\n}\n'
        "Objects:  {\n" + "".join(objects) + "}\nConnections:  {\n" + "".join(connections) + "}\n")
    return path


@pytest.fixture
def folder(tmp_path):
    return tmp_path

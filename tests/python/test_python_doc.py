"""docs/python.md: every code block runs, and the OpenCV matrices it builds
give the module's maps and points (OpenCV computes in double precision, from
the formulas, not from the module)."""
import re

import numpy as np
import pytest

import talvik
from conftest import SAMPLE_TAKE, SOURCE

cv2 = pytest.importorskip("cv2", reason="OpenCV's Python module (Debian's python3-opencv) is not installed")


@pytest.fixture(scope="module")
def doc():
    """The page's code blocks run in order, the sample take read from the tree."""
    text = (SOURCE / "docs" / "python.md").read_text()
    code = "\n".join(re.findall(r"```python\n(.*?)```", text, re.S))
    names = {}
    exec(code.replace("/usr/share/talvik/sample/sample_take.fbx", str(SAMPLE_TAKE)), names)
    return names


def assert_same_positions(got, want, width, height):
    """Within what single precision allows: both sides hold positions as
    float32, and a float32 position in [0.5, 2) of the format moves in steps
    of 2**-23 of it. The module computes in float32 (Undistort's Newton
    solve included), OpenCV in double and rounds once: at most 8 steps
    anywhere, and 1 step root mean square, which a wrong constant as small
    as the 0.999999 (1e-6 of the half-width at the edges) exceeds."""
    step = np.array([width, height]) * 2.0 ** -23
    error = np.abs(np.asarray(got, np.float64) - want).reshape(-1, 2)
    assert (error.max(axis=0) <= 8 * step).all(), error.max(axis=0)
    assert (np.sqrt((error ** 2).mean(axis=0)) <= step).all(), np.sqrt((error ** 2).mean(axis=0))


# The sample take (barrel, anamorphic) on its plate's format and a wider
# one, and an off-centre pincushion lens on a scope format.
CASES = [((1, 1001), 1920, 1080), ((2, 1024), 4096, 2160),
         (dict(cx=-40, cy=22, fx=1300, fy=1100, anamorphic=True, k1=0.08, k2=-0.004), 2048, 858)]


@pytest.mark.parametrize("which, width, height", CASES)
def test_opencv_gives_the_modules_maps_and_points(doc, which, width, height):
    lens = talvik.Lens(**which) if isinstance(which, dict) else talvik.Take(SAMPLE_TAKE).lens(*which)
    size = (width, height)
    points = np.random.default_rng(width).uniform([0, 0], size, size=(5000, 2))

    camera_matrix, new_camera, coefficients = doc["opencv_cameras"](lens, width, height, "distort")
    maps = cv2.initUndistortRectifyMap(camera_matrix, coefficients, None, new_camera, size, cv2.CV_32FC1)
    want = np.stack(doc["remap_maps"](lens.st_map(width, height, "distort").astype(np.float64), width, height), -1)
    assert_same_positions(np.stack(maps, -1), want, width, height)
    rays = cv2.undistortPoints(doc["to_opencv"](points, height).reshape(-1, 1, 2), new_camera, None)
    on_plate, _ = cv2.projectPoints(cv2.convertPointsToHomogeneous(rays), np.zeros(3), np.zeros(3), camera_matrix,
                                    coefficients)
    assert_same_positions(doc["from_opencv"](on_plate.reshape(-1, 2), height), lens.distort(points, width, height),
                          width, height)

    camera_matrix, new_camera, coefficients = doc["opencv_cameras"](lens, width, height, "undistort")
    maps = cv2.initInverseRectificationMap(camera_matrix, coefficients, None, new_camera, size, cv2.CV_32FC1)
    want = np.stack(doc["remap_maps"](lens.st_map(width, height, "undistort").astype(np.float64), width, height), -1)
    assert_same_positions(np.stack(maps, -1), want, width, height)
    ideal = cv2.undistortPoints(doc["to_opencv"](points, height).reshape(-1, 1, 2), camera_matrix, coefficients,
                                P=new_camera)
    assert_same_positions(doc["from_opencv"](ideal.reshape(-1, 2), height), lens.undistort(points, width, height),
                          width, height)

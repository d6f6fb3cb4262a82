"""talvik.Lens.distort and undistort: what the maps hold at every pixel
centre, round trips and positions with none (OpenCV's solution of the same
model: test_python_doc.py)."""
import numpy as np
import pytest

import talvik

WIDTH, HEIGHT = 480, 270


def pixel_centres(width, height):
    """Every pixel centre in Nuke's convention, in the order of a map's
    lines (top line first), and the map value at each times the format."""
    lines, columns = np.mgrid[0:height, 0:width]
    return np.stack([columns + 0.5, (height - 1 - lines) + 0.5], axis=-1).reshape(-1, 2)


LENSES = {
    "barrel": talvik.Lens(cx=10, cy=-5, fx=1500, k1=-0.05, k2=0.01),
    "pincushion anamorphic": talvik.Lens(cx=-40, cy=22, fx=1300, fy=1100, anamorphic=True, k1=0.08, k2=-0.004),
    # Folds in the corners: Undistort has no position there.
    "folding barrel": talvik.Lens(fx=1000, k1=-0.2),
    # Peaks beyond the radius where it folds.
    "pincushion peaking past its fold": talvik.Lens(fx=800, k1=0.5, k2=-0.3),
}


@pytest.mark.parametrize("name", LENSES)
@pytest.mark.parametrize("mode", ["distort", "undistort"])
def test_points_at_pixel_centres_are_the_map(name, mode):
    lens = LENSES[name]
    st = lens.st_map(WIDTH, HEIGHT, mode).reshape(-1, 2).astype(np.float64)
    got = getattr(lens, mode)(pixel_centres(WIDTH, HEIGHT), WIDTH, HEIGHT)
    assert got.dtype == np.float64 and got.shape == (WIDTH * HEIGHT, 2)
    # The map holds (0, 0) where there is no position; the points say NaN.
    none = np.isnan(got).any(axis=1)
    assert np.array_equal(none, np.isnan(got).all(axis=1))
    assert not (st[none] != 0).any()
    assert np.abs(got[~none] - st[~none] * [WIDTH, HEIGHT]).max() <= 1e-4
    if mode == "undistort" and "fold" in name:
        assert none.any()
    else:
        assert not none.any()


def test_undistort_then_distort_comes_back():
    rng = np.random.default_rng(25)
    plate = rng.uniform([0, 0], [4096, 2160], size=(20000, 2))
    for name in ("barrel", "pincushion anamorphic"):
        lens = LENSES[name]
        back = lens.distort(lens.undistort(plate, 4096, 2160), 4096, 2160)
        assert np.abs(back - plate).max() < 0.01, name


def test_no_position_is_nan_beyond_the_fold_only():
    lens = LENSES["folding barrel"]
    # Along the row through the frame centre, out past the fold.
    xs = np.linspace(2160.0, 20000.0, 2000)
    got = lens.undistort(np.stack([xs, np.full_like(xs, 1080.0)], axis=-1), 4320, 2160)
    none = np.isnan(got[:, 0])
    first = np.argmax(none)
    assert 0 < first and none[first:].all(), "once past the fold, no point has a position"
    # Undistorted positions grow outwards up to the fold.
    assert (np.diff(got[:first, 0]) > 0).all()


def test_any_real_array_of_shape_n_by_2_is_taken():
    lens = LENSES["barrel"]
    as_list = lens.undistort([[100.5, 200.5], [3000.0, 10.0]], 4096, 2160)
    as_float32 = lens.undistort(np.array([[100.5, 200.5], [3000.0, 10.0]], dtype=np.float32), 4096, 2160)
    as_view = lens.undistort(np.array([[0.0, 100.5, 200.5], [0.0, 3000.0, 10.0]])[:, 1:], 4096, 2160)
    assert np.array_equal(as_list, as_float32) and np.array_equal(as_list, as_view)
    assert lens.undistort(np.empty((0, 2)), 4096, 2160).shape == (0, 2)
    for bad in (np.zeros(2), np.zeros((3, 3)), np.zeros((2, 2, 2))):
        with pytest.raises(ValueError, match="shape"):
            lens.undistort(bad, 4096, 2160)
    with pytest.raises(ValueError, match="width 0"):
        lens.distort([[1, 1]], 0, 2160)


"""docs/lens-model.md's worked example: every value it states, computed
here in double precision from the formulas it gives, and the maps the
module computes."""
import math
import re

import numpy as np
import pytest

import talvik
from conftest import SOURCE

DOC = SOURCE / "docs" / "lens-model.md"
WIDTH, HEIGHT = 4320, 2160
CX, CY, FX, FY, K1, K2 = 10.0, -5.0, 1500.0, 1500.0, -0.05, 0.01


def stated_values():
    """{name: (numbers, decimals)} from the worked example's text block."""
    text = DOC.read_text()
    block = re.search(r"## Worked example.*?```text\n(.*?)```", text, re.S).group(1)
    values = {}
    for line in block.splitlines():
        name, numbers = (part.strip() for part in line.split(" = "))
        values[name] = [float(n) for n in numbers.split(",")], len(numbers.split(",")[0].split(".")[1])
    return values


def radial(k1, k2):
    return lambda r: 1 + k1 * r * r + k2 * r ** 4


def edge_fit(focal):
    r = 960 / focal
    return 960 / (r * radial(K1, K2)(r))


def solve_rising(rd, f, limit):
    """r·F(r) = rd on [0, limit] by bisection."""
    lo, hi = 0.0, limit
    for _ in range(200):
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if mid * f(mid) < rd else (lo, mid)
    return (lo + hi) / 2


def fold(k1, k2):
    """The first zero R of 1 + 3 k1 r² + 5 k2 r⁴ and the peak R·F(R)."""
    if k2 == 0:
        u = -1 / (3 * k1)
    else:
        roots = np.roots([5 * k2, 3 * k1, 1])
        u = min(x.real for x in roots if abs(x.imag) < 1e-12 and x.real > 0)
    r = math.sqrt(u)
    return r, r * radial(k1, k2)(r)


def model():
    """Every line of the example, from the formulas."""
    f = radial(K1, K2)
    fxn, fyn = FX / 1920, FY / 1080
    fxe, fye = edge_fit(FX) / 1920, edge_fit(FY) / 1080
    cxn, cyn = CX / 1920 + 0.5, -CY / 1080 + 0.5
    u, v = 4319.5 / WIDTH, 2159.5 / HEIGHT
    x, y = (u - 0.5) / fxn, (v - 0.5) / fyn
    big_f = f(math.hypot(x, y))
    ud, vd = 0.5 / WIDTH, 0.5 / HEIGHT
    xd, yd = (ud - cxn) / fxe, (vd - cyn) / fye
    rd = math.hypot(xd, yd)
    r = solve_rising(rd, f, 10.0)  # the worked lens never folds: r·F(r) rises throughout
    return {
        "fx'": [edge_fit(FX)],
        "fx'n, fy'n": [fxe, fye],
        "cxn, cyn": [cxn, cyn],
        "distort u, v of (4319,2159)": [u, v],
        "distort x, y": [x, y],
        "distort F": [big_f],
        "distort s, t": [x * big_f * fxe + cxn, y * big_f * fye + cyn],
        "undistort u, v of (0,0)": [ud, vd],
        "undistort x_d, y_d": [xd, yd],
        "undistort r_d": [rd],
        "undistort r": [r],
        "undistort F": [f(r)],
        "undistort s, t": [0.999999 * fxn * xd / f(r) + 0.5, fyn * yd / f(r) + 0.5],
        "fold k1 -0.2: R, P": list(fold(-0.2, 0.0)),
        "fold k1 0.5, k2 -0.3: R, P": list(fold(0.5, -0.3)),
    }


def test_every_stated_value_is_the_formulas():
    stated, computed = stated_values(), model()
    assert stated.keys() == computed.keys()
    for name, (numbers, decimals) in stated.items():
        assert numbers == pytest.approx(computed[name], abs=0.51 * 10 ** -decimals), name


def test_the_maps_hold_the_stated_positions():
    stated = stated_values()
    lens = talvik.Lens(cx=CX, cy=CY, fx=FX, fy=FY, k1=K1, k2=K2)
    # Pixel (4319, 2159) is the top-right corner: line 0 of the array.
    assert lens.st_map(WIDTH, HEIGHT, "distort")[0, -1] == pytest.approx(stated["distort s, t"][0], abs=1e-6)
    assert lens.st_map(WIDTH, HEIGHT, "undistort")[-1, 0] == pytest.approx(stated["undistort s, t"][0], abs=1e-6)


@pytest.mark.parametrize("name, k1, k2", [("fold k1 -0.2: R, P", -0.2, 0.0), ("fold k1 0.5, k2 -0.3: R, P", 0.5, -0.3)])
def test_positions_end_at_the_stated_peak(name, k1, k2):
    _, peak = stated_values()[name][0]
    lens = talvik.Lens(fx=1000, k1=k1, k2=k2)
    # Along the row through the centre, distorted radius rd lies rd·fx'n·W
    # pixels right of the centre.
    fxe = 960 / ((960 / 1000) * radial(k1, k2)(960 / 1000)) / 1920
    xs = WIDTH / 2 + np.array([0.999, 1.001]) * peak * fxe * WIDTH
    got = lens.undistort(np.column_stack([xs, np.full(2, HEIGHT / 2)]), WIDTH, HEIGHT)
    assert np.isfinite(got[0]).all() and np.isnan(got[1]).all()

"""TalvikDistort's lens from Python.

The lens model of the TalvikDistort node and talvik-stmap, built on the same
code: ST maps bit for bit as the command writes them, points through the
lens, and FBX takes read through the node's own reload.

Lens: a lens's control values, its ST maps (st_map) and points (distort,
    undistort).
Take: an FBX take: its cameras, and per frame its controls and lens.
render, overscan, camera, nuke_script, points, plan, verify (its Verdict):
    the command's shot steps, each described in its own docstring.
__version__: the version talvik-stmap --version reports for the same build.
lens_model_version: the lens model computed here; maps carry it as
    talvik/lensModel.

Lens values are pixels of the 1920 x 1080 reference frame, stretched onto
any format per axis. Points are pixels of the format in Nuke's convention:
origin at the bottom-left corner, y up, the centre of pixel (i, j) at
(i + 0.5, j + 0.5). A map holds per pixel a position normalised to the
format (s across, t up from the bottom line); its line 0 is the top line.

    import talvik
    lens = talvik.Lens(fx=1500, k1=-0.05, k2=0.01)
    st = lens.st_map(1920, 1080, "undistort")        # (1080, 1920, 2) float32
    track = lens.undistort([[960.5, 540.5]], 1920, 1080)
    take = talvik.Take("take_cam2.fbx")
    take.lens(2, 1001)

docs/python.md has examples, the errors raised, and the OpenCV matrices
that give the same maps.
"""
from ._talvik import (Lens, Take, Verdict, __version__, camera, lens_model_version, nuke_script, overscan, plan,
                      points, render, verify)

__all__ = ["Lens", "Take", "Verdict", "__version__", "camera", "lens_model_version", "nuke_script", "overscan",
           "plan", "points", "render", "verify"]

"""TalvikDistort's lens from Python.

The lens model of the TalvikDistort node and talvik-stmap, built on the same
code: ST maps bit for bit as the command writes them, points through the
lens in Nuke's pixel convention, and FBX takes read through the node's own
reload.

    import talvik
    lens = talvik.Lens(fx=1500, k1=-0.05, k2=0.01)
    st = lens.st_map(1920, 1080, "undistort")        # (1080, 1920, 2) float32
    track = lens.undistort([[960.5, 540.5]], 1920, 1080)
    take = talvik.Take("take_cam2.fbx")
    take.lens(2, 1001)
"""
from ._talvik import (Lens, Take, Verdict, __version__, camera, lens_model_version, nuke_script, overscan, plan,
                      points, render, verify)

__all__ = ["Lens", "Take", "Verdict", "__version__", "camera", "lens_model_version", "nuke_script", "overscan",
           "plan", "points", "render", "verify"]

#!/usr/bin/python3
"""Points per second through talvik.Lens.undistort and distort beside
OpenCV's cv2.undistortPoints and cv2.projectPoints for the same lens, in the
same run: the median of several runs of 1,000,000 random plate positions
on a 4096 x 2160 format. A measurement, not a test.

    PYTHONPATH=build/lib/python3/dist-packages /usr/bin/python3 bench/points_bench.py [POINTS] [RUNS]
"""
import os
import statistics
import sys
import time

import cv2
import numpy as np

import talvik

WIDTH, HEIGHT = 4096, 2160
LENS = dict(cx=10.0, cy=-5.0, fx=1500.0, k1=-0.05, k2=0.01)


def opencv_cameras(lens):
    """The talvik lens as OpenCV's radial model (see tests/python/test_points.py)."""
    def edge_fit(focal):
        r = 960.0 / focal
        return 960.0 / (r * (1 + lens.k1 * r * r + lens.k2 * r ** 4))
    plate = np.array([[edge_fit(lens.fx) / 1920 * WIDTH, 0, (lens.cx / 1920 + 0.5) * WIDTH],
                      [0, edge_fit(lens.fx) / 1080 * HEIGHT, (-lens.cy / 1080 + 0.5) * HEIGHT], [0, 0, 1]])
    ideal = np.array([[lens.fx * 0.999999 / 1920 * WIDTH, 0, WIDTH / 2],
                      [0, lens.fx / 1080 * HEIGHT, HEIGHT / 2], [0, 0, 1]])
    return plate, ideal, np.array([lens.k1, lens.k2, 0.0, 0.0])


def median_seconds(work, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    lens = talvik.Lens(**LENS)
    plate_camera, ideal_camera, coefficients = opencv_cameras(lens)
    points = np.random.default_rng(1).uniform([0, 0], [WIDTH, HEIGHT], size=(count, 2))
    opencv_points = points.reshape(-1, 1, 2)
    rays = np.column_stack([(points - ideal_camera[:2, 2]) / np.diag(ideal_camera)[:2], np.ones(count)])
    timings = [
        ("talvik undistort", lambda: lens.undistort(points, WIDTH, HEIGHT)),
        ("cv2.undistortPoints (5 iterations)",
         lambda: cv2.undistortPoints(opencv_points, plate_camera, coefficients, P=ideal_camera)),
        ("talvik distort", lambda: lens.distort(points, WIDTH, HEIGHT)),
        ("cv2.projectPoints", lambda: cv2.projectPoints(rays, np.zeros(3), np.zeros(3), plate_camera, coefficients)),
    ]
    print(f"{count} points, {WIDTH} x {HEIGHT}, lens {LENS}, median of {runs} runs, "
          f"{len(os.sched_getaffinity(0))} CPUs, OpenCV {cv2.__version__} with {cv2.getNumThreads()} threads")
    seconds = {name: median_seconds(work, runs) for name, work in timings}
    # The module spreads points over the CPUs this process may use: on one.
    cpus = os.sched_getaffinity(0)
    os.sched_setaffinity(0, {min(cpus)})
    try:
        seconds["talvik undistort, one CPU"] = median_seconds(timings[0][1], runs)
    finally:
        os.sched_setaffinity(0, cpus)
    for name, s in seconds.items():
        print(f"  {name:36s} {s * 1e3:8.1f} ms  {count / s / 1e6:8.1f} M points/s")
    print(f"  undistort: talvik takes {seconds['talvik undistort'] / seconds['cv2.undistortPoints (5 iterations)']:.2f}"
          f" of OpenCV's time; distort: {seconds['talvik distort'] / seconds['cv2.projectPoints']:.2f}")


if __name__ == "__main__":
    main()

"""Type stubs of the talvik package."""
import os
from typing import Any, Callable, Dict, List, Literal, Mapping, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str
"""The version talvik-stmap --version reports for the same build."""

lens_model_version: int
"""The lens model this module computes; maps carry it as talvik/lensModel."""

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

class Lens:
    """A TalvikDistort lens: the node's lens controls in panel units (pixels
    of the 1920 x 1080 reference frame, stretched onto any format per
    axis). Immutable. Points are pixels of the format in Nuke's convention:
    origin at the bottom-left corner, y up, pixel (i, j)'s centre at
    (i + 0.5, j + 0.5)."""

    def __init__(
        self,
        *,
        cx: float = 0.0,
        cy: float = 0.0,
        fx: float = 1920.0,
        fy: float = 1920.0,
        anamorphic: bool = False,
        k1: float = 0.0,
        k2: float = 0.0,
    ) -> None:
        """A lens of these control values: cx, cy the principal point's
        offset from the frame centre (cy positive towards the bottom line),
        fx, fy the focal lengths (fy only when anamorphic), k1, k2 the
        coefficients of r**2 and r**4; ValueError for a value that is not a
        finite 32-bit float."""
    @property
    def cx(self) -> float:
        """Principal point offset from the frame centre, reference pixels, positive to the right."""
    @property
    def cy(self) -> float:
        """Principal point offset from the frame centre, reference pixels, positive towards the bottom line."""
    @property
    def fx(self) -> float:
        """Horizontal focal length, pixels of the 1920 x 1080 reference frame."""
    @property
    def fy(self) -> float:
        """Vertical focal length, reference pixels (used only when anamorphic)."""
    @property
    def anamorphic(self) -> bool:
        """Whether fy is used; otherwise fy is fx."""
    @property
    def k1(self) -> float:
        """Radial coefficient of r**2."""
    @property
    def k2(self) -> float:
        """Radial coefficient of r**4."""
    def st_map(
        self,
        width: int,
        height: int,
        mode: Optional[Literal["distort", "undistort"]] = None,
        box: Optional[Tuple[int, int, int, int]] = None,
        direction: Optional[Literal["remove", "add"]] = None,
    ) -> npt.NDArray[np.float32]:
        """The node's ST map on a width x height format over box (x, y, r, t)
        in Nuke's pixel numbering: shape (t - y, r - x, 2), row 0 the top
        line, each pixel (s, t) normalised to the format (t up from the
        bottom line); bit for bit the R and G talvik-stmap writes. mode or direction: "distort" (remove)
        is the remove-distortion map (undistorted pixel -> plate position),
        "undistort" (add) the add-distortion map (plate pixel -> undistorted
        position); (0, 0) where there is none. RuntimeWarning for a lens that makes no usable
        map; ValueError for a map holding a position that is not finite;
        MemoryError for one the process cannot hold."""
    def distort(self, points: npt.ArrayLike, width: int, height: int) -> npt.NDArray[np.float64]:
        """Undistorted positions (N, 2), Nuke's pixel convention, to their
        positions on the plate, as the Distort map maps them."""
    def undistort(self, points: npt.ArrayLike, width: int, height: int) -> npt.NDArray[np.float64]:
        """Plate positions (N, 2), Nuke's pixel convention, to their
        undistorted positions, as the Undistort map maps them; NaN where
        there is none."""
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...

class Take:
    """An FBX take with lens animation, read through the node's reload."""

    def __init__(self, path: _Path, plugin_path: Union[None, _Path, Sequence[_Path]] = None) -> None:
        """Reads the take; RuntimeError for one missing or damaged, ValueError
        for a path holding a NUL. A camera reloaded after the file changed
        raises RuntimeError."""
    @property
    def path(self) -> str:
        """The take's path."""
    @property
    def cameras(self) -> List[int]:
        """Camera numbers with a lens node in the take, ascending."""
    def frames(self, camera: int) -> List[int]:
        """First to last keyed frame the reload gives the camera (the number
        n of the take's lens nodes)."""
    def controls(self, camera: int, frame: int) -> Dict[str, Union[int, float, str]]:
        """Every control at the frame, as --print-controls prints it; lens
        values in reference pixels."""
    def lens(self, camera: int, frame: int) -> Lens:
        """The lens the node renders at the frame."""

_Frames = Union[str, int, Sequence[int]]
_Progress = Optional[Callable[[int, int], object]]

class Verdict:
    """What verify found: true when every frame of the shot holds."""
    def __bool__(self) -> bool: ...
    @property
    def failing(self) -> List[int]:
        """The frames that do not hold, in order."""
    @property
    def frame_count(self) -> int:
        """How many frames were checked."""

def render(output: _Path, *, plate: Optional[_Path] = ..., size: Optional[Union[Tuple[int, int], str]] = ...,
           fbx: Optional[_Path] = ..., camera: Optional[int] = ..., frames: Optional[_Frames] = ...,
           direction: Optional[Literal["remove", "add"]] = ...,
           mode: Optional[Literal["distort", "undistort"]] = ..., set: Optional[Mapping[str, object]] = ...,
           overscan: Optional[Union[str, float]] = ..., overscan_from: Optional[_Path] = ...,
           overscan_report: Optional[_Path] = ..., preview: Optional[_Path] = ..., manifest: Optional[_Path] = ...,
           compression: Optional[str] = ..., alpha: bool = ..., skip_existing: bool = ..., threads: Optional[int] = ...,
           plugin_path: Optional[Union[_Path, Sequence[_Path]]] = ..., progress: _Progress = ...) -> None:
    """Renders the shot's ST maps as talvik-stmap render -o does."""
def overscan(output: _Path, **shot: Any) -> Dict[str, Any]:
    """Measures the overscan and writes its report, as talvik-stmap overscan -o does."""
def camera(output: _Path, *, film_back: Optional[Union[Tuple[float, float], str]] = ..., haperture: Optional[float] = ...,
           **shot: Any) -> Dict[str, Any]:
    """Writes the undistorted camera per frame, as talvik-stmap camera -o does."""
def nuke_script(output: _Path, *, remove_map: _Path, add_map: _Path, **shot: Any) -> None:
    """Writes the Nuke script, as talvik-stmap nuke-script -o does."""
def points(output: _Path, *, track: _Path, origin: Literal["bottom-left", "top-left"] = ..., **shot: Any) -> None:
    """Converts a 2D track through the lens, as talvik-stmap points -o does."""
def plan(output: Optional[_Path], *, chunk: int, job_dir: Optional[_Path] = ..., remove_map: Optional[_Path] = ...,
         add_map: Optional[_Path] = ..., **shot: Any) -> Dict[str, Any]:
    """The shot as a farm job, as talvik-stmap plan --json prints it."""
def verify(output: _Path, **shot: Any) -> Verdict:
    """Checks the shot's files as talvik-stmap verify does."""

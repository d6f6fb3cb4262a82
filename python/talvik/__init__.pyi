"""Type stubs of the talvik package."""
import os
from typing import Dict, List, Literal, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str
"""The version talvik-stmap --version reports for the same build."""

lens_model_version: int
"""The lens model this module computes; maps carry it as talvik/lensModel."""

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

class Lens:
    """A TalvikDistort lens: the node's lens controls in panel units (pixels
    of the 1920 x 1080 reference frame). Immutable."""

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
        """A lens of these control values; ValueError for a value that is not
        a finite 32-bit float."""
    @property
    def cx(self) -> float:
        """Principal point offset across, pixels."""
    @property
    def cy(self) -> float:
        """Principal point offset, pixels, positive towards the bottom line."""
    @property
    def fx(self) -> float:
        """Horizontal focal length, pixels."""
    @property
    def fy(self) -> float:
        """Vertical focal length, pixels (used only when anamorphic)."""
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
        """The node's ST map on a width x height format over box (x, y, r, t),
        of mode or direction (remove: the distort map; add: the undistort one):
        shape (t - y, r - x, 2), row 0 the top line, bit for bit the R and G
        talvik-stmap writes. RuntimeWarning for a lens that makes no usable
        map; ValueError for a map holding a position that is not finite;
        MemoryError for one the process cannot hold."""
    def distort(self, points: npt.ArrayLike, width: int, height: int) -> npt.NDArray[np.float64]:
        """Undistorted positions (N, 2), Nuke's pixel convention, to their
        positions on the plate, as the Distort map maps them."""
    def undistort(self, points: npt.ArrayLike, width: int, height: int) -> npt.NDArray[np.float64]:
        """Plate positions (N, 2), Nuke's pixel convention, to their
        undistorted positions; NaN where there is none."""
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
        """First to last keyed frame the reload gives the camera."""
    def controls(self, camera: int, frame: int) -> Dict[str, Union[int, float, str]]:
        """Every control at the frame, as --print-controls prints it."""
    def lens(self, camera: int, frame: int) -> Lens:
        """The lens the node renders at the frame."""

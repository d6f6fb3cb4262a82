# The "reload" button of a TalvikDistort node: copies the lens animation of
# one camera from the node's FBX file onto its controls, key by key.
#
# For camera n the file holds animated nodes named <prefix>n whose
# translation channels carry the lens values in panel units (pixels of the
# 1920 x 1080 reference frame). The host reads them through temporary Axis3
# nodes.
#
# Hosts run button text in a namespace of their own, which may be the user's
# and may outlive the press: with one dictionary, or with separate globals
# and locals (then names bound here at top level are locals, which functions
# cannot see). So the top level binds nothing but the upper-case constants
# below: the work is done by one function that gets them as arguments,
# imports what it uses itself (not even `nuke` is bound here), and is
# deleted once it has run.

FBX_FILE_PATH = "fbx_file_path"
CAMERA_INDEX = "camera_index"
ANAMORPHIC = "anamorphic"
EXR_CAMERA_NAME = "exr/unreal/cameraName"
LENS_PREFIX_KNOBS = ("lens1", "lens2", "lens3", "lens4")

# Control to fill: the control holding the FBX node-name prefix, and the
# translation component (0 X, 1 Y, 2 Z) that carries the value.
KNOBS_DICT = {
    "cx": {"fbx_node_name": "lens1", "knob_val": 0},
    "cy": {"fbx_node_name": "lens1", "knob_val": 2},
    "fx": {"fbx_node_name": "lens3", "knob_val": 0},
    "fy": {"fbx_node_name": "lens4", "knob_val": 0},
    "isp1p2valid": {"fbx_node_name": "lens3", "knob_val": 1},
    "k1": {"fbx_node_name": "lens2", "knob_val": 0},
    "k2": {"fbx_node_name": "lens2", "knob_val": 2},
}

# The row whose first key switches the node's anamorphic flag.
TANGENTIAL_VALID = "isp1p2valid"


def _talvik_reload_lens(fbx_file_path_knob, camera_index_knob, anamorphic_knob,
                        exr_camera_name, lens_prefix_knobs, knobs_dict,
                        tangential_valid):
    import re

    import nuke
    import nukescripts

    def camera_from_metadata(metadata, key):
        """The last digit of the trailing digits of metadata[key], or None."""
        try:
            match = re.match(".*?([0-9])+$", metadata[key])
            if match:
                return int(match.group(1))
        except Exception:
            pass
        return None

    def read_translation_keys(path, fbx_node_name, component):
        """Keys of one translation component of an FBX node, read through a
        temporary Axis3. None when there is no such animation; False when
        the Axis3 has no translate control."""
        axis = nuke.createNode("Axis3")
        try:
            nukescripts.remove_inputs()
            axis["read_from_file"].setValue(True)
            axis["file_link"].setValue(path)
            axis["fbx_node_name"].setValue(fbx_node_name)
            axis["read_from_file"].setValue(False)
            translate = axis.knob("translate")
            if translate is None:
                return False
            if not translate.isAnimated():
                return None
            curve = translate.animation(component)
            if curve is None:
                return None
            return curve.keys()
        finally:
            nuke.delete(axis)

    def copy_keys(node, knob_name, keys):
        """Replaces the control's animation with the keys; False when the
        node has no such control."""
        target = node.knob(knob_name)
        if target is None:
            return False
        # A take with another frame range must not inherit the last take's keys.
        target.clearAnimated()
        target.setAnimated()
        for key in keys:
            target.setValueAt(key.y, key.x)
        return True

    def control_name(row_key):
        """The control a row fills, as the user sees it on the panel."""
        return anamorphic_knob if row_key == tangential_valid else row_key

    node = nuke.thisNode()
    path = node[fbx_file_path_knob].value()
    prefixes = {}
    for prefix_knob in lens_prefix_knobs:
        prefixes[prefix_knob] = node[prefix_knob].value()
    camera = int(node[camera_index_knob].value())

    if camera == 0:
        digit = camera_from_metadata(node.metadata(), exr_camera_name)
        if digit is not None:
            camera = digit
            node[camera_index_knob].setValue(camera)

    if not path or not path.endswith(".fbx"):
        nuke.alert("Please select an FBX file to reload!")
        return

    success = True
    empty_rows = []
    for lens_parameter_knob, row in knobs_dict.items():
        fbx_node_name = prefixes[row["fbx_node_name"]] + str(camera)
        keys = read_translation_keys(path, fbx_node_name, row["knob_val"])
        if keys is False:
            success = False
            nuke.alert("Translate knob to copy animation from does not exist!")
            continue
        if not keys:
            empty_rows.append(control_name(lens_parameter_knob))
            continue
        if lens_parameter_knob == tangential_valid:
            node[anamorphic_knob].setValue(keys[0].y)
        elif not copy_keys(node, lens_parameter_knob, keys):
            success = False
            nuke.alert("Knob to copy animation to does not exist: {lens_parameter_knob}!".format(
                lens_parameter_knob=lens_parameter_knob))

    if empty_rows:
        success = False
        if camera == 0:
            # Camera 0 is what is left when neither the file name nor the
            # metadata gave a number: say so rather than blame the file.
            nuke.alert("No lens animation found for camera 0 in {} (no camera number was found "
                       "in the file name or metadata): {}".format(path, ", ".join(empty_rows)))
        else:
            nuke.alert("No lens animation found for camera {} in {}: {}".format(
                camera, path, ", ".join(empty_rows)))
    if success:
        print("File reloaded")


try:
    _talvik_reload_lens(FBX_FILE_PATH, CAMERA_INDEX, ANAMORPHIC, EXR_CAMERA_NAME,
                        LENS_PREFIX_KNOBS, KNOBS_DICT, TANGENTIAL_VALID)
finally:
    del _talvik_reload_lens

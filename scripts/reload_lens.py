# Copies the lens animation of one camera from an FBX file onto this node.

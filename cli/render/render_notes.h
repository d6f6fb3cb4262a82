// What a render tells the artist beyond its progress: a warning for frames
// the take holds, and the facts a summary should carry so nothing was
// picked silently (the camera and why, the size, skipped frames, the
// plug-in it ran).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace talvik::cli {

// Frames before the first or after the last keyed frame get the values of
// that key, as Nuke's curves hold them. Empty when every frame is inside
// the keyed range or nothing is keyed.
std::string held_frames_warning(const std::vector<int>& frames, int first_key, int last_key);

struct RenderNotes {
    std::string camera;       // "camera 2, from the file name take_cam2.fbx"; empty: no take
    bool default_size = false;
    int width = 0;
    int height = 0;
    int skipped = 0;          // frames whose files all existed
    std::string plugin_path;
};

// One line per fact, after the "wrote ..." line.
void print_render_notes(std::FILE* out, const RenderNotes& notes);

}  // namespace talvik::cli

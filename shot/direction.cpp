#include "shot/direction.h"

#include <stdexcept>

namespace talvik::shot {

Direction parse_direction(const std::string& word, DirectionWords accepted) {
    const bool directions = accepted == DirectionWords::Directions;
    const char* removes = directions ? "remove" : accepted == DirectionWords::MapModes ? "distort" : "undistort";
    const char* adds = directions ? "add" : accepted == DirectionWords::MapModes ? "undistort" : "distort";
    if (word == removes) return Direction::Remove;
    if (word == adds) return Direction::Add;
    // Mode names in the node's order, Distort first.
    const std::string words = directions ? "remove or add" : "distort or undistort";
    throw std::invalid_argument("takes " + words + ", not \"" + word + "\"");
}

int map_mode(Direction direction) { return direction == Direction::Remove ? 0 : 1; }

int point_mode(Direction direction) { return direction == Direction::Remove ? 1 : 0; }

}  // namespace talvik::shot

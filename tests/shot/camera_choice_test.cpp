#include "shot/camera_choice.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "shot/usage_error.h"
#include "tests/support/error_message.h"

namespace talvik::shot {
namespace {

CameraSources take(const char* fbx, std::optional<int> from_file_name) {
    CameraSources s;
    s.fbx = fbx;
    s.from_file_name = from_file_name;
    return s;
}

TEST(CameraChoice, NameEndsInTheCameraDigit) {
    EXPECT_EQ(camera_from_name("CineCamera2"), 2);
    EXPECT_EQ(camera_from_name("CineCamera12"), 2) << "the last digit, as the reload takes it";
    EXPECT_EQ(camera_from_name("CineCamera0"), 0);
    EXPECT_EQ(camera_from_name("CineCamera3\n"), 3) << "Python's $ matches before a final line feed";
    EXPECT_EQ(camera_from_name("CineCamera3\n\n"), std::nullopt);
    EXPECT_EQ(camera_from_name("Cam2_main"), std::nullopt);
    EXPECT_EQ(camera_from_name(""), std::nullopt);
}

TEST(CameraChoice, DisagreementStopsUnlessChosen) {
    CameraSources s = take("/shots/take_v001.fbx", 1);
    s.plate_names = {{0, "CineCamera2"}};
    const std::string message = test::error_message<UsageError>([&] { choose_camera(s); });
    EXPECT_CONTAINS(message, "the file name take_v001.fbx gives camera 1");
    EXPECT_CONTAINS(message, "the plate's unreal/cameraName CineCamera2 gives camera 2");
    EXPECT_CONTAINS(message, "--camera 1 or --camera 2");

    s.chosen = 2;
    EXPECT_EQ(choose_camera(s).camera, 2);
    EXPECT_EQ(choose_camera(s).reason, "camera 2, as chosen");
}

TEST(CameraChoice, OneSourceOrAgreeingSourcesAreSaid) {
    CameraSources s = take("take_cam2.fbx", 2);
    EXPECT_EQ(choose_camera(s).reason, "camera 2, from the file name take_cam2.fbx");
    s.plate_names = {{0, "CineCamera2"}};
    EXPECT_EQ(choose_camera(s).reason,
              "camera 2, from the file name take_cam2.fbx and the plate's unreal/cameraName CineCamera2");

    // Digit 0 in the file name is the node's "from the plate", not a number.
    s = take("take_v000.fbx", 0);
    s.plate_names = {{0, "CineCamera2"}};
    EXPECT_EQ(choose_camera(s).camera, 2);
    EXPECT_EQ(choose_camera(s).reason, "camera 2, from the plate's unreal/cameraName CineCamera2");

    // Camera 0 chosen asks the plate too.
    s = take("take_v001.fbx", 1);
    s.chosen = 0;
    s.plate_names = {{0, "CineCamera2"}};
    EXPECT_EQ(choose_camera(s).camera, 2);

    s = take("take.fbx", std::nullopt);
    s.plate_names = {{0, "main_camera"}};
    EXPECT_EQ(choose_camera(s).camera, std::nullopt) << "a name without a digit gives no number";
}

TEST(CameraChoice, SequenceFramesMustNameOneCamera) {
    CameraSources s = take("take.fbx", std::nullopt);
    s.sequence = true;
    s.plate_names = {{1001, "CineCamera2"}, {1002, "unnamed"}, {1003, "CineCameraActor2"}};
    EXPECT_EQ(choose_camera(s).reason, "camera 2, from the plate's unreal/cameraName CineCamera2 (frame 1001)");
    s.plate_names.push_back({1004, "CineCamera3"});
    const std::string message = test::error_message<UsageError>([&] { choose_camera(s); });
    EXPECT_CONTAINS(message, "CineCamera2 (camera 2) at frame 1001, CineCamera3 (camera 3) at frame 1004");
    s.chosen = 3;
    EXPECT_EQ(choose_camera(s).camera, 3);
}

}  // namespace
}  // namespace talvik::shot

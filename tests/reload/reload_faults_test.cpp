// What reloading must not do: keep stale keys, report success for rows that
// copied nothing, or leave temporary nodes behind.
#include "host/axis3/axis3.h"
#include "tests/support/lens_take_writer.h"
#include "reload_host.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

TEST_F(ReloadHost, ReloadReplacesTheLastTakesKeys) {
    Node& node = create();
    host.set_value(node, "camera_index", 3);
    reload(node, write_temp_file("long.fbx", ascii_take(lens_take(3, 1, 10, 100.0f, 1.0f))));
    reload(node, write_temp_file("short.fbx", ascii_take(lens_take(3, 5, 7, 50.0f, 2.0f))));
    EXPECT_EQ(keys(node, "cx"), (std::vector<std::pair<double, double>>{{5, 50}, {6, 52}, {7, 54}}));
    EXPECT_EQ(keys(node, "k2").size(), 3u);
    EXPECT_EQ(output, (std::vector<std::string>{"File reloaded", "File reloaded"}));
}

TEST_F(ReloadHost, RowsThatCopyNothingAreReportedOnce) {
    std::vector<TakeModel> take = lens_take(4, 1, 3);
    take[0].channels.erase(2);  // no cy curve
    take.erase(take.begin() + 1);  // no K1K2 node at all
    const std::string path = write_temp_file("partial.fbx", ascii_take(take));
    Node& node = create();
    host.set_value(node, "camera_index", 4);
    reload(node, path);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "No lens animation found for camera 4 in " + path + ": cy, k1, k2");
    EXPECT_TRUE(output.empty()) << "no success line after a failed row";
    EXPECT_EQ(keys(node, "cx").size(), 3u) << "the rows that had keys were copied";
    EXPECT_EQ(keys(node, "fy").size(), 3u);

    // A camera the file does not hold at all: the rows are named by the
    // controls they fill, the tangential flag by "anamorphic".
    alerts.clear();
    host.set_value(node, "camera_index", 9);
    host.press(node, "reload");
    EXPECT_EQ(alerts, std::vector<std::string>{"No lens animation found for camera 9 in " + path +
                                               ": cx, cy, fx, fy, anamorphic, k1, k2"});
}

TEST_F(ReloadHost, NoCameraNumberIsNamedAsTheReasonForAnEmptyTake) {
    const std::string path = write_temp_file("take.fbx", ascii_take(lens_take(3, 1, 2)));
    Node& node = create();
    reload(node, path);
    ASSERT_EQ(lens(node).camera_index, 0) << "neither the file name nor metadata gave a number";
    EXPECT_EQ(alerts, std::vector<std::string>{"No lens animation found for camera 0 in " + path +
                                               " (no camera number was found in the file name or metadata)"
                                               ": cx, cy, fx, fy, anamorphic, k1, k2"});
    EXPECT_TRUE(output.empty());

    // With a number the same take loads.
    alerts.clear();
    host.set_value(node, "camera_index", 3);
    host.press(node, "reload");
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(output, std::vector<std::string>{"File reloaded"});
}

TEST_F(ReloadHost, Axis3WithoutTranslateIsReportedForEveryRow) {
    struct RestoreTranslate {
        ~RestoreTranslate() { host::set_axis3_translate_for_tests(true); }
    } restore;
    host::set_axis3_translate_for_tests(false);
    Node& node = create();
    const size_t nodes = host.nodes().size();
    host.set_value(node, "camera_index", 2);
    reload(node, write_temp_file("take.fbx", ascii_take(lens_take(2, 1, 3))));
    // Seven rows, none of them readable; no "no animation" summary on top.
    EXPECT_EQ(alerts, std::vector<std::string>(
                          7, "Translate knob to copy animation from does not exist!"));
    EXPECT_TRUE(output.empty()) << "no success line";
    EXPECT_FALSE(node.knob("cx")->is_animated());
    EXPECT_FALSE(node.knob("anamorphic")->is_animated());
    EXPECT_EQ(host.nodes().size(), nodes) << "the temporary Axis3 nodes were deleted";

    // The same take reloads once Axis3 has its control again.
    host::set_axis3_translate_for_tests(true);
    alerts.clear();
    host.press(node, "reload");
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(output, std::vector<std::string>{"File reloaded"});
    EXPECT_EQ(keys(node, "cx").size(), 3u);
}

TEST_F(ReloadHost, TemporaryNodesAreDeletedEvenWhenReadingFails) {
    Node& node = create();
    const size_t nodes = host.nodes().size();
    const long ops = host::Host::live_ops();
    const std::string path = fbx::testing::fixture("bad_truncated.fbx");
    try {
        reload(node, path);
        FAIL() << "a damaged file must not reload";
    } catch (const host::ScriptError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("Traceback"), std::string::npos) << message;
        EXPECT_NE(message.find(path), std::string::npos) << "names the file: " << message;
    }
    EXPECT_EQ(host.nodes().size(), nodes);
    EXPECT_EQ(host::Host::live_ops(), ops);
    EXPECT_TRUE(output.empty());
    EXPECT_FALSE(node.knob("cx")->is_animated());
}

}  // namespace
}  // namespace talvik::test

// The scripting modules as scripts see them, and the Axis3 node.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "host/python/script_namespaces.h"
#include "tests/support/lens_take_writer.h"
#include "reload_host.h"

namespace talvik::test {
namespace {

void run(host::Host& host, Node& node, const std::string& script) {
    host::run_python_script(host, node, script);
}

TEST_F(ReloadHost, ControlsByNameAndTheirValues) {
    Node& node = create();
    run(host, node,
        "n = nuke.thisNode()\n"
        "assert n.knob('nope') is None\n"
        "try:\n"
        "    n['nope']\n"
        "    raise AssertionError('no NameError')\n"
        "except NameError:\n"
        "    pass\n"
        "assert n['lens1'].value() == 'BP_TalvikLensCxCyFOV'\n"
        "assert n['Mode'].value() == 'Distort'\n"
        "assert n['camera_index'].value() == 0\n"
        "assert n['fx'].value() == 1920.0\n"
        "assert n['anamorphic'].value() is False\n"
        "n['fbx_file_path'].setValue('/takes/take_cam5.fbx')\n"
        "assert n['camera_index'].value() == 5, 'the node saw the change'\n"
        "print('checked', 1)\n");
    EXPECT_EQ(output, std::vector<std::string>{"checked 1"});
    EXPECT_EQ(lens(node).camera_index, 5);
}

// A script that would run for good ends at its next line once the host
// reports a stop, and the next script runs normally.
TEST_F(ReloadHost, AStopEndsARunningScript) {
    Node& node = create();
    int asked = 0;
    host.set_stop_check([&asked] { return ++asked > 1000; });
    try {
        run(host, node, "while True:\n    pass\n");
        FAIL() << "the endless script ended by itself";
    } catch (const host::ScriptError& e) {
        EXPECT_NE(std::string(e.what()).find("KeyboardInterrupt"), std::string::npos) << e.what();
    }
    EXPECT_GT(asked, 1000);
    host.set_stop_check([] { return false; });
    run(host, node, "print('ran', sum(range(10)))\n");
    EXPECT_EQ(output.back(), "ran 45");
}

// What reaches standard error while `body` runs (which must flush
// Python's sys.stderr).
template <typename Body>
std::string standard_error_of(Body body) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = dup(2);
    dup2(fileno(capture), 2);
    body();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(capture);
    for (int c; (c = std::fgetc(capture)) != EOF;) text += static_cast<char>(c);
    std::fclose(capture);
    return text;
}

// Wherever a stop lands while the script imports (the import machinery's
// module locks run callbacks of their own), it ends the script at one of
// its own lines and nothing is reported as an exception Python could not
// raise.
TEST_F(ReloadHost, AStopDuringAnImportLeavesNoTraceOnStandardError) {
    Node& node = create();
    // Imported afresh each time: fractions brings decimal, numbers, re.
    const std::string script =
        "import sys\n"
        "for name in ('fractions', 'decimal', 'numbers', 're', 're._parser', 're._compiler'):\n"
        "    sys.modules.pop(name, None)\n"
        "import fractions\n"
        "print('imported')\n";
    int total = 0;
    host.set_stop_check([&] { return ++total < 0; });
    run(host, node, script);
    int stopped = 0, finished = 0;
    // About 100 places over the whole run, and past its end.
    for (int checks = 1; checks < total + total / 50; checks += std::max(1, total / 100)) {
        int asked = 0;
        host.set_stop_check([&] { return ++asked > checks; });
        const std::string err = standard_error_of([&] {
            try {
                run(host, node, script);
                ++finished;
            } catch (const host::ScriptError& e) {
                ++stopped;
                EXPECT_NE(std::string(e.what()).find("stopped"), std::string::npos) << e.what();
            }
            host.set_stop_check([] { return false; });
            run(host, node, "import sys\nsys.stderr.flush()\n");
        });
        EXPECT_EQ(err, "") << "stopped after " << checks << " checks";
    }
    host.set_stop_check([] { return false; });
    EXPECT_GT(stopped, 30) << "the stops landed inside the imports";
    EXPECT_GT(finished, 0) << "and the script can finish";
}

TEST_F(ReloadHost, ScriptErrorsCarryTheirTraceback) {
    Node& node = create();
    try {
        run(host, node, "def f():\n    raise ValueError('broken lens')\nf()\n");
        FAIL() << "the script raised";
    } catch (const host::ScriptError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("Traceback"), std::string::npos);
        EXPECT_NE(message.find("ValueError: broken lens"), std::string::npos) << message;
        EXPECT_NE(message.find("line 2"), std::string::npos) << message;
    }
}

TEST_F(ReloadHost, CreatedNodesTakeTheSelectionAndLoseItsInputs) {
    Node& node = create();
    host.select_only(&node);
    run(host, node,
        "a = nuke.createNode('Axis3')\n"
        "assert a.input(0) == nuke.thisNode()\n"
        "assert [x.name() for x in nuke.selectedNodes()] == [a.name()]\n"
        "nukescripts.remove_inputs()\n"
        "assert a.input(0) is None\n"
        "nuke.delete(a)\n"
        "try:\n"
        "    a.name()\n"
        "    raise AssertionError('deleted node still answers')\n"
        "except ValueError:\n"
        "    pass\n"
        "nuke.alert('done')\n");
    EXPECT_EQ(alerts, std::vector<std::string>{"done"});
    EXPECT_EQ(host.nodes().size(), 1u);
}

TEST_F(ReloadHost, Axis3ReadsTranslationCurvesAsStored) {
    std::vector<TakeModel> take = {{"Cam", {{0, {{1, 3}, {0.5f, 1.5f}}}, {2, {{2, 4, 6}, {7, 8, 9}}}}}};
    const std::string path = write_temp_file("axis.fbx", ascii_take(take));
    Node& node = create();
    run(host, node,
        "a = nuke.createNode('Axis3')\n"
        "t = a['translate']\n"
        "a['read_from_file'].setValue(True)\n"
        "a['file_link'].setValue('" + path + "')\n"
        "assert not t.isAnimated(), 'no node name yet'\n"
        "a['fbx_node_name'].setValue('Cam')\n"
        "a['read_from_file'].setValue(False)\n"
        "assert t.isAnimated()\n"
        "assert t.animation(1) is None\n"
        "assert [(k.x, k.y) for k in t.animation(0).keys()] == [(1, 0.5), (3, 1.5)]\n"
        "assert [(k.x, k.y) for k in t.animation(2).keys()] == [(2, 7), (4, 8), (6, 9)]\n"
        "a['read_from_file'].setValue(True)\n"
        "a['fbx_node_name'].setValue('Nobody')\n"
        "assert not t.isAnimated(), 'an absent node leaves translate unanimated'\n");
}

// The two ways hosts run button text: in the separate mode a function cannot
// see the names the script bound at top level, in the shared one it can.
TEST_F(ReloadHost, ExecutionModeDecidesWhatFunctionsSee) {
    struct RestoreMode {
        host::ScriptNamespaces saved = host::script_namespaces();
        ~RestoreMode() { host::set_script_namespaces(saved); }
    } restore;
    Node& node = create();
    const std::string script =
        "LIMIT = 3\n"
        "def over(v):\n"
        "    return v > LIMIT\n"
        "print(over(4))\n";

    host::set_script_namespaces(host::ScriptNamespaces::Shared);
    run(host, node, script);
    EXPECT_EQ(output, std::vector<std::string>{"True"});

    host::set_script_namespaces(host::ScriptNamespaces::Separate);
    try {
        run(host, node, script);
        FAIL() << "a function saw a top-level name of a separate-namespace script";
    } catch (const host::ScriptError& e) {
        EXPECT_NE(std::string(e.what()).find("NameError: name 'LIMIT' is not defined"),
                  std::string::npos)
            << e.what();
    }
    // Top-level code itself still sees them, and so do the host's modules.
    output.clear();
    run(host, node, "LIMIT = 3\nprint(LIMIT, nuke.thisNode().name() == '" + node.name() + "')\n");
    EXPECT_EQ(output, std::vector<std::string>{"3 True"});
}

TEST_F(ReloadHost, MissingTargetControlIsReported) {
    // Every TalvikDistort has the controls the script fills, so the script
    // is run with one row key renamed to a control that does not exist.
    Node& node = create();
    const std::string script = static_cast<const char*>(node.knob("reload")->extra());
    std::string renamed = script;
    const std::string row = "\"k2\": {";
    ASSERT_NE(renamed.find(row), std::string::npos);
    renamed.replace(renamed.find(row), row.size(), "\"k9\": {");
    host.set_value(node, "camera_index", 1);
    host.set_text(node, "fbx_file_path", write_temp_file("take.fbx", ascii_take(lens_take(1, 1, 2))));
    run(host, node, renamed);
    EXPECT_EQ(alerts, std::vector<std::string>{"Knob to copy animation to does not exist: k9!"});
    EXPECT_TRUE(output.empty());
}

}  // namespace
}  // namespace talvik::test

// The reload script runs in a namespace that may be the user's own and may
// outlive the press: it must leave the user's names alone and leave nothing
// behind but its upper-case constants, however the host hands it its globals
// and locals.
#include "tests/support/lens_take_writer.h"
#include "reload_host.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// A script that runs `script` the two ways a host may: one dictionary that
// already holds the user's `node`, `path`, `keys` and `re`, and separate
// globals and locals that both hold them. For each way it prints what the
// script raised, which new names other than upper-case ones it left and
// which of the user's names it rebound or removed. The namespaces hold no
// `nuke`: the script must import what it uses. Written to run in either
// host mode itself: its function sees only its arguments.
std::string run_in_users_namespace(const std::string& script) {
    return "def run(text, mode):\n"
           "    import builtins\n"
           "    class Users:\n"
           "        pass\n"
           "    users = {name: Users() for name in ('node', 'path', 'keys', 're')}\n"
           "    g = {'__builtins__': builtins}\n"
           "    g.update(users)\n"
           "    l = g if mode == 'shared' else dict(users)\n"
           "    before = [(ns, dict(ns)) for ns in ([g] if l is g else [g, l])]\n"
           "    code = compile(text, '<reload>', 'exec')\n"
           "    try:\n"
           "        exec(code, g, l)\n"
           "    except Exception as e:\n"
           "        print(mode, 'raised', type(e).__name__)\n"
           "    left, touched = set(), set()\n"
           "    for ns, was in before:\n"
           "        left.update(n for n in ns if n not in was and not n.isupper())\n"
           "        touched.update(n for n in was if n not in ns or ns[n] is not was[n])\n"
           "    print(mode, 'left', sorted(left), 'touched', sorted(touched),\n"
           "          'constants', 'FBX_FILE_PATH' in l and 'KNOBS_DICT' in l)\n"
           "text = bytes.fromhex('" + hex(script) + "').decode('utf-8')\n"
           "run(text, 'shared')\n"
           "run(text, 'separate')\n";
}

std::string reload_script(Node& node) { return static_cast<const char*>(node.knob("reload")->extra()); }

const std::vector<std::string> kUntouched = {
    "shared left [] touched [] constants True",
    "separate left [] touched [] constants True",
};

TEST_F(ReloadHost, ReloadLeavesTheUsersNamespaceAlone) {
    Node& node = create();
    host.set_value(node, "camera_index", 2);
    host.set_text(node, "fbx_file_path", write_temp_file("take.fbx", ascii_take(lens_take(2, 1, 4))));
    host::run_python_script(host, node, run_in_users_namespace(reload_script(node)));
    EXPECT_EQ(output, (std::vector<std::string>{"File reloaded", kUntouched[0], "File reloaded", kUntouched[1]}));
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(keys(node, "k2").size(), 4u) << "the script did its work";
}

// Every way out of the script: an alert and an early return, a row alert,
// and an exception from the host.
TEST_F(ReloadHost, ReloadLeavesTheUsersNamespaceAloneOnEveryFailure) {
    struct Case {
        const char* what;
        std::string path;
        std::vector<std::string> output;
    };
    const std::vector<Case> cases = {
        {"not an FBX file", "/takes/take.FBX", kUntouched},
        {"no lens animation", write_temp_file("other_camera.fbx", ascii_take(lens_take(5, 1, 2))), kUntouched},
        {"damaged file",
         fbx::testing::fixture("bad_truncated.fbx"),
         {"shared raised RuntimeError", kUntouched[0], "separate raised RuntimeError", kUntouched[1]}},
    };
    for (const Case& c : cases) {
        output.clear();
        alerts.clear();
        Node& node = create();
        host.set_value(node, "camera_index", 2);
        host.set_text(node, "fbx_file_path", c.path);
        const size_t nodes = host.nodes().size();
        host::run_python_script(host, node, run_in_users_namespace(reload_script(node)));
        EXPECT_EQ(output, c.output) << c.what;
        EXPECT_EQ(alerts.size(), c.output == kUntouched ? 2u : 0u) << c.what;
        EXPECT_EQ(host.nodes().size(), nodes) << c.what;
    }
}

}  // namespace
}  // namespace talvik::test

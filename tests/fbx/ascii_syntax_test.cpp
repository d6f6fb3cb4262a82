// ASCII FBX as other writers lay it out, and its syntax errors.
#include <gtest/gtest.h>

#include "tests/fbx/ascii_text.h"

namespace talvik::fbx {
namespace {

using testing::AsciiTake;
using testing::error_of_text;
using testing::parse_text;

TEST(AsciiSyntax, ReadsTheBasicTake) {
    const Scene scene = parse_text(AsciiTake().text());
    const auto t = scene.translation("Cam");
    ASSERT_TRUE(t.has_value());
    EXPECT_FALSE(t->component[0].has_value());
    EXPECT_FALSE(t->component[2].has_value());
    ASSERT_TRUE(t->component[1].has_value());
    EXPECT_EQ(t->component[1]->times, (std::vector<int64_t>{46186158000, 92372316000}));
    EXPECT_EQ(t->component[1]->values, (std::vector<float>{1.5f, -2.25f}));
}

TEST(AsciiSyntax, LayoutVariants) {
    AsciiTake take;
    // Values wrapped over lines, a '+' sign, exponents, comments and spacing.
    take.key_time = "*3 {   ; three keys\n a: 0,\n\t+46186158000 ,\n 9.2372316e10 }";
    take.key_value = "*3 {\n\ta: 0.1,\n1e-3,\n-7.5E+2\n}";
    std::string text = take.text();
    // The exponent form is not an integer key time.
    EXPECT_NE(error_of_text(text).find("'9.2372316e10' is not a valid integer"), std::string::npos);

    take.key_time = "*3 {   ; three keys\n a: 0,\n\t+46186158000 ,\n 92372316000 }";
    text = take.text();
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    for (const std::string& t : {text, crlf}) {
        const Curve y = *parse_text(t).translation("Cam")->component[1];
        EXPECT_EQ(y.times, (std::vector<int64_t>{0, 46186158000, 92372316000}));
        // Each value rounded once from its decimal text to float32.
        EXPECT_EQ(y.values, (std::vector<float>{0.1f, 1e-3f, -750.0f}));
    }
}

TEST(AsciiSyntax, EscapedQuotesAndEmptyCurves) {
    AsciiTake take;
    take.model_name = "Model::Cam &quot;A&quot;";
    take.key_time = "*0 {\n}";
    take.key_value = "*0 {\n\ta: \n}";
    const Scene scene = parse_text(take.text());
    EXPECT_EQ(scene.model_names(), std::vector<std::string>{"Cam \"A\""});
    const auto t = scene.translation("Cam \"A\"");
    ASSERT_TRUE(t && t->component[1]);
    EXPECT_TRUE(t->component[1]->times.empty());
    EXPECT_TRUE(t->component[1]->values.empty());
}

struct SyntaxFault {
    std::string text;
    std::string fault;
};

TEST(AsciiSyntax, FaultsNameTheFileLineAndProblem) {
    const std::string good = AsciiTake().text();
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    AsciiTake string_times;
    string_times.key_time = "\"0,1\"";
    AsciiTake v6;
    const std::vector<SyntaxFault> faults = {
        {replaced("Version: 1000", "Version 1000"), "line 7: expected ':' after node name 'Version'"},
        {good + "Extra: \"open\n", "line 32: string is never closed"},
        {good + "}\n", "unexpected '}'"},
        {replaced("1.5,", "1.5x,"), "'1.5x' is not a valid number"},
        {replaced("a: 1.5", "a: \"1.5\""), "expected a number in the array"},
        {string_times.text(), "KeyTime (line 19) should be an int64 array but is not an array"},
        {replaced("FBXHeaderExtension", "Header"), "no FBXHeaderExtension with an FBXVersion"},
        {replaced("FBXVersion: 7400", "FBXVersion: 6100"), "ASCII FBX version 6100 is not supported"},
        {replaced("*2 {\n\t\ta: 1.5", "*2 \n\t\ta: 1.5"), "expected '{' after '*2'"},
        {replaced("*2 {\n\t\ta: 1.5", "*-2 {\n\t\ta: 1.5"), "bad array length '*-2'"},
        {replaced("Shading: Y", "Shading: Y Z"), "unexpected 'Z' after the properties of 'Shading'"},
        {replaced("C: \"OO\",10,0", "C: 5"), "connection C (line 28) is malformed"},
        {replaced("\"OP\",20,10,", "\"OP\",20,\"x\","), "needs two integer ids and a property name"},
        {replaced("Model: 10,", "Model: \"ten\","), "Model (line 13) has no integer id"},
        {std::string(good).append(1, '\0'), "binary data without the \"Kaydara FBX Binary\" header"},
    };
    for (const SyntaxFault& f : faults) {
        const std::string message = error_of_text(f.text, "bad.fbx");
        EXPECT_EQ(message.rfind("bad.fbx: ", 0), 0u) << message;
        EXPECT_NE(message.find(f.fault), std::string::npos) << "wanted: " << f.fault << "\ngot: " << message;
    }
}

}  // namespace
}  // namespace talvik::fbx

// Checking what an error says.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

namespace talvik::test {

// The message of the E that `run` throws; another exception type escapes and
// fails the test.
template <typename E, typename F>
std::string error_message(F&& run) {
    try {
        run();
    } catch (const E& e) {
        return e.what();
    }
    return "(no error)";
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace talvik::test

#define EXPECT_CONTAINS(text, part) EXPECT_PRED2(talvik::test::contains, text, part)

#include "output/WideFormat.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(WideFormat, WideStringArgumentKeepsAllItsCharacters) {
    EXPECT_EQ(FormatWideString(L"[%s]", L"multi-character"), L"[multi-character]");
}

} // namespace
} // namespace quillet

#pragma once
// Where the test DVDs made by tests/fixtures/make_discs.sh are.

#include <cstdlib>
#include <string>

namespace testing_filters {

// The path of a test disc ("ntsc_4x3", "pal_16x9.iso", …); empty when the discs are unknown.
inline std::string TestDisc(const std::string& name)
{
    const char* root = std::getenv("ZUZIDERO_TEST_DISCS");
    if (!root || !*root) return {};
    return std::string(root) + "/" + name;
}

} // namespace testing_filters

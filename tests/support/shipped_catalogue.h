#pragma once
// The catalogue the program ships (data/Format.xml of the source tree), loaded once per test
// program. Its targets define ZUZIDERO_SOURCE_DATA.

#include <string>

#include "profiles/profile_catalogue.h"

namespace testing_filters {

// Null when the file cannot be loaded (the tests that need it then fail on it).
inline ProfileCatalogue* ShippedCatalogue()
{
    static ProfileCatalogue* catalogue = [] {
        auto* c = new ProfileCatalogue;
        if (c->Load(std::string(ZUZIDERO_SOURCE_DATA) + "/Format.xml")) return c;
        delete c;
        return static_cast<ProfileCatalogue*>(nullptr);
    }();
    return catalogue;
}

} // namespace testing_filters

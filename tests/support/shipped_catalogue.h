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

// The seed's catalogue and the profiles added after it (data/Format-added.xml), as the program
// loads them; loaded once per test program.
inline ProfileCatalogue& WholeCatalogue()
{
    static ProfileCatalogue* catalogue = [] {
        auto* c = new ProfileCatalogue;
        c->Load(std::string(ZUZIDERO_SOURCE_DATA) + "/Format.xml");
        c->LoadAdded(std::string(ZUZIDERO_SOURCE_DATA) + "/Format-added.xml");
        return c;
    }();
    return *catalogue;
}

} // namespace testing_filters

// Fuzz target: the XML reader and the catalogue reading on top of it.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "profiles/profile_catalogue.h"
#include "profiles/xml_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    XmlDocument document;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (document.LoadBytes(bytes)) {
        ProfileCatalogue catalogue;
        catalogue.LoadFrom(document);
        ProfileRecord record;
        for (int i = 0; i < 4; ++i) {
            if (catalogue.FindByIndex(i, &record)) {
                LookupLabel(record.FrameRates, std::to_string(record.writer.FrameRate));
                LookupValue(record.VideoCodecs, record.VideoCodecs);
            }
        }
    }
    // Navigation must stay safe whatever the load said.
    document.ResetMainPosition();
    for (int i = 0; i < 8; ++i) {
        document.FindChildElement("Profile");
        document.EnterElement();
        document.GetAttribute("value");
    }
    while (document.LeaveElement()) {
    }
    return 0;
}

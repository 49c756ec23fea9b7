// libFuzzer target: arbitrary bytes read by the purpose-built XML scanner and by expat. The
// scanner must accept exactly what expat accepts and report the same events, whatever the chunk
// size (taken from the first byte). Element and attribute names outside ASCII are the one place
// where the two may differ (the scanner follows the current XML name rules, expat an older
// table), so a document with bytes above 0x7F is held only to not crashing.

#include "support/XmlEvents.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quillory::spreadsheet::ooxml::XmlBackend;
    if (size == 0) {
        return 0;
    }
    const std::size_t chunk = data[0] % 64;
    const std::string_view xml(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string scanned = quillory::testing::RecordXmlEvents(xml, XmlBackend::Scanner, chunk);
    const bool ascii = std::all_of(xml.begin(), xml.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        const std::string expected = quillory::testing::RecordXmlEvents(xml, XmlBackend::Expat);
        // A document type declaration cut short or malformed is refused by both, but expat may
        // call it malformed where the scanner already refused the declaration, or the reverse.
        const bool bothRefusedDoctype = xml.find("DOCTYPE") != std::string_view::npos &&
                                        scanned.starts_with("refused") &&
                                        expected.starts_with("refused");
        if (scanned != expected && !bothRefusedDoctype) {
            std::cerr << "scanner: " << scanned << "\nexpat:   " << expected << "\n";
            std::abort();
        }
    }
    return 0;
}

#pragma once
// The events a stream parser reports for a document, as one comparable string: "<name a=v>",
// "</name>", text in quotes (consecutive runs joined, since readers split text differently); or
// only "refused <error number>" when the document is refused. Used to hold the purpose-built
// scanner to expat's reading.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace quillory::testing {

class XmlEventRecorder : public spreadsheet::ooxml::XmlHandler {
public:
    void startElement(const char* name, const char** attributes) override {
        closeText();
        events += std::string("<") + name;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            events += std::string(" ") + attributes[i] + "=[" + attributes[i + 1] + "]";
        }
        events += '>';
    }
    void endElement(const char* name) override {
        closeText();
        events += std::string("</") + name + ">";
    }
    void characters(std::string_view text) override { text_ += text; }
    void closeText() {
        if (!text_.empty()) {
            events += '"' + text_ + '"';
            text_.clear();
        }
    }

    std::string events;

private:
    std::string text_;
};

// Feeds `xml` in pieces of `chunkBytes` (0: at once).
inline std::string RecordXmlEvents(std::string_view xml, spreadsheet::ooxml::XmlBackend backend,
                                   std::size_t chunkBytes = 0) {
    XmlEventRecorder recorder;
    try {
        spreadsheet::ooxml::XmlStreamParser parser(recorder, "test.xlsx", "part.xml", backend);
        const std::size_t step =
            chunkBytes == 0 ? std::max<std::size_t>(xml.size(), 1) : chunkBytes;
        for (std::size_t at = 0; at < xml.size(); at += step) {
            parser.feed(xml.substr(at, step));
        }
        parser.finish();
    } catch (const spreadsheet::SpreadsheetError& error) {
        return "refused " + std::to_string(error.number());
    }
    recorder.closeText();
    return recorder.events;
}

} // namespace quillory::testing

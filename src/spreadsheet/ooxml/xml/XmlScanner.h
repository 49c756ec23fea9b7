#pragma once
// A streaming XML reader for UTF-8 documents, built for the parts that dominate a merge: the
// worksheets, where a general-purpose parser spends most of its time on generality (encodings,
// DTDs, callbacks per text run) that SpreadsheetML never uses. It reports the same events as
// XmlStreamParser's expat backend and checks the same well-formedness rules: matching tags,
// unique attributes, valid names, references and characters, one root element; documents with
// a DTD are refused. Text and attribute values are decoded in place in its own buffer, so an
// element costs no allocation once the buffers have grown.
//
// Documents in another encoding (a declaration naming one, or a UTF-16 byte order mark) are not
// read: feed() returns false before any event and the caller hands unscanned() to expat.

#include "spreadsheet/ooxml/xml/Xml.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

class XmlScanner {
public:
    XmlScanner(XmlHandler& handler, std::string fileName, std::string partName);

    // Reports every event the bytes so far complete. False when the document turned out to be
    // in an encoding this reader leaves to expat (decided before the first event).
    bool feed(std::string_view chunk);
    // The end of the document: anything left open is an error. False as for feed().
    bool finish();
    // The bytes fed but not yet reported.
    std::string_view unscanned() const { return std::string_view(buffer_).substr(pos_); }

private:
    enum class Stage { Start, Prolog, Root, Epilog };
    // Text: references and line ends; Attribute: also white space becomes spaces; Verbatim
    // (CDATA, comments): line ends only.
    enum class Decoding { Text, Attribute, Verbatim };

    void scan(bool last);
    bool checkEncoding(bool last);
    // Each returns false when the construct at pos_ is not complete yet.
    bool scanText(bool last);
    bool scanStartTag();
    bool scanEndTag();
    bool scanMarkupDeclaration(bool last);
    bool scanProcessingInstruction();
    void closeElement(const char* name);
    void emitText(char* begin, char* end);
    // Decodes [begin, end) in place, checking every character; returns the new end.
    char* decode(char* begin, char* end, Decoding mode);
    // The end of the XML name starting at `at` (== at when none starts there).
    std::size_t nameEnd(std::size_t at) const;
    std::size_t offsetOf(const char* p) const {
        return static_cast<std::size_t>(p - buffer_.data());
    }
    [[noreturn]] void fail(std::string_view what, std::size_t at) const;
    void discardScanned();

    XmlHandler& handler_;
    std::string fileName_;
    std::string partName_;
    std::string buffer_;
    std::size_t pos_ = 0;
    // While the construct at pos_ is incomplete: where to resume looking for its end, and the
    // quote of a start tag's value left open there.
    std::size_t searchFrom_ = 0;
    char searchQuote_ = 0;
    std::size_t linesBefore_ = 0; // line breaks in the bytes already discarded
    Stage stage_ = Stage::Start;
    bool unsupported_ = false;
    std::string openNames_;                // names of the open elements, back to back
    std::vector<std::size_t> nameOffsets_; // where each open name starts in openNames_
    std::vector<const char*> attributes_;  // expat's layout for the handler
    std::vector<std::size_t> spans_;       // name/value begin and end offsets of one tag
};

} // namespace quillory::spreadsheet::ooxml

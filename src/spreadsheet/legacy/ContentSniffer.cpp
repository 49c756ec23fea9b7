#include "spreadsheet/legacy/ContentSniffer.h"

#include "spreadsheet/legacy/BiffRecords.h"
#include "spreadsheet/legacy/CompoundFile.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace quillory::spreadsheet::legacy {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeByteOrderMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeByteOrderMark = "\xFE\xFF";
constexpr std::string_view kZipSignature = "PK\x03\x04";
constexpr std::string_view kEmptyZipSignature = "PK\x05\x06";
// Share of control bytes (other than tab, CR, LF, FF) above which data is not text.
constexpr double kMaxControlShareInText = 0.02;

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

// UTF-16 text reduced to its low bytes, enough to look for ASCII markup.
std::string narrowUtf16(std::string_view bytes, bool littleEndian) {
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char low = littleEndian ? bytes[i] : bytes[i + 1];
        const char high = littleEndian ? bytes[i + 1] : bytes[i];
        out.push_back(high == 0 ? low : '?');
    }
    return out;
}

bool looksLikeText(std::string_view bytes) {
    if (bytes.empty()) {
        return false;
    }
    std::size_t control = 0;
    for (const char c : bytes) {
        const auto value = static_cast<unsigned char>(c);
        if (value == 0) {
            return false;
        }
        if (value < 0x20 && value != '\t' && value != '\r' && value != '\n' && value != '\f') {
            ++control;
        }
    }
    return static_cast<double>(control) <=
           kMaxControlShareInText * static_cast<double>(bytes.size());
}

ContentKind sniffMarkup(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t' ||
                                   text[start] == '\r' || text[start] == '\n')) {
        ++start;
    }
    const std::string lowered = lowerAscii(text.substr(start));
    if (lowered.empty() || lowered.front() != '<') {
        return ContentKind::Unknown;
    }
    if (lowered.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos ||
        lowered.find("<?mso-application progid=\"excel.sheet\"") != std::string::npos) {
        return ContentKind::XmlSpreadsheet;
    }
    for (const char* marker : {"<html", "<!doctype html", "<table", "<head", "<body", "<meta"}) {
        if (lowered.find(marker) != std::string::npos) {
            return ContentKind::WebPage;
        }
    }
    return lowered.rfind("<?xml", 0) == 0 ? ContentKind::Xml : ContentKind::Unknown;
}

} // namespace

ContentKind SniffContent(std::string_view firstBytes) {
    const std::string_view bytes = firstBytes.substr(0, kSniffLength);
    if (bytes.empty()) {
        return ContentKind::Empty;
    }
    if (bytes.size() >= kCompoundFileSignature.size() &&
        std::memcmp(bytes.data(), kCompoundFileSignature.data(), kCompoundFileSignature.size()) ==
            0) {
        return ContentKind::CompoundFile;
    }
    if (bytes.rfind(kZipSignature, 0) == 0 || bytes.rfind(kEmptyZipSignature, 0) == 0) {
        return ContentKind::ZipPackage;
    }
    if (bytes.size() >= 4) {
        const auto id = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) |
                                                   (static_cast<unsigned char>(bytes[1]) << 8));
        const auto length = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2]) |
                                                       (static_cast<unsigned char>(bytes[3]) << 8));
        // A beginning-of-file record is short; the length keeps text from passing for one.
        if (length >= kMinBofLength && length <= kMaxBofLength) {
            if (IsOldBiffBof(id)) {
                return ContentKind::OldBiff;
            }
            if (id == kRecordBof) {
                return ContentKind::WorkbookStream;
            }
        }
    }
    if (bytes.rfind(kUtf16LeByteOrderMark, 0) == 0 || bytes.rfind(kUtf16BeByteOrderMark, 0) == 0) {
        const std::string narrow =
            narrowUtf16(bytes.substr(2), bytes.rfind(kUtf16LeByteOrderMark, 0) == 0);
        const ContentKind markup = sniffMarkup(narrow);
        return markup != ContentKind::Unknown ? markup : ContentKind::Text;
    }
    const std::string_view text =
        bytes.rfind(kUtf8ByteOrderMark, 0) == 0 ? bytes.substr(kUtf8ByteOrderMark.size()) : bytes;
    const ContentKind markup = sniffMarkup(text);
    if (markup != ContentKind::Unknown) {
        return markup;
    }
    return looksLikeText(text) ? ContentKind::Text : ContentKind::Unknown;
}

} // namespace quillory::spreadsheet::legacy

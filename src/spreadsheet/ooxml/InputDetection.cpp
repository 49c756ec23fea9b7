#include "spreadsheet/ooxml/InputDetection.h"

#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/package/OpenFiles.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::array<unsigned char, 8> kCompoundFileSignature = {0xD0, 0xCF, 0x11, 0xE0,
                                                                 0xA1, 0xB1, 0x1A, 0xE1};
// The stream an encrypted package keeps its payload in, as the UTF-16LE directory entry name.
constexpr std::string_view kEncryptedPackageStream =
    std::string_view("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
// Compound files larger than this are scanned only in their first part for the stream name.
constexpr std::size_t kMaxCompoundScanBytes = 64 * kMiB;

bool StartsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

bool IsCompoundFile(std::string_view bytes) {
    return bytes.size() >= kCompoundFileSignature.size() &&
           std::equal(kCompoundFileSignature.begin(), kCompoundFileSignature.end(), bytes.begin(),
                      [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
}

bool LooksLikeText(std::string_view bytes) {
    std::string_view start = bytes.substr(0, 512);
    if (StartsWith(start, "\xEF\xBB\xBF")) {
        return true;
    }
    return !start.empty() && std::all_of(start.begin(), start.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 || c == '\n' || c == '\r' || c == '\t';
    });
}

} // namespace

FileFormat DetectFormat(std::string_view bytes) {
    if (bytes.empty()) {
        return FileFormat::Empty;
    }
    if (StartsWith(bytes, "PK\x03\x04") || StartsWith(bytes, "PK\x05\x06") ||
        StartsWith(bytes, "PK\x07\x08")) {
        return FileFormat::ZipPackage;
    }
    if (IsCompoundFile(bytes)) {
        return bytes.find(kEncryptedPackageStream) != std::string_view::npos
                   ? FileFormat::EncryptedPackage
                   : FileFormat::LegacyBinary;
    }
    if (LooksLikeText(bytes)) {
        return FileFormat::Text;
    }
    return FileFormat::Unknown;
}

FileFormat DetectFileFormat(const std::filesystem::path& path, const std::string& displayName) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        ThrowError(ErrorCode::FileNotFound, QuotedFile(displayName) + " does not exist.");
    }
    if (std::filesystem::is_directory(path, ec)) {
        ThrowError(ErrorCode::FileUnreadable,
                   QuotedFile(displayName) + " is a folder, not a workbook file.");
    }
    std::ifstream in;
    const bool opened = OpenRaisingFileLimit(
        [&] {
            in.clear();
            in.open(path, std::ios::binary);
            return in.is_open();
        },
        displayName);
    if (!opened) {
        ThrowError(ErrorCode::FileUnreadable,
                   QuotedFile(displayName) +
                       " cannot be read; check that you may read it and that no other program "
                       "holds it locked.");
    }
    std::string head(8, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (!IsCompoundFile(head)) {
        // Enough to judge zip, text and unknown bytes.
        std::string more(504, '\0');
        in.read(more.data(), static_cast<std::streamsize>(more.size()));
        more.resize(static_cast<std::size_t>(in.gcount()));
        return DetectFormat(head + more);
    }
    // A compound file: the directory may sit anywhere, so look through the file for the stream
    // name of an encrypted package.
    std::string bytes = head;
    std::string chunk(kStreamChunkBytes, '\0');
    while (bytes.size() < kMaxCompoundScanBytes && in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    return DetectFormat(bytes);
}

void RequireZipPackage(FileFormat format, const std::string& displayName) {
    const std::string file = QuotedFile(displayName);
    switch (format) {
    case FileFormat::ZipPackage:
        return;
    case FileFormat::EncryptedPackage:
        ThrowError(ErrorCode::PasswordProtected,
                   file + " is password-protected; open it in your spreadsheet program, remove "
                          "the password and try again.");
    case FileFormat::LegacyBinary:
        ThrowError(ErrorCode::LegacyBinaryWorkbook,
                   file + " is an Excel 97-2003 workbook (.xls), which this reader does not "
                          "take; save it as an .xlsx workbook and try again.");
    case FileFormat::Text:
        ThrowError(ErrorCode::TextNotWorkbook,
                   file + " is a text file (for example CSV or a web page), not a workbook.");
    case FileFormat::Empty:
        ThrowError(ErrorCode::NotAZip, file + " is empty.");
    case FileFormat::Unknown:
        break;
    }
    ThrowError(ErrorCode::NotAZip,
               file + " is not a workbook the program can read: it is not a zip package.");
}

} // namespace quillory::spreadsheet::ooxml

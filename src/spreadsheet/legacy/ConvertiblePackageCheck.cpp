#include "spreadsheet/legacy/ConvertiblePackageCheck.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/LegacyErrors.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipReader.h"

#include <algorithm>
#include <string>

namespace quillory::spreadsheet::legacy {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kContentTypesPart = "[Content_Types].xml";
constexpr std::string_view kDefaultBinaryWorkbookPart = "xl/workbook.bin";
constexpr std::string_view kSpreadsheetMimetype = "application/vnd.oasis.opendocument.spreadsheet";
constexpr std::string_view kOpenDocumentPrefix = "application/vnd.oasis.opendocument.";
// The begin-book record: type 0x83 written as two bytes of seven bits each, then size 0.
constexpr std::string_view kBeginBookRecord = "\x83\x01\x00";

std::string lowerExtension(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension;
}

[[noreturn]] void throwNotAWorkbook(const fs::path& source, const std::string& what) {
    throw SpreadsheetError(ErrorCode::NotAWorkbook, "The file " + QuotedFileName(source) +
                                                        " is not a spreadsheet workbook: " + what +
                                                        ".");
}

void checkBinaryWorkbook(const fs::path& source, const ooxml::ZipReader& zip) {
    const std::string name = QuotedFileName(source);
    if (!zip.contains(kContentTypesPart)) {
        ThrowDamaged(name, "its zip archive has no list of content types");
    }
    const auto contentTypes = ooxml::ContentTypes::Parse(
        zip.readWhole(kContentTypesPart, kMaxPackageListBytes), zip.displayName());
    std::string workbookPart(kDefaultBinaryWorkbookPart);
    const std::string packageRels = ooxml::RelationshipsPartFor("");
    if (zip.contains(packageRels)) {
        const auto relationships = ooxml::Relationships::Parse(
            zip.readWhole(packageRels, kMaxPackageListBytes), "", zip.displayName());
        if (const auto* office = relationships.firstOfKind("officeDocument")) {
            workbookPart = office->partName;
        }
    }
    if (!zip.contains(workbookPart)) {
        ThrowDamaged(name, "the binary workbook part " + workbookPart + " is missing");
    }
    if (contentTypes.typeOf(workbookPart) != ooxml::content_type::kBinaryWorkbook) {
        throwNotAWorkbook(source, "its main part " + workbookPart +
                                      " is not a binary workbook (content type \"" +
                                      contentTypes.typeOf(workbookPart) + "\")");
    }
    const ooxml::ZipEntryInfo info = zip.info(workbookPart);
    if (info.size < kMinBinaryWorkbookPartBytes) {
        ThrowDamaged(name, "the binary workbook part " + workbookPart + " holds only " +
                               std::to_string(info.size) + " bytes, too few to list any sheet");
    }
    std::string start;
    zip.readChunks(workbookPart, [&start](std::string_view chunk) {
        if (start.size() < kBeginBookRecord.size()) {
            start.append(chunk.substr(0, kBeginBookRecord.size() - start.size()));
        }
    });
    if (start != kBeginBookRecord) {
        ThrowDamaged(name, "the binary workbook part " + workbookPart +
                               " does not start with a workbook record");
    }
}

void checkOpenDocument(const fs::path& source, const ooxml::ZipReader& zip) {
    if (!zip.contains("mimetype")) {
        throwNotAWorkbook(source, "it is a zip archive without the mimetype entry of an "
                                  "OpenDocument spreadsheet");
    }
    std::string mimetype = zip.readWhole("mimetype", kMaxMimetypeBytes);
    while (!mimetype.empty() &&
           (mimetype.back() == '\n' || mimetype.back() == '\r' || mimetype.back() == ' ')) {
        mimetype.pop_back();
    }
    if (mimetype != kSpreadsheetMimetype) {
        throwNotAWorkbook(source, mimetype.starts_with(kOpenDocumentPrefix)
                                      ? "it is another kind of OpenDocument file (" + mimetype + ")"
                                      : "its mimetype entry does not name an OpenDocument "
                                        "spreadsheet");
    }
    if (!zip.contains("content.xml")) {
        ThrowDamaged(QuotedFileName(source), "its content part content.xml is missing");
    }
}

} // namespace

void CheckZippedSourceBeforeConversion(const fs::path& source) {
    const std::string extension = lowerExtension(source);
    if (extension != ".xlsb" && extension != ".ods") {
        return;
    }
    const auto zip = ooxml::ZipReader::OpenFile(source, source.filename().string());
    if (extension == ".xlsb") {
        checkBinaryWorkbook(source, *zip);
    } else {
        checkOpenDocument(source, *zip);
    }
}

} // namespace quillory::spreadsheet::legacy

#include "spreadsheet/legacy/LegacyWorkbookListing.h"

#include "spreadsheet/legacy/BiffRecords.h"
#include "spreadsheet/legacy/CompoundFile.h"
#include "spreadsheet/legacy/ContentSniffer.h"
#include "spreadsheet/legacy/LegacyErrors.h"
#include "spreadsheet/legacy/TextEncoding.h"

namespace quillory::spreadsheet::legacy {

namespace {

// A workbook's sheets are numbered with 16 bits.
constexpr std::size_t kMaxSheets = 65535;
// Records read at the start of a worksheet while looking for the flag that makes it a dialog
// sheet; the flag comes within the first dozen records.
constexpr std::size_t kMaxSheetHeaderRecords = 64;
constexpr std::uint16_t kDefaultCodePage = 1252;
constexpr std::uint16_t kUtf16CodePage = 1200;
constexpr std::uint8_t kBoundSheetWorksheet = 0;
constexpr std::uint8_t kBoundSheetMacroSheet = 1;
constexpr std::uint8_t kBoundSheetChart = 2;
constexpr std::uint8_t kBoundSheetVisualBasicModule = 6;
constexpr std::uint8_t kVisibilityMask = 0x03;
constexpr std::uint8_t kWsBoolDialogSheet = 0x10;
constexpr std::size_t kBoundSheetFixedPart = 6;

const std::string kAdvice = " Open it in a spreadsheet program and save it as an .xlsx workbook.";

[[noreturn]] void throwPasswordProtected(const std::string& quotedName) {
    throw SpreadsheetError(ErrorCode::PasswordProtected,
                           "The workbook " + quotedName +
                               " is protected with a password (encrypted) and cannot be read. "
                               "Open it in a spreadsheet program, remove the password and save "
                               "it again.");
}

[[noreturn]] void throwOldVersion(const std::string& quotedName, std::uint16_t bofId) {
    const char* version = bofId == kRecordBofBiff2   ? "Excel 2.x (BIFF2)"
                          : bofId == kRecordBofBiff3 ? "Excel 3.0 (BIFF3)"
                                                     : "Excel 4.0 (BIFF4)";
    throw SpreadsheetError(ErrorCode::LegacyVersionUnsupported,
                           "The workbook " + quotedName + " was saved in the format of " + version +
                               ", older than Excel 5.0, which cannot be read." + kAdvice);
}

[[noreturn]] void throwNotAWorkbook(const std::string& quotedName, const std::string& what) {
    throw SpreadsheetError(ErrorCode::NotAWorkbook,
                           "The file " + quotedName + " is not a workbook: " + what + ".");
}

[[noreturn]] void throwTextNotWorkbook(const std::string& quotedName, ContentKind kind) {
    const char* what = kind == ContentKind::WebPage ? "a web page (HTML)"
                       : kind == ContentKind::XmlSpreadsheet
                           ? "a spreadsheet in the XML format of 2003"
                       : kind == ContentKind::Xml ? "an XML document"
                                                  : "a text file (such as CSV or tab-separated "
                                                    "values)";
    throw SpreadsheetError(ErrorCode::TextNotWorkbook,
                           "The file " + quotedName + " is not a real workbook but " + what +
                               " saved with a workbook extension." + kAdvice);
}

struct SheetRecord {
    LegacySheet sheet;
    std::string rawName; // BIFF5 names, decoded once the code page is known
    std::uint32_t position = 0;
};

LegacySheetKind sheetKind(std::uint8_t type, const std::string& quotedName) {
    switch (type) {
    case kBoundSheetWorksheet:
        return LegacySheetKind::Worksheet;
    case kBoundSheetMacroSheet:
        return LegacySheetKind::MacroSheet;
    case kBoundSheetChart:
        return LegacySheetKind::ChartSheet;
    case kBoundSheetVisualBasicModule:
        return LegacySheetKind::VisualBasicModule;
    default:
        ThrowDamaged(quotedName, "a sheet has the unknown type " + std::to_string(type));
    }
}

SheetVisibility sheetVisibility(std::uint8_t state) {
    switch (state & kVisibilityMask) {
    case 0:
        return SheetVisibility::Visible;
    case 2:
        return SheetVisibility::VeryHidden;
    default:
        return SheetVisibility::Hidden;
    }
}

SheetRecord parseBoundSheet(const BiffRecord& record, BiffVersion version,
                            const std::string& quotedName) {
    const std::string& data = record.data;
    const std::size_t nameStart = kBoundSheetFixedPart + (version == BiffVersion::Biff8 ? 2 : 1);
    if (data.size() < nameStart) {
        ThrowDamaged(quotedName, "a sheet record is too short");
    }
    SheetRecord result;
    result.position = ReadU32(data, 0);
    result.sheet.visibility = sheetVisibility(static_cast<std::uint8_t>(data[4]));
    result.sheet.kind = sheetKind(static_cast<std::uint8_t>(data[5]), quotedName);
    const std::size_t characters = static_cast<unsigned char>(data[6]);
    const bool wide = version == BiffVersion::Biff8 && (static_cast<unsigned char>(data[7]) & 1);
    const std::size_t nameBytes = wide ? 2 * characters : characters;
    if (data.size() - nameStart < nameBytes) {
        ThrowDamaged(quotedName, "a sheet name runs past the end of its record");
    }
    const std::string_view name = std::string_view(data).substr(nameStart, nameBytes);
    if (version == BiffVersion::Biff8) {
        result.sheet.name = wide ? Utf16LeToUtf8(name) : Latin1ToUtf8(name);
    } else {
        result.rawName = std::string(name);
    }
    return result;
}

// Looks at the start of a sheet's own records: it must begin where the sheet record says, and a
// worksheet whose options carry the dialog flag is a dialog sheet.
void checkSheetStart(BiffRecordCursor& cursor, SheetRecord& record, const std::string& quotedName) {
    const std::string quotedSheet = "sheet \"" + record.sheet.name + "\"";
    if (record.position >= cursor.streamSize()) {
        ThrowDamaged(quotedName,
                     "the list of sheets points outside the workbook data for " + quotedSheet);
    }
    cursor.seek(record.position);
    const std::optional<BiffRecord> bof = cursor.next();
    if (!bof || bof->id != kRecordBof) {
        ThrowDamaged(quotedName, quotedSheet + " does not start where the list of sheets says");
    }
    if (record.sheet.kind != LegacySheetKind::Worksheet) {
        return;
    }
    for (std::size_t i = 0; i < kMaxSheetHeaderRecords; ++i) {
        const std::optional<BiffRecord> next = cursor.next();
        if (!next || next->id == kRecordEof || next->id == kRecordBof ||
            next->id == kRecordDimensions) {
            return;
        }
        if (next->id == kRecordWsBool && !next->data.empty()) {
            if (static_cast<unsigned char>(next->data[0]) & kWsBoolDialogSheet) {
                record.sheet.kind = LegacySheetKind::DialogSheet;
            }
            return;
        }
    }
}

LegacyWorkbookListing parseWorkbookStream(BiffRecordCursor& cursor, bool streamNamedBook,
                                          const std::string& quotedName) {
    const std::optional<BiffRecord> bof = cursor.next();
    if (!bof) {
        ThrowDamaged(quotedName, "the workbook data is empty");
    }
    if (IsOldBiffBof(bof->id)) {
        throwOldVersion(quotedName, bof->id);
    }
    if (bof->id != kRecordBof || bof->data.size() < kMinBofLength) {
        ThrowDamaged(quotedName, "the workbook data does not begin with a beginning-of-file "
                                 "record");
    }
    LegacyWorkbookListing listing;
    const std::uint16_t bofVersion = ReadU16(bof->data, 0);
    if (bofVersion == kBofVersionBiff8) {
        listing.version = BiffVersion::Biff8;
    } else if (bofVersion == kBofVersionBiff5) {
        listing.version = BiffVersion::Biff5;
    } else {
        listing.version = streamNamedBook ? BiffVersion::Biff5 : BiffVersion::Biff8;
    }
    if (ReadU16(bof->data, 2) != kBofWorkbookGlobals) {
        ThrowDamaged(quotedName, "the workbook data does not begin with the workbook's global "
                                 "part");
    }
    listing.codePage = listing.version == BiffVersion::Biff8 ? kUtf16CodePage : kDefaultCodePage;
    std::vector<SheetRecord> records;
    while (const std::optional<BiffRecord> record = cursor.next()) {
        if (record->id == kRecordEof || record->id == kRecordBof) {
            break;
        }
        if (record->id == kRecordFilePass) {
            throwPasswordProtected(quotedName);
        }
        if (record->id == kRecordCodePage && record->data.size() >= 2 &&
            listing.version == BiffVersion::Biff5) {
            listing.codePage = ReadU16(record->data, 0);
        }
        if (record->id == kRecordBoundSheet) {
            if (records.size() >= kMaxSheets) {
                ThrowDamaged(quotedName,
                             "it lists more than " + std::to_string(kMaxSheets) + " sheets");
            }
            records.push_back(parseBoundSheet(*record, listing.version, quotedName));
        }
    }
    if (records.empty()) {
        ThrowDamaged(quotedName, "it lists no sheets");
    }
    for (SheetRecord& record : records) {
        if (listing.version == BiffVersion::Biff5) {
            std::optional<std::string> name = CodePageToUtf8(record.rawName, listing.codePage);
            if (!name) {
                throw SpreadsheetError(ErrorCode::UnsupportedPackage,
                                       "The workbook " + quotedName +
                                           " uses the character set of code page " +
                                           std::to_string(listing.codePage) +
                                           ", which this system cannot convert." + kAdvice);
            }
            record.sheet.name = std::move(*name);
        }
        if (record.sheet.name.empty()) {
            ThrowDamaged(quotedName, "a sheet has no name");
        }
        if (record.sheet.kind != LegacySheetKind::VisualBasicModule) {
            checkSheetStart(cursor, record, quotedName);
        }
        listing.sheets.push_back(std::move(record.sheet));
    }
    return listing;
}

LegacyWorkbookListing listCompoundFile(std::unique_ptr<ByteSource> source,
                                       const std::string& quotedName) {
    const CompoundFile file(std::move(source), quotedName);
    if (file.findRootStream("EncryptedPackage") != nullptr &&
        file.findRootStream("EncryptionInfo") != nullptr) {
        throwPasswordProtected(quotedName);
    }
    const DirectoryEntry* entry = file.findRootStream("Workbook");
    const bool namedBook = entry == nullptr;
    if (entry == nullptr) {
        entry = file.findRootStream("Book");
    }
    if (entry == nullptr) {
        if (file.findRootStream("WordDocument") != nullptr) {
            throwNotAWorkbook(quotedName, "it is a word-processing document");
        }
        if (file.findRootStream("PowerPoint Document") != nullptr) {
            throwNotAWorkbook(quotedName, "it is a presentation");
        }
        throwNotAWorkbook(quotedName, "it is a compound document that holds no workbook data");
    }
    const CompoundStream stream = file.openStream(*entry);
    BiffRecordCursor cursor(
        [&stream](std::uint64_t offset, std::size_t length) { return stream.read(offset, length); },
        stream.size(), quotedName);
    return parseWorkbookStream(cursor, namedBook, quotedName);
}

} // namespace

std::vector<std::string> LegacyWorkbookListing::WorksheetNames() const {
    std::vector<std::string> names;
    for (const LegacySheet& sheet : sheets) {
        if (sheet.kind == LegacySheetKind::Worksheet) {
            names.push_back(sheet.name);
        }
    }
    return names;
}

LegacyWorkbookListing ListLegacyWorkbook(const std::filesystem::path& file) {
    return ListLegacyWorkbook(std::make_unique<FileByteSource>(file), QuotedFileName(file));
}

LegacyWorkbookListing ListLegacyWorkbook(std::unique_ptr<ByteSource> source,
                                         const std::string& quotedName) {
    std::string start(kSniffLength, '\0');
    start.resize(source->readAt(0, kSniffLength, start.data()));
    const ContentKind kind = SniffContent(start);
    switch (kind) {
    case ContentKind::CompoundFile:
        return listCompoundFile(std::move(source), quotedName);
    case ContentKind::WorkbookStream: {
        const ByteSource& bytes = *source;
        BiffRecordCursor cursor(
            [&bytes](std::uint64_t offset, std::size_t length) {
                std::string out(length, '\0');
                out.resize(bytes.readAt(offset, length, out.data()));
                return out;
            },
            bytes.size(), quotedName);
        return parseWorkbookStream(cursor, false, quotedName);
    }
    case ContentKind::OldBiff:
        throwOldVersion(quotedName, ReadU16(start, 0));
    case ContentKind::WebPage:
    case ContentKind::XmlSpreadsheet:
    case ContentKind::Xml:
    case ContentKind::Text:
        throwTextNotWorkbook(quotedName, kind);
    case ContentKind::Empty:
        throwNotAWorkbook(quotedName, "the file is empty");
    case ContentKind::ZipPackage:
        throwNotAWorkbook(quotedName, "it is a workbook package, not a legacy workbook");
    case ContentKind::Unknown:
        break;
    }
    throwNotAWorkbook(quotedName, "its content is not in any workbook format");
}

std::optional<SheetKind> ToSheetKind(LegacySheetKind kind) {
    switch (kind) {
    case LegacySheetKind::Worksheet:
        return SheetKind::Worksheet;
    case LegacySheetKind::ChartSheet:
        return SheetKind::ChartSheet;
    case LegacySheetKind::MacroSheet:
        return SheetKind::MacroSheet;
    case LegacySheetKind::DialogSheet:
        return SheetKind::DialogSheet;
    case LegacySheetKind::VisualBasicModule:
        break;
    }
    return std::nullopt;
}

} // namespace quillory::spreadsheet::legacy

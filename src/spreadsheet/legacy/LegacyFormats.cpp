#include "spreadsheet/legacy/LegacyFormats.h"

#include "spreadsheet/legacy/BiffRecords.h"
#include "spreadsheet/legacy/CompoundFile.h"
#include "spreadsheet/legacy/LegacyErrors.h"
#include "spreadsheet/legacy/TextEncoding.h"

namespace quillory::spreadsheet::legacy {

namespace {

// Font index 4 does not exist: the fifth FONT record is font 5.
constexpr std::uint16_t kMissingFontIndex = 4;
constexpr std::size_t kFontNameLengthAt = 14;
constexpr std::size_t kFontUnderlineAt = 10;
constexpr std::size_t kXfAlignmentAt = 6;
constexpr std::uint8_t kHorizontalAlignmentMask = 0x07;
constexpr std::size_t kXfBiff8Length = 20;
constexpr std::size_t kXfBiff5Length = 16;
constexpr std::size_t kRowLength = 16;
constexpr std::uint16_t kRowHeightMask = 0x7FFF;
constexpr std::uint16_t kRowDefaultHeightBit = 0x8000;
constexpr std::uint32_t kRowUnsyncedBit = 0x40;
constexpr std::uint16_t kDefaultRowHeightUnsyncedBit = 0x01;
constexpr std::size_t kCellHeaderLength = 6;
constexpr std::size_t kMergedRangeLength = 8;
constexpr std::size_t kColInfoLength = 10;
constexpr std::uint32_t kLegacyColumns = 0x100; // some writers let a last column of 256 stand
constexpr std::size_t kLabelSstLength = 10;
constexpr std::size_t kNameTextAt = 14;
constexpr std::size_t kNameLengthAt = 3;
constexpr std::size_t kNameSheetAt = 8;
constexpr std::uint16_t kNameBuiltInBit = 0x0020;
constexpr std::size_t kRangeRecordLength = 6;
// A FORMULA record's result: a number, or (its last two bytes 0xFFFF) a kind in its first byte.
constexpr std::size_t kFormulaResultAt = 6;
constexpr std::size_t kFormulaResultEnd = 14;
constexpr char kFormulaErrorResult = 2;
// The most records one sheet may hold before the workbook is taken as damaged (a sheet of
// 65,536 rows by 256 columns has 16.8 million cells).
constexpr std::uint64_t kMaxSheetRecords = 1ULL << 26;

std::string fontName(const BiffRecord& record, const LegacyWorkbookListing& listing) {
    const std::string& data = record.data;
    if (data.size() <= kFontNameLengthAt) {
        return {};
    }
    const std::size_t characters = static_cast<unsigned char>(data[kFontNameLengthAt]);
    if (listing.version == BiffVersion::Biff8) {
        if (data.size() < kFontNameLengthAt + 2) {
            return {};
        }
        const bool wide = static_cast<unsigned char>(data[kFontNameLengthAt + 1]) & 1;
        const std::size_t bytes = wide ? 2 * characters : characters;
        const std::string_view name =
            std::string_view(data).substr(kFontNameLengthAt + 2, bytes); // clipped at the end
        return wide ? Utf16LeToUtf8(name) : Latin1ToUtf8(name);
    }
    const std::string_view name = std::string_view(data).substr(kFontNameLengthAt + 1, characters);
    return CodePageToUtf8(name, listing.codePage).value_or(std::string());
}

// A NAME record's name and scope; nothing for a built-in name or one that runs past its record.
std::optional<LegacyName> parseName(const std::string& data, const LegacyWorkbookListing& listing) {
    if (data.size() <= kNameTextAt || (ReadU16(data, 0) & kNameBuiltInBit) != 0) {
        return std::nullopt;
    }
    const std::size_t characters = static_cast<unsigned char>(data[kNameLengthAt]);
    LegacyName name;
    if (listing.version == BiffVersion::Biff8) {
        const bool wide = static_cast<unsigned char>(data[kNameTextAt]) & 1;
        const std::size_t bytes = wide ? 2 * characters : characters;
        if (data.size() - kNameTextAt - 1 < bytes) {
            return std::nullopt;
        }
        const std::string_view text = std::string_view(data).substr(kNameTextAt + 1, bytes);
        name.name = wide ? Utf16LeToUtf8(text) : Latin1ToUtf8(text);
    } else {
        if (data.size() - kNameTextAt < characters) {
            return std::nullopt;
        }
        name.name =
            CodePageToUtf8(std::string_view(data).substr(kNameTextAt, characters), listing.codePage)
                .value_or(std::string());
    }
    const std::uint16_t sheet = ReadU16(data, kNameSheetAt); // 1-based; 0: the workbook's
    if (sheet > listing.sheets.size() || name.name.empty()) {
        return std::nullopt;
    }
    if (sheet > 0) {
        name.scope = listing.sheets[sheet - 1u].name;
    }
    return name;
}

LegacyXf parseXf(const std::string& data, BiffVersion version) {
    LegacyXf xf;
    xf.fontIndex = ReadU16(data, 0);
    xf.formatIndex = ReadU16(data, 2);
    xf.horizontalAlignment =
        static_cast<std::uint8_t>(data[kXfAlignmentAt]) & kHorizontalAlignmentMask;
    if (version == BiffVersion::Biff8 && data.size() >= kXfBiff8Length) {
        xf.fillPattern = static_cast<std::uint8_t>((ReadU32(data, 14) >> 26) & 0x3F);
        xf.fillForeground = static_cast<std::uint8_t>(ReadU16(data, 18) & 0x7F);
    } else if (version == BiffVersion::Biff5 && data.size() >= kXfBiff5Length) {
        xf.fillPattern = static_cast<std::uint8_t>((ReadU32(data, 8) >> 16) & 0x3F);
        xf.fillForeground = static_cast<std::uint8_t>(ReadU32(data, 8) & 0x7F);
    }
    return xf;
}

// The code of a FORMAT record; nothing when it runs past its record.
std::optional<std::string> formatCode(const std::string& data,
                                      const LegacyWorkbookListing& listing) {
    if (listing.version == BiffVersion::Biff8) {
        if (data.size() < 5) {
            return std::nullopt;
        }
        const std::size_t characters = ReadU16(data, 2);
        const bool wide = static_cast<unsigned char>(data[4]) & 1;
        const std::size_t bytes = wide ? 2 * characters : characters;
        if (data.size() - 5 < bytes) {
            return std::nullopt;
        }
        const std::string_view code = std::string_view(data).substr(5, bytes);
        return wide ? Utf16LeToUtf8(code) : Latin1ToUtf8(code);
    }
    const std::size_t bytes = static_cast<unsigned char>(data[2]);
    if (data.size() - 3 < bytes) {
        return std::nullopt;
    }
    return CodePageToUtf8(std::string_view(data).substr(3, bytes), listing.codePage);
}

using RichStrings = std::unordered_map<std::uint32_t, LegacyRichString>;

// Rich strings of RSTRING cells join the shared ones under indexes counted down from the top,
// which no shared string table reaches.
constexpr std::uint32_t kFirstCellStringIndex = 0xFFFFFFFF;

void readCell(const BiffRecord& record, LegacySheetFormats& sheet, RichStrings& rich,
              const LegacyWorkbookListing& listing) {
    const std::string& data = record.data;
    if (record.id == kRecordLabelSst && data.size() >= kLabelSstLength &&
        rich.count(ReadU32(data, kCellHeaderLength)) != 0) {
        sheet.richStrings[LegacySheetFormats::CellKey(ReadU16(data, 0), ReadU16(data, 2))] =
            ReadU32(data, kCellHeaderLength);
    } else if (record.id == kRecordRString) {
        if (std::optional<LegacyRichString> string =
                listing.version == BiffVersion::Biff8
                    ? ReadRichCellString(data)
                    : ReadRichCellStringBiff5(data, listing.codePage)) {
            const auto index = static_cast<std::uint32_t>(kFirstCellStringIndex - rich.size());
            rich.emplace(index, std::move(*string));
            sheet.richStrings[LegacySheetFormats::CellKey(ReadU16(data, 0), ReadU16(data, 2))] =
                index;
        }
    }
    switch (record.id) {
    case kRecordFormula:
    case kRecordFormulaBiff4:
        if (data.size() >= kCellHeaderLength) {
            sheet.formulas[LegacySheetFormats::CellKey(ReadU16(data, 0), ReadU16(data, 2))] =
                data.size() >= kFormulaResultEnd &&
                ReadU16(data, kFormulaResultEnd - 2) == 0xFFFF &&
                data[kFormulaResultAt] == kFormulaErrorResult;
        }
        [[fallthrough]];
    case kRecordBlank:
    case kRecordNumber:
    case kRecordLabel:
    case kRecordBoolErr:
    case kRecordLabelSst:
    case kRecordRk:
    case kRecordRString:
        if (data.size() >= kCellHeaderLength) {
            sheet.xfs[LegacySheetFormats::CellKey(ReadU16(data, 0), ReadU16(data, 2))] =
                ReadU16(data, 4);
        }
        return;
    case kRecordMulRk:
    case kRecordMulBlank: {
        const std::size_t step = record.id == kRecordMulRk ? 6 : 2;
        if (data.size() < 6) {
            return;
        }
        const std::uint16_t row = ReadU16(data, 0);
        const std::uint16_t first = ReadU16(data, 2);
        const std::size_t count = (data.size() - 6) / step;
        for (std::size_t i = 0; i < count && first + i <= 0xFF; ++i) {
            sheet.xfs[LegacySheetFormats::CellKey(row, first + static_cast<std::uint32_t>(i))] =
                ReadU16(data, 4 + i * step);
        }
        return;
    }
    default:
        return;
    }
}

void readSheet(BiffRecordCursor& cursor, std::uint64_t position, LegacySheetFormats& sheet,
               RichStrings& rich, const LegacyWorkbookListing& listing,
               const std::string& quotedName) {
    if (position >= cursor.streamSize()) {
        ThrowDamaged(quotedName,
                     "the list of sheets points outside the workbook data for sheet \"" +
                         sheet.name + "\"");
    }
    cursor.seek(position);
    int depth = 0;
    // The cells of array formulas and data tables that are not their first: none has a formula.
    const auto dropRangeMembers = [&sheet](const std::vector<LegacyMergedRange>& ranges) {
        for (const LegacyMergedRange& range : ranges) {
            for (std::uint32_t row = range.firstRow; row <= range.lastRow; ++row) {
                for (std::uint32_t column = range.firstColumn; column <= range.lastColumn;
                     ++column) {
                    if (row != range.firstRow || column != range.firstColumn) {
                        sheet.formulas.erase(LegacySheetFormats::CellKey(row, column));
                    }
                }
            }
        }
    };
    std::vector<LegacyMergedRange> formulaRanges;
    for (std::uint64_t count = 0; count < kMaxSheetRecords; ++count) {
        const std::optional<BiffRecord> record = cursor.next();
        if (!record) {
            dropRangeMembers(formulaRanges);
            return; // a sheet without its end: what was read stands
        }
        if (record->id == kRecordBof) {
            // Charts embedded in the sheet nest their own BOF ... EOF.
            if (++depth == 2 && record->data.size() >= kMinBofLength &&
                ReadU16(record->data, 2) == kBofChart) {
                ++sheet.embeddedCharts;
            }
            continue;
        }
        if (record->id == kRecordEof) {
            if (--depth <= 0) {
                dropRangeMembers(formulaRanges);
                return;
            }
            continue;
        }
        if (depth != 1) {
            continue;
        }
        const std::string& data = record->data;
        if (record->id == kRecordRow && data.size() >= kRowLength) {
            const std::uint16_t height = ReadU16(data, 6);
            LegacyRow row;
            row.heightTwips = height & kRowHeightMask;
            row.defaultHeight = (height & kRowDefaultHeightBit) != 0;
            row.customHeight = (ReadU32(data, 12) & kRowUnsyncedBit) != 0;
            sheet.rows[ReadU16(data, 0)] = row;
        } else if (record->id == kRecordDefaultRowHeight && data.size() >= 4) {
            sheet.defaultRowHeightTwips = ReadU16(data, 2);
            sheet.defaultRowHeightCustom = (ReadU16(data, 0) & kDefaultRowHeightUnsyncedBit) != 0;
        } else if (record->id == kRecordColInfo && data.size() >= kColInfoLength) {
            const std::uint32_t last =
                std::min<std::uint32_t>(ReadU16(data, 2), kLegacyColumns - 1);
            for (std::uint32_t column = ReadU16(data, 0); column <= last; ++column) {
                sheet.columns[column] = {ReadU16(data, 4), ReadU16(data, 8)};
            }
        } else if ((record->id == kRecordArray || record->id == kRecordTable) &&
                   data.size() >= kRangeRecordLength) {
            formulaRanges.push_back({ReadU16(data, 0), ReadU16(data, 2),
                                     static_cast<unsigned char>(data[4]),
                                     static_cast<unsigned char>(data[5])});
        } else if (record->id == kRecordStandardWidth && data.size() >= 2) {
            sheet.standardWidth = ReadU16(data, 0);
        } else if (record->id == kRecordDefColWidth && data.size() >= 2) {
            sheet.defaultWidthCharacters = ReadU16(data, 0);
        } else if (record->id == kRecordMergedCells && data.size() >= 2) {
            const std::size_t count =
                std::min<std::size_t>(ReadU16(data, 0), (data.size() - 2) / kMergedRangeLength);
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t at = 2 + i * kMergedRangeLength;
                sheet.merged.push_back({ReadU16(data, at), ReadU16(data, at + 2),
                                        ReadU16(data, at + 4), ReadU16(data, at + 6)});
            }
        } else {
            readCell(*record, sheet, rich, listing);
        }
    }
    ThrowDamaged(quotedName,
                 "sheet \"" + sheet.name + "\" holds more records than any workbook can");
}

} // namespace

const LegacyFont* LegacyWorkbookFormats::font(std::uint16_t stored) const {
    if (stored == kMissingFontIndex) {
        return nullptr;
    }
    const std::size_t index = stored > kMissingFontIndex ? stored - 1u : stored;
    return index < fonts.size() ? &fonts[index] : nullptr;
}

LegacyWorkbookFormats ReadLegacyWorkbookFormats(const std::filesystem::path& file) {
    const LegacyWorkbookListing listing = ListLegacyWorkbook(file);
    const std::string quotedName = QuotedFileName(file);
    const CompoundFile compound(std::make_unique<FileByteSource>(file), quotedName);
    const DirectoryEntry* entry = compound.findRootStream("Workbook");
    if (entry == nullptr) {
        entry = compound.findRootStream("Book");
    }
    if (entry == nullptr) {
        ThrowDamaged(quotedName, "it holds no workbook data");
    }
    const CompoundStream stream = compound.openStream(*entry);
    BiffRecordCursor cursor(
        [&stream](std::uint64_t offset, std::size_t length) { return stream.read(offset, length); },
        stream.size(), quotedName);

    LegacyWorkbookFormats formats;
    std::vector<std::uint32_t> positions;   // of every sheet, in tab order
    cursor.next();                          // the globals' BOF, checked by the listing
    std::vector<std::string> sharedStrings; // the SST record and the CONTINUE records after it
    bool inSharedStrings = false;
    while (std::optional<BiffRecord> record = cursor.next()) {
        const std::string& data = record->data;
        if (record->id == kRecordEof || record->id == kRecordBof) {
            break;
        }
        inSharedStrings = (inSharedStrings && record->id == kRecordContinue) ||
                          (record->id == kRecordSst && listing.version == BiffVersion::Biff8);
        if (inSharedStrings) {
            sharedStrings.push_back(std::move(record->data));
        } else if (record->id == kRecordFont) {
            LegacyFont font;
            if (data.size() > kFontUnderlineAt) {
                font.underline = static_cast<LegacyUnderline>(data[kFontUnderlineAt]);
                font.heightTwips = ReadU16(data, 0);
            }
            font.name = fontName(*record, listing);
            formats.fonts.push_back(std::move(font));
        } else if (record->id == kRecordXf && data.size() > kXfAlignmentAt) {
            formats.xfs.push_back(parseXf(data, listing.version));
        } else if (record->id == kRecordFormat && data.size() >= 3) {
            if (std::optional<std::string> code = formatCode(data, listing)) {
                formats.numberFormats[ReadU16(data, 0)] = std::move(*code);
            }
        } else if (record->id == kRecordName) {
            if (std::optional<LegacyName> name = parseName(data, listing)) {
                formats.names.push_back(std::move(*name));
            }
        } else if (record->id == kRecordBoundSheet && data.size() >= 4) {
            positions.push_back(ReadU32(data, 0));
        }
    }
    if (!sharedStrings.empty()) {
        formats.richStrings = ReadRichSharedStrings(sharedStrings);
    }
    if (positions.size() != listing.sheets.size()) {
        ThrowDamaged(quotedName, "its list of sheets reads differently a second time");
    }
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (listing.sheets[i].kind != LegacySheetKind::Worksheet) {
            continue;
        }
        LegacySheetFormats sheet;
        sheet.name = listing.sheets[i].name;
        readSheet(cursor, positions[i], sheet, formats.richStrings, listing, quotedName);
        formats.worksheets.push_back(std::move(sheet));
    }
    return formats;
}

} // namespace quillory::spreadsheet::legacy

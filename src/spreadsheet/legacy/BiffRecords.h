#pragma once
// The records of a legacy workbook stream (BIFF5 and BIFF8) that listing needs, and a cursor that
// walks them with every length checked against the stream.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillory::spreadsheet::legacy {

inline constexpr std::uint16_t kRecordBof = 0x0809;
inline constexpr std::uint16_t kRecordBofBiff2 = 0x0009;
inline constexpr std::uint16_t kRecordBofBiff3 = 0x0209;
inline constexpr std::uint16_t kRecordBofBiff4 = 0x0409;
inline constexpr std::uint16_t kRecordEof = 0x000A;
inline constexpr std::uint16_t kRecordFilePass = 0x002F;
inline constexpr std::uint16_t kRecordCodePage = 0x0042;
inline constexpr std::uint16_t kRecordWsBool = 0x0081;
inline constexpr std::uint16_t kRecordBoundSheet = 0x0085;
inline constexpr std::uint16_t kRecordDimensions = 0x0200;
// Formats and layout, read to correct what a conversion loses.
inline constexpr std::uint16_t kRecordFont = 0x0031;
inline constexpr std::uint16_t kRecordXf = 0x00E0;
inline constexpr std::uint16_t kRecordFormat = 0x041E;
inline constexpr std::uint16_t kRecordRow = 0x0208;
inline constexpr std::uint16_t kRecordDefaultRowHeight = 0x0225;
inline constexpr std::uint16_t kRecordColInfo = 0x007D;
inline constexpr std::uint16_t kRecordStandardWidth = 0x0099;
inline constexpr std::uint16_t kRecordDefColWidth = 0x0055;
inline constexpr std::uint16_t kRecordMergedCells = 0x00E5;
// The shared string table, continued in CONTINUE records where it outgrows one record.
inline constexpr std::uint16_t kRecordSst = 0x00FC;
inline constexpr std::uint16_t kRecordContinue = 0x003C;
// Cell records: each starts with row, column and XF index.
inline constexpr std::uint16_t kRecordBlank = 0x0201;
inline constexpr std::uint16_t kRecordNumber = 0x0203;
inline constexpr std::uint16_t kRecordLabel = 0x0204;
inline constexpr std::uint16_t kRecordBoolErr = 0x0205;
inline constexpr std::uint16_t kRecordFormula = 0x0006;
// The FORMULA record's id of Excel 4.0, which some writers still use in later files.
inline constexpr std::uint16_t kRecordFormulaBiff4 = 0x0406;
inline constexpr std::uint16_t kRecordLabelSst = 0x00FD;
inline constexpr std::uint16_t kRecordRk = 0x027E;
inline constexpr std::uint16_t kRecordRString = 0x00D6;
// Runs of cells in one row: row, first column, one XF index (and value) per cell, last column.
inline constexpr std::uint16_t kRecordMulRk = 0x00BD;
inline constexpr std::uint16_t kRecordMulBlank = 0x00BE;
// Defined names (globals), and the ranges of array formulas and data tables (in a sheet).
inline constexpr std::uint16_t kRecordName = 0x0018;
inline constexpr std::uint16_t kRecordArray = 0x0221;
inline constexpr std::uint16_t kRecordTable = 0x0236;

inline constexpr std::uint16_t kBofVersionBiff5 = 0x0500;
inline constexpr std::uint16_t kBofVersionBiff8 = 0x0600;
inline constexpr std::uint16_t kBofWorkbookGlobals = 0x0005;
inline constexpr std::uint16_t kBofVisualBasicModule = 0x0006;
inline constexpr std::uint16_t kBofWorksheet = 0x0010;
inline constexpr std::uint16_t kBofChart = 0x0020;
inline constexpr std::uint16_t kBofMacroSheet = 0x0040;
inline constexpr std::uint16_t kMinBofLength = 4;
inline constexpr std::uint16_t kMaxBofLength = 20;

inline bool IsOldBiffBof(std::uint16_t id) {
    return id == kRecordBofBiff2 || id == kRecordBofBiff3 || id == kRecordBofBiff4;
}

struct BiffRecord {
    std::uint64_t offset = 0; // of the record header in the stream
    std::uint16_t id = 0;
    std::string data;
};

// Reads records one after another from a stream given as a read function and a size; reads in
// blocks so that walking many small records costs few reads of the file.
class BiffRecordCursor {
public:
    using ReadFunction = std::function<std::string(std::uint64_t offset, std::size_t length)>;

    BiffRecordCursor(ReadFunction read, std::uint64_t streamSize, std::string quotedName);

    void seek(std::uint64_t offset) { position_ = offset; }
    std::uint64_t position() const { return position_; }
    std::uint64_t streamSize() const { return streamSize_; }
    // The next record, or nothing at the end of the stream. A record whose length runs past the
    // end of the stream is damage.
    std::optional<BiffRecord> next();

private:
    std::string bytes(std::uint64_t offset, std::size_t length);

    ReadFunction read_;
    std::uint64_t streamSize_;
    std::string quotedName_;
    std::uint64_t position_ = 0;
    std::uint64_t bufferStart_ = 0;
    std::string buffer_;
};

inline std::uint16_t ReadU16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

inline std::uint32_t ReadU32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(ReadU16(bytes, at)) |
           (static_cast<std::uint32_t>(ReadU16(bytes, at + 2)) << 16);
}

} // namespace quillory::spreadsheet::legacy

#pragma once
// Bounds on what the engine accepts from a package, so that a hostile or broken file ends in a
// clear error instead of exhausting memory or disk (zip bombs, absurd entry counts).

#include <cstdint>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::uint64_t kMiB = 1024ull * 1024ull;

// Entries in one package's central directory; real workbooks hold a few hundred at most.
inline constexpr std::uint64_t kMaxZipEntries = 100'000;
// A part read whole into memory (workbook, relationships, styles, shared strings, tables).
inline constexpr std::uint64_t kMaxWholePartBytes = 512 * kMiB;
// A part streamed in chunks (a worksheet); the result is written without ZIP64.
inline constexpr std::uint64_t kMaxStreamedPartBytes = 4000 * kMiB;
// Decompressed bytes of all parts of one package together.
inline constexpr std::uint64_t kMaxPackageBytes = 16'000 * kMiB;
// Ratio of decompressed to compressed size above which an entry counts as a bomb, checked for
// entries larger than kRatioCheckFromBytes (tiny parts may legitimately compress very well).
inline constexpr std::uint64_t kMaxCompressionRatio = 1000;
inline constexpr std::uint64_t kRatioCheckFromBytes = 1 * kMiB;
// Chunk size for streaming reads and writes.
inline constexpr std::size_t kStreamChunkBytes = 64 * 1024;
// Depth of nested XML elements; SpreadsheetML needs well under a hundred.
inline constexpr int kMaxXmlDepth = 256;

} // namespace quillory::spreadsheet::ooxml

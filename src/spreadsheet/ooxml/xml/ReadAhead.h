#pragma once
// Inflates a part on a second thread while the caller consumes the chunks inflated before, so
// that unpacking a worksheet overlaps parsing it. Only that thread touches the archive until the
// call returns. A read failure is rethrown to the caller as the plain read would throw it; a
// consumer that throws stops the reading thread, which is joined before the exception leaves.
// Small parts, and a machine that cannot start a thread, are read on the caller's thread.

#include "spreadsheet/ooxml/package/ZipReader.h"

#include <cstdint>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

// Parts smaller than this are read on the caller's thread: a thread would cost more than it saves.
inline constexpr std::uint64_t kReadAheadFromBytes = 256 * 1024;

void ReadChunksAhead(const ZipReader& zip, std::string_view name,
                     const ZipReader::ChunkConsumer& consumer);

} // namespace quillory::spreadsheet::ooxml

#pragma once
// A streaming zip writer: deflated entries written as they are produced, entries copied still
// compressed from another package, and the central directory at the end. Names and order are
// checked at once on the caller's thread; checksums, deflate and the writes to the sink run on a
// compressor thread (ZipStream behind an OrderedWorker), so parsing the next piece of a sheet
// overlaps compressing the last. A failure on that thread surfaces at the caller's next call or
// at finish; destroying the writer stops the thread. No ZIP64: a result over 4 GiB is refused.

#include "spreadsheet/ooxml/package/OrderedWorker.h"
#include "spreadsheet/ooxml/package/OutputSink.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/package/ZipStream.h"

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

class ZipWriter {
public:
    explicit ZipWriter(OutputSink& sink,
                       OrderedWorker::Mode threading = OrderedWorker::Mode::Background);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // A deflated entry, written in pieces between begin and end.
    void beginEntry(std::string_view name);
    void write(std::string_view bytes);
    void endEntry();
    // A whole entry at once.
    void addEntry(std::string_view name, std::string_view bytes);
    // An entry copied as stored in `source` (no inflate/deflate round trip).
    void addRawEntry(std::string_view name, const ZipReader& source, std::string_view sourceName);
    // Writes the central directory and waits until everything reached the sink. The writer takes
    // no entries after this.
    void finish();

private:
    void startEntry(std::string_view name);
    void handOffPending();

    // Declared before the worker: the worker's thread uses the stream until the worker is gone.
    ZipStream stream_;
    OrderedWorker worker_;
    std::string pending_;         // bytes of the open entry not yet handed to the compressor
    std::set<std::string> names_; // folded, to refuse duplicates
    bool inEntry_ = false;
    bool finished_ = false;
};

} // namespace quillory::spreadsheet::ooxml

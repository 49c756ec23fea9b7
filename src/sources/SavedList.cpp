#include "sources/SavedList.h"

#include "sources/PathKind.h"

namespace quillory::sources {

namespace {
constexpr std::string_view kLineEnd = "\r\n";
} // namespace

void LoadSourceList(lists::ListModel& sources, const std::filesystem::path& listFile) {
    const std::optional<std::string> bytes = ReadWholeFile(listFile);
    if (!bytes) {
        return;
    }
    for (std::string& line : SplitLines(*bytes)) {
        const PathKind kind = GetPathKind(line);
        const int position = sources.add(std::move(line));
        sources.setSmallIcon(position, IconForPathKind(kind));
    }
    sources.refresh();
}

std::string SourceListBytes(const lists::ListModel& sources) {
    std::string bytes;
    // Every row, however many: a 16-bit row count would silently drop rows past 32,767.
    for (int position = 1; position <= sources.count(); ++position) {
        bytes += sources.text(position);
        bytes += kLineEnd;
    }
    return bytes;
}

SaveResult SaveSourceList(const lists::ListModel& sources, const ProgramFiles& files) {
    if (!AutoSaveEnabled(files.settingsFile())) {
        return SaveResult::SwitchedOff;
    }
    WriteFileReplacing(files.sourceListFile(), SourceListBytes(sources));
    return SaveResult::Saved;
}

} // namespace quillory::sources

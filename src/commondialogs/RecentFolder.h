#pragma once
// The folder the file and folder dialogs last worked in, kept for the run so that the next
// dialog starts there instead of in the toolkit's default folder.

#include <QString>

namespace quillory::commondialogs {

class RecentFolder {
public:
    // The remembered folder when it still exists, else empty.
    static QString get();
    static void remember(const QString& folder);
    static void forget();
};

} // namespace quillory::commondialogs

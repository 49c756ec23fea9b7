#pragma once
// A zip package held in memory as its entries, in archive order: read with libzip, changed by
// tests (to break one invariant at a time) and written back.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::testing {

struct PackageEntry {
    std::string name;
    std::string bytes;
};

class PackageEntries {
public:
    // Throws std::runtime_error naming the file when it is not a readable zip archive.
    static PackageEntries read(const std::filesystem::path& file);
    // The same for an archive held in memory.
    static PackageEntries readBytes(std::string_view bytes,
                                    const std::string& label = "bytes in memory");
    // Writes a new zip archive (deflated entries), replacing the file.
    void write(const std::filesystem::path& file) const;

    const std::vector<PackageEntry>& entries() const { return entries_; }
    // Exact name match; nullptr when absent.
    const std::string* find(std::string_view name) const;
    std::string* find(std::string_view name);
    // Adds the entry or replaces its bytes.
    void set(std::string_view name, std::string bytes);
    bool remove(std::string_view name);

    // Replaces the first occurrence of `from` in an entry; throws when the entry or the text is
    // missing, so a test never silently mutates nothing.
    void replaceOnce(std::string_view name, std::string_view from, std::string_view to);

private:
    std::vector<PackageEntry> entries_;
};

} // namespace quillory::testing

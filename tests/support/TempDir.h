#pragma once
// A fresh folder under the system's temporary location, removed with everything in it.

#include <filesystem>
#include <string>

namespace quillory::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Writes bytes to a file in the folder (creating sub-folders) and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& file);

} // namespace quillory::testing

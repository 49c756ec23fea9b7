#include "support/PackageEntries.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <utility>
#include <zip.h>

namespace quillory::testing {

namespace {

// A test package is small; refuse anything that would not fit comfortably in memory.
constexpr zip_uint64_t kMaxEntryBytes = 512ull * 1024 * 1024;

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

} // namespace

PackageEntries PackageEntries::read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error(file.string() + ": cannot be opened");
    }
    return readBytes(std::string(std::istreambuf_iterator<char>(in), {}), file.string());
}

PackageEntries PackageEntries::readBytes(std::string_view bytes, const std::string& label) {
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &zipError);
    std::unique_ptr<zip_t, ArchiveCloser> archive(
        source == nullptr ? nullptr : zip_open_from_source(source, ZIP_RDONLY, &zipError));
    const std::string reason = zip_error_strerror(&zipError);
    zip_error_fini(&zipError);
    if (!archive) {
        zip_source_free(source);
        throw std::runtime_error(label + ": not a readable zip archive (" + reason + ")");
    }
    PackageEntries package;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        zip_stat_t stat;
        if (zip_stat_index(archive.get(), index, 0, &stat) != 0) {
            throw std::runtime_error(label + ": cannot read entry " + std::to_string(index));
        }
        if (stat.size > kMaxEntryBytes) {
            throw std::runtime_error(label + ": entry " + stat.name + " is too large");
        }
        std::string content(static_cast<std::size_t>(stat.size), '\0');
        zip_file_t* entry = zip_fopen_index(archive.get(), index, 0);
        if (entry == nullptr) {
            throw std::runtime_error(label + ": cannot open entry " + stat.name);
        }
        const zip_int64_t got = zip_fread(entry, content.data(), stat.size);
        zip_fclose(entry);
        if (got < 0 || static_cast<zip_uint64_t>(got) != stat.size) {
            throw std::runtime_error(label + ": entry " + stat.name +
                                     " is damaged (cannot inflate or bad checksum)");
        }
        package.entries_.push_back({stat.name, std::move(content)});
    }
    return package;
}

void PackageEntries::write(const std::filesystem::path& file) const {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        throw std::runtime_error(file.string() + ": cannot create the zip archive");
    }
    for (const auto& entry : entries_) {
        zip_source_t* source =
            zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        if (source == nullptr || zip_file_add(archive, entry.name.c_str(), source, 0) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            throw std::runtime_error(file.string() + ": cannot add entry " + entry.name);
        }
    }
    if (zip_close(archive) != 0) {
        const std::string reason = zip_strerror(archive);
        zip_discard(archive);
        throw std::runtime_error(file.string() + ": cannot write the zip archive (" + reason + ")");
    }
}

const std::string* PackageEntries::find(std::string_view name) const {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const PackageEntry& entry) { return entry.name == name; });
    return it == entries_.end() ? nullptr : &it->bytes;
}

std::string* PackageEntries::find(std::string_view name) {
    return const_cast<std::string*>(std::as_const(*this).find(name));
}

void PackageEntries::set(std::string_view name, std::string bytes) {
    if (std::string* existing = find(name)) {
        *existing = std::move(bytes);
    } else {
        entries_.push_back({std::string(name), std::move(bytes)});
    }
}

bool PackageEntries::remove(std::string_view name) {
    return std::erase_if(entries_, [&](const PackageEntry& entry) { return entry.name == name; });
}

void PackageEntries::replaceOnce(std::string_view name, std::string_view from,
                                 std::string_view to) {
    std::string* bytes = find(name);
    if (bytes == nullptr) {
        throw std::runtime_error("no entry " + std::string(name));
    }
    const auto at = bytes->find(from);
    if (at == std::string::npos) {
        throw std::runtime_error("entry " + std::string(name) + " does not contain '" +
                                 std::string(from) + "'");
    }
    bytes->replace(at, from.size(), to);
}

} // namespace quillory::testing

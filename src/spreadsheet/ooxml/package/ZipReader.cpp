#include "spreadsheet/ooxml/package/ZipReader.h"

#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/package/OpenFiles.h"

#include <algorithm>
#include <array>
#include <zip.h>

namespace quillory::spreadsheet::ooxml {

namespace {

std::string NormalisedKey(std::string_view name) {
    std::string key = FoldPartName(name);
    std::replace(key.begin(), key.end(), '\\', '/');
    while (!key.empty() && key.front() == '/') {
        key.erase(key.begin());
    }
    return key;
}

[[noreturn]] void ThrowOpenError(int zipErrorCode, const std::string& displayName) {
    const std::string file = QuotedFile(displayName);
    switch (zipErrorCode) {
    case ZIP_ER_NOENT:
        ThrowError(ErrorCode::FileNotFound, file + " does not exist.");
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
        ThrowError(ErrorCode::FileUnreadable,
                   file + " cannot be read; check that it exists and that you may read it.");
    case ZIP_ER_NOZIP:
        ThrowError(ErrorCode::NotAZip,
                   file + " is not a workbook the program can read: it is not a zip package.");
    case ZIP_ER_INCONS:
        ThrowError(ErrorCode::TruncatedPackage,
                   file + " is damaged or incomplete (its zip directory is inconsistent); it may "
                          "have been cut short while being copied or downloaded.");
    case ZIP_ER_MEMORY:
        ThrowError(ErrorCode::TooLarge, file + " is too large to open.");
    default: {
        zip_error_t error;
        zip_error_init_with_code(&error, zipErrorCode);
        std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        ThrowError(ErrorCode::FileUnreadable, file + " cannot be opened: " + reason + ".");
    }
    }
}

} // namespace

std::string FoldPartName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

std::unique_ptr<ZipReader> ZipReader::OpenFile(const std::filesystem::path& path,
                                               std::string displayName) {
    int errorCode = 0;
    zip* archive = nullptr;
    const bool opened = OpenRaisingFileLimit(
        [&] {
            archive = zip_open(path.c_str(), ZIP_RDONLY, &errorCode);
            return archive != nullptr;
        },
        displayName);
    if (!opened) {
        ThrowOpenError(errorCode, displayName);
    }
    std::unique_ptr<ZipReader> reader(new ZipReader(archive, std::move(displayName), {}));
    reader->indexEntries();
    return reader;
}

std::unique_ptr<ZipReader> ZipReader::OpenBytes(std::string bytes, std::string displayName) {
    // The reader owns the bytes; libzip reads them in place.
    std::unique_ptr<ZipReader> reader(new ZipReader(nullptr, std::move(displayName), {}));
    reader->bytes_ = std::move(bytes);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(reader->bytes_.data(), reader->bytes_.size(), 0, &error);
    if (source == nullptr) {
        zip_error_fini(&error);
        ThrowOpenError(ZIP_ER_MEMORY, reader->displayName_);
    }
    reader->archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (reader->archive_ == nullptr) {
        const int code = zip_error_code_zip(&error);
        zip_source_free(source);
        zip_error_fini(&error);
        ThrowOpenError(code, reader->displayName_);
    }
    zip_error_fini(&error);
    reader->indexEntries();
    return reader;
}

ZipReader::ZipReader(zip* archive, std::string displayName, std::string bytes)
    : archive_(archive), displayName_(std::move(displayName)), bytes_(std::move(bytes)) {}

ZipReader::~ZipReader() {
    if (archive_ != nullptr) {
        zip_discard(archive_);
    }
}

void ZipReader::indexEntries() {
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > kMaxZipEntries) {
        ThrowError(ErrorCode::TooLarge, QuotedFile(displayName_) +
                                            " holds more parts than a workbook can have; it is "
                                            "refused as a possible zip bomb.");
    }
    entries_.reserve(static_cast<std::size_t>(count));
    std::uint64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        ZipEntryInfo entry;
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &stat) == 0 &&
            (stat.valid & ZIP_STAT_NAME) != 0) {
            entry.name = stat.name;
            entry.size = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
            entry.compressedSize = (stat.valid & ZIP_STAT_COMP_SIZE) != 0 ? stat.comp_size : 0;
            entry.crc = (stat.valid & ZIP_STAT_CRC) != 0 ? stat.crc : 0;
            entry.method = (stat.valid & ZIP_STAT_COMP_METHOD) != 0
                               ? static_cast<std::uint16_t>(stat.comp_method)
                               : 0;
            if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 &&
                stat.encryption_method != ZIP_EM_NONE) {
                ThrowError(ErrorCode::PasswordProtected,
                           QuotedFile(displayName_) +
                               " is a password-protected zip archive; remove the password and "
                               "try again.");
            }
            total += entry.size;
            byFoldedName_.emplace(NormalisedKey(entry.name), i); // the first of duplicates wins
        }
        entries_.push_back(std::move(entry));
    }
    if (total > kMaxPackageBytes) {
        ThrowError(ErrorCode::TooLarge, QuotedFile(displayName_) +
                                            " would unpack to more data than the program "
                                            "accepts; it is refused as a possible zip bomb.");
    }
}

std::vector<std::string> ZipReader::entryNames() const {
    std::vector<std::string> names;
    names.reserve(entries_.size());
    for (const auto& entry : entries_) {
        if (!entry.name.empty()) {
            names.push_back(entry.name);
        }
    }
    return names;
}

std::int64_t ZipReader::indexOf(std::string_view name) const {
    const auto found = byFoldedName_.find(NormalisedKey(name));
    return found == byFoldedName_.end() ? -1 : found->second;
}

std::optional<std::string> ZipReader::find(std::string_view name) const {
    const std::int64_t index = indexOf(name);
    if (index < 0) {
        return std::nullopt;
    }
    return entries_[static_cast<std::size_t>(index)].name;
}

ZipEntryInfo ZipReader::info(std::string_view name) const {
    const std::int64_t index = indexOf(name);
    if (index < 0) {
        ThrowError(ErrorCode::MissingPart, QuotedFile(displayName_) + " is damaged: the part " +
                                               std::string(name) + " is missing.");
    }
    return entries_[static_cast<std::size_t>(index)];
}

void ZipReader::checkBounds(const ZipEntryInfo& entry, std::uint64_t maxBytes) const {
    const bool tooBig = entry.size > maxBytes;
    const bool ratioTooHigh =
        entry.size > kRatioCheckFromBytes &&
        entry.size / std::max<std::uint64_t>(entry.compressedSize, 1) > kMaxCompressionRatio;
    if (tooBig || ratioTooHigh) {
        ThrowError(ErrorCode::TooLarge, QuotedFile(displayName_) + ": the part " + entry.name +
                                            " unpacks to more data than the program accepts; "
                                            "the file is refused as a possible zip bomb.");
    }
}

void ZipReader::read(std::int64_t index, bool raw, std::uint64_t maxBytes,
                     const ChunkConsumer& consumer) const {
    const ZipEntryInfo& entry = entries_[static_cast<std::size_t>(index)];
    if (!raw) {
        checkBounds(entry, maxBytes);
    }
    zip_file_t* file =
        zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), raw ? ZIP_FL_COMPRESSED : 0);
    if (file == nullptr) {
        const int code = zip_error_code_zip(zip_get_error(archive_));
        zip_error_clear(archive_);
        if (code == ZIP_ER_COMPNOTSUPP || code == ZIP_ER_ENCRNOTSUPP) {
            ThrowDamaged(ErrorCode::CorruptEntry, displayName_, entry.name,
                         "it is stored with a compression method the program cannot read");
        }
        ThrowDamaged(ErrorCode::CorruptEntry, displayName_, entry.name, "a part cannot be read");
    }
    std::array<char, kStreamChunkBytes> buffer{};
    std::uint64_t produced = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
        if (n < 0) {
            const int code = zip_error_code_zip(zip_file_get_error(file));
            zip_fclose(file);
            if (code == ZIP_ER_CRC) {
                ThrowDamaged(ErrorCode::CorruptEntry, displayName_, entry.name,
                             "a part fails its checksum");
            }
            if (code == ZIP_ER_READ || code == ZIP_ER_SEEK || code == ZIP_ER_EOF) {
                ThrowDamaged(ErrorCode::TruncatedPackage, displayName_, entry.name,
                             "the file ends too early; it may have been cut short");
            }
            ThrowDamaged(ErrorCode::CorruptEntry, displayName_, entry.name,
                         "a part's compressed data is invalid");
        }
        if (n == 0) {
            break;
        }
        produced += static_cast<std::uint64_t>(n);
        if (!raw && produced > maxBytes) {
            zip_fclose(file);
            checkBounds(ZipEntryInfo{entry.name, produced, entry.compressedSize, 0, 0}, maxBytes);
        }
        try {
            consumer(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        } catch (...) {
            zip_fclose(file);
            throw;
        }
    }
    zip_fclose(file);
}

std::string ZipReader::readWhole(std::string_view name, std::uint64_t maxBytes) const {
    const std::int64_t index = indexOf(name);
    if (index < 0) {
        info(name); // throws MissingPart
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(
        std::min(entries_[static_cast<std::size_t>(index)].size, maxBytes)));
    read(index, false, maxBytes, [&](std::string_view chunk) { bytes.append(chunk); });
    return bytes;
}

void ZipReader::readChunks(std::string_view name, const ChunkConsumer& consumer) const {
    const std::int64_t index = indexOf(name);
    if (index < 0) {
        info(name);
    }
    read(index, false, kMaxStreamedPartBytes, consumer);
}

void ZipReader::readRaw(std::string_view name, const ChunkConsumer& consumer) const {
    const std::int64_t index = indexOf(name);
    if (index < 0) {
        info(name);
    }
    read(index, true, kMaxStreamedPartBytes, consumer);
}

} // namespace quillory::spreadsheet::ooxml

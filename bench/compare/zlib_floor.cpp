// The floor any tool that rewrites the sheets must pay: inflate every part of every source and
// deflate it again at zlib level 6, on one thread or spread over several.
// Usage: zlib_floor [--threads N] -o OUT PACKAGE...
// OUT receives the deflated streams back to back (its size is what level 6 gives for the parts);
// the totals are printed on stdout. Packages are shared out between the threads, largest first.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include <zip.h>
#include <zlib.h>

namespace {

constexpr int kDeflateLevel = 6;
constexpr int kRawDeflateWindowBits = -15; // zip entries carry raw deflate streams
constexpr int kDeflateMemLevel = 8;
constexpr std::size_t kChunkBytes = 256 * 1024;

struct Package {
    std::string path;
    std::uintmax_t size;
};

class Output {
public:
    explicit Output(const char* path) : file_(std::fopen(path, "wb")) {
        if (file_ == nullptr) {
            throw std::runtime_error(std::string("cannot write ") + path);
        }
    }
    ~Output() { std::fclose(file_); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void write(const unsigned char* data, std::size_t size) {
        const std::lock_guard lock(mutex_);
        if (std::fwrite(data, 1, size, file_) != size) {
            throw std::runtime_error("write failed");
        }
        written_ += size;
    }
    std::uint64_t written() const { return written_; }

private:
    std::FILE* file_;
    std::mutex mutex_;
    std::uint64_t written_ = 0;
};

zip_t* OpenPackage(const std::string& path) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    return archive;
}

// Largest first, so that the last package a thread takes is a small one.
std::vector<Package> SortBySize(const std::vector<std::string>& paths) {
    std::vector<Package> packages;
    for (const auto& path : paths) {
        packages.push_back({path, std::filesystem::file_size(path)});
    }
    std::stable_sort(packages.begin(), packages.end(),
                     [](const Package& a, const Package& b) { return a.size > b.size; });
    return packages;
}

// One thread's tools, kept from part to part as a real writer would keep them.
class Recompressor {
public:
    Recompressor() : in_(kChunkBytes), out_(kChunkBytes) {
        deflateInit2(&stream_, kDeflateLevel, Z_DEFLATED, kRawDeflateWindowBits, kDeflateMemLevel,
                     Z_DEFAULT_STRATEGY);
    }
    ~Recompressor() { deflateEnd(&stream_); }
    Recompressor(const Recompressor&) = delete;
    Recompressor& operator=(const Recompressor&) = delete;

    std::uint64_t parts() const { return parts_; }
    std::uint64_t inflated() const { return inflated_; }

    // Inflates every part of a package and deflates it again, streaming in chunks.
    void package(const std::string& path, Output& output) {
        zip_t* archive = OpenPackage(path);
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        try {
            for (zip_int64_t i = 0; i < count; ++i) {
                part(archive, static_cast<zip_uint64_t>(i), path, output);
            }
        } catch (...) {
            zip_close(archive);
            throw;
        }
        zip_close(archive);
    }

private:
    void part(zip_t* archive, zip_uint64_t index, const std::string& path, Output& output) {
        zip_file_t* entry = zip_fopen_index(archive, index, 0);
        if (entry == nullptr) {
            throw std::runtime_error("cannot read a part of " + path);
        }
        deflateReset(&stream_);
        int flush = Z_NO_FLUSH;
        while (flush != Z_FINISH) {
            const zip_int64_t got = zip_fread(entry, in_.data(), in_.size());
            if (got < 0) {
                zip_fclose(entry);
                throw std::runtime_error("damaged part in " + path);
            }
            inflated_ += static_cast<std::uint64_t>(got);
            flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
            stream_.next_in = in_.data();
            stream_.avail_in = static_cast<uInt>(got);
            do {
                stream_.next_out = out_.data();
                stream_.avail_out = static_cast<uInt>(out_.size());
                deflate(&stream_, flush);
                output.write(out_.data(), out_.size() - stream_.avail_out);
            } while (stream_.avail_out == 0);
        }
        zip_fclose(entry);
        ++parts_;
    }

    z_stream stream_{};
    std::vector<unsigned char> in_;
    std::vector<unsigned char> out_;
    std::uint64_t parts_ = 0;
    std::uint64_t inflated_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    int threads = 1;
    const char* outputPath = nullptr;
    std::vector<std::string> packages;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            outputPath = argv[++i];
        } else {
            packages.emplace_back(argv[i]);
        }
    }
    if (outputPath == nullptr || packages.empty()) {
        std::fprintf(stderr, "usage: zlib_floor [--threads N] -o OUT PACKAGE...\n");
        return 2;
    }
    try {
        Output output(outputPath);
        const std::vector<Package> sorted = SortBySize(packages);
        std::atomic<std::size_t> next{0};
        std::atomic<std::uint64_t> parts{0};
        std::atomic<std::uint64_t> inflated{0};
        std::exception_ptr failure;
        std::mutex failureMutex;
        auto work = [&]() {
            Recompressor recompressor;
            try {
                for (std::size_t i = next++; i < sorted.size(); i = next++) {
                    recompressor.package(sorted[i].path, output);
                }
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                failure = std::current_exception();
            }
            parts += recompressor.parts();
            inflated += recompressor.inflated();
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) {
            pool.emplace_back(work);
        }
        work();
        for (auto& thread : pool) {
            thread.join();
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
        std::printf("parts %llu inflated %llu deflated %llu\n",
                    static_cast<unsigned long long>(parts.load()),
                    static_cast<unsigned long long>(inflated.load()),
                    static_cast<unsigned long long>(output.written()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zlib_floor: %s\n", error.what());
        return 1;
    }
    return 0;
}

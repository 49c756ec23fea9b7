// The floor any tool that rewrites the sheets must pay: inflate every part of every source and
// deflate it again at zlib level 6, on one thread or spread over several.
// Usage: zlib_floor [--threads N] -o OUT PACKAGE...
// OUT receives the deflated streams back to back (its size is what level 6 gives for the parts);
// the totals are printed on stdout.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
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

struct Part {
    std::string package;
    zip_uint64_t index;
    zip_uint64_t size;
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

std::vector<Part> ListParts(const std::vector<std::string>& packages) {
    std::vector<Part> parts;
    for (const auto& package : packages) {
        zip_t* archive = OpenPackage(package);
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t stat;
            if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) == 0) {
                parts.push_back({package, static_cast<zip_uint64_t>(i), stat.size});
            }
        }
        zip_close(archive);
    }
    // Largest first, so that the last part a thread takes is a short one.
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Part& a, const Part& b) { return a.size > b.size; });
    return parts;
}

// Inflates one part and deflates it again, streaming in chunks.
std::uint64_t Recompress(const Part& part, Output& output) {
    zip_t* archive = OpenPackage(part.package);
    zip_file_t* entry = zip_fopen_index(archive, part.index, 0);
    if (entry == nullptr) {
        zip_close(archive);
        throw std::runtime_error("cannot read a part of " + part.package);
    }
    z_stream stream{};
    deflateInit2(&stream, kDeflateLevel, Z_DEFLATED, kRawDeflateWindowBits, kDeflateMemLevel,
                 Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> in(kChunkBytes);
    std::vector<unsigned char> out(kChunkBytes);
    std::uint64_t inflated = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        const zip_int64_t got = zip_fread(entry, in.data(), in.size());
        if (got < 0) {
            throw std::runtime_error("damaged part in " + part.package);
        }
        inflated += static_cast<std::uint64_t>(got);
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = in.data();
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            deflate(&stream, flush);
            output.write(out.data(), out.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    zip_fclose(entry);
    zip_close(archive);
    return inflated;
}

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
        const std::vector<Part> parts = ListParts(packages);
        std::atomic<std::size_t> next{0};
        std::atomic<std::uint64_t> inflated{0};
        std::exception_ptr failure;
        std::mutex failureMutex;
        auto work = [&]() {
            try {
                for (std::size_t i = next++; i < parts.size(); i = next++) {
                    inflated += Recompress(parts[i], output);
                }
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                failure = std::current_exception();
            }
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
        std::printf("parts %zu inflated %llu deflated %llu\n", parts.size(),
                    static_cast<unsigned long long>(inflated.load()),
                    static_cast<unsigned long long>(output.written()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zlib_floor: %s\n", error.what());
        return 1;
    }
    return 0;
}

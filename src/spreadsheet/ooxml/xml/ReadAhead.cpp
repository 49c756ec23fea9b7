#include "spreadsheet/ooxml/xml/ReadAhead.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace quillory::spreadsheet::ooxml {

namespace {

// Inflated chunks waiting for the consumer; bounds the memory a fast reader can take.
constexpr std::size_t kChunksAhead = 4;

// Thrown inside the reading thread to unwind out of the archive read once the consumer failed.
struct ReadCancelled {};

struct ChunkQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> ready;
    std::vector<std::string> spare; // consumed buffers, reused to avoid allocating per chunk
    bool finished = false;
    bool cancelled = false;
    std::exception_ptr failure;
};

void Produce(const ZipReader& zip, const std::string& name, ChunkQueue& queue) {
    try {
        zip.readChunks(name, [&](std::string_view chunk) {
            std::string buffer;
            {
                std::unique_lock lock(queue.mutex);
                queue.changed.wait(
                    lock, [&] { return queue.cancelled || queue.ready.size() < kChunksAhead; });
                if (queue.cancelled) {
                    throw ReadCancelled{};
                }
                if (!queue.spare.empty()) {
                    buffer = std::move(queue.spare.back());
                    queue.spare.pop_back();
                }
            }
            buffer.assign(chunk);
            {
                std::lock_guard lock(queue.mutex);
                queue.ready.push_back(std::move(buffer));
            }
            queue.changed.notify_all();
        });
    } catch (const ReadCancelled&) {
        // The consumer failed; its exception is the one that matters.
    } catch (...) {
        std::lock_guard lock(queue.mutex);
        queue.failure = std::current_exception();
    }
    {
        std::lock_guard lock(queue.mutex);
        queue.finished = true;
    }
    queue.changed.notify_all();
}

} // namespace

void ReadChunksAhead(const ZipReader& zip, std::string_view name,
                     const ZipReader::ChunkConsumer& consumer) {
    if (zip.info(name).size < kReadAheadFromBytes) { // info throws for a missing part
        zip.readChunks(name, consumer);
        return;
    }
    ChunkQueue queue;
    const std::string partName(name);
    std::thread reader;
    try {
        reader = std::thread([&] { Produce(zip, partName, queue); });
    } catch (const std::system_error&) {
        zip.readChunks(name, consumer);
        return;
    }
    try {
        for (;;) {
            std::string chunk;
            {
                std::unique_lock lock(queue.mutex);
                queue.changed.wait(lock, [&] { return !queue.ready.empty() || queue.finished; });
                if (queue.ready.empty()) {
                    break;
                }
                chunk = std::move(queue.ready.front());
                queue.ready.pop_front();
            }
            queue.changed.notify_all();
            consumer(chunk);
            std::lock_guard lock(queue.mutex);
            queue.spare.push_back(std::move(chunk));
        }
    } catch (...) {
        {
            std::lock_guard lock(queue.mutex);
            queue.cancelled = true;
        }
        queue.changed.notify_all();
        reader.join();
        throw;
    }
    reader.join();
    if (queue.failure) {
        std::rethrow_exception(queue.failure);
    }
}

} // namespace quillory::spreadsheet::ooxml

#include "tools/discmaker/block_compressor.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "formats/compressed_block.h"

namespace discmaker {

namespace block = formats::compressed_block;

namespace {

// One deflate stream for many blocks, reset between them: its state (about 256 KB)
// is made once per thread, not once per block.
class BlockDeflater {
  public:
    explicit BlockDeflater(int level) {
        if (deflateInit(&m_stream, level) != Z_OK)
            throw std::runtime_error("deflate cannot start");
    }
    ~BlockDeflater() { deflateEnd(&m_stream); }
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;

    std::vector<uint8_t> Compress(const uint8_t* raw, size_t size) {
        if (size > block::kMaxRawSize) {
            throw std::runtime_error("a block of " + std::to_string(size) +
                                     " bytes is larger than readers accept");
        }
        if (deflateReset(&m_stream) != Z_OK)
            throw std::runtime_error("deflate cannot start");
        std::vector<uint8_t> out(block::kHeadSize + deflateBound(&m_stream, size) +
                                 16 * (size / block::kPieceSize + 1));
        m_stream.next_out = out.data() + block::kHeadSize;
        m_stream.avail_out = static_cast<uInt>(out.size() - block::kHeadSize);
        // Pieces of at most kPieceSize raw bytes, each ended by a sync flush; the
        // stream is never finished, as the readers expect.
        for (size_t done = 0; done < size;) {
            const size_t piece = std::min<size_t>(block::kPieceSize, size - done);
            m_stream.next_in = const_cast<uint8_t*>(raw + done);
            m_stream.avail_in = static_cast<uInt>(piece);
            const int status = deflate(&m_stream, Z_SYNC_FLUSH);
            if (status != Z_OK || m_stream.avail_in != 0 || m_stream.avail_out == 0) {
                throw std::runtime_error("deflate failed on a block of " + std::to_string(size) +
                                         " bytes");
            }
            done += piece;
        }
        const uLong packed = m_stream.total_out;
        out.resize(block::kHeadSize + packed);
        out.shrink_to_fit();
        uint8_t head[block::kHeadSize];
        block::EncodeHead({static_cast<uint32_t>(packed), static_cast<uint32_t>(size)}, head);
        std::copy(head, head + block::kHeadSize, out.begin());
        return out;
    }

  private:
    z_stream m_stream{};
};

}  // namespace

std::vector<uint8_t> CompressBlock(const uint8_t* raw, size_t size, int level) {
    return BlockDeflater(level).Compress(raw, size);
}

std::vector<std::vector<uint8_t>> CompressBlocks(
    const std::vector<const std::vector<uint8_t>*>& raws, int level, unsigned threads) {
    std::vector<std::vector<uint8_t>> blocks(raws.size());
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<size_t>(threads, raws.size()));
    std::atomic<size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto work = [&] {
        std::optional<BlockDeflater> deflater;
        for (size_t i = next++; i < raws.size(); i = next++) {
            try {
                if (!deflater)
                    deflater.emplace(level);
                blocks[i] = deflater->Compress(raws[i]->data(), raws[i]->size());
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureLock);
                if (!failure)
                    failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& thread : pool)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
    return blocks;
}

}  // namespace discmaker

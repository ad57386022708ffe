#include "mapferry/convert/block_compressor.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace block = formats::compressed_block;

namespace {

void CheckRawSize(size_t size) {
    if (size > block::kMaxRawSize) {
        throw std::runtime_error("a block of " + std::to_string(size) +
                                 " bytes is larger than readers accept");
    }
}

// One deflate stream for many blocks, reset between them: its state (about 256 KB)
// is made once per thread, not once per block. A block is deflated in pieces of at
// most kPieceSize raw bytes, each ended by a sync flush; the stream is never
// finished, as the readers expect.
class BlockDeflater {
  public:
    explicit BlockDeflater(int level) {
        if (deflateInit(&m_stream, level) != Z_OK)
            throw std::runtime_error("deflate cannot start");
    }
    ~BlockDeflater() { deflateEnd(&m_stream); }
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;

    void Begin(std::vector<uint8_t>& out) {
        if (deflateReset(&m_stream) != Z_OK)
            throw std::runtime_error("deflate cannot start");
        m_rawSize = 0;
        out.assign(block::kHeadSize, 0);
    }

    void Piece(const uint8_t* raw, size_t size, std::vector<uint8_t>& out) {
        CheckRawSize(m_rawSize + size);
        const size_t used = block::kHeadSize + m_stream.total_out;
        out.resize(used + deflateBound(&m_stream, size) + 16);
        m_stream.next_out = out.data() + used;
        m_stream.avail_out = static_cast<uInt>(out.size() - used);
        m_stream.next_in = const_cast<uint8_t*>(raw);
        m_stream.avail_in = static_cast<uInt>(size);
        const int status = deflate(&m_stream, Z_SYNC_FLUSH);
        if (status != Z_OK || m_stream.avail_in != 0 || m_stream.avail_out == 0) {
            throw std::runtime_error("deflate failed on a block of " +
                                     std::to_string(m_rawSize + size) + " bytes");
        }
        m_rawSize += size;
        out.resize(block::kHeadSize + m_stream.total_out);
    }

    void Finish(std::vector<uint8_t>& out) {
        out.shrink_to_fit();
        uint8_t head[block::kHeadSize];
        block::EncodeHead(
            {static_cast<uint32_t>(m_stream.total_out), static_cast<uint32_t>(m_rawSize)}, head);
        std::copy(head, head + block::kHeadSize, out.begin());
    }

    std::vector<uint8_t> Compress(const uint8_t* raw, size_t size) {
        CheckRawSize(size);
        std::vector<uint8_t> out;
        Begin(out);
        out.reserve(block::kHeadSize + deflateBound(&m_stream, size) +
                    16 * (size / block::kPieceSize + 1));
        for (size_t done = 0; done < size;) {
            const size_t piece = std::min<size_t>(block::kPieceSize, size - done);
            Piece(raw + done, piece, out);
            done += piece;
        }
        Finish(out);
        return out;
    }

  private:
    z_stream m_stream{};
    size_t m_rawSize = 0;
};

}  // namespace

std::vector<uint8_t> CompressBlock(const uint8_t* raw, size_t size, int level) {
    return BlockDeflater(level).Compress(raw, size);
}

class BlockStream::Deflater {
  public:
    explicit Deflater(int level) : deflater(level) { deflater.Begin(out); }
    BlockDeflater deflater;
    std::vector<uint8_t> out;
};

BlockStream::BlockStream(int level) : m_deflater(std::make_unique<Deflater>(level)) {}
BlockStream::~BlockStream() = default;

void BlockStream::Append(const uint8_t* raw, size_t size) {
    m_size += size;
    CheckRawSize(m_size);
    // Deflated in whole pieces, as CompressBlock cuts them.
    while (size > 0) {
        if (m_piece.empty() && size >= block::kPieceSize) {
            m_deflater->deflater.Piece(raw, block::kPieceSize, m_deflater->out);
            raw += block::kPieceSize;
            size -= block::kPieceSize;
            continue;
        }
        const size_t take = std::min(size, block::kPieceSize - m_piece.size());
        m_piece.insert(m_piece.end(), raw, raw + take);
        raw += take;
        size -= take;
        if (m_piece.size() == block::kPieceSize) {
            m_deflater->deflater.Piece(m_piece.data(), m_piece.size(), m_deflater->out);
            m_piece.clear();
        }
    }
}

std::vector<uint8_t> BlockStream::Finish() {
    if (!m_piece.empty())
        m_deflater->deflater.Piece(m_piece.data(), m_piece.size(), m_deflater->out);
    m_piece = std::vector<uint8_t>();
    m_deflater->deflater.Finish(m_deflater->out);
    return std::move(m_deflater->out);
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

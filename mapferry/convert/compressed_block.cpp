#include "mapferry/convert/compressed_block.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace block = formats::compressed_block;

namespace {

// Runs one stream operation; a thrown file (or other library) exception becomes
// a false result, as the block code reports failures by result only.
template <typename Operation>
bool Try(Operation operation) {
    try {
        operation();
        return true;
    } catch (CException* error) {
        error->Delete();
        return false;
    }
}

bool ReadExactly(CFile* source, void* buffer, DWORD length) {
    UINT got = 0;
    return Try([&] { got = source->Read(buffer, length); }) && got == length;
}

// The writer's raw buffer, and its piece output beside it (512 KiB is too much
// for the stack of a converter thread). One pair for the whole program; the lock
// makes a second writing thread wait rather than share it.
std::mutex g_writerLock;
std::unique_ptr<BYTE[]> g_rawBuffer;
DWORD g_rawCapacity = 0;
std::unique_ptr<BYTE[]> g_pieceOutput;

bool ReserveWriterBuffers(DWORD length) {
    if (!g_pieceOutput) {
        g_pieceOutput.reset(new (std::nothrow) BYTE[block::kPieceOutputSize]);
        if (!g_pieceOutput) {
            return false;
        }
    }
    if (length > g_rawCapacity || !g_rawBuffer) {
        g_rawBuffer.reset();
        g_rawCapacity = 0;
        g_rawBuffer.reset(new (std::nothrow) BYTE[std::max<DWORD>(length, 1)]);
        if (!g_rawBuffer) {
            return false;
        }
        g_rawCapacity = length;
    }
    return true;
}

}  // namespace

// ---- Writer ---------------------------------------------------------------------

int WriteCompressedBlock(CFile* source, DWORD length, const BYTE* chunkHeader, CFile* destination) {
    if (!source) {
        return kBlockWriteRawReadFailed;
    }
    CFile* output = destination ? destination : source;
    std::lock_guard<std::mutex> guard(g_writerLock);

    // No reader accepts a larger block, so writing one would only lose the data.
    if (length > block::kMaxRawSize || !ReserveWriterBuffers(length)) {
        return kBlockWriteOutOfMemory;
    }
    BYTE* raw = g_rawBuffer.get();
    if (!ReadExactly(source, raw, length)) {
        return kBlockWriteRawReadFailed;
    }
    if (chunkHeader) {
        std::memcpy(raw, chunkHeader, std::min<size_t>(length, block::kChunkHeaderSize));
    }
    if (!destination &&
        !Try([&] { source->Seek(-static_cast<LONGLONG>(length), CFile::current); })) {
        return kBlockWriteSeekBackFailed;
    }

    ULONGLONG headPosition = 0;
    uint8_t head[block::kHeadSize];
    block::EncodeHead({0, length}, head);
    if (!Try([&] {
            headPosition = output->GetPosition();
            output->Write(head, sizeof head);
        })) {
        return kBlockWriteHeadFailed;
    }

    z_stream stream{};
    if (deflateInit(&stream, block::kLevel) != Z_OK) {
        return kBlockWriteDeflateInitFailed;
    }
    BYTE* pieceOutput = g_pieceOutput.get();
    int result = kBlockWriteOk;
    for (DWORD done = 0; done < length && result == kBlockWriteOk;) {
        DWORD piece = std::min(block::kPieceSize, length - done);
        stream.next_in = raw + done;
        stream.avail_in = piece;
        // One pass fits any piece at level 9; the loop only guards against a
        // deflate that needs more room, which must not drop the rest.
        do {
            stream.next_out = pieceOutput;
            stream.avail_out = block::kPieceOutputSize;
            int status = deflate(&stream, Z_SYNC_FLUSH);
            if (status != Z_OK && status != Z_BUF_ERROR) {
                result = kBlockWritePieceSizeOutOfRange;
                break;
            }
            UINT produced = block::kPieceOutputSize - stream.avail_out;
            if (produced != 0 && !Try([&] { output->Write(pieceOutput, produced); })) {
                result = kBlockWritePieceFailed;
                break;
            }
            if (status == Z_BUF_ERROR) {
                break;
            }
        } while (stream.avail_out == 0);
        if (result == kBlockWriteOk && stream.avail_in != 0) {
            result = kBlockWritePieceSizeOutOfRange;
        }
        done += piece;
    }

    if (result == kBlockWriteOk) {
        uint8_t packed[4];
        block::StoreU32(packed, static_cast<uint32_t>(stream.total_out));
        if (!Try([&] {
                ULONGLONG end = output->GetPosition();
                output->Seek(static_cast<LONGLONG>(headPosition + block::kPackedSizeOffset),
                             CFile::begin);
                output->Write(packed, sizeof packed);
                output->Seek(static_cast<LONGLONG>(end), CFile::begin);
            })) {
            result = kBlockWriteHeadFailed;
        }
    }
    deflateEnd(&stream);
    return result;
}

void ReleaseCompressedBlockBuffer() {
    std::lock_guard<std::mutex> guard(g_writerLock);
    g_rawBuffer.reset();
    g_rawCapacity = 0;
    g_pieceOutput.reset();
}

// ---- CBlockReader ---------------------------------------------------------------

CBlockReader::CBlockReader(CFile* source) : m_pSource(source) {}

CBlockReader::~CBlockReader() = default;

int CBlockReader::ReadBlock() {
    // Whatever happens below, the previous block's bytes are gone.
    m_nRawSize = 0;
    m_nCursor = 0;

    uint8_t head[block::kHeadSize];
    if (!m_pSource || !ReadExactly(m_pSource, head, sizeof head)) {
        return 1;
    }
    block::BlockHead blockHead = block::DecodeHead(head);
    if (!block::IsPlausibleHead(blockHead)) {
        return -1;
    }
    if (blockHead.rawSize > m_nCapacity) {
        m_pBuffer.reset();
        m_nCapacity = 0;
        m_pBuffer.reset(new (std::nothrow) BYTE[blockHead.rawSize]);
        if (!m_pBuffer) {
            return -1;
        }
        m_nCapacity = blockHead.rawSize;
    }
    z_stream stream{};
    BYTE none = 0;  // inflate wants an output pointer even for an empty block
    stream.next_out = blockHead.rawSize ? m_pBuffer.get() : &none;
    stream.avail_out = blockHead.rawSize;
    if (inflateInit(&stream) != Z_OK) {
        return -1;
    }
    bool ok = true;
    for (DWORD remaining = blockHead.packedSize; remaining > 0 && ok;) {
        DWORD piece = std::min(remaining, block::kReaderInputPiece);
        try {
            if (m_input.size() < piece) {
                m_input.resize(piece);
            }
        } catch (const std::bad_alloc&) {
            ok = false;
            break;
        }
        if (!ReadExactly(m_pSource, m_input.data(), piece)) {
            ok = false;
            break;
        }
        remaining -= piece;
        stream.next_in = m_input.data();
        stream.avail_in = piece;
        int status = inflate(&stream, Z_SYNC_FLUSH);
        // Input left over means the stream holds more than its raw size or ended
        // before its packed size.
        ok = (status == Z_OK || status == Z_STREAM_END) && stream.avail_in == 0;
    }
    ok = ok && stream.total_out == blockHead.rawSize;
    inflateEnd(&stream);
    if (!ok) {
        return -1;
    }
    m_nRawSize = blockHead.rawSize;
    return 0;
}

DWORD CBlockReader::Read(void* destination, DWORD length) {
    if (length > m_nRawSize - m_nCursor) {
        return 0;
    }
    if (length) {
        std::memcpy(destination, m_pBuffer.get() + m_nCursor, length);
    }
    m_nCursor += length;
    return length;
}

// ---- CBlockStreamReader ---------------------------------------------------------

CBlockStreamReader::CBlockStreamReader(CFile* source)
    : m_pSource(source),
      m_pInput(new BYTE[block::kStreamInputSize]),
      m_pWindow(new BYTE[block::kStreamWindowSize]) {}

CBlockStreamReader::~CBlockStreamReader() {
    End();
}

void CBlockStreamReader::End() {
    if (m_bLive) {
        inflateEnd(&m_stream);
        m_bLive = false;
    }
}

int CBlockStreamReader::Begin() {
    End();
    m_nPackedSize = 0;
    m_nRawSize = 0;
    m_nPackedRead = 0;
    m_nCursor = 0;
    m_nAvailable = 0;
    m_nError = -3;  // until the block has started

    uint8_t head[block::kHeadSize];
    if (!m_pSource || !ReadExactly(m_pSource, head, sizeof head)) {
        return 1;
    }
    block::BlockHead blockHead = block::DecodeHead(head);
    if (!block::IsPlausibleHead(blockHead)) {
        return 1;
    }
    m_nPackedSize = blockHead.packedSize;
    m_nRawSize = blockHead.rawSize;

    m_stream = z_stream{};
    if (inflateInit(&m_stream) != Z_OK) {
        return 2;
    }
    m_bLive = true;
    if (m_nPackedSize != 0) {
        if (!ReadInputPiece()) {
            End();
            return 3;
        }
        if (!InflateWindow()) {
            End();
            return 4;
        }
    }
    m_nError = 0;
    return 0;
}

bool CBlockStreamReader::ReadInputPiece() {
    DWORD piece = std::min(m_nPackedSize - m_nPackedRead, block::kStreamInputSize);
    if (!ReadExactly(m_pSource, m_pInput.get(), piece)) {
        return false;
    }
    m_nPackedRead += piece;
    m_stream.next_in = m_pInput.get();
    m_stream.avail_in = piece;
    return true;
}

bool CBlockStreamReader::InflateWindow() {
    // Never more than the raw size: a stream that holds more is corrupt.
    uLong rawLeft = m_nRawSize - m_stream.total_out;
    m_stream.next_out = m_pWindow.get();
    m_stream.avail_out = static_cast<uInt>(std::min<uLong>(rawLeft, block::kStreamWindowSize));
    uInt inputBefore = m_stream.avail_in;
    uInt outputBefore = m_stream.avail_out;
    int status = inflate(&m_stream, Z_SYNC_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) {
        return false;
    }
    if (m_stream.avail_in == inputBefore && m_stream.avail_out == outputBefore) {
        return false;  // stuck: an ended stream, or data past the raw size
    }
    m_nCursor = 0;
    m_nAvailable = outputBefore - m_stream.avail_out;
    return true;
}

int CBlockStreamReader::Read(void* destination, DWORD length) {
    if (length == 0) {
        return 0;
    }
    if (m_nError != 0) {
        return m_nError;
    }
    BYTE* out = static_cast<BYTE*>(destination);
    DWORD copied = 0;
    for (;;) {
        DWORD take = std::min(m_nAvailable, length - copied);
        if (take) {
            std::memcpy(out + copied, m_pWindow.get() + m_nCursor, take);
            m_nCursor += take;
            m_nAvailable -= take;
            copied += take;
        }
        if (copied == length) {
            return 0;
        }
        if (m_stream.total_in >= m_nPackedSize || !m_bLive) {
            if (m_stream.total_out != m_nRawSize) {
                return Fail(-3);  // the stream ended short of its raw size
            }
            return -1;
        }
        if (m_stream.avail_in == 0 && !ReadInputPiece()) {
            return Fail(-2);
        }
        if (!InflateWindow()) {
            return Fail(-3);
        }
    }
}

int CBlockStreamReader::Fail(int error) {
    End();
    m_nAvailable = 0;
    m_nError = error;
    return error;
}

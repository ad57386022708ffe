// Writing and reading compressed blocks (layout in formats/compressed_block.h).
#pragma once

#include <memory>
#include <vector>

#include <zlib.h>

#include "formats/compressed_block.h"
#include "platform/afx/afx.h"
#include "platform/afx/afx_file.h"

// Results of WriteCompressedBlock.
enum : int {
    kBlockWriteOk = 0,
    kBlockWriteHeadFailed = 1,
    kBlockWriteDeflateInitFailed = 2,
    kBlockWritePieceFailed = 3,
    kBlockWritePieceSizeOutOfRange = 4,
    kBlockWriteOutOfMemory = 5,
    kBlockWriteRawReadFailed = 6,
    kBlockWriteSeekBackFailed = 7,
};

// Compresses the `length` raw bytes at the source's position into one block.
// With a chunk header (28 bytes) those bytes replace the first raw bytes. With no
// destination the block is written in place, starting where the raw bytes
// started; either way the stream written to is left just after the block.
// Raw sizes above the readers' limit (64 MiB) are refused with
// kBlockWriteOutOfMemory. File failures come back as results, never as throws.
int WriteCompressedBlock(CFile* source, DWORD length, const BYTE* chunkHeader, CFile* destination);

// The writer keeps one raw buffer for the whole program, grown to the largest
// block written; the map container writer releases it after each container file.
void ReleaseCompressedBlockBuffer();

// Inflates a whole block into an owned buffer. The block's bytes are handed out
// only when it inflated to exactly its raw size; after a failure the reader holds
// an empty block.
class CBlockReader {
  public:
    explicit CBlockReader(CFile* source = nullptr);
    ~CBlockReader();
    CBlockReader(const CBlockReader&) = delete;
    CBlockReader& operator=(const CBlockReader&) = delete;

    void SetSource(CFile* source) { m_pSource = source; }

    // Reads the block at the source's position: 0 inflated, cursor at its start;
    // 1 the 8-byte head cannot be read; -1 a bad head, a short, corrupt or
    // truncated stream, or no memory for the raw size.
    int ReadBlock();

    // Copies `length` bytes from the cursor and returns `length` when that many
    // remain; otherwise copies nothing and returns 0.
    DWORD Read(void* destination, DWORD length);

    DWORD GetRawSize() const { return m_nRawSize; }
    DWORD GetPosition() const { return m_nCursor; }
    const BYTE* GetData() const { return m_pBuffer.get(); }

  private:
    int Inflate(DWORD packedSize);

    CFile* m_pSource;
    std::unique_ptr<BYTE[]> m_pBuffer;  // grown to the largest raw size, never shrunk
    DWORD m_nCapacity = 0;
    DWORD m_nRawSize = 0;
    DWORD m_nCursor = 0;
    std::vector<BYTE> m_input;  // one input piece
};

// Inflates a long block through a 256 KiB window, holding at most 64 KiB of its
// input at a time.
class CBlockStreamReader {
  public:
    explicit CBlockStreamReader(CFile* source);
    ~CBlockStreamReader();
    CBlockStreamReader(const CBlockStreamReader&) = delete;
    CBlockStreamReader& operator=(const CBlockStreamReader&) = delete;

    // Starts the block at the source's position: 0 ok; 1 the head cannot be read
    // or is not plausible; 2 inflate initialisation failed; 3 the first input
    // piece cannot be read; 4 inflate failed.
    int Begin();

    // Copies `length` bytes: 0 done (also for length 0); -1 the block is
    // exhausted, after copying what it had; -2 an input piece cannot be read;
    // -3 inflate failed, or the stream ended short of or beyond its raw size.
    int Read(void* destination, DWORD length);

    DWORD GetPackedSize() const { return m_nPackedSize; }
    DWORD GetRawSize() const { return m_nRawSize; }

  private:
    void End();
    bool ReadInputPiece();
    bool InflateWindow();
    int Fail(int error);

    CFile* m_pSource;
    DWORD m_nPackedSize = 0;
    DWORD m_nRawSize = 0;
    DWORD m_nPackedRead = 0;  // packed bytes read from the source so far
    std::unique_ptr<BYTE[]> m_pInput;
    std::unique_ptr<BYTE[]> m_pWindow;
    DWORD m_nCursor = 0;
    DWORD m_nAvailable = 0;
    z_stream m_stream{};
    bool m_bLive = false;
    int m_nError = 0;  // a failure repeats until the next Begin
};

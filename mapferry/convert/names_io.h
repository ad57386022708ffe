// Checked reading of source files and buffered writing of device files, shared by
// the name and link information converters. Every read says whether it got all it
// asked for, so that a truncated or corrupt source ends in the converter's own
// report and never in a read past what the file holds.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/afx/afx_file.h"
#include "platform/kernel/kernel.h"

namespace convert_io {

// folder + separator + name; a host folder ("/...") gets a slash.
std::u16string JoinFolder(LPCWSTR folder, std::u16string_view name);

// After "Corrupted file: %s" the run ends as after the other reports: the error
// flag is set, the temporary folder deleted and the process ended.
[[noreturn]] void EndRunAfterCorruptedFile();

// The reports of file_services.h, after closing the device files this thread has
// open: a file still open could not be deleted with the temporary folder.
[[noreturn]] void Fail(int line);
[[noreturn]] void Fail(LPCWSTR text, int line);
[[noreturn]] void FailWrite(LPCWSTR temporaryFolder);

// Returned by a converter's Write when the generation's cancel flag stopped it;
// the file it was writing is incomplete.
inline constexpr int kConvertCancelled = 2;

inline bool Cancelled(const std::atomic<int>* cancel) {
    return cancel && cancel->load() == 1;
}

// Whether `count` records of `size` bytes from `offset` lie inside `length` bytes.
inline bool Fits(uint64_t offset, uint64_t count, uint64_t size, uint64_t length) {
    return offset <= length && count <= (length - offset) / size;
}

// A source file read front to back through a buffer, with seeks.
class SourceFile {
  public:
    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // false when the file cannot be opened.
    bool Open(const std::u16string& path);
    bool IsOpen() const { return m_open; }
    void Close();
    // Reads the magic; a wrong one shows "Corrupted file: %s" and ends the run.
    void CheckMagic(const char* magic);

    // Exactly `count` bytes, or false (short or failed read).
    bool Read(void* destination, size_t count);
    bool ReadU32(uint32_t* value);
    bool Seek(uint64_t offset);
    uint64_t Position() const { return m_position; }
    uint64_t Length() const { return m_length; }
    // The file, positioned at `offset`, for readers that take the stream itself;
    // null when the seek fails.
    CFile* StreamAt(uint64_t offset);

  private:
    CFile m_file;
    bool m_open = false;
    uint64_t m_length = 0;
    uint64_t m_position = 0;        // of the next byte handed out
    std::vector<uint8_t> m_buffer;  // bytes from m_bufferStart on
    uint64_t m_bufferStart = 0;
    size_t m_bufferUsed = 0;
    bool m_streamMoved = false;  // the file's own position is not the buffer's end
};

// A device file written through a buffer. A failed write ends the run with the
// low-disk-space report for the temporary folder.
class OutputFile {
  public:
    explicit OutputFile(LPCWSTR temporaryFolder)
        : m_folder(temporaryFolder ? temporaryFolder : u"") {}
    // Closes without reporting (a run that ends early leaves it to the report).
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // false when the file cannot be created.
    bool Create(const std::u16string& path);
    void Write(const void* bytes, size_t count);
    void Write(const std::vector<uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }
    void WriteU32(uint32_t value);
    // Overwrites bytes already written.
    void WriteAt(uint64_t offset, const void* bytes, size_t count);
    void WriteAt(uint64_t offset, const std::vector<uint8_t>& bytes) {
        WriteAt(offset, bytes.data(), bytes.size());
    }
    // The offset of the next byte written.
    uint64_t Position() const { return m_written + m_buffer.size(); }
    void Close();

    // Closes the file and drops whatever is not written yet.
    void Abort();

  private:
    void Flush();
    [[noreturn]] void Fail();

    std::u16string m_folder;
    CFile m_file;
    bool m_open = false;
    uint64_t m_written = 0;  // bytes in the file, all at its end
    std::vector<uint8_t> m_buffer;
};

}  // namespace convert_io

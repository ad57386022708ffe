// GPS logs ("*.gps"): the raw NMEA input recorded one checked sentence a line,
// "\r\n" after each, no header; and the line reader that plays a log back.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "platform/kernel/wintypes.h"

// Sentences between two flushes of the log: every 61st sentence flushes it.
inline constexpr int kLogFlushCount = 60;
// A played line holds at most this many characters from its '$'.
inline constexpr size_t kPlaybackLineMax = 127;

class CGpsLog {
  public:
    CGpsLog() = default;
    ~CGpsLog() { Stop(); }
    CGpsLog(const CGpsLog&) = delete;
    CGpsLog& operator=(const CGpsLog&) = delete;

    // Stops any log, then creates (or empties) the file: 0, or 1 with logging off.
    int Start(LPCWSTR path);
    // Flushes and closes the log when logging.
    void Stop();
    bool IsLogging() const { return logging_.load(); }
    std::u16string Path() const;

    // Writes the sentence and "\r\n", then counts it for the flush. A failed write
    // reopens the log where it ended, keeping what was logged, and writes the
    // sentence again; a second failure ends logging with only whole lines kept.
    // 0, or 1 when logging is off or ended.
    int Write(const char* sentence, size_t length);
    // Counts a sentence; on every 61st the file is flushed. A failed flush ends
    // logging. 0, or 1 when that happened.
    int Flush();

  private:
    // Opens the log again at its end of whole lines: true when it did.
    bool Reopen();
    bool WriteLine(const char* sentence, size_t length);
    void CloseFile();

    mutable std::mutex lock_;
    HANDLE file_ = nullptr;
    std::u16string path_;
    int count_ = 0;
    DWORD goodSize_ = 0;  // bytes of whole lines written
    std::atomic<bool> logging_{false};
};

// The default log name: the local date and time, "%04d-%02d-%02d-%02d%02d%02d".
void MakeGpsLogName(WCHAR* out, size_t size);

// Reads a played log: each line from its '$' (what comes before is skipped), at most
// kPlaybackLineMax characters, ending at CR, LF or the end of the file.
class CPlaybackReader {
  public:
    CPlaybackReader() = default;
    ~CPlaybackReader() { Close(); }
    CPlaybackReader(const CPlaybackReader&) = delete;
    CPlaybackReader& operator=(const CPlaybackReader&) = delete;

    // 0, or 1 when the file cannot be opened.
    int Open(LPCWSTR path);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    // The next line, NUL-terminated in `line` (kPlaybackLineMax + 1 bytes): its
    // length, or -1 at the end of the file.
    int NextLine(char* line);

  private:
    // The next byte, or -1 at the end of the file (or a read error).
    int NextByte();

    HANDLE file_ = nullptr;
    BYTE buffer_[4096];
    DWORD filled_ = 0;
    DWORD at_ = 0;
};

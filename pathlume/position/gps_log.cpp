#include "pathlume/position/gps_log.h"

#include <cstdio>

#include "platform/kernel/clock.h"
#include "platform/kernel/files.h"
#include "platform/kernel/handles.h"

int CGpsLog::Start(LPCWSTR path) {
    Stop();
    std::lock_guard<std::mutex> hold(lock_);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    file_ = file;
    path_ = path;
    count_ = 0;
    goodSize_ = 0;
    logging_.store(true);
    return 0;
}

void CGpsLog::CloseFile() {
    if (file_) {
        FlushFileBuffers(file_);
        CloseHandle(file_);
    }
    file_ = nullptr;
}

void CGpsLog::Stop() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!logging_.exchange(false))
        return;
    CloseFile();
}

std::u16string CGpsLog::Path() const {
    std::lock_guard<std::mutex> hold(lock_);
    return path_;
}

bool CGpsLog::WriteLine(const char* sentence, size_t length) {
    std::string line(sentence, length);
    line += "\r\n";
    DWORD written = 0;
    if (!WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size())
        return false;
    goodSize_ += written;
    return true;
}

bool CGpsLog::Reopen() {
    if (file_)
        CloseHandle(file_);
    // Opened, not created: what was logged stays. A part line a failed write left
    // is cut off, so that the log holds whole sentences only.
    file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        file_ = nullptr;
        return false;
    }
    SetFilePointer(file_, static_cast<LONG>(goodSize_), nullptr, FILE_BEGIN);
    SetEndOfFile(file_);
    return true;
}

int CGpsLog::Write(const char* sentence, size_t length) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!logging_.load())
            return 1;
        if (!WriteLine(sentence, length)) {
            if (!Reopen() || !WriteLine(sentence, length)) {
                // Cut what the second try left of its line before closing.
                if (file_)
                    Reopen();
                CloseFile();
                logging_.store(false);
                return 1;
            }
        }
    }
    return Flush();
}

int CGpsLog::Flush() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!logging_.load())
        return 0;
    if (count_++ < kLogFlushCount)
        return 0;
    count_ = 0;
    if (FlushFileBuffers(file_))
        return 0;
    logging_.store(false);
    CloseHandle(file_);
    file_ = nullptr;
    return 1;
}

void MakeGpsLogName(WCHAR* out, size_t size) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[64];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d-%02d%02d%02d", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    size_t i = 0;
    for (; text[i] && i + 1 < size; ++i)
        out[i] = static_cast<WCHAR>(text[i]);
    if (size > 0)
        out[i] = 0;
}

int CPlaybackReader::Open(LPCWSTR path) {
    Close();
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    file_ = file;
    filled_ = at_ = 0;
    return 0;
}

void CPlaybackReader::Close() {
    if (file_)
        CloseHandle(file_);
    file_ = nullptr;
}

int CPlaybackReader::NextByte() {
    if (at_ == filled_) {
        filled_ = at_ = 0;
        if (!file_ || !ReadFile(file_, buffer_, sizeof(buffer_), &filled_, nullptr) || filled_ == 0)
            return -1;
    }
    return buffer_[at_++];
}

int CPlaybackReader::NextLine(char* line) {
    int c;
    do {
        c = NextByte();
        if (c < 0)
            return -1;
    } while (c != '$');
    size_t length = 0;
    while (c >= 0 && c != '\r' && c != '\n') {
        if (length < kPlaybackLineMax)
            line[length++] = static_cast<char>(c);
        c = NextByte();
    }
    line[length] = 0;
    return static_cast<int>(length);
}

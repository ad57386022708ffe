#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/kernel/kernel.h"

namespace testing_support {

bool WriteTestFile(const std::u16string& path, const std::string& bytes) {
    std::filesystem::path host;
    if (!platform::HostPathFor(path.c_str(), &host)) {
        ADD_FAILURE() << "no host path for " << platform::WideToUtf8(path);
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(host.parent_path(), ignored);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create " << platform::WideToUtf8(path);
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size()) {
        ADD_FAILURE() << "cannot write " << platform::WideToUtf8(path);
        return false;
    }
    return true;
}

std::string ReadTestFile(const std::u16string& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot open " << platform::WideToUtf8(path);
        return {};
    }
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        ADD_FAILURE() << "cannot read " << platform::WideToUtf8(path);
        bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

bool PartFileBeside(const std::filesystem::path& path) {
    const std::string stem = path.filename().string() + ".";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(stem) && name.ends_with(".part"))
            return true;
    }
    return false;
}

}  // namespace testing_support

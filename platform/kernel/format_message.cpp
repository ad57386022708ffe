// The system's texts for the error codes.
#include <cstdio>
#include <cstring>

#include "platform/kernel/memory.h"
#include "platform/kernel/text.h"

namespace {

struct ErrorText {
    DWORD code;
    const char16_t* text;
};

constexpr ErrorText kErrorTexts[] = {
    {ERROR_SUCCESS, u"The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, u"Incorrect function."},
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, u"Access is denied."},
    {ERROR_INVALID_HANDLE, u"The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough storage is available to process this command."},
    {ERROR_INVALID_DATA, u"The data is invalid."},
    {ERROR_OUTOFMEMORY, u"Not enough storage is available to complete this operation."},
    {ERROR_READ_FAULT, u"The system cannot read from the specified device."},
    {ERROR_SHARING_VIOLATION,
     u"The process cannot access the file because it is being used by another process."},
    {ERROR_NOT_SUPPORTED, u"The request is not supported."},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect."},
    {ERROR_OPEN_FAILED, u"The system cannot open the device or file specified."},
    {ERROR_FILE_TOO_LARGE, u"The file size exceeds the limit allowed and cannot be saved."},
    {ERROR_DIRECTORY, u"The directory name is invalid."},
    {ERROR_MOD_NOT_FOUND, u"The specified module could not be found."},
    {ERROR_PROC_NOT_FOUND, u"The specified procedure could not be found."},
};

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size,
                     va_list*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string text;
    for (const ErrorText& known : kErrorTexts) {
        if (known.code == messageId)
            text = known.text;
    }
    if (text.empty()) {
        char unknown[40];
        std::snprintf(unknown, sizeof unknown, "Unknown error 0x%08X",
                      static_cast<unsigned>(messageId));
        text.assign(unknown, unknown + std::strlen(unknown));
    }
    text += u"\r\n";
    const DWORD length = static_cast<DWORD>(text.size());
    LPWSTR target = buffer;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        target = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (length + 1) * sizeof(WCHAR)));
        if (!target) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        *reinterpret_cast<LPWSTR*>(buffer) = target;
    } else if (size <= length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(target, text.data(), length * sizeof(WCHAR));
    target[length] = 0;
    return length;
}

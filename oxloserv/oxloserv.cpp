// "oxloserv.dll": the handheld's answers to the desktop's remote calls. The device's
// remote API service loads it as \Windows\oxloserv.dll and calls its exports in block
// mode: a UTF-16 command in, a UTF-16 reply out in a block the caller frees.
//
// Every call keeps its state on its stack; the library has none of its own.
#include <string>
#include <string_view>

#include "platform/kernel/kernel.h"
#include "platform/rapi/rapi.h"
#include "platform/user/user.h"

namespace {

// Replies are built in a buffer of this many characters, the terminator included.
constexpr size_t kReplyChars = 256;
constexpr WCHAR kEmptyInput[] = u"Empty Input buffer passed in.";
constexpr WCHAR kUnknownCommand[] = u"Unknown Command String passed in.";
constexpr WCHAR kNavigationClass[] = u"WCE_TravonaWCls";
constexpr WPARAM kExitCommand = 0xE141;
constexpr DWORD kCloseWaitMs = 5000;
constexpr int kMostCards = 5;

// Whether the input holds exactly `command` and its terminator, read within the
// input's own size only.
bool IsCommand(DWORD inputSize, const BYTE* input, std::u16string_view command) {
    const size_t units = inputSize / 2;
    if (!input || units < command.size() + 1)
        return false;
    auto unit = [input](size_t i) {
        return static_cast<char16_t>(input[2 * i] | (input[2 * i + 1] << 8));
    };
    for (size_t i = 0; i < command.size(); ++i)
        if (unit(i) != command[i])
            return false;
    return unit(command.size()) == 0;
}

// Hands `text` to the caller in a new block: its characters and, unless withoutTerminator,
// the terminator.
HRESULT Reply(std::u16string_view text, DWORD* outputSize, BYTE** output,
              bool withoutTerminator = false) {
    if (outputSize)
        *outputSize = 0;
    if (output)
        *output = nullptr;
    if (!outputSize || !output)
        return E_INVALIDARG;
    if (text.empty() && !withoutTerminator)
        return S_OK;  // nothing to say: an empty reply
    const size_t units = text.size() + (withoutTerminator ? 0 : 1);
    auto* block = static_cast<BYTE*>(LocalAlloc(LPTR, units * 2));
    if (!block)
        return E_OUTOFMEMORY;
    for (size_t i = 0; i < text.size(); ++i) {
        block[2 * i] = static_cast<BYTE>(text[i]);
        block[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    *output = block;
    *outputSize = static_cast<DWORD>(units * 2);
    return S_OK;
}

// The storage cards: root folders marked temporary, not hidden by a leading '.', and
// not the network's folder (exactly "Network"). Calls `visit` with each card's index
// and name until it answers false; returns how many cards there are up to then.
template <class Visit>
int ForEachCard(Visit visit) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(u"\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        const DWORD card = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
        const std::u16string_view name(found.cFileName);
        if ((found.dwFileAttributes & card) != card || name.empty() || name[0] == u'.' ||
            name == u"Network")
            continue;
        if (!visit(count, name)) {
            ++count;
            break;
        }
        ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

// "\" + the folder of card n, or empty when there is no such card or its name does not
// fit the reply.
std::u16string CardFolder(int index) {
    std::u16string folder;
    ForEachCard([&](int at, std::u16string_view name) {
        if (at != index)
            return true;
        if (name.size() + 2 <= kReplyChars)
            folder.assign(1, u'\\').append(name);
        return false;
    });
    return folder;
}

std::u16string Number(unsigned long long value) {
    return platform::Utf8ToWide(std::to_string(value));
}

// A figure the reply's 32 bits cannot hold reads as the most they can: a card with
// 4 GB free or more is reported full of room, not with the rest above 4 GB.
unsigned long long Clamped(unsigned long long value) {
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFull : value;
}

std::u16string CardFreeBytes(int index) {
    const std::u16string folder = CardFolder(index);
    ULARGE_INTEGER free{};
    if (folder.empty() || !GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr))
        return u"0";
    return Number(Clamped(free.QuadPart));
}

}  // namespace

PLATFORM_EXPORT HRESULT FnGetFreeSpaceSize(DWORD inputSize, BYTE* input, DWORD* outputSize,
                                           BYTE** output, IRAPIStream*) {
    if (inputSize == 0 || !input)
        return Reply(kEmptyInput, outputSize, output, true);
    if (IsCommand(inputSize, input, u"GetNumStorageCard"))
        return Reply(Number(ForEachCard([](int, std::u16string_view) { return true; })), outputSize,
                     output);
    static constexpr const char16_t* kFreeCommands[kMostCards] = {
        u"GetFreeStorageCard", u"GetFreeStorageCard2", u"GetFreeStorageCard3",
        u"GetFreeStorageCard4", u"GetFreeStorageCard5"};
    for (int card = 0; card < kMostCards; ++card)
        if (IsCommand(inputSize, input, kFreeCommands[card]))
            return Reply(CardFreeBytes(card), outputSize, output);
    if (IsCommand(inputSize, input, u"GetFreeObjectStore")) {
        STORE_INFORMATION store{};
        GetStoreInformation(&store);
        return Reply(Number(store.dwStoreSize) + u":" + Number(store.dwFreeSize), outputSize,
                     output);
    }
    return Reply(kUnknownCommand, outputSize, output);
}

PLATFORM_EXPORT HRESULT FnGetFilePath(DWORD inputSize, BYTE* input, DWORD* outputSize,
                                      BYTE** output, IRAPIStream*) {
    if (inputSize == 0 || !input)
        return Reply(kEmptyInput, outputSize, output, true);
    static constexpr const char16_t* kNameCommands[kMostCards] = {
        u"GetStorageCardName", u"GetStorageCard2Name", u"GetStorageCard3Name",
        u"GetStorageCard4Name", u"GetStorageCard5Name"};
    for (int card = 0; card < kMostCards; ++card)
        if (IsCommand(inputSize, input, kNameCommands[card]))
            return Reply(CardFolder(card), outputSize, output);
    return Reply(kUnknownCommand, outputSize, output);
}

PLATFORM_EXPORT HRESULT FnCloseTravona(DWORD, BYTE*, DWORD* outputSize, BYTE** output,
                                       IRAPIStream*) {
    if (outputSize)
        *outputSize = 0;
    if (output)
        *output = nullptr;
    HWND window = FindWindowW(kNavigationClass, nullptr);
    if (!window)
        return S_OK;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = processId ? OpenProcess(SYNCHRONIZE, FALSE, processId) : nullptr;
    PostMessageW(window, WM_COMMAND, kExitCommand, 0);
    if (!process)
        return E_FAIL;
    const DWORD waited = WaitForSingleObject(process, kCloseWaitMs);
    CloseHandle(process);
    return waited == WAIT_OBJECT_0 ? S_OK : E_FAIL;
}

PLATFORM_EXPORT HRESULT FnGetSelectedMap(DWORD, BYTE*, DWORD* outputSize, BYTE** output,
                                         IRAPIStream* stream) {
    if (outputSize)
        *outputSize = 0;
    if (output)
        *output = nullptr;
    if (!stream)
        return E_INVALIDARG;
    static constexpr char16_t kText[] = u"FnGetSelectedMap: Ouput to a stream";
    BYTE record[4 + sizeof kText] = {};
    const ULONG size = sizeof kText;
    for (int i = 0; i < 4; ++i)
        record[i] = static_cast<BYTE>(size >> (8 * i));
    for (size_t i = 0; i < std::size(kText); ++i) {
        record[4 + 2 * i] = static_cast<BYTE>(kText[i]);
        record[5 + 2 * i] = static_cast<BYTE>(kText[i] >> 8);
    }
    for (int pair = 0; pair < 52; ++pair) {
        ULONG written = 0;
        stream->Write(record, 4, &written);
        stream->Write(record + 4, size, &written);
    }
    stream->Release();
    return S_OK;
}

#include "platform/kernel/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"

namespace {

namespace fs = std::filesystem;
using testing_support::RootsTest;

constexpr const WCHAR* kAppKey = u"Software\\Zanterhoff\\Wayscribe";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Replaces the file the way another program would, with a new inode, so the
// registry sees a new version.
void ReplaceFile(const fs::path& path, const std::string& text) {
    fs::path temp = path.string() + ".test";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
    }
    fs::rename(temp, path);
}

fs::path DeviceFile() {
    return platform::RegistryFile(platform::Side::Device);
}

HKEY CreateKey(HKEY root, LPCWSTR subKey, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(root, subKey, 0, u"", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, disposition);
    EXPECT_EQ(result, ERROR_SUCCESS);
    return key;
}

LONG SetDword(HKEY key, LPCWSTR name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

LONG SetString(HKEY key, LPCWSTR name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

// The value's type and bytes, or nothing with the error in *error.
std::optional<std::pair<DWORD, std::vector<BYTE>>> GetValue(HKEY key, LPCWSTR name,
                                                            LONG* error = nullptr) {
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size);
    if (result == ERROR_SUCCESS) {
        result = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    }
    if (error) {
        *error = result;
    }
    if (result != ERROR_SUCCESS) {
        return std::nullopt;
    }
    data.resize(size);
    return std::make_pair(type, data);
}

std::optional<DWORD> GetDword(HKEY root, LPCWSTR subKey, LPCWSTR name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, 0, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG result =
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && size == 4 ? std::optional<DWORD>(value) : std::nullopt;
}

std::vector<std::u16string> SubkeyNames(HKEY key) {
    std::vector<std::u16string> names;
    WCHAR name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        LONG result = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) {
            EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, length);
    }
}

std::vector<std::u16string> ValueNames(HKEY key) {
    std::vector<std::u16string> names;
    WCHAR name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        LONG result = RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) {
            EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
            return names;
        }
        names.emplace_back(name, length);
    }
}

std::vector<BYTE> Bytes(const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(bytes, bytes + size);
}

using RegistryTest = RootsTest;

// ---- the file format ----

TEST_F(RegistryTest, EveryKindOfValueSurvivesTheFile) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    std::u16string awkward = u"say \"hi\"\\path\nline\ttab \u00fc \U0001F697 ";
    awkward += static_cast<char16_t>(0xD800);  // an unpaired surrogate
    awkward += u'\x01';
    const BYTE hotkeys[] = {0x01, 0x02, 0xFF, 0x00};
    const BYTE multi[] = {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0};
    const BYTE shortDword[] = {1, 2, 3};
    const BYTE unterminated[] = {'x', 0, 'y', 0};
    struct Case {
        LPCWSTR name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Case> cases = {
        {u"Options", REG_DWORD, Bytes("\x1e\0\0\0", 4)},
        {u"XScale", REG_SZ, Bytes(u"1.5", 8)},
        {u"", REG_SZ, Bytes(u"default", 16)},
        {u"Awk\"ward\\Name\n", REG_SZ, Bytes(awkward.c_str(), (awkward.size() + 1) * 2)},
        {u"Hotkeys", REG_BINARY, Bytes(hotkeys, sizeof hotkeys)},
        {u"Empty", REG_BINARY, {}},
        {u"EmptyString", REG_SZ, {}},
        {u"Multi", 7, Bytes(multi, sizeof multi)},
        {u"ShortDword", REG_DWORD, Bytes(shortDword, sizeof shortDword)},
        {u"Unterminated", REG_SZ, Bytes(unterminated, sizeof unterminated)},
        {u"OddString", REG_SZ, Bytes(hotkeys, 3)},
        {u"HighType", 0x12345678, Bytes(hotkeys, 1)},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(RegSetValueExW(key, c.name, 0, c.type, c.data.data(),
                                 static_cast<DWORD>(c.data.size())),
                  ERROR_SUCCESS);
    }

    std::string text = ReadText(DeviceFile());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Zanterhoff\\Wayscribe]\n"
                        "\"Options\"=dword:0000001e\n"
                        "\"XScale\"=\"1.5\"\n"
                        "\"\"=\"default\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Hotkeys\"=hex:01,02,ff,00\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Awk\\\"ward\\\\Name\\n\"=\"say \\\"hi\\\"\\\\path\\nline\\ttab "
                        "\xC3\xBC \xF0\x9F\x9A\x97 \\ud800\\u0001\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"), std::string::npos);

    // Make the registry read the file back, and compare every byte.
    ReplaceFile(DeviceFile(), text);
    for (const Case& c : cases) {
        auto value = GetValue(key, c.name);
        ASSERT_TRUE(value) << std::string(c.name, c.name + 3);
        EXPECT_EQ(value->first, c.type);
        EXPECT_EQ(value->second, c.data);
    }
    EXPECT_EQ(ReadText(DeviceFile()), text);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EmptyKeysAreKeptAndFilesAreInternal) {
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, u"Drivers\\Active");
    RegCloseKey(key);
    EXPECT_EQ(DeviceFile(), roots_.device() / ".pl-registry");
    EXPECT_TRUE(platform::IsInternalName(DeviceFile().filename().string()));
    EXPECT_EQ(ReadText(DeviceFile()),
              "[HKEY_LOCAL_MACHINE\\Drivers]\n\n[HKEY_LOCAL_MACHINE\\Drivers\\Active]\n\n");
}

// ---- the calls ----

TEST_F(RegistryTest, QuerySizesAndShortBuffers) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    ASSERT_EQ(SetString(key, u"Name", u"abc"), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 8u);  // three characters and the terminator, in bytes
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);

    WCHAR buffer[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
    size = 6;
    EXPECT_EQ(
        RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    for (DWORD room : {8u, 16u}) {
        size = room;
        EXPECT_EQ(
            RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
        EXPECT_EQ(size, 8u);
        EXPECT_EQ(std::u16string(buffer), u"abc");
    }

    EXPECT_EQ(
        RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);

    // The default value answers to a null name and to an empty one.
    ASSERT_EQ(SetDword(key, nullptr, 7), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, kAppKey, u""), 7u);

    // Enumeration reports short buffers the same way.
    WCHAR name[4];
    DWORD nameLength = 4;  // "Name" needs 5 with its terminator
    EXPECT_EQ(RegEnumValueW(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    WCHAR longName[5];
    nameLength = 5;
    size = 2;
    EXPECT_EQ(RegEnumValueW(key, 0, longName, &nameLength, nullptr, &type,
                            reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    nameLength = 5;
    size = 16;
    EXPECT_EQ(RegEnumValueW(key, 0, longName, &nameLength, nullptr, &type,
                            reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(nameLength, 4u);
    EXPECT_EQ(std::u16string(longName), u"Name");
    EXPECT_EQ(std::u16string(buffer), u"abc");
    RegCloseKey(key);
}

TEST_F(RegistryTest, ErrorsForBadHandlesAndArguments) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    DWORD size = 4;
    DWORD value = 0;
    HKEY opened = nullptr;
    WCHAR name[16];
    DWORD nameLength = 16;
    for (HKEY bad : {key, bogus}) {
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExW(bad, u"X", nullptr, nullptr, nullptr, &size),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetDword(bad, u"X", 1), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegOpenKeyExW(bad, u"X", 0, 0, &opened), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyExW(bad, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegFlushKey(bad), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kAppKey, 0, 0, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Nothing", 0, 0, &opened),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(opened, nullptr);
    EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, u"X", 0, REG_BINARY, nullptr, 4),
              ERROR_INVALID_PARAMETER);
    std::u16string tooLong(256, u'k');
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0, 0, nullptr,
                              &opened, nullptr),
              ERROR_INVALID_PARAMETER);
    std::u16string tooDeep;
    for (int i = 0; i < 513; ++i) {
        tooDeep += u"k\\";
    }
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, tooDeep.c_str(), 0, nullptr, 0, 0, nullptr,
                              &opened, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Bad\nName", 0, nullptr, 0, 0, nullptr, &opened,
                              nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, u"X", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCaseAndKeepIt) {
    DWORD disposition = 0;
    HKEY created = CreateKey(HKEY_CURRENT_USER, u"Software\\MixedCase\\\u00C4rger", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(SetDword(created, u"RouteAlgo", 1), ERROR_SUCCESS);

    HKEY again = CreateKey(HKEY_CURRENT_USER, u"SOFTWARE\\mixedcase\\\u00E4RGER", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(SetDword(again, u"ROUTEALGO", 2), ERROR_SUCCESS);
    // A leading backslash names the same key.
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"\\software\\MIXEDCASE\\\u00C4RGER", u"routealgo"), 2u);
    EXPECT_EQ(ValueNames(created), std::vector<std::u16string>{u"RouteAlgo"});

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software", 0, KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(software), std::vector<std::u16string>{u"MixedCase"});
    EXPECT_NE(ReadText(DeviceFile()).find("[HKEY_CURRENT_USER\\Software\\MixedCase\\\xC3\x84rger]"),
              std::string::npos);
    for (HKEY key : {created, again, software}) {
        RegCloseKey(key);
    }
}

TEST_F(RegistryTest, EnumerationOrderIsStable) {
    HKEY key = CreateKey(HKEY_LOCAL_MACHINE, u"Drivers\\Active");
    for (LPCWSTR name : {u"b", u"C", u"a", u"10", u"2"}) {
        RegCloseKey(CreateKey(key, name));
    }
    for (LPCWSTR name : {u"Name", u"Key", u"PnpId"}) {
        ASSERT_EQ(SetString(key, name, u"x"), ERROR_SUCCESS);
    }
    std::vector<std::u16string> keys{u"10", u"2", u"a", u"b", u"C"};
    std::vector<std::u16string> values{u"Name", u"Key", u"PnpId"};
    EXPECT_EQ(SubkeyNames(key), keys);
    EXPECT_EQ(ValueNames(key), values);

    // The order survives reading the file back and changing a value.
    ReplaceFile(DeviceFile(), ReadText(DeviceFile()));
    ASSERT_EQ(SetString(key, u"name", u"changed"), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(key), keys);
    EXPECT_EQ(ValueNames(key), values);

    WCHAR name[2];
    DWORD length = 2;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    length = 2;
    EXPECT_EQ(RegEnumKeyExW(key, 5, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeletingKeysAndValues) {
    HKEY leaf = CreateKey(HKEY_CURRENT_USER, u"Software\\Gone\\Deeper\\Leaf");
    ASSERT_EQ(SetDword(leaf, u"V", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(leaf, u"v"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(leaf, u"V"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetDword(leaf, u"V", 1), ERROR_SUCCESS);

    // The handheld removes a key with everything under it.
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Gone"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Gone"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(GetDword(HKEY_CURRENT_USER, u"Software\\Gone\\Deeper\\Leaf", u"V"));
    EXPECT_EQ(SetDword(leaf, u"V", 2), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadText(DeviceFile()).find("Gone"), std::string::npos);
    RegCloseKey(leaf);

    // The desktop refuses while subkeys remain.
    platform::SetCurrentSide(platform::Side::Desktop);
    RegCloseKey(CreateKey(HKEY_CURRENT_USER, u"Software\\Gone\\Deeper"));
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Gone"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Gone\\Deeper"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Gone"), ERROR_SUCCESS);
    platform::SetCurrentSide(platform::Side::Device);
}

TEST_F(RegistryTest, EachSideAndRootHasItsOwnFile) {
    RegCloseKey(CreateKey(HKEY_CURRENT_USER, kAppKey));
    HKEY device = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kAppKey, 0, 0, &device), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(device, u"Side", 1), ERROR_SUCCESS);

    platform::SetCurrentSide(platform::Side::Desktop);
    EXPECT_FALSE(GetDword(HKEY_CURRENT_USER, kAppKey, u"Side"));
    HKEY desktop = CreateKey(HKEY_CURRENT_USER, kAppKey);
    ASSERT_EQ(SetDword(desktop, u"Side", 2), ERROR_SUCCESS);
    // The device's registry stays reachable from the desktop side, and keys opened
    // before the switch stay on their side.
    HKEY deviceRoot = nullptr;
    ASSERT_EQ(platform::OpenRegistryRoot(platform::Side::Device, HKEY_CURRENT_USER, &deviceRoot),
              ERROR_SUCCESS);
    EXPECT_EQ(GetDword(deviceRoot, kAppKey, u"Side"), 1u);
    EXPECT_EQ(GetDword(device, nullptr, u"Side"), 1u);
    platform::SetCurrentSide(platform::Side::Device);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, kAppKey, u"Side"), 1u);
    EXPECT_TRUE(fs::exists(roots_.desktop() / ".pl-registry"));

    // A new root starts empty; returning to the old one finds its values.
    platform::SetDeviceRoot(roots_.base() / "other-device");
    EXPECT_FALSE(GetDword(HKEY_CURRENT_USER, kAppKey, u"Side"));
    platform::SetDeviceRoot(roots_.device());
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, kAppKey, u"Side"), 1u);
    for (HKEY key : {device, desktop, deviceRoot}) {
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
}

TEST_F(RegistryTest, FailedSaveIsReportedAndChangesNothing) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    ASSERT_EQ(SetDword(key, u"Options", 1), ERROR_SUCCESS);
    fs::path temp = DeviceFile().string() + ".tmp";
    fs::create_directory(temp);  // the temporary file cannot be created
    EXPECT_EQ(SetDword(key, u"Options", 2), ERROR_CANTWRITE);
    EXPECT_EQ(SetDword(key, u"Added", 2), ERROR_CANTWRITE);
    EXPECT_EQ(GetDword(key, nullptr, u"Options"), 1u);
    EXPECT_FALSE(GetDword(key, nullptr, u"Added"));
    fs::remove(temp);
    EXPECT_EQ(SetDword(key, u"Options", 3), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, nullptr, u"Options"), 3u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, ThreadsShareTheRegistry) {
    constexpr int kThreads = 4;
    constexpr int kValues = 30;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
            for (int i = 0; i < kValues; ++i) {
                std::u16string name = u"T" + std::u16string(1, u'0' + t) + u"-" +
                                      std::u16string(1, static_cast<char16_t>(u'A' + i));
                EXPECT_EQ(SetDword(key, name.c_str(), t * 100 + i), ERROR_SUCCESS);
                EXPECT_EQ(GetDword(key, nullptr, name.c_str()), static_cast<DWORD>(t * 100 + i));
            }
            RegCloseKey(key);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    EXPECT_EQ(ValueNames(key).size(), static_cast<size_t>(kThreads * kValues));
    RegCloseKey(key);
}

// ---- between processes ----

TEST_CHILD(RegistryReadParentWriteOwn) {
    if (GetDword(HKEY_CURRENT_USER, kAppKey, u"FromParent") != 41u) {
        return 1;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kAppKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 2;
    }
    if (SetDword(key, u"FromChild", 42) != ERROR_SUCCESS) {
        return 3;
    }
    RegCloseKey(key);
    return 0;
}

TEST_F(RegistryTest, ValueWrittenByOneProcessIsReadByAnother) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    ASSERT_EQ(SetDword(key, u"FromParent", 41), ERROR_SUCCESS);
    EXPECT_FALSE(GetDword(key, nullptr, u"FromChild"));  // loaded before the child writes
    ASSERT_EQ(testing_support::RunChild("RegistryReadParentWriteOwn"), 0);
    EXPECT_EQ(GetDword(key, nullptr, u"FromChild"), 42u);
    EXPECT_EQ(GetDword(key, nullptr, u"FromParent"), 41u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, SavesThatDoNotWaitForTheDiskAreStillReadByAnother) {
    struct Durable {
        Durable() { platform::SetRegistrySavesDurable(false); }
        ~Durable() { platform::SetRegistrySavesDurable(true); }
    } notWaiting;
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    ASSERT_EQ(SetDword(key, u"FromParent", 41), ERROR_SUCCESS);
    ASSERT_EQ(testing_support::RunChild("RegistryReadParentWriteOwn"), 0);
    EXPECT_EQ(GetDword(key, nullptr, u"FromChild"), 42u);
    RegCloseKey(key);
}

// Kept in memory, changes are read back but never written; turned off, the registry is
// what its file holds again.
TEST_F(RegistryTest, ARegistryKeptInMemoryLeavesItsFileAsItWas) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    ASSERT_EQ(SetDword(key, u"OnDisk", 1), ERROR_SUCCESS);
    const auto file = platform::RegistryFile(platform::Side::Device);
    auto bytesOf = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = bytesOf();
    platform::SetRegistryKeptInMemory(true);
    EXPECT_EQ(SetDword(key, u"OnDisk", 2), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, u"InMemory", 3), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, nullptr, u"OnDisk"), 2u);
    EXPECT_EQ(GetDword(key, nullptr, u"InMemory"), 3u);
    EXPECT_EQ(bytesOf(), before);
    platform::SetRegistryKeptInMemory(false);
    EXPECT_EQ(GetDword(key, nullptr, u"OnDisk"), 1u);
    EXPECT_FALSE(GetDword(key, nullptr, u"InMemory"));
    RegCloseKey(key);
}

constexpr int kWriterValues = 25;

TEST_CHILD(RegistryWriteMany) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kAppKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    for (int i = 0; i < kWriterValues; ++i) {
        std::string name = args.at(0) + "-" + std::to_string(i);
        if (SetDword(key, std::u16string(name.begin(), name.end()).c_str(), i) != ERROR_SUCCESS) {
            return 2;
        }
    }
    RegCloseKey(key);
    return 0;
}

TEST_F(RegistryTest, WritersInSeveralProcessesLoseNoUpdate) {
    std::vector<pid_t> children;
    for (const char* writer : {"a", "b", "c"}) {
        children.push_back(testing_support::StartChild("RegistryWriteMany", {writer}));
    }
    ASSERT_EQ(TestChild_RegistryWriteMany({"parent"}), 0);
    for (pid_t child : children) {
        EXPECT_EQ(testing_support::WaitChild(child), 0);
    }
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    EXPECT_EQ(ValueNames(key).size(), static_cast<size_t>(4 * kWriterValues));
    EXPECT_EQ(GetDword(key, nullptr, u"b-24"), 24u);
    RegCloseKey(key);
}

// A blob whose first four bytes hold a counter and whose other bytes repeat its low
// byte, so a value mixed from two saves shows.
constexpr size_t kBlobSize = 48 * 1024;

std::vector<BYTE> Blob(uint32_t counter) {
    std::vector<BYTE> blob(kBlobSize, static_cast<BYTE>(counter));
    std::memcpy(blob.data(), &counter, 4);
    return blob;
}

TEST_CHILD(RegistrySaveLoop) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kAppKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    for (uint32_t counter = 1;; ++counter) {
        std::vector<BYTE> blob = Blob(counter);
        if (RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob.data(),
                           static_cast<DWORD>(blob.size())) != ERROR_SUCCESS) {
            return 2;
        }
    }
}

// The counter of a consistent blob, or 0.
uint32_t BlobCounter(HKEY key) {
    auto value = GetValue(key, u"Blob");
    if (!value || value->second.size() != kBlobSize) {
        return 0;
    }
    uint32_t counter;
    std::memcpy(&counter, value->second.data(), 4);
    return value->second == Blob(counter) ? counter : 0;
}

TEST_F(RegistryTest, WriterKilledWhileSavingLeavesOldOrNewValue) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    fs::path corrupt = DeviceFile().string() + ".corrupt";
    for (int delayMs : {0, 5, 11, 23, 47}) {
        pid_t child = testing_support::StartChild("RegistrySaveLoop");
        uint32_t before = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((before = BlobCounter(key)) == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // Readers meanwhile see one whole save after another.
        auto killAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
        uint32_t seen = before;
        bool ordered = true;
        while (before > 0 && ordered && std::chrono::steady_clock::now() < killAt) {
            uint32_t now = BlobCounter(key);
            ordered = now >= seen;
            seen = now;
        }
        kill(child, SIGKILL);
        ASSERT_EQ(testing_support::WaitChild(child), 128 + SIGKILL) << "delay " << delayMs;
        ASSERT_GT(before, 0u) << "the writer never saved";
        ASSERT_TRUE(ordered) << "a reader saw a broken or older value, delay " << delayMs;
        uint32_t after = BlobCounter(key);
        EXPECT_GE(after, seen) << "delay " << delayMs;
        // The file read back whole: saving it again keeps no unreadable original.
        ASSERT_EQ(SetDword(key, u"Round", static_cast<DWORD>(delayMs)), ERROR_SUCCESS);
        EXPECT_FALSE(fs::exists(corrupt)) << "delay " << delayMs;
        EXPECT_EQ(BlobCounter(key), after);
        ASSERT_EQ(RegDeleteValueW(key, u"Blob"), ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

// ---- damaged files ----

TEST_F(RegistryTest, DamagedLinesAreSkippedAndTheOriginalIsKept) {
    const std::string damaged =
        "\xEF\xBB\xBF; written by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Zanterhoff\\Wayscribe]\r\n"
        "\"Good\"=dword:00000010\r\n"
        "this is not a registry line\n"
        "\"ShortDword\"=dword:123\n"
        "\"Cut\"=\"no closing quote\n"
        "\"BadHex\"=hex:0g,01\n"
        "\"BadEscape\"=\"\\q\"\n"
        "\"BadUtf8\xC3\"=dword:00000001\n"
        "\"NoEquals\" dword:00000001\n"
        "  \"Spaced\" = \"kept\"  \n"
        "[HKEY_NOWHERE\\Software]\n"
        "\"Orphan\"=dword:00000001\n"
        "[HKEY_CURRENT_USER\\Bad\\\\Empty]\n"
        "[HKEY_CURRENT_USER\\Unclosed\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\Active\\01]\n"
        "\"Name\"=\"COM1:\"\n";
    ReplaceFile(DeviceFile(), damaged);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kAppKey, 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"Good", u"Spaced"}));
    EXPECT_EQ(GetDword(key, nullptr, u"Good"), 16u);
    EXPECT_EQ(GetValue(key, u"Spaced")->second, Bytes(u"kept", 10));
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, 0, &software), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(software), std::vector<std::u16string>{u"Zanterhoff"});
    HKEY currentUser = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, 0, &currentUser), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(currentUser), std::vector<std::u16string>{u"Software"});
    HKEY port = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Active\\01", 0, 0, &port),
              ERROR_SUCCESS);
    EXPECT_EQ(GetValue(port, u"Name")->second, Bytes(u"COM1:", 12));

    // The first save keeps the unreadable original beside the new file, once.
    fs::path corrupt = DeviceFile().string() + ".corrupt";
    EXPECT_FALSE(fs::exists(corrupt));
    ASSERT_EQ(SetDword(key, u"Good", 17), ERROR_SUCCESS);
    EXPECT_EQ(ReadText(corrupt), damaged);
    EXPECT_EQ(ReadText(DeviceFile()).find("not a registry line"), std::string::npos);
    fs::remove(corrupt);
    ASSERT_EQ(SetDword(key, u"Good", 18), ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(corrupt));
    for (HKEY opened : {key, software, currentUser, port}) {
        RegCloseKey(opened);
    }
}

TEST_F(RegistryTest, TruncatedFileNeverGivesAWrongValue) {
    HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
    const BYTE hotkeys[] = {0x70, 0, 0, 0, 0x05, 0, 0, 0, 0x71, 0, 0, 0, 0x07, 0, 0, 0};
    ASSERT_EQ(SetDword(key, u"NMEABaud", 4800), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, u"XScale", u"1.25"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Hotkeys", 0, REG_BINARY, hotkeys, sizeof hotkeys),
              ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"CommPort", 3), ERROR_SUCCESS);
    const std::string full = ReadText(DeviceFile());
    const auto baud = GetValue(key, u"NMEABaud");
    const auto scale = GetValue(key, u"XScale");
    const auto port = GetValue(key, u"CommPort");

    bool sawPartial = false;  // a cut file really was read
    for (size_t length = 0; length <= full.size(); ++length) {
        SCOPED_TRACE(length);
        ReplaceFile(DeviceFile(), full.substr(0, length));
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kAppKey, 0, 0, &opened) != ERROR_SUCCESS) {
            continue;
        }
        // Fixed-size and quoted values are whole or absent; a binary value cut at a
        // comma reads shorter, never different.
        using Expected = std::pair<LPCWSTR, decltype(GetValue(key, u""))>;
        for (const auto& [name, expected] :
             std::vector<Expected>{{u"NMEABaud", baud}, {u"XScale", scale}, {u"CommPort", port}}) {
            auto value = GetValue(opened, name);
            if (value) {
                EXPECT_EQ(value, expected);
            }
        }
        sawPartial =
            sawPartial || (GetValue(opened, u"NMEABaud") && !GetValue(opened, u"CommPort"));
        if (auto value = GetValue(opened, u"Hotkeys")) {
            ASSERT_LE(value->second.size(), sizeof hotkeys);
            EXPECT_EQ(value->second, Bytes(hotkeys, value->second.size()));
        }
        RegCloseKey(opened);
    }
    EXPECT_TRUE(sawPartial);
    RegCloseKey(key);
}

TEST_F(RegistryTest, HostileFilesDoNotCrash) {
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 2000; ++i) {
        deep += "\\k";
    }
    deep += "]\n\"V\"=dword:00000001\n";
    std::string noise;
    uint32_t seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245 + 12345;
        noise += static_cast<char>(seed >> 16);
    }
    std::string longLine =
        "[HKEY_CURRENT_USER\\X]\n\"Blob\"=hex:" + std::string(300000, ',') + "\n";
    for (const std::string& text : {deep, noise, longLine, std::string("\0\0\0\n[", 6)}) {
        ReplaceFile(DeviceFile(), text);
        // The registry stays usable over whatever it read.
        HKEY key = CreateKey(HKEY_CURRENT_USER, kAppKey);
        EXPECT_EQ(SetDword(key, u"After", 5), ERROR_SUCCESS);
        EXPECT_EQ(GetDword(HKEY_CURRENT_USER, kAppKey, u"After"), 5u);
        RegCloseKey(key);
    }
    // A key nested deeper than the platform allows is skipped whole.
    ReplaceFile(DeviceFile(), deep);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"k", 0, 0, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, UnreadableFileIsReportedAndNotOverwritten) {
    // An oversized file (sparse, so it costs nothing) and a folder in the file's place.
    {
        int fd = open(DeviceFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 65 << 20), 0);
        close(fd);
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, 0, &key), ERROR_CANTREAD);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"X", 1), ERROR_CANTREAD);
    EXPECT_EQ(fs::file_size(DeviceFile()), static_cast<uintmax_t>(65 << 20));

    fs::remove(DeviceFile());
    fs::create_directory(DeviceFile());
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, 0, &key), ERROR_CANTREAD);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, u"X", 1), ERROR_CANTREAD);
    EXPECT_TRUE(fs::is_directory(DeviceFile()));
}

}  // namespace

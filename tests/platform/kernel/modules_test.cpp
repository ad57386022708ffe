#include "platform/kernel/modules.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/kernel/paths.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/text.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

class ModulesTest : public testing_support::RootsTest {
  protected:
    static fs::path ProbeFile() {
        return fs::read_symlink("/proc/self/exe").parent_path() / "module_probe.dll";
    }
};

TEST_F(ModulesTest, BareNamesAreFoundInTheProgramsFolderThenInWindows) {
    struct Case {
        const char16_t* name;
        bool found;
    };
    fs::create_directories(roots_.device() / "Windows");
    fs::copy_file(ProbeFile(), roots_.device() / "Windows" / "Copied.dll");
    platform::SetCurrentSide(platform::Side::Device);
    for (const Case& c :
         {Case{u"module_probe.dll", true}, Case{u"MODULE_PROBE", true}, Case{u"copied.dll", true},
          Case{u"\\Windows\\copied.dll", true}, Case{u"absent.dll", false},
          Case{u"\\Windows\\module_probe.dll", false}}) {
        SCOPED_TRACE(platform::WideToUtf8(c.name));
        HMODULE module = LoadLibraryW(c.name);
        EXPECT_EQ(module != nullptr, c.found);
        if (module) {
            EXPECT_TRUE(FreeLibrary(module));
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        }
    }
}

TEST_F(ModulesTest, TheDesktopLooksInSystem32) {
    platform::SetCurrentSide(platform::Side::Desktop);
    const fs::path system32 = roots_.desktop() / "C" / "Windows" / "System32";
    fs::create_directories(system32);
    fs::copy_file(ProbeFile(), system32 / "rapi_probe.dll");
    HMODULE module = LoadLibraryW(u"rapi_probe");
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    platform::SetCurrentSide(platform::Side::Device);
}

TEST_F(ModulesTest, EntryPointsAreFoundByNameAndCallTheLoadersPlatform) {
    HMODULE module = LoadLibraryW(platform::HostPathText(ProbeFile()).c_str());
    ASSERT_NE(module, nullptr);
    auto answer = reinterpret_cast<int (*)()>(GetProcAddress(module, "ProbeAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_NE(GetProcAddressW(module, u"ProbeWriteRegistry"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "ProbeMissing"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    // One registry, one last error: what the library writes, the loader reads.
    auto write = reinterpret_cast<LONG (*)(DWORD)>(GetProcAddress(module, "ProbeWriteRegistry"));
    ASSERT_EQ(write(1234), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Probe", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value, type = 0;
    EXPECT_EQ(
        RegQueryValueExW(key, u"Written", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(value, 1234u);
    auto setError = reinterpret_cast<void (*)(DWORD)>(GetProcAddress(module, "ProbeSetLastError"));
    setError(4321);
    EXPECT_EQ(GetLastError(), 4321u);

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetProcAddress(module, "ProbeAnswer"), nullptr);
}

TEST_F(ModulesTest, AFileThatIsNoLibraryIsABadFormat) {
    platform::SetCurrentSide(platform::Side::Device);
    fs::create_directories(roots_.device() / "Windows");
    std::ofstream(roots_.device() / "Windows" / "text.dll") << "not a library";
    EXPECT_EQ(LoadLibraryW(u"text.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(LoadLibraryW(u""), nullptr);
}

}  // namespace

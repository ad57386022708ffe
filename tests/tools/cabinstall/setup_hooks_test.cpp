// The package's installer hooks, loaded and called as the installer calls them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tools/cabinstall/cabinstall.h"

namespace {

namespace fs = std::filesystem;

class SetupHooksTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Device);
        ASSERT_TRUE(hooks_.Complete());
        fs::create_directories(roots_.device() / "Windows" / "Start Menu");
    }

    static bool MetabaseOpensTheLibrary() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Security\\Metabase\\RAPI\\Windows\\oxloserv.dll\\*",
                          0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        DWORD value = 0, size = sizeof value;
        const bool opened =
            RegQueryValueExW(key, u"rw-access", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                             &size) == ERROR_SUCCESS &&
            value == 3;
        RegCloseKey(key);
        return opened;
    }
    static void SetStartItem() {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStartItemsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegSetValueExW(key, kStartItemsValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"x"), 4);
        RegCloseKey(key);
    }

    cabinstall::SetupHooks hooks_{u"setup.dll"};
};

TEST_F(SetupHooksTest, InstallingOpensAndProtectsTheServiceLibraryAndRemovingLiftsIt) {
    EXPECT_EQ(hooks_.installInit(nullptr, TRUE, FALSE, u"\\Program Files\\Zanter\\Wayscribe"), 0);
    // Without the library the policy is still applied.
    EXPECT_EQ(hooks_.installExit(nullptr, u"\\Program Files", 0, 0, 0, 0, 0), 0);
    EXPECT_TRUE(MetabaseOpensTheLibrary());
    EXPECT_EQ(GetFileAttributesW(kServiceLibraryPath), INVALID_FILE_ATTRIBUTES);

    std::ofstream(roots_.device() / "Windows" / "oxloserv.dll") << "library";
    ASSERT_TRUE(SetFileAttributesW(kServiceLibraryPath, FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(hooks_.installExit(nullptr, u"\\Program Files", 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(GetFileAttributesW(kServiceLibraryPath),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | 7));
    EXPECT_FALSE(DeleteFileW(kServiceLibraryPath));  // protected
    EXPECT_EQ(hooks_.uninstallInit(nullptr, u"\\Program Files"), 0);
    EXPECT_EQ(GetFileAttributesW(kServiceLibraryPath), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(DeleteFileW(kServiceLibraryPath));
    EXPECT_EQ(hooks_.uninstallInit(nullptr, u"\\Program Files"), 0);  // nothing to lift
}

TEST_F(SetupHooksTest, TheShortcutGoesOnlyWhileTheStartMenuListsIt) {
    const fs::path shortcut = roots_.device() / "Windows" / "Start Menu" / "Wayscribe.lnk";
    // No key at all, then a key without the value: the shortcut stays.
    std::ofstream(shortcut) << "36#\"\\Program Files\\Zanter\\Wayscribe\\launcher.exe\"";
    EXPECT_EQ(hooks_.uninstallExit(nullptr), 0);
    EXPECT_TRUE(fs::exists(shortcut));
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStartItemsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    RegCloseKey(key);
    EXPECT_EQ(hooks_.uninstallExit(nullptr), 0);
    EXPECT_TRUE(fs::exists(shortcut));
    // Listed: both go.
    SetStartItem();
    EXPECT_EQ(hooks_.uninstallExit(nullptr), 0);
    EXPECT_FALSE(fs::exists(shortcut));
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kStartItemsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, kStartItemsValue, nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    // Listed without a file: the value goes all the same.
    SetStartItem();
    EXPECT_EQ(hooks_.uninstallExit(nullptr), 0);
}

}  // namespace

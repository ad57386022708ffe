// Choosing the GPS port: the registry, the Bluetooth stack's serial port, active
// drivers, and the stack's radio switched through its tray program.
#include "pathlume/position/gps_ports.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/nmea_receiver.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/text.h"
#include "platform/shell/shell.h"
#include "tests/support/pty.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

class GpsPortsTest : public testing_support::RootsTest {
  protected:
    GpsPortsTest() {
        settings_.devFolder = roots_.base() / "dev";
        settings_.sysFolder = roots_.base() / "sys";
        fs::create_directories(settings_.devFolder);
        fs::create_directories(settings_.sysFolder);
        setenv("PATHLUME_SYS_DIR", settings_.sysFolder.c_str(), 1);
        setenv("PATHLUME_DEV_DIR", settings_.devFolder.c_str(), 1);
        g_gpsBaud.store(0);
        g_btPortNumber.store(0);
    }
    ~GpsPortsTest() override {
        platform::StopBluetoothTray();
        platform::SetDeviceOpener({});
        unsetenv("PATHLUME_SYS_DIR");
        unsetenv("PATHLUME_DEV_DIR");
    }
    // A host adapter, and an rfkill switch for it when `blocked` is given.
    void AddAdapter(const char* blocked = nullptr) {
        fs::create_directories(settings_.sysFolder / "class" / "bluetooth" / "hci0");
        if (!blocked)
            return;
        const fs::path rfkill = settings_.sysFolder / "class" / "rfkill" / "rfkill0";
        fs::create_directories(rfkill);
        std::ofstream(rfkill / "type") << "bluetooth\n";
        std::ofstream(rfkill / "soft") << blocked << "\n";
        std::ofstream(rfkill / "hard") << "0\n";
    }
    void AddApplication(const char16_t* key, const char16_t* name, DWORD port) {
        const std::u16string path = std::u16string(kBtApplicationsKey) + u"\\" + key;
        HKEY sub;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &sub, nullptr),
                  ERROR_SUCCESS);
        // Stored without its terminator, as another program may leave it.
        RegSetValueExW(sub, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                       static_cast<DWORD>(std::char_traits<char16_t>::length(name) * 2));
        RegSetValueExW(sub, u"ComPortNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port),
                       sizeof port);
        RegCloseKey(sub);
    }
    DWORD StackMode() { return RegGetDword(HKEY_LOCAL_MACHINE, kBtGeneralKey, u"StackMode", 7); }

    platform::SerialScanSettings settings_;
};

TEST_F(GpsPortsTest, TheConfiguredPortOrTheBluetoothOne) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kNmeaBaudValue, 38400);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, 3);
    EXPECT_EQ(InitGpsPort(), 38400u);
    EXPECT_EQ(g_gpsPortName.Get(), u"COM3:");
    EXPECT_EQ(g_btSerialPortName.Get(), u"COM8:");  // no stack

    AddApplication(u"0001", u"Headset", 4);
    AddApplication(u"0002", u"Generic Serial Port", 6);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, 0);
    g_gpsBaud.store(0);
    EXPECT_EQ(InitGpsPort(), 4800u);  // whatever "NMEABaud" holds
    EXPECT_EQ(g_gpsPortName.Get(), u"COM6:");
    EXPECT_EQ(g_btSerialPortName.Get(), u"COM6:");
    EXPECT_TRUE(IsBluetoothGpsPort());

    WCHAR small[4];
    EXPECT_EQ(FindBluetoothSerialPort(small, 4), 1);
    EXPECT_EQ(std::u16string(small), u"COM");  // cut to the buffer it was given
}

TEST_F(GpsPortsTest, ActiveDriversAreFoundByTheirPnpId) {
    HKEY sub;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Active\\42", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    const std::u16string pnp = u"PRETEC-CompactGPS-1234", name = u"COM5:";
    RegSetValueExW(sub, u"PnpId", 0, REG_SZ, reinterpret_cast<const BYTE*>(pnp.c_str()),
                   static_cast<DWORD>((pnp.size() + 1) * 2));
    RegSetValueExW(sub, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   static_cast<DWORD>((name.size() + 1) * 2));
    RegCloseKey(sub);
    WCHAR port[20];
    EXPECT_EQ(FindActiveDriverPort(port, sizeof port, u"PRETEC"), 1);
    EXPECT_EQ(std::u16string(port), u"COM5:");
    EXPECT_EQ(FindActiveDriverPort(port, sizeof port, u"CFGPS"), 0);
    EXPECT_EQ(std::u16string(port), u"COM1:");
}

TEST_F(GpsPortsTest, TheScanMakesRfcommTtysTheStacksSerialPorts) {
    testing_support::Pty rfcomm;
    fs::create_symlink(rfcomm.path, settings_.devFolder / "rfcomm0");
    AddAdapter("1");  // blocked
    platform::RebuildActiveDrivers(settings_, false);
    EXPECT_EQ(StackMode(), 0u);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, 0);
    InitGpsPort();
    EXPECT_EQ(g_gpsPortName.Get(), u"COM8:");
    EXPECT_EQ(g_btPortNumber.load(), 8);

    fs::remove_all(settings_.sysFolder / "class" / "rfkill");
    AddAdapter("0");
    platform::RebuildActiveDrivers(settings_, false);
    EXPECT_EQ(StackMode(), 1u);
    // With the radio on the port opens without the tray program.
    CNmeaReceiver receiver;
    EXPECT_EQ(receiver.OpenPort(u"COM8:", 4800, 0, FALSE), 0);
    EXPECT_EQ(FindWindowW(kBtTrayClass, nullptr), nullptr);
    EXPECT_EQ(GetBtBrowserEnabled(g_btPort), 0u);  // cleared once the port opened
    receiver.Close();
}

TEST_F(GpsPortsTest, ReopeningTheBluetoothPortWaitsForTheLinkAndKeepsOtherOpensOut) {
    testing_support::Pty rfcomm;
    ASSERT_TRUE(platform::SetHostSerialPort(8, platform::Utf8ToWide(rfcomm.path)));
    AddAdapter();
    platform::RebuildActiveDrivers(settings_, false);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, 8);
    InitGpsPort();
    SetPortNumber(g_btPort, 8);
    ASSERT_TRUE(IsBluetoothGpsPort());
    CNmeaReceiver receiver;
    ASSERT_EQ(receiver.Open(u"COM8:", 4800, FALSE), 0);
    ASSERT_TRUE(receiver.IsPortOpen());

    // The second open closes the link and opens it again on the reader thread after
    // five seconds; an open meanwhile is refused.
    std::atomic<int> deferred{-99};
    std::thread first([&] { deferred = receiver.Open(u"COM8:", 4800, FALSE); });
    Sleep(300);
    EXPECT_EQ(receiver.Open(u"COM8:", 4800, FALSE), kOpenInProgress);
    first.join();
    EXPECT_EQ(deferred.load(), 0);
    for (int i = 0; i < 300 && (!receiver.IsPortOpen() || receiver.IsOpenInProgress()); ++i)
        Sleep(10);
    EXPECT_TRUE(receiver.IsPortOpen());
    EXPECT_FALSE(receiver.IsOpenInProgress());  // the reader ended the open
    // Nothing had been read, so the stack's browser was shown, and cleared once open.
    EXPECT_EQ(GetBtBrowserEnabled(g_btPort), 0u);
    receiver.Close();
}

TEST_F(GpsPortsTest, TheTrayProgramSwitchesTheRadioOn) {
    AddAdapter("0");
    platform::WriteBluetoothStackMode(0);
    SetPortNumber(g_btPort, 8);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StartBtTray(g_btPort, TRUE), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    HWND tray = FindWindowW(kBtTrayClass, nullptr);
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(StartBtTray(g_btPort, TRUE), 1);  // on already: nothing to do
    PostMessageW(tray, WM_COMMAND, kBtTrayRadioOff, 0);
    for (int i = 0; i < 200 && StackMode() != 0; ++i)
        Sleep(10);
    EXPECT_EQ(StackMode(), 0u);
}

TEST_F(GpsPortsTest, WithoutAnAdapterThereIsNoTrayAndNoWait) {
    platform::StopBluetoothTray();
    platform::WriteBluetoothStackMode(0);
    SetPortNumber(g_btPort, 8);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StartBtTray(g_btPort, TRUE), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(FindWindowW(kBtTrayClass, nullptr), nullptr);
}

}  // namespace

// The detector's scan: the driver list read, ports probed on pseudo-terminals whose
// receivers talk at one speed only.
#include "portscout/port_scan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/serial.h"
#include "tests/support/speed_receiver.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using testing_support::SpeedReceiver;

class PortScanTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Device);
        // The host's own ttys and daemon stay out of the device's list.
        fs::create_directories(roots_.base() / "dev");
        setenv("PATHLUME_DEV_DIR", (roots_.base() / "dev").c_str(), 1);
        setenv("PATHLUME_GPSD", "off", 1);
        platform::ClearMessageBoxes();
    }
    void TearDown() override {
        unsetenv("PATHLUME_DEV_DIR");
        unsetenv("PATHLUME_GPSD");
    }

    // A driver entry of another maker in "Drivers\Active".
    static void AddDriver(const std::u16string& sub, std::optional<std::u16string> name,
                          std::optional<std::u16string> key,
                          std::optional<std::u16string> pnpId = std::nullopt) {
        HKEY entry = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (u"Drivers\\Active\\" + sub).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &entry, nullptr),
                  ERROR_SUCCESS);
        auto text = [&](const char16_t* value, const std::optional<std::u16string>& data) {
            if (data)
                RegSetValueExW(entry, value, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(data->c_str()),
                               static_cast<DWORD>((data->size() + 1) * 2));
        };
        text(u"Name", name);
        text(u"Key", key);
        text(u"PnpId", pnpId);
        RegCloseKey(entry);
    }
};

TEST_F(PortScanTest, ReadsAreNmeaOnlyWithAGpsOrMultiSystemTalker) {
    struct Case {
        std::string bytes;
        ReadVerdict verdict;
    };
    std::string noise(30, '\x90');
    std::string lowNoise(21, '\x01');
    for (const Case& c : {
             Case{"xx$GPGGA,1", ReadVerdict::Nmea},
             Case{"$GNRMC,120000", ReadVerdict::Nmea},
             Case{"$GLGSV,3,1", ReadVerdict::Nothing},
             Case{"$G", ReadVerdict::Nothing},
             Case{noise + "$GPGGA", ReadVerdict::Noise},
             Case{lowNoise + "$GPGGA", ReadVerdict::Nmea},
             Case{"", ReadVerdict::Nothing},
         }) {
        EXPECT_EQ(ScanRead(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size()),
                  c.verdict)
            << c.bytes;
    }
}

TEST_F(PortScanTest, TheDriverListDecidesTheCandidates) {
    AddDriver(u"A1", u"COM1:", u"Drivers\\usb\\Serial", u"serial_pnp");
    AddDriver(u"A2", u"COM2:", u"Drivers\\USB\\usbser");
    AddDriver(u"A3", u"COM3:", u"Drivers\\IrCOMM");
    AddDriver(u"A4", u"COM4:", u"Drivers\\BuiltIn\\GPS", u"Holux_GPS");
    AddDriver(u"A5", u"COM5:", u"Drivers\\Card\\BtGps");
    AddDriver(u"A6", u"COM6:", u"Drivers\\Socket BT LAP");
    AddDriver(u"A7", u"COM7:", u"Drivers\\usb\\Serial");
    AddDriver(u"A8", u"COM8:", std::nullopt);
    // Names that are no port: a digit 0 (no COM1), a letter, two digits, too short.
    AddDriver(u"B0", u"COM0:", u"Drivers\\BuiltIn\\X");
    AddDriver(u"B1", u"COMX:", u"Drivers\\BuiltIn\\X");
    AddDriver(u"B2", u"COM12:", u"Drivers\\BuiltIn\\X");
    AddDriver(u"B3", u"COM", u"Drivers\\BuiltIn\\X");
    // Values of other types and lengths read as missing.
    AddDriver(u"B4", std::u16string(3000, u'C'), u"Drivers\\BuiltIn\\X");
    HKEY entry = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Active\\B5", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &entry, nullptr);
    const DWORD number = 9;
    RegSetValueExW(entry, u"Name", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(entry);
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Drivers\\Card\\BtGps", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &entry, nullptr);
    RegSetValueExW(entry, u"FriendlyName", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"Card GPS"),
                   sizeof(u"Card GPS"));
    RegCloseKey(entry);

    PortTable ports;
    EnumerateSerialPorts(ports);
    const int expected[kPortCount] = {1, 0, 0, 1, 1, 0, 0, 1, 0};
    for (int i = 0; i < kPortCount; ++i)
        EXPECT_EQ(ports[i].candidate, expected[i]) << "COM" << i + 1;
    EXPECT_EQ(ports[0].displayName, u"serial_pnp");
    EXPECT_EQ(ports[3].displayName, u"Holux_GPS");
    EXPECT_EQ(ports[4].displayName, u"Card GPS");
    EXPECT_FALSE(ports[7].displayName);
}

TEST_F(PortScanTest, AReceiverIsFoundAtItsOwnSpeedAndTheLowestPortIsOffered) {
    SpeedReceiver at9600({});
    SpeedReceiver multiSystem({B4800, "GN"});
    ASSERT_FALSE(at9600.path().empty());
    ASSERT_TRUE(platform::SetHostSerialPort(5, platform::Utf8ToWide(at9600.path())));
    ASSERT_TRUE(platform::SetHostSerialPort(3, platform::Utf8ToWide(multiSystem.path())));
    PortTable ports;
    EnumerateSerialPorts(ports);
    ASSERT_EQ(ports[2].candidate, 1);
    ASSERT_EQ(ports[4].candidate, 1);
    ProbePortBaud(ports, 5);
    EXPECT_EQ(ports[4].detectedBaud, 9600);
    ProbePortBaud(ports, 3);
    EXPECT_EQ(ports[2].detectedBaud, 4800);
    EXPECT_EQ(FirstDetectedPort(ports), 3);
    ports[2].detectedBaud = 0;
    EXPECT_EQ(FirstDetectedPort(ports), 5);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(PortScanTest, PortsWithoutAReceiverEndTheirProbeWithNothing) {
    // Noise at every speed, a receiver that hung up, a port nobody can open.
    SpeedReceiver flooding({B0});
    testing_support::Pty hungUp;
    hungUp.CloseMaster();
    ASSERT_TRUE(platform::SetHostSerialPort(2, platform::Utf8ToWide(flooding.path())));
    ASSERT_TRUE(platform::SetHostSerialPort(4, platform::Utf8ToWide(hungUp.path)));
    ASSERT_TRUE(platform::SetHostSerialPort(6, u"/nonexistent/tty"));
    PortTable ports;
    EnumerateSerialPorts(ports);
    for (int port : {2, 4, 6, 7}) {
        const auto started = std::chrono::steady_clock::now();
        ProbePortBaud(ports, port);
        EXPECT_EQ(ports[port - 1].detectedBaud, 0) << port;
        // Five rates, each at most a settle and three reads or polls.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    }
    EXPECT_EQ(FirstDetectedPort(ports), 0);
    EXPECT_EQ(flooding.SentencesSent(), 0);
}

TEST_F(PortScanTest, TheSettingsAreWrittenWhereTheNavigationProgramReadsThem) {
    EXPECT_EQ(RegWriteDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 8), 0);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 0), 8u);
}

}  // namespace

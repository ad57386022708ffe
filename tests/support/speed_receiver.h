// A GPS receiver on a pseudo-terminal that talks at one line speed only: it reads the
// speed the port was set to on its own open of the slave and sends NMEA sentences
// (a fix near the given place, once every 100 ms) only while that speed is its own;
// at any other speed it sends line noise, as a receiver heard at the wrong rate does.
#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/support/pty.h"

namespace testing_support {

class SpeedReceiver {
  public:
    struct Options {
        speed_t speed = B9600;
        const char* talker = "GP";  // "GN": a receiver of several systems
        double latitude = 48.1173;
        double longitude = 11.5167;
        bool noiseElsewhere = true;
    };

    explicit SpeedReceiver(Options options) : options_(options) {
        if (pty_.path.empty())
            return;
        fcntl(pty_.master, F_SETFL, fcntl(pty_.master, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread([this] { Run(); });
    }
    ~SpeedReceiver() { Stop(); }
    SpeedReceiver(const SpeedReceiver&) = delete;
    SpeedReceiver& operator=(const SpeedReceiver&) = delete;

    const std::string& path() const { return pty_.path; }
    // Sentences sent at the receiver's own speed.
    int SentencesSent() const { return sent_.load(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    // One sentence with its checksum and line end.
    static std::string Sentence(const std::string& body) {
        unsigned char sum = 0;
        for (char c : body)
            sum ^= static_cast<unsigned char>(c);
        char tail[8];
        std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
        return "$" + body + tail;
    }

  private:
    // "ddmm.mmmm" of a coordinate.
    static std::string Degrees(double value, int width) {
        const double absolute = value < 0 ? -value : value;
        const int degrees = static_cast<int>(absolute);
        char text[32];
        std::snprintf(text, sizeof text, "%0*d%07.4f", width, degrees, (absolute - degrees) * 60.0);
        return text;
    }

    std::string Fix(int second) const {
        char time[16];
        std::snprintf(time, sizeof time, "1200%02d.00", second % 60);
        const std::string where =
            Degrees(options_.latitude, 2) + (options_.latitude < 0 ? ",S," : ",N,") +
            Degrees(options_.longitude, 3) + (options_.longitude < 0 ? ",W" : ",E");
        const std::string talker = options_.talker;
        return Sentence(talker + "GGA," + time + "," + where + ",1,08,0.9,545.4,M,46.9,M,,") +
               Sentence(talker + "RMC," + time + ",A," + where + ",0.0,0.0,010624,,,A");
    }

    void Run() {
        int tick = 0;
        while (!stop_) {
            termios tio{};
            std::string bytes;
            if (tcgetattr(pty_.slave, &tio) == 0 && cfgetospeed(&tio) == options_.speed) {
                bytes = Fix(tick / 10);
                ++sent_;
            } else if (options_.noiseElsewhere) {
                for (int i = 0; i < 40; ++i)
                    bytes += static_cast<char>(0x80 + (tick * 7 + i * 13) % 0x7F);
            }
            // A full pty drops what does not fit, as a line nobody reads loses it.
            if (!bytes.empty()) [[maybe_unused]]
                ssize_t written = ::write(pty_.master, bytes.data(), bytes.size());
            ++tick;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    Options options_;
    Pty pty_;
    std::atomic<bool> stop_{false};
    std::atomic<int> sent_{0};
    std::thread thread_;
};

}  // namespace testing_support

#include "pathlume/mapdb/display_values.h"

#include <atomic>

#include "platform/user/user.h"

namespace {

constexpr float kZoomFeet[DefaultMapDisplayValues::kLevels] = {100,  200,   500,   1000, 2500,
                                                               5280, 10560, 26400, 52800};
constexpr float kZoomMetres[DefaultMapDisplayValues::kLevels] = {25,   50,   150,   300,  1000,
                                                                 2000, 5000, 10000, 20000};
constexpr int kDrawClass[DefaultMapDisplayValues::kLevels] = {320, 320, 320, 320, 320,
                                                              256, 192, 128, 128};

DefaultMapDisplayValues g_defaultValues;
std::atomic<IMapDisplayValues*> g_values{nullptr};

bool ValidLevel(int level) {
    return level >= 0 && level < DefaultMapDisplayValues::kLevels;
}

}  // namespace

int DefaultMapDisplayValues::FindLastLevelBelow() {
    for (int level = kLevels - 1; level >= 0; --level) {
        if (kDrawClass[level] >= kMinDrawClass)
            return level;
    }
    return kLevels - 1;
}

float DefaultMapDisplayValues::GetZoomWidthMetres(int level) {
    return ValidLevel(level) ? kZoomMetres[level] : 0.0f;
}

float DefaultMapDisplayValues::GetZoomWidthFeet(int level) {
    return ValidLevel(level) ? kZoomFeet[level] : 0.0f;
}

int DefaultMapDisplayValues::GetScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int DefaultMapDisplayValues::GetScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

IMapDisplayValues& GetMapDisplayValues() {
    IMapDisplayValues* values = g_values.load();
    return values ? *values : g_defaultValues;
}

void SetMapDisplayValues(IMapDisplayValues* values) {
    g_values.store(values);
}

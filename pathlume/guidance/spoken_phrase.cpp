#include "pathlume/guidance/spoken_phrase.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pathlume/foundation/app_services.h"

namespace {

constexpr double kFeetPerMetre = 3.280839895;

// Digits of a value printed as the phrases read it: at least four whole digits.
struct WholeDigits {
    int thousands, hundreds, tens, units;
};

bool SplitWhole(double value, WholeDigits* digits) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04.0f", value);
    // Only four whole digits are spoken; a larger or negative value has none.
    if (n != 4 || !std::isdigit(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    *digits = {text[0] - '0', text[1] - '0', text[2] - '0', text[3] - '0'};
    return true;
}

// Thousands and hundreds as "N" "1000" and "N" "100", zeros unsaid.
void AppendLargeDigits(PhraseBuffer& phrase, const WholeDigits& d) {
    if (d.thousands) {
        phrase.Append(word::Digit(d.thousands));
        phrase.Append(word::kThousand);
    }
    if (d.hundreds) {
        phrase.Append(word::Digit(d.hundreds));
        phrase.Append(word::kHundred);
    }
}

// The whole part (and below 10 the tenth) of miles or kilometres.
void AppendMileDigits(PhraseBuffer& phrase, double value, bool keepTenthAlways) {
    const bool withTenth = keepTenthAlways || value < 10.0;
    char text[32];
    std::snprintf(text, sizeof text, withTenth ? "%06.1f" : "%04.0f", value);
    WholeDigits d{};
    if (std::strlen(text) != (withTenth ? 6u : 4u) ||
        !SplitWhole(std::floor(std::atof(text)), &d)) {
        return;
    }
    AppendLargeDigits(phrase, d);
    const int lastTwo = d.tens * 10 + d.units;
    if (lastTwo >= 10 && lastTwo <= 19) {
        phrase.Append(word::Teen(lastTwo));
    } else {
        if (d.tens) {
            phrase.Append(word::Tens(d.tens));
        }
        if (d.units) {
            phrase.Append(word::Digit(d.units));
        }
    }
    if (withTenth) {
        const int tenth = text[5] - '0';
        if (tenth) {
            phrase.Append(word::kPoint);
            phrase.Append(word::Digit(tenth));
        }
    }
}

void AppendMileUnit(PhraseBuffer& phrase, double value, bool metric) {
    char text[32];
    std::snprintf(text, sizeof text, "%01.1f", value);
    const bool one = std::strcmp(text, "1.0") == 0;
    phrase.Append(metric ? (one ? word::kKm : word::kKms) : (one ? word::kMile : word::kMiles));
}

}  // namespace

SpokenUnits CurrentSpokenUnits() {
    const DWORD options = g_options.load();
    if (options & kOptionMetric) {
        return SpokenUnits::kMetric;
    }
    return (options & kOptionYards) ? SpokenUnits::kYards : SpokenUnits::kFeet;
}

bool AppendNumberPhrases(PhraseBuffer& phrase, double value, SpokenUnits units, bool leadingIn) {
    if (units == SpokenUnits::kYards) {
        value /= 3.0;
    }
    WholeDigits d{};
    if (!SplitWhole(value, &d)) {
        return false;
    }
    const bool finerTens = units != SpokenUnits::kFeet && d.hundreds <= 2;
    const bool sayTens = d.tens && (value < 99.5 || finerTens);
    if (!d.thousands && !d.hundreds && !sayTens) {
        return false;
    }
    if (leadingIn) {
        phrase.Append(word::kIn);
    }
    AppendLargeDigits(phrase, d);
    if (sayTens) {
        phrase.Append(word::Tens(d.tens));
    }
    phrase.Append(units == SpokenUnits::kMetric  ? word::kMeters
                  : units == SpokenUnits::kYards ? word::kYards
                                                 : word::kFeet);
    return true;
}

void AppendDecimalPhrases(PhraseBuffer& phrase, double value, bool metric, bool leadingIn) {
    if (leadingIn) {
        phrase.Append(word::kIn);
    }
    AppendMileDigits(phrase, value, true);
    AppendMileUnit(phrase, value, metric);
}

void AppendDrivePhrase(PhraseBuffer& phrase, double value, bool metric) {
    phrase.Append(word::kDrive);
    AppendMileDigits(phrase, value, false);
    AppendMileUnit(phrase, value, metric);
}

int ParseHighwayNumber(const char* name, uint32_t roadClass, int* kind) {
    if (!name || roadClass > 0xc0) {
        return -1;
    }
    char text[128];
    std::snprintf(text, sizeof text, "%s", name);
    if (char* slash = std::strchr(text, '/')) {
        *slash = '\0';
    }
    const size_t length = std::strlen(text);
    auto isUpper = [](char c) { return c >= 'A' && c <= 'Z'; };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    int found = -1;
    size_t from = 0;
    for (size_t i = 0; i + 2 < length + 1 && found < 0; ++i) {
        if (text[i] == 'I' && (text[i + 1] == '-' || text[i + 1] == ' ') && isDigit(text[i + 2]) &&
            (i == 0 || !isUpper(text[i - 1]))) {
            found = 0;
            from = i + 2;
        }
    }
    if (found < 0) {
        if (const char* us = std::strstr(text, "US-")) {
            found = 1;
            from = static_cast<size_t>(us - text) + 3;
        }
    }
    if (found < 0 && length >= 4 && isUpper(text[0]) && isUpper(text[1]) && text[2] == '-' &&
        isDigit(text[3])) {
        found = 2;
        from = 3;
    }
    if (found < 0 && length >= 4 && text[2] == '-') {
        found = 3;
        from = 3;
    }
    if (found < 0) {
        return -1;
    }
    while (from < length && !isDigit(text[from])) {
        ++from;
    }
    if (from >= length) {
        return -1;
    }
    long number = 0;
    // Longer runs are no designation the words can say; keep the value bounded.
    for (; from < length && isDigit(text[from]) && number < 100000; ++from) {
        number = number * 10 + (text[from] - '0');
    }
    if (kind) {
        *kind = found;
    }
    return static_cast<int>(number);
}

bool AppendHighwayNumber(PhraseBuffer& phrase, int number) {
    if (number < 1 || number > 999) {
        return false;
    }
    const int hundreds = number / 100;
    const int tens = number / 10 % 10;
    const int units = number % 10;
    if (number < 10) {
        phrase.Append(word::Digit(units));
        return true;
    }
    if (hundreds) {
        phrase.Append(word::Digit(hundreds));
        if (tens == 0) {
            if (units == 0) {
                phrase.Append(word::kHundred);
            } else {
                phrase.Append(word::Digit(0));
                phrase.Append(word::Digit(units));
            }
            return true;
        }
    }
    if (tens == 1) {
        phrase.Append(word::Teen(10 + units));
    } else {
        phrase.Append(word::Tens(tens));
        if (units) {
            phrase.Append(word::Digit(units));
        }
    }
    return true;
}

void AppendRoundaboutExitWords(PhraseBuffer& phrase, int exitNumber) {
    if (exitNumber < 1 || exitNumber > 12) {
        return;
    }
    phrase.Append(word::kThen);
    phrase.Append(word::kTake);
    phrase.Append(word::kFirst + exitNumber - 1);
    phrase.Append(word::kExit);
}

namespace {

// The near stage's base on a road that is not flagged, in imperial units (feet):
// turns from a class 0xc0 road are announced farther out than straight, bear and
// keep maneuvers.
double NearBaseFeet(SpokenUnits units, uint32_t maneuverKind, uint32_t vehicleClass) {
    const bool turnKind = maneuverKind != 3 && (maneuverKind < 7 || maneuverKind > 10);
    return units == SpokenUnits::kYards ? 600 : (turnKind && vehicleClass == 0xc0) ? 800 : 500;
}

}  // namespace

StageDistances ComputeStageDistances(SpokenUnits units, bool flagged, uint32_t maneuverKind,
                                     uint32_t vehicleClass, FLOAT gpsSpeed, FLOAT categorySpeed) {
    constexpr double ft = kRadiansPerFoot;
    constexpr double m = kRadiansPerMetre;
    constexpr double mile = kFeetPerMile * ft;
    const bool arrival = maneuverKind == 13;
    const bool metric = units == SpokenUnits::kMetric;
    double base, mid, far;
    if (flagged) {
        base = metric ? (arrival ? 100 * m : 300 * m) : (arrival ? 0.05 * mile : 0.25 * mile);
        mid = metric ? 1000 * m : 0.75 * mile;
        far = metric ? 3000 * m : 2 * mile;
    } else if (metric) {
        base = arrival ? 30 * m : 200 * m;
        mid = 500 * m;
        far = 1000 * m;
    } else {
        base = arrival ? 100 * ft : NearBaseFeet(units, maneuverKind, vehicleClass) * ft;
        mid = 2000 * ft;
        far = mile;
    }
    StageDistances stages{};
    stages.now = static_cast<FLOAT>(4.0 * categorySpeed);
    stages.nearBase = static_cast<FLOAT>(base);
    stages.nearDist = static_cast<FLOAT>(base + 2.0 * gpsSpeed);
    stages.mid = static_cast<FLOAT>(mid);
    stages.far = static_cast<FLOAT>(far);
    return stages;
}

bool AppendFirstAnnouncementDistance(PhraseBuffer& phrase, FLOAT distance,
                                     const StageDistances& stages, SpokenUnits units) {
    const bool metric = units == SpokenUnits::kMetric;
    const double feet = distance / kRadiansPerFoot;
    const double metres = distance / kRadiansPerMetre;
    const double whole = metric ? metres : feet;
    if (distance <= stages.now) {
        return false;
    }
    if (distance <= stages.nearDist) {
        if (feet > 100.0) {
            AppendNumberPhrases(phrase, whole, units, true);
        }
        return false;
    }
    if (!metric && feet < 1320.0) {
        AppendNumberPhrases(phrase, feet, units, true);
        return false;
    }
    if (!metric && feet <= 4 * kFeetPerMile) {
        AppendDecimalPhrases(phrase, feet / kFeetPerMile, false, true);
        return false;
    }
    if (metric && metres < 1000.0) {
        AppendNumberPhrases(phrase, metres, units, true);
        return false;
    }
    if (metric && metres <= 5000.0) {
        AppendDecimalPhrases(phrase, metres / 1000.0, true, true);
        return false;
    }
    AppendDrivePhrase(phrase, metric ? metres / 1000.0 : feet / kFeetPerMile, metric);
    return true;
}

void AppendStageDistance(PhraseBuffer& phrase, int stage, SpokenUnits units, bool flagged,
                         uint32_t maneuverKind, uint32_t vehicleClass, bool sameSideTurnBefore) {
    const bool metric = units == SpokenUnits::kMetric;
    const bool yards = units == SpokenUnits::kYards;
    auto say = [&phrase](std::initializer_list<int> words) {
        for (int w : words) {
            phrase.Append(w);
        }
    };
    switch (stage) {
        case 1:
            if (flagged && !sameSideTurnBefore) {
                return;
            }
            if (flagged) {
                say(metric ? std::initializer_list<int>{word::kIn, 3, word::kHundred, word::kMeters}
                    : yards
                        ? std::initializer_list<int>{word::kIn, 4, word::kHundred, word::kYards}
                        : std::initializer_list<int>{word::kIn, 1, word::kThousand, word::kFeet});
            } else if (metric || yards) {
                say({word::kIn, 2, word::kHundred, metric ? word::kMeters : word::kYards});
            } else {
                // The distance the stage fires at.
                const int hundreds =
                    static_cast<int>(NearBaseFeet(units, maneuverKind, vehicleClass) / 100);
                say({word::kIn, hundreds, word::kHundred, word::kFeet});
            }
            return;
        case 2:
            if (metric) {
                say(flagged
                        ? std::initializer_list<int>{word::kIn, 1, word::kKm}
                        : std::initializer_list<int>{word::kIn, 5, word::kHundred, word::kMeters});
            } else if (flagged) {
                say({word::kIn, word::kThreeQuarters, word::kMile});
            } else {
                say(yards ? std::initializer_list<int>{word::kIn, 5, word::kHundred, word::kYards}
                          : std::initializer_list<int>{word::kIn, 2, word::kThousand, word::kFeet});
            }
            return;
        case 3:
            if (metric) {
                say(flagged ? std::initializer_list<int>{word::kIn, 3, word::kKms}
                            : std::initializer_list<int>{word::kIn, 1, word::kKm});
            } else {
                say(flagged ? std::initializer_list<int>{word::kIn, 2, word::kMiles}
                            : std::initializer_list<int>{word::kIn, 1, word::kMile});
            }
            return;
        default:
            return;
    }
}

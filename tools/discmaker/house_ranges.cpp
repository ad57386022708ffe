#include "tools/discmaker/house_ranges.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

namespace discmaker {

namespace {

// Metres of street front per building: a lone number is given room for a building
// of ordinary width on either side of it, and numbers are never packed closer than
// a row of narrow houses.
constexpr double kOrdinaryBuildingMetres = 25;
constexpr double kNarrowBuildingMetres = 5;
constexpr int64_t kHighestNumber = std::numeric_limits<int32_t>::max();

struct Numbers {
    uint32_t lowest = 0, highest = 0;
    Parity parity = Parity::Mixed;
    int64_t Step() const { return parity == Parity::Mixed ? 1 : 2; }
};

Numbers NumbersOf(const SideNumbers& side) {
    Numbers n;
    n.lowest = n.highest = side.placed.front().number;
    bool even = true, odd = true;
    for (const PlacedNumber& p : side.placed) {
        n.lowest = std::min(n.lowest, p.number);
        n.highest = std::max(n.highest, p.number);
        even = even && p.number % 2 == 0;
        odd = odd && p.number % 2 == 1;
    }
    n.parity = even ? Parity::Even : odd ? Parity::Odd : Parity::Mixed;
    return n;
}

bool ShareNumbers(Parity a, Parity b) {
    return a == Parity::Mixed || b == Parity::Mixed || a == b;
}

// How far the side's range may reach below its lowest and above its highest number:
// halfway to the next numbers of the street's other sides in the place (the split
// is the same seen from either side, so the two never share a number), and never
// past a number that another side already holds.
std::pair<int64_t, int64_t> NumberBounds(const Numbers& own,
                                         const std::vector<const Numbers*>& others) {
    int64_t floor = std::min<int64_t>(own.lowest, own.parity == Parity::Even ? 2 : 1);
    int64_t ceiling = std::max<int64_t>(own.highest, kHighestNumber);
    for (const Numbers* other : others) {
        if (!ShareNumbers(own.parity, other->parity))
            continue;
        if (other->lowest > own.highest) {
            ceiling = std::min<int64_t>(ceiling, (int64_t{own.highest} + other->lowest - 1) / 2);
        } else if (other->highest < own.lowest) {
            floor = std::max<int64_t>(floor, (int64_t{other->highest} + own.lowest - 1) / 2 + 1);
        } else {
            if (other->lowest <= own.lowest)
                floor = own.lowest;
            if (other->highest >= own.highest)
                ceiling = own.highest;
        }
    }
    return {floor, ceiling};
}

// The end of a range below the side's lowest number: `value` held to [floor, lowest]
// and on the lowest number's parity.
int64_t LowEnd(double value, int64_t floor, const Numbers& n) {
    int64_t v =
        std::llround(std::clamp(value, static_cast<double>(floor), static_cast<double>(n.lowest)));
    if ((n.lowest - v) % n.Step() != 0)
        v -= 1;
    return v < floor ? v + n.Step() : v;
}

// The end of a range above the side's highest number, likewise.
int64_t HighEnd(double value, int64_t ceiling, const Numbers& n) {
    const double held =
        std::clamp(value, static_cast<double>(n.highest), static_cast<double>(ceiling));
    int64_t v = std::llround(held);
    if ((v - n.highest) % n.Step() != 0)
        v += 1;
    return v > ceiling ? v - n.Step() : v;
}

HouseRange Fit(const SideNumbers& side, const Numbers& n, std::pair<int64_t, int64_t> bounds) {
    const double length = std::max(side.linkKm, 0.0);
    const double count = static_cast<double>(side.placed.size());
    double meanAlong = 0, meanNumber = 0;
    for (const PlacedNumber& p : side.placed) {
        meanAlong += std::clamp(p.alongKm, 0.0, length);
        meanNumber += p.number;
    }
    meanAlong /= count;
    meanNumber /= count;
    double covariance = 0, variance = 0;
    for (const PlacedNumber& p : side.placed) {
        const double d = p.number - meanNumber;
        covariance += (std::clamp(p.alongKm, 0.0, length) - meanAlong) * d;
        variance += d * d;
    }
    // Numbers per km along the link: the least-squares line of place on number,
    // held between the densest plausible row of houses and, for a side whose
    // numbers give no slope (one number, or all at one place), ordinary houses.
    const double step = static_cast<double>(n.Step());
    const double densest = step * 1000 / kNarrowBuildingMetres;
    double perKm = step * 1000 / kOrdinaryBuildingMetres;
    if (covariance != 0)
        perKm = std::min(std::abs(variance / covariance), densest);
    // Without a slope the numbers grow away from the nearer end, so that the range
    // has room to reach the link's far end above them.
    const bool growing = covariance != 0 ? covariance > 0 : meanAlong <= length / 2;
    // Distances from the node where the numbers start (the low end).
    std::vector<double> fromLow;
    for (const PlacedNumber& p : side.placed) {
        const double along = std::clamp(p.alongKm, 0.0, length);
        fromLow.push_back(growing ? along : length - along);
    }
    const double meanFromLow = growing ? meanAlong : length - meanAlong;
    // The line through the numbers' mean place and number, read at both ends.
    double low = meanNumber - perKm * meanFromLow;
    double high = meanNumber + perKm * (length - meanFromLow);
    // An end held to its bounds is fixed, and the other end fitted again to the
    // places of the numbers (least squares of place on number through the fixed
    // end), so that the numbers keep their places as well as the bound allows.
    const double lowHeld =
        std::clamp(low, static_cast<double>(bounds.first), static_cast<double>(n.lowest));
    const double highHeld =
        std::clamp(high, static_cast<double>(n.highest), static_cast<double>(bounds.second));
    // Km per number of the least-squares line through the low or the high end at
    // `end`; 0 when the numbers give none.
    const auto kmPerNumberThrough = [&](double end, bool lowEnd) {
        double placeTimesNumber = 0, numberSquared = 0;
        for (size_t i = 0; i < side.placed.size(); ++i) {
            const double d = lowEnd ? side.placed[i].number - end : end - side.placed[i].number;
            placeTimesNumber += (lowEnd ? fromLow[i] : length - fromLow[i]) * d;
            numberSquared += d * d;
        }
        return numberSquared > 0 && placeTimesNumber > 0
                   ? std::max(placeTimesNumber / numberSquared, 1 / densest)
                   : 0.0;
    };
    if (lowHeld != low) {
        low = lowHeld;
        if (const double km = kmPerNumberThrough(low, true); km > 0)
            high = low + length / km;
    } else if (highHeld != high) {
        high = highHeld;
        if (const double km = kmPerNumberThrough(high, false); km > 0)
            low = high - length / km;
    }
    const auto lowEnd = static_cast<uint32_t>(LowEnd(low, bounds.first, n));
    const auto highEnd = static_cast<uint32_t>(HighEnd(high, bounds.second, n));
    return growing ? HouseRange{lowEnd, highEnd, n.parity} : HouseRange{highEnd, lowEnd, n.parity};
}

}  // namespace

std::vector<HouseRange> FitHouseRanges(const std::vector<SideNumbers>& sides) {
    std::vector<Numbers> numbers;
    numbers.reserve(sides.size());
    std::map<std::pair<std::string, uint32_t>, std::vector<size_t>> streets;
    for (size_t i = 0; i < sides.size(); ++i) {
        numbers.push_back(NumbersOf(sides[i]));
        streets[{sides[i].street, sides[i].area}].push_back(i);
    }
    std::vector<HouseRange> ranges(sides.size());
    for (const auto& [street, members] : streets) {
        for (size_t i : members) {
            std::vector<const Numbers*> others;
            for (size_t j : members) {
                if (j != i)
                    others.push_back(&numbers[j]);
            }
            ranges[i] = Fit(sides[i], numbers[i], NumberBounds(numbers[i], others));
        }
    }
    return ranges;
}

}  // namespace discmaker

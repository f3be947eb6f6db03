#include "graphs/GraphRules.h"

#include "common/TextFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qzt::chart {

namespace {

int16_t saturate(int v)
{
    return int16_t(std::clamp<int>(v, std::numeric_limits<int16_t>::min(),
                                   std::numeric_limits<int16_t>::max()));
}

} // namespace

int16_t roundToInt16(double v)
{
    if (std::isnan(v))
        return 0;
    constexpr double lowest = std::numeric_limits<int16_t>::min();
    constexpr double highest = std::numeric_limits<int16_t>::max();
    if (v <= lowest)
        return std::numeric_limits<int16_t>::min();
    if (v >= highest)
        return std::numeric_limits<int16_t>::max();
    double r = std::floor(v);
    const double fraction = v - r;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    return int16_t(r);
}

Extremes temperatureExtremes(float intTemp, float extTemp)
{
    const float high = intTemp > extTemp ? intTemp : extTemp;
    const float low = intTemp > extTemp ? extTemp : intTemp;
    return {roundToInt16(low), roundToInt16(high)};
}

Extremes voltageExtremes(std::span<const float> volts)
{
    int16_t highest = -20;
    int16_t lowest = 40;
    for (const float v : volts) {
        if (float(highest) < v)
            highest = roundToInt16(v);
        if (float(lowest) > v)
            lowest = roundToInt16(v);
    }
    return {lowest, highest};
}

std::optional<int16_t> fitLowerBound(double lower, int16_t low, FitRule rule)
{
    if (lower >= double(low) || lower + rule.margin < double(low))
        return saturate(low - rule.step);
    return std::nullopt;
}

std::optional<int16_t> fitUpperBound(double upper, int16_t high, FitRule rule)
{
    if (upper <= double(high) || upper - rule.margin > double(high))
        return saturate(high + rule.step);
    return std::nullopt;
}

QString legendText(QStringView label, float value, QStringView unit)
{
    QString text = label.toString();
    text += fixed2Text(value);
    text += unit;
    return text;
}

} // namespace qzt::chart

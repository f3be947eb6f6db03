// Rules of the graph windows that need no widgets: fitting the value axis to
// the readings, and the legend texts. Pure chart model: depends on common/,
// QtCore and the standard library only.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <span>

namespace qzt::chart {

// Nearest 16-bit integer, halves to the even neighbour (24.5 -> 24,
// 25.5 -> 26, -0.5 -> 0). Values beyond the 16-bit range saturate at its
// ends; NaN gives 0.
int16_t roundToInt16(double v);

// The rounded data extremes a fitting works from.
struct Extremes {
    int16_t low;
    int16_t high;
    friend bool operator==(const Extremes &, const Extremes &) = default;
};

// Temperature form: the larger and the smaller of the two readings; on
// equality the external reading counts as the high one.
Extremes temperatureExtremes(float intTemp, float extTemp);

// Voltage form: one pass over the readings from highest = -20 and
// lowest = 40. A reading strictly beyond an extreme (compared in single
// precision) replaces it, rounded; an equal one changes nothing.
Extremes voltageExtremes(std::span<const float> volts);

// How far the data may sit inside a bound before it is pulled in (margin),
// and how far beyond the data a moved bound lands (step).
struct FitRule {
    int margin;
    int step;
};
inline constexpr FitRule kTemperatureFit{20, 10};
inline constexpr FitRule kVoltageFit{8, 4};

// The lower bound to write, or nothing when it stays: it moves to low - step
// when the data touch or pass it (lower >= low) or when it lies more than the
// margin below them (lower + margin < low). Compared in double precision; the
// written value saturates at the 16-bit range.
std::optional<int16_t> fitLowerBound(double lower, int16_t low, FitRule rule);
// The same for the upper bound: moves to high + step when upper <= high or
// upper - margin > high.
std::optional<int16_t> fitUpperBound(double upper, int16_t high, FitRule rule);

// A legend caption: the label, the reading in the "0.00" pattern, the unit
// ("Internal: " + 25.5 + "°C" gives "Internal: 25.50°C").
QString legendText(QStringView label, float value, QStringView unit);

} // namespace qzt::chart

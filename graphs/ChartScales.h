// The chart's scales without widgets: time-label texts and tick placement,
// value-axis ticks, and the visible time window with its zoom and pan.
// Pure chart model: depends on QtCore and the standard library only.
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <vector>

namespace qzt::chart {

// Time steps in milliseconds, as the chart counts time.
inline constexpr int64_t kSecond = 1000;
inline constexpr int64_t kMinute = 60 * kSecond;
inline constexpr int64_t kHour = 60 * kMinute;
inline constexpr int64_t kDay = 24 * kHour;

// The strftime-style time-label patterns, finest scale first: seconds,
// minutes, hours, days, months, years; the last one dates the hover read-out.
inline constexpr std::array<const char *, 7> kTimeLabelPatterns{
    "%I:%M:%S %p", "%I:%M %p", "%I:%M %p", "%m/%d/%y", "%b, %y", "%Y", "%m/%d/%y"};
inline constexpr int kReadoutDatePattern = 6;
inline QString timeLabelPattern(int index)
{
    return QString::fromLatin1(kTimeLabelPatterns[std::size_t(index)]);
}

struct CivilTime {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
};

// Formats a strftime subset the same way in every locale, through the C
// locale's formats: %I (12-hour, two digits), %H, %M, %S, %p (AM/PM), %m,
// %d, %y, %Y, %b (English month abbreviation) and %%. Anything else is
// copied as it stands.
QString formatTime(QStringView pattern, const CivilTime &t);

// The local civil time of a moment given in milliseconds since the epoch.
CivilTime localTime(int64_t msSinceEpoch);

// The pattern's text with every digit shown as 8 and the widest meridiem and
// month: the width that no label of the pattern exceeds in an ordinary font,
// so label spacing does not change with the time shown.
QString widestLabel(QStringView pattern);

// Which entry of kTimeLabelPatterns labels ticks `stepMs` apart.
int patternForStep(int64_t stepMs);

// The smallest tick step of the chart's list (1 s ... 1 day) whose ticks
// stand far enough apart at msPerPx for the labels of that step's pattern:
// labelWidthPx[pattern] plus gapPx. The largest step if none does.
int64_t tickStep(double msPerPx, const std::array<double, kTimeLabelPatterns.size()> &labelWidthPx,
                 double gapPx);

// Tick times in [from, to): the multiples of stepMs in local time, where
// local time is the epoch time plus utcOffsetMs.
std::vector<int64_t> tickTimes(int64_t from, int64_t to, int64_t stepMs, int64_t utcOffsetMs);

// Value-axis ticks: a step of 1, 2 or 5 times a power of ten that gives at
// most maxTicks ticks in [lower, upper], and the first tick (a multiple of the
// step). Empty range or maxTicks < 2: step 0.
struct ValueTicks {
    double first = 0.0;
    double step = 0.0;
    int count = 0;
};
ValueTicks valueTicks(double lower, double upper, int maxTicks);

// The visible time window of a chart `columns` pixels wide. Each pixel column
// covers a whole number of milliseconds, and column edges are multiples of
// that number in epoch time, so a column holds the same samples at every
// repaint and the picture does not shimmer as it scrolls. Live, the newest
// column holds the present time; otherwise the window stays where the user
// left it while samples go on arriving to its right.
class TimeView {
public:
    static constexpr int64_t kMinSpanMs = 5'000;
    static constexpr int64_t kMaxSpanMs = 24LL * 3600 * 1000;
    static constexpr int64_t kDefaultSpanMs = 5LL * 60 * 1000;

    explicit TimeView(int columns = 1, int64_t spanMs = kDefaultSpanMs);

    int columns() const { return columns_; }
    int64_t msPerColumn() const { return msPerColumn_; }
    int64_t spanMs() const { return msPerColumn_ * columns_; }
    bool live() const { return live_; }

    // Keeps the span in milliseconds as far as whole columns allow.
    void setColumns(int columns);
    // The span becomes about spanMs (within the limits), the right edge stays.
    void setSpan(int64_t spanMs, int64_t nowMs);

    // Column c covers [leftEdge + c * msPerColumn, leftEdge + (c + 1) *
    // msPerColumn); the right edge closes the last column.
    int64_t rightEdge(int64_t nowMs) const;
    int64_t leftEdge(int64_t nowMs) const { return rightEdge(nowMs) - spanMs(); }

    // Multiplies the span by factor (> 1 zooms out) keeping the time under
    // column position anchorColumn (0 .. columns(), fractional) in place. A
    // live view zooms about its right edge and stays live.
    void zoom(double factor, double anchorColumn, int64_t nowMs);
    // Moves the window by `columns` (positive: towards older samples). Its
    // left edge stops at the column of `oldestMs`; reaching the present makes
    // it live again, so a history shorter than the span keeps it live.
    void pan(double columns, int64_t nowMs, int64_t oldestMs);
    void goLive() { live_ = true; }

    // For a finished record rather than a live feed: spans up to maxSpanMs,
    // and the window never follows the present, so zooming keeps the time
    // under the cursor even at the record's end.
    void setRecorded(int64_t maxSpanMs);
    // Shows [fromMs, toMs) as nearly as whole columns allow.
    void showRange(int64_t fromMs, int64_t toMs);

private:
    void setMsPerColumn(int64_t ms);

    int columns_;
    int64_t msPerColumn_;
    int64_t spanWanted_;
    bool live_ = true;
    bool follows_ = true; // reaching the present makes the window live
    int64_t maxSpan_ = kMaxSpanMs;
    int64_t end_ = 0; // right edge while not live
};

} // namespace qzt::chart

// Times written the user's way, and a time axis labelled with them: tick
// steps from 50 ms to a year, dates where the day changes, and labels laid
// out so that no two overlap. The log viewer's axis and every chart's hover
// read-out use it; the live graphs' axis keeps its fixed patterns.
// Pure chart model: depends on QtCore and the standard library only.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace qzt::chart {

// The locale's short date, and its time of day to the minute (the short time
// format), the second or the millisecond (the long one without its time
// zone; the milliseconds follow the seconds after the decimal point).
class LocaleTimes {
public:
    enum class Precision { Minute, Second, Millisecond };

    explicit LocaleTimes(const QLocale &locale);

    const QLocale &locale() const { return locale_; }
    QString date(const QDateTime &moment) const;
    QString time(const QDateTime &moment, Precision precision) const;
    // The date, a blank and the time to the second or the millisecond.
    QString dateTime(const QDateTime &moment, Precision precision) const;
    // The precision of a moment in a view of spanMs: the millisecond when it
    // spans under a minute, else the second.
    static Precision precisionFor(int64_t spanMs)
    {
        return spanMs < 60'000 ? Precision::Millisecond : Precision::Second;
    }

private:
    QLocale locale_;
    QString minute_;
    QString second_;
    QString millisecond_;
};

// One tick of the time axis and its label.
struct TimeLabel {
    int64_t timeMs = 0;
    int column = 0;    // plot column of the tick
    QString text;      // empty: the tick has no label
    bool date = false; // the text is a date rather than a time of day
    double left = 0.0; // the text's left edge, in chart pixels
    double width = 0.0;
};

class LocaleTimeAxis {
public:
    // The width of a label's text in pixels.
    using Measure = std::function<double(const QString &)>;

    LocaleTimeAxis(const QLocale &locale, Measure measure);

    const LocaleTimes &times() const { return times_; }

    // The ticks of `columns` plot columns of msPerColumn each from leftMs,
    // the plot starting at plotLeft in a chart chartWidth pixels wide. The
    // step is the finest whose labels stand gap pixels apart: 50 ms to 500 ms,
    // 1 s to 30 s, 1 min to 30 min, 1 h to 12 h, 1 to 3 days, 1 to 52 weeks;
    // ticks fall on multiples of it in local time (weeks begin on the
    // locale's first day of the week). A tick at local midnight is labelled
    // with its date, as is every tick of a step of a day or more; others
    // with the time of day, to the millisecond when the step is under a
    // second, to the second under a minute, else to the minute. Labels stand
    // centred under their ticks, moved inside the chart at its edges; where
    // two would still overlap, a date keeps its label and a time gives way.
    std::vector<TimeLabel> layout(int64_t leftMs, int64_t msPerColumn, int columns, double plotLeft,
                                  double chartWidth, double gap) const;

private:
    std::vector<TimeLabel> labelsFor(int64_t leftMs, int64_t rightMs, int64_t step,
                                     int64_t msPerColumn, double plotLeft) const;
    std::vector<int64_t> ticks(int64_t fromMs, int64_t toMs, int64_t step) const;

    LocaleTimes times_;
    Measure measure_;
    // The widest label of each kind, from a time whose digits are all wide.
    double dateWidth_ = 0;
    double minuteWidth_ = 0;
    double secondWidth_ = 0;
    double millisecondWidth_ = 0;
};

} // namespace qzt::chart

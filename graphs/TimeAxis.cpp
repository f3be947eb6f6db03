#include "graphs/TimeAxis.h"

#include "graphs/ChartScales.h"
#include "graphs/SampleRing.h"

#include <algorithm>
#include <array>

namespace qzt::chart {

namespace {

constexpr int64_t kWeek = 7 * kDay;

// Log lines stand 50 ms apart: no finer step is worth a label.
// clang-format off
constexpr std::array<int64_t, 31> kSteps{
    50, 100, 200, 500,
    kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour, 2 * kHour, 3 * kHour, 6 * kHour, 12 * kHour,
    kDay, 2 * kDay, 3 * kDay,
    kWeek, 2 * kWeek, 4 * kWeek, 8 * kWeek, 13 * kWeek, 26 * kWeek, 52 * kWeek};
// clang-format on

// A format's text outside quotes, where its letters are field codes.
template <typename F> void forUnquoted(const QString &format, F &&f)
{
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted)
            f(i);
    }
}

// The format without its time zone ("t" fields) and the blanks before them.
QString withoutZone(const QString &format)
{
    QString out = format;
    std::vector<qsizetype> zone;
    forUnquoted(format, [&](qsizetype i) {
        if (format[i] == QLatin1Char('t'))
            zone.push_back(i);
    });
    for (auto it = zone.rbegin(); it != zone.rend(); ++it) {
        qsizetype from = *it;
        while (from > 0 && out[from - 1].isSpace())
            --from;
        out.remove(from, *it - from + 1);
    }
    return out.trimmed();
}

// The format with the milliseconds after its seconds, behind the locale's
// decimal point.
QString withMilliseconds(const QString &format, const QString &decimalPoint)
{
    qsizetype end = -1;
    forUnquoted(format, [&](qsizetype i) {
        if (format[i] == QLatin1Char('s'))
            end = i + 1;
    });
    QString fraction = decimalPoint;
    fraction.replace(QLatin1Char('\''), QLatin1String("''"));
    fraction = QLatin1Char('\'') + fraction + QStringLiteral("'zzz");
    QString out = format;
    return end < 0 ? out + fraction : out.insert(end, fraction);
}

QDate localDate(int64_t ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).date();
}

int64_t offsetAt(int64_t ms)
{
    return int64_t(QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()) * kSecond;
}

} // namespace

LocaleTimes::LocaleTimes(const QLocale &locale)
    : locale_(locale), minute_(withoutZone(locale.timeFormat(QLocale::ShortFormat))),
      second_(withoutZone(locale.timeFormat(QLocale::LongFormat))),
      millisecond_(withMilliseconds(second_, locale.decimalPoint()))
{
}

QString LocaleTimes::date(const QDateTime &moment) const
{
    return locale_.toString(moment.date(), QLocale::ShortFormat);
}

QString LocaleTimes::time(const QDateTime &moment, Precision precision) const
{
    const QString &format = precision == Precision::Minute   ? minute_
                            : precision == Precision::Second ? second_
                                                             : millisecond_;
    return locale_.toString(moment.time(), format);
}

QString LocaleTimes::dateTime(const QDateTime &moment, Precision precision) const
{
    return date(moment) + QLatin1Char(' ') +
           time(moment, precision == Precision::Minute ? Precision::Second : precision);
}

LocaleTimeAxis::LocaleTimeAxis(const QLocale &locale, Measure measure)
    : times_(locale), measure_(std::move(measure))
{
    // Every digit an 8, morning and afternoon: no label of a kind is wider
    // in an ordinary font, but for month names, which layout() checks.
    const auto widest = [&](auto text) {
        double w = 0;
        for (const int hour : {8, 18}) {
            QString s = text(QDateTime(QDate(2088, 12, 28), QTime(hour, 58, 58, 888)));
            for (QChar &c : s)
                if (c.isDigit())
                    c = QLatin1Char('8');
            w = std::max(w, measure_(s));
        }
        return w;
    };
    using P = LocaleTimes::Precision;
    dateWidth_ = widest([&](const QDateTime &m) { return times_.date(m); });
    minuteWidth_ = widest([&](const QDateTime &m) { return times_.time(m, P::Minute); });
    secondWidth_ = widest([&](const QDateTime &m) { return times_.time(m, P::Second); });
    millisecondWidth_ = widest([&](const QDateTime &m) { return times_.time(m, P::Millisecond); });
}

std::vector<int64_t> LocaleTimeAxis::ticks(int64_t fromMs, int64_t toMs, int64_t step) const
{
    std::vector<int64_t> out;
    if (step < kDay) {
        const int64_t first = offsetAt(fromMs);
        const int64_t last = offsetAt(toMs);
        out = tickTimes(fromMs, toMs, step, first);
        if (first != last) {
            // The clocks change inside the view: each tick counts in its own
            // local time.
            std::erase_if(out, [&](int64_t t) { return offsetAt(t) != first; });
            for (const int64_t t : tickTimes(fromMs, toMs, step, last))
                if (offsetAt(t) == last)
                    out.push_back(t);
            std::sort(out.begin(), out.end());
            out.erase(std::unique(out.begin(), out.end()), out.end());
        }
        return out;
    }
    const int64_t days = step / kDay;
    // Julian day 0 was a Monday.
    const int64_t weekStart = int64_t(times_.locale().firstDayOfWeek()) - 1;
    for (QDate d = localDate(fromMs); d.isValid(); d = d.addDays(1)) {
        const int64_t t = d.startOfDay().toMSecsSinceEpoch();
        if (t >= toMs)
            break;
        const int64_t jd = d.toJulianDay();
        const bool on = days < 7 ? floorDiv(jd, days) * days == jd
                                 : floorDiv(jd - weekStart, 7) * 7 == jd - weekStart &&
                                       floorDiv(jd - weekStart, 7) % (days / 7) == 0;
        if (on && t >= fromMs)
            out.push_back(t);
    }
    return out;
}

std::vector<TimeLabel> LocaleTimeAxis::labelsFor(int64_t leftMs, int64_t rightMs, int64_t step,
                                                 int64_t msPerColumn, double plotLeft) const
{
    using P = LocaleTimes::Precision;
    const P precision = step < kSecond ? P::Millisecond : step < kMinute ? P::Second : P::Minute;
    std::vector<TimeLabel> out;
    for (const int64_t t : ticks(leftMs, rightMs, step)) {
        const QDateTime moment = QDateTime::fromMSecsSinceEpoch(t);
        TimeLabel l;
        l.timeMs = t;
        l.column = int((t - leftMs) / msPerColumn);
        l.date = step >= kDay || moment == moment.date().startOfDay();
        l.text = l.date ? times_.date(moment) : times_.time(moment, precision);
        l.width = measure_(l.text);
        l.left = plotLeft + l.column + 0.5 - l.width / 2;
        out.push_back(std::move(l));
    }
    return out;
}

std::vector<TimeLabel> LocaleTimeAxis::layout(int64_t leftMs, int64_t msPerColumn, int columns,
                                              double plotLeft, double chartWidth, double gap) const
{
    msPerColumn = std::max<int64_t>(msPerColumn, 1);
    const int64_t rightMs = leftMs + msPerColumn * std::max(columns, 1);
    const bool newDay = localDate(leftMs) != localDate(rightMs - 1);
    std::vector<TimeLabel> labels;
    for (const int64_t step : kSteps) {
        const bool last = step == kSteps.back();
        double need = step >= kDay      ? dateWidth_
                      : step >= kMinute ? minuteWidth_
                      : step >= kSecond ? secondWidth_
                                        : millisecondWidth_;
        if (step < kDay && newDay)
            need = std::max(need, dateWidth_);
        if (double(step) / double(msPerColumn) < need + gap && !last)
            continue;
        labels = labelsFor(leftMs, rightMs, step, msPerColumn, plotLeft);
        const auto crowded = [gap](const TimeLabel &a, const TimeLabel &b) {
            return b.left < a.left + a.width + gap;
        };
        if (std::adjacent_find(labels.begin(), labels.end(), crowded) == labels.end())
            break;
    }

    // Inside the chart, and no two labels overlapping: a date before a time.
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        TimeLabel &l = labels[i];
        l.left = std::clamp(l.left, 0.0, std::max(0.0, chartWidth - l.width));
        bool keep = true;
        while (!kept.empty()) {
            TimeLabel &prev = labels[kept.back()];
            if (l.left >= prev.left + prev.width + gap / 2)
                break;
            if (!l.date || prev.date) {
                keep = false;
                break;
            }
            prev.text.clear();
            kept.pop_back();
        }
        if (keep)
            kept.push_back(i);
        else
            l.text.clear();
    }
    return labels;
}

} // namespace qzt::chart

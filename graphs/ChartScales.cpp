#include "graphs/ChartScales.h"

#include "graphs/SampleRing.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace qzt::chart {

namespace {

constexpr std::array<int64_t, 18> kTickSteps{
    kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,   2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay};

} // namespace

QString formatTime(QStringView pattern, const CivilTime &t)
{
    // The pattern becomes a Qt date-time format of the C locale, which
    // writes the same English month names and AM/PM. Literal text goes in
    // quotes. Qt has no 12-hour hour without the meridiem in the same
    // format: there %I is written out here.
    const bool meridiem = pattern.contains(QLatin1String("%p"));
    QString format;
    QString literal;
    const auto flush = [&] {
        if (literal.isEmpty())
            return;
        format += QLatin1Char('\'') + literal.replace(QLatin1Char('\''), QLatin1String("''")) +
                  QLatin1Char('\'');
        literal.clear();
    };
    const auto field = [&](const char *code) {
        flush();
        format += QLatin1String(code);
    };
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c != QLatin1Char('%') || i + 1 == pattern.size()) {
            literal += c;
            continue;
        }
        const QChar conversion = pattern[++i];
        switch (conversion.unicode()) {
        case 'I':
            if (meridiem) {
                field("hh");
            } else {
                const int hour = t.hour % 12 == 0 ? 12 : t.hour % 12;
                literal += QString::number(hour).rightJustified(2, QLatin1Char('0'));
            }
            break;
        case 'H':
            field("HH");
            break;
        case 'M':
            field("mm");
            break;
        case 'S':
            field("ss");
            break;
        case 'p':
            field("AP");
            break;
        case 'm':
            field("MM");
            break;
        case 'd':
            field("dd");
            break;
        case 'y':
            field("yy");
            break;
        case 'Y':
            field("yyyy");
            break;
        case 'b':
            field("MMM");
            break;
        case '%':
            literal += QLatin1Char('%');
            break;
        default:
            literal += c;
            literal += conversion;
            break;
        }
    }
    flush();
    const QDateTime moment(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second),
                           Qt::UTC);
    return QLocale::c().toString(moment, format);
}

CivilTime localTime(int64_t msSinceEpoch)
{
    const QDateTime dt = QDateTime::fromMSecsSinceEpoch(msSinceEpoch);
    const QDate d = dt.date();
    const QTime t = dt.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

QString widestLabel(QStringView pattern)
{
    // A morning in May: "AM" and "May" are the widest meridiem and month in
    // common sans-serif faces.
    QString text = formatTime(pattern, CivilTime{2088, 5, 18, 8, 18, 18});
    for (QChar &c : text)
        if (c.isDigit())
            c = QLatin1Char('8');
    return text;
}

int patternForStep(int64_t stepMs)
{
    if (stepMs < kMinute)
        return 0;
    if (stepMs < kHour)
        return 1;
    if (stepMs < kDay)
        return 2;
    if (stepMs < 28 * kDay)
        return 3;
    if (stepMs < 365 * kDay)
        return 4;
    return 5;
}

int64_t tickStep(double msPerPx, const std::array<double, kTimeLabelPatterns.size()> &labelWidthPx,
                 double gapPx)
{
    for (int64_t step : kTickSteps)
        if (double(step) >= (labelWidthPx[std::size_t(patternForStep(step))] + gapPx) * msPerPx)
            return step;
    return kTickSteps.back();
}

std::vector<int64_t> tickTimes(int64_t from, int64_t to, int64_t stepMs, int64_t utcOffsetMs)
{
    std::vector<int64_t> out;
    if (stepMs <= 0)
        return out;
    // First local multiple of the step at or after `from`.
    int64_t t = (floorDiv(from + utcOffsetMs - 1, stepMs) + 1) * stepMs - utcOffsetMs;
    for (; t < to; t += stepMs)
        out.push_back(t);
    return out;
}

ValueTicks valueTicks(double lower, double upper, int maxTicks)
{
    if (!(upper > lower) || maxTicks < 2 || !std::isfinite(upper - lower))
        return {};
    const double raw = (upper - lower) / (maxTicks - 1);
    double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (;;) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double step = m * magnitude;
            // A small tolerance keeps ticks that sit on the bounds.
            const double first = std::ceil(lower / step - 1e-9);
            const double last = std::floor(upper / step + 1e-9);
            const int count = int(last - first) + 1;
            if (count <= maxTicks)
                return {first * step, step, count};
        }
        magnitude *= 10.0;
    }
}

TimeView::TimeView(int columns, int64_t spanMs)
    : columns_(std::max(columns, 1)), msPerColumn_(1), spanWanted_(spanMs)
{
    setColumns(columns_);
}

void TimeView::setMsPerColumn(int64_t ms)
{
    const int64_t lowest = (kMinSpanMs + columns_ - 1) / columns_;
    const int64_t highest = (maxSpan_ + columns_ - 1) / columns_;
    msPerColumn_ =
        std::clamp<int64_t>(ms, std::max<int64_t>(lowest, 1), std::max<int64_t>(highest, 1));
    end_ = floorDiv(end_, msPerColumn_) * msPerColumn_;
}

void TimeView::setColumns(int columns)
{
    columns_ = std::max(columns, 1);
    spanWanted_ = std::clamp(spanWanted_, kMinSpanMs, maxSpan_);
    setMsPerColumn(std::llround(double(spanWanted_) / columns_));
}

void TimeView::setSpan(int64_t spanMs, int64_t nowMs)
{
    const int64_t end = rightEdge(nowMs);
    spanWanted_ = std::clamp(spanMs, kMinSpanMs, maxSpan_);
    end_ = end;
    setMsPerColumn(std::llround(double(spanWanted_) / columns_));
}

int64_t TimeView::rightEdge(int64_t nowMs) const
{
    if (live_)
        return (floorDiv(nowMs, msPerColumn_) + 1) * msPerColumn_;
    return end_;
}

void TimeView::zoom(double factor, double anchorColumn, int64_t nowMs)
{
    const int64_t oldPerColumn = msPerColumn_;
    const double anchor =
        live_ ? double(columns_) : std::clamp(anchorColumn, 0.0, double(columns_));
    const double anchorTime = double(leftEdge(nowMs)) + anchor * double(oldPerColumn);
    spanWanted_ =
        std::clamp<int64_t>(std::llround(double(spanMs()) * factor), kMinSpanMs, maxSpan_);
    setMsPerColumn(std::llround(double(spanWanted_) / columns_));
    if (live_)
        return;
    const double end = anchorTime + (double(columns_) - anchor) * double(msPerColumn_);
    end_ = std::llround(end / double(msPerColumn_)) * msPerColumn_;
    const int64_t liveEnd = (floorDiv(nowMs, msPerColumn_) + 1) * msPerColumn_;
    if (end_ >= liveEnd && follows_)
        live_ = true;
}

void TimeView::pan(double columns, int64_t nowMs, int64_t oldestMs)
{
    const int64_t liveEnd = (floorDiv(nowMs, msPerColumn_) + 1) * msPerColumn_;
    int64_t end = rightEdge(nowMs) - std::llround(columns) * msPerColumn_;
    // The window starts no earlier than the column of the oldest sample.
    const int64_t earliest = floorDiv(oldestMs, msPerColumn_) * msPerColumn_ + spanMs();
    end = std::max(end, earliest);
    if (end >= liveEnd && !follows_)
        end = liveEnd;
    if (end >= liveEnd && follows_) {
        live_ = true;
        return;
    }
    live_ = false;
    end_ = end;
}

void TimeView::setRecorded(int64_t maxSpanMs)
{
    follows_ = false;
    maxSpan_ = std::max(maxSpanMs, kMinSpanMs);
}

void TimeView::showRange(int64_t fromMs, int64_t toMs)
{
    live_ = false;
    spanWanted_ = std::clamp(toMs - fromMs, kMinSpanMs, maxSpan_);
    // Columns start at multiples of their width, so the window may have to
    // begin up to a column early; widen the columns until it still reaches
    // toMs.
    setMsPerColumn((spanWanted_ + columns_ - 1) / columns_);
    while (floorDiv(fromMs, msPerColumn_) * msPerColumn_ + spanMs() < fromMs + spanWanted_ &&
           msPerColumn_ < (maxSpan_ + columns_ - 1) / columns_)
        setMsPerColumn(msPerColumn_ + 1);
    end_ = floorDiv(fromMs, msPerColumn_) * msPerColumn_ + spanMs();
}

} // namespace qzt::chart

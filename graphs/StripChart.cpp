#include "graphs/StripChart.h"

#include "common/Dialogs.h"
#include "common/TextFormat.h"
#include "graphs/GraphRules.h"
#include "graphs/TraceRaster.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace qzt {

using namespace chart;

namespace {

constexpr double kNormalPointSize = 8.25;
constexpr double kTitlePointSize = 13.5;
// Where the plot ends on the right: the legend column stands beyond it,
// centred at 0.90 of the width.
constexpr double kPlotRightFraction = 0.80;
constexpr double kLabelGapPx = 16.0;
constexpr double kZoomPerWheelNotch = 1.25;
constexpr double kZoomPerKey = 2.0;
constexpr double kPanPerKey = 0.1; // of the span
constexpr int64_t kShortSpanMs = 5LL * 60 * 1000;

const QColor kGridColour(225, 225, 225);
const QColor kFrameColour(128, 128, 128);
const QColor kHistoryColour(160, 82, 0);

QFont chartFont(double pointSize)
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(pointSize);
    return f;
}

QFont titleFont()
{
    QFont f = chartFont(kTitlePointSize);
    f.setBold(true);
    f.setUnderline(true);
    return f;
}

QString valueLabel(double v, double step)
{
    const int decimals = step >= 1.0 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    if (std::abs(v) < step * 1e-6)
        v = 0.0; // no "-0"
    return QString::number(v, 'f', decimals);
}

} // namespace

StripChart::StripChart(const ChartSetup &setup, Clock clock, QWidget *parent,
                       std::size_t historyCapacity)
    : QWidget(parent), clock_(std::move(clock)), history_(setup.traces.size(), historyCapacity),
      traceNames_(setup.traceNames), unit_(setup.unit), lower_(setup.lowerBound),
      upper_(setup.upperBound), font_(chartFont(kNormalPointSize)), titleFont_(titleFont()),
      metrics_(font_), titleMetrics_(titleFont_)
{
    traces_.reserve(setup.traces.size());
    for (const QColor &c : setup.traces)
        traces_.push_back({c});
    for (const CaptionSetup &c : setup.captions) {
        QStaticText layout(c.text);
        layout.setTextFormat(Qt::PlainText);
        layout.prepare(QTransform(), c.title ? titleFont_ : font_);
        captions_.push_back({c.text, c.colour, c.x, c.y, c.title, layout, false});
    }
    for (std::size_t i = 0; i < kTimeLabelPatterns.size(); ++i)
        labelWidths_[i] = metrics_.horizontalAdvance(widestLabel(timeLabelPattern(int(i))));

    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setMinimumSize(240, 160);
    // Narrower than this, a caption would reach past the right edge.
    double need = 0;
    const auto fits = [&need](double textWidth, double x) {
        need = std::max(need, textWidth / (2 * (1 - x)));
    };
    for (const CaptionSetup &c : setup.captions)
        fits(QFontMetricsF(c.title ? titleFont_ : font_).horizontalAdvance(c.text), c.x);
    for (std::size_t i = 0; i < setup.traceNames.size() && i < setup.captions.size(); ++i)
        fits(metrics_.horizontalAdvance(setup.traceNames[i] + QStringLiteral(": -888.88") +
                                        setup.unit),
             setup.captions[i].x);
    captionsWidth_ = int(std::ceil(need)) + 2;
}

StripChart::~StripChart() = default;

void StripChart::appendSample(int trace, double value)
{
    if (trace < 0 || trace >= traceCount())
        return;
    history_.append(trace, now(), float(value));
    update();
}

void StripChart::showRecord(ChartSource *source, int64_t fromMs, int64_t toMs)
{
    source_ = source ? source : &history_;
    recordStart_ = fromMs;
    recordEnd_ = toMs;
    layout();
    view_.setRecorded(toMs - fromMs + (toMs - fromMs) / 8 + TimeView::kMinSpanMs);
    view_.showRange(fromMs, toMs);
    wholeRecord_ = true;
    // A record is browsed by keys, too.
    setFocusPolicy(Qt::StrongFocus);
    update();
}

void StripChart::appendGap(int trace)
{
    if (trace < 0 || trace >= traceCount())
        return;
    history_.appendGap(trace);
    update();
}

void StripChart::selectCaption(int index)
{
    selected_ = index;
}

void StripChart::setCaption(const QString &text)
{
    if (selected_ < 0 || selected_ >= captionCount())
        return;
    Caption &c = captions_[std::size_t(selected_)];
    c.text = text;
    // Laid out at the next paint: a caption is rewritten at every tick, but
    // only what is on screen when the chart paints needs its layout.
    c.stale = true;
    update();
}

void StripChart::setLowerBound(int16_t value)
{
    lower_ = value;
    update();
}

void StripChart::setUpperBound(int16_t value)
{
    upper_ = value;
    update();
}

QFont StripChart::captionFont(int index) const
{
    return captions_.at(std::size_t(index)).title ? titleFont_ : font_;
}

QPointF StripChart::captionPosition(int index) const
{
    const Caption &c = captions_.at(std::size_t(index));
    return {c.x, c.y};
}

QStringList StripChart::timeLabelPatterns()
{
    QStringList out;
    for (const char *p : kTimeLabelPatterns)
        out << QLatin1String(p);
    return out;
}

void StripChart::layout() const
{
    if (laidOutFor_ == size())
        return;
    laidOutFor_ = size();
    const int w = width();
    const int h = height();
    const int left = int(std::ceil(metrics_.horizontalAdvance(QStringLiteral("-32768")))) + 8;
    const int right = std::max(left + 20, int(kPlotRightFraction * w));
    // Below the title, whose centre stands at 0.12 of the height.
    const int top = int(0.12 * h + titleMetrics_.height() / 2 + 8);
    const int bottom = std::max(top + 20, h - int(std::ceil(metrics_.height())) - 10);
    plot_ = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    view_.setColumns(plot_.width());
    if (wholeRecord_)
        view_.showRange(recordStart_, recordEnd_);
}

QRect StripChart::plotRect() const
{
    layout();
    return plot_;
}

int64_t StripChart::oldestSample() const
{
    return std::min(now(), source_->oldest().value_or(now()));
}

void StripChart::goLive()
{
    if (isRecord()) {
        showAllHistory();
        return;
    }
    view_.goLive();
    moved();
}

void StripChart::showLast(int64_t spanMs)
{
    layout();
    if (isRecord()) {
        wholeRecord_ = false;
        view_.showRange(now() - spanMs, now());
        moved();
        return;
    }
    view_.goLive();
    view_.setSpan(spanMs, now());
    moved();
}

void StripChart::showAllHistory()
{
    layout();
    if (isRecord()) {
        view_.showRange(recordStart_, recordEnd_);
        wholeRecord_ = true;
        moved();
        return;
    }
    showLast(now() - oldestSample() + view_.msPerColumn());
}

void StripChart::panBy(int pixels)
{
    moveView(pixels);
}

void StripChart::moveView(double columns)
{
    layout();
    wholeRecord_ = false;
    view_.pan(columns, now(), oldestSample());
    moved();
}

void StripChart::zoomBy(double factor, int plotX)
{
    layout();
    wholeRecord_ = false;
    view_.zoom(factor, plotX, now());
    moved();
}

void StripChart::panByFraction(double fraction)
{
    layout();
    moveView(std::round(fraction * view_.columns()));
}

void StripChart::zoomAboutCentre(double factor)
{
    layout();
    zoomBy(factor, view_.columns() / 2);
}

void StripChart::showStart()
{
    layout();
    // Further than the history reaches; the view stops at its oldest column.
    const int64_t left = view_.leftEdge(now());
    moveView(double(left - oldestSample()) / double(view_.msPerColumn()) + 1);
}

void StripChart::showEnd()
{
    if (!isRecord()) {
        goLive();
        return;
    }
    layout();
    // A record's window stops at the column that holds its end.
    const int64_t right = view_.rightEdge(now());
    moveView(-(double(now() - right) / double(view_.msPerColumn()) + 2));
}

void StripChart::followView(const StripChart &leader)
{
    layout();
    const int columns = view_.columns();
    view_ = leader.view_;
    wholeRecord_ = leader.wholeRecord_;
    // Panels share one width; should this one differ for a moment, its own
    // layout keeps the span.
    if (view_.columns() != columns)
        view_.setColumns(columns);
    update();
}

void StripChart::followCursor(std::optional<int> x)
{
    linkedX_ = x;
    update();
}

void StripChart::moved()
{
    update();
    emit viewMoved();
}

ValueMap StripChart::valueMap() const
{
    const double range = upper_ > lower_ ? upper_ - lower_ : 1.0;
    return {upper_, plot_.height() / range};
}

double StripChart::yFor(double value) const
{
    return plot_.top() + valueMap()(value);
}

std::vector<StripChart::TimeTick> StripChart::timeTicks(int64_t left) const
{
    const int64_t perColumn = view_.msPerColumn();
    std::vector<TimeTick> ticks;
    if (isRecord()) {
        // A record is read at leisure, in the user's own way of writing times.
        if (!localeAxis_ || localeAxis_->times().locale() != locale())
            localeAxis_.emplace(
                locale(), [this](const QString &text) { return metrics_.horizontalAdvance(text); });
        for (TimeLabel &l : localeAxis_->layout(left, perColumn, view_.columns(), plot_.left(),
                                                width(), kLabelGapPx))
            ticks.push_back({l.column, l.timeMs, std::move(l.text), l.left});
        return ticks;
    }
    const int64_t step = tickStep(double(perColumn), labelWidths_, kLabelGapPx);
    const int64_t offset = int64_t(QDateTime::fromMSecsSinceEpoch(left).offsetFromUtc()) * 1000;
    const QString pattern = timeLabelPattern(patternForStep(step));
    for (const int64_t t : tickTimes(left, left + view_.spanMs(), step, offset)) {
        const int column = int((t - left) / perColumn);
        QString text = formatTime(pattern, localTime(t));
        const double w = label(text).size().width();
        const double textLeft = plot_.left() + column + 0.5 - w / 2;
        // A label that would cross the chart's edge is left out.
        if (textLeft < 0 || textLeft + w > width())
            text.clear();
        ticks.push_back({column, t, std::move(text), textLeft});
    }
    return ticks;
}

QStringList StripChart::timeLabels() const
{
    layout();
    QStringList out;
    for (const TimeTick &t : timeTicks(view_.leftEdge(now())))
        if (!t.text.isEmpty())
            out << t.text;
    return out;
}

void StripChart::paintEvent(QPaintEvent *)
{
    layout();
    QPainter p(this);
    const int64_t left = view_.leftEdge(now());
    const int maxValueTicks = std::clamp(plot_.height() / 28, 2, 11);
    const ValueTicks values = valueTicks(lower_, upper_, maxValueTicks);
    const std::vector<TimeTick> times = timeTicks(left);

    // The plot is one image we fill pixel by pixel; around it, white.
    const QRect r = rect();
    p.fillRect(QRect(0, 0, r.width(), plot_.top()), Qt::white);
    p.fillRect(QRect(0, plot_.bottom() + 1, r.width(), r.height() - plot_.bottom() - 1), Qt::white);
    p.fillRect(QRect(0, plot_.top(), plot_.left(), plot_.height()), Qt::white);
    p.fillRect(QRect(plot_.right() + 1, plot_.top(), r.width() - plot_.right() - 1, plot_.height()),
               Qt::white);
    paintPlot(left, values, times);
    p.drawImage(plot_.topLeft(), plotImage_);

    // Frame just outside the plot.
    p.fillRect(QRect(plot_.left() - 1, plot_.top() - 1, plot_.width() + 2, 1), kFrameColour);
    p.fillRect(QRect(plot_.left() - 1, plot_.bottom() + 1, plot_.width() + 2, 1), kFrameColour);
    p.fillRect(QRect(plot_.left() - 1, plot_.top(), 1, plot_.height()), kFrameColour);
    p.fillRect(QRect(plot_.right() + 1, plot_.top(), 1, plot_.height()), kFrameColour);

    paintAxisLabels(p, values, times);
    if (isRecord())
        updateRecordLegends();
    paintCaptions(p);

    if (!view_.live() && !isRecord()) {
        p.setFont(font_);
        const QString note = tr("History view: double-click for live");
        const QRectF box(plot_.left() + 4, plot_.top() + 4, metrics_.horizontalAdvance(note) + 8,
                         metrics_.height() + 4);
        p.fillRect(box, QColor(255, 244, 214));
        p.setPen(kHistoryColour);
        p.drawText(box, Qt::AlignCenter, note);
    }
    if (hoverX_) {
        paintReadout(p, *hoverX_);
    } else if (linkedX_) {
        p.setPen(QPen(kFrameColour, 1, Qt::DashLine));
        p.drawLine(QPointF(*linkedX_ + 0.5, plot_.top()), QPointF(*linkedX_ + 0.5, plot_.bottom()));
    }

    const std::pair<int64_t, int64_t> shown{left, left + view_.spanMs()};
    if (shown != shown_) {
        shown_ = shown;
        emit viewChanged(shown.first, shown.second);
    }
}

void StripChart::paintPlot(int64_t left, const ValueTicks &values,
                           const std::vector<TimeTick> &times)
{
    if (plotImage_.size() != plot_.size())
        plotImage_ = QImage(plot_.size(), QImage::Format_RGB32);
    plotImage_.fill(QColor(Qt::white).rgb());
    const int w = plotImage_.width();
    const int h = plotImage_.height();
    auto *bits = reinterpret_cast<QRgb *>(plotImage_.bits());
    const qsizetype stride = plotImage_.bytesPerLine() / qsizetype(sizeof(QRgb));
    const QRgb grid = kGridColour.rgb();

    // Grid first, traces over it.
    const ValueMap map = valueMap();
    for (int i = 0; i < values.count; ++i) {
        const int y = int(std::floor(map(values.first + i * values.step) + 0.5));
        if (y >= 0 && y < h)
            std::fill_n(bits + y * stride, w, grid);
    }
    for (const TimeTick &t : times)
        if (t.column >= 0 && t.column < w)
            for (int y = 0; y < h; ++y)
                bits[y * stride + t.column] = grid;

    const int count = view_.columns();
    const int64_t perColumn = view_.msPerColumn();
    const int64_t right = left + count * perColumn;
    spans_.resize(std::size_t(count));
    for (int i = 0; i < traceCount(); ++i) {
        if (!isRecord() && history_.ring(i).empty())
            continue;
        const std::span<const Column> columns =
            source_->columns(i, perColumn, left / perColumn, std::size_t(count));
        // The line runs in from the sample before the window and out to the
        // one after it.
        const auto columnOf = [&](int64_t t) {
            return std::clamp<int64_t>(floorDiv(t - left, perColumn), -100000, 100000);
        };
        std::optional<Vertex> entry;
        std::optional<Vertex> exit;
        if (const std::optional<Sample> s = source_->entry(i, left))
            entry = Vertex{columnOf(s->timeMs), s->value};
        if (const std::optional<Sample> s = source_->exit(i, right))
            exit = Vertex{columnOf(s->timeMs), s->value};
        rasterizeTrace(columns, map, entry, exit, h, spans_);
        if (isRecord()) {
            const auto newest = std::find_if(columns.rbegin(), columns.rend(),
                                             [](const Column &c) { return c.count > 0; });
            lastInView_.resize(traces_.size());
            lastInView_[std::size_t(i)] =
                newest != columns.rend() ? std::optional(newest->last) : std::nullopt;
        }

        const QRgb colour = traces_[std::size_t(i)].colour.rgb();
        for (int x = 0; x < std::min(count, w); ++x) {
            const Span &s = spans_[std::size_t(x)];
            for (int y = s.top; y <= s.bottom; ++y)
                bits[y * stride + x] = colour;
        }
    }
}

void StripChart::paintAxisLabels(QPainter &p, const ValueTicks &values,
                                 const std::vector<TimeTick> &times) const
{
    p.setFont(font_);
    p.setPen(Qt::black);
    for (int i = 0; i < values.count; ++i) {
        const double v = values.first + i * values.step;
        const double y = std::floor(yFor(v) + 0.5) + 0.5;
        const QStaticText &text = label(valueLabel(v, values.step));
        const QSizeF size = text.size();
        // The lowest stays clear of the time labels under the plot.
        const double top = std::min(y - size.height() / 2, plot_.bottom() + 4 - size.height());
        p.drawStaticText(QPointF(plot_.left() - 5 - size.width(), top), text);
    }
    for (const TimeTick &t : times) {
        p.fillRect(QRect(plot_.left() + t.column, plot_.bottom() + 2, 1, 3), kFrameColour);
        if (!t.text.isEmpty())
            p.drawStaticText(QPointF(t.textLeft, plot_.bottom() + 4), label(t.text));
    }
}

void StripChart::paintCaptions(QPainter &p)
{
    const double w = width();
    const double h = height();
    // A short record panel keeps its legends a line apart rather than let
    // them run into each other.
    double nextLegendY = 0;
    for (Caption &c : captions_) {
        double y = c.y * h;
        if (isRecord() && &c - captions_.data() < traceCount()) {
            y = std::max(y, nextLegendY);
            nextLegendY = y + metrics_.height();
        }
        p.setFont(c.title ? titleFont_ : font_);
        p.setPen(c.colour);
        if (c.stale) {
            c.layout.setText(c.text);
            c.layout.prepare(QTransform(), c.title ? titleFont_ : font_);
            c.stale = false;
        }
        const QSizeF size = c.layout.size();
        // Squeezed below its minimum, the chart shifts a caption left rather
        // than cut it at the right edge.
        const double left = std::max(0.0, std::min(c.x * w - size.width() / 2, w - size.width()));
        if (c.title) {
            // Static text loses the underline; the title is drawn the long way.
            p.drawText(
                QPointF(left, c.y * h + (titleMetrics_.ascent() - titleMetrics_.descent()) / 2),
                c.text);
        } else {
            p.drawStaticText(QPointF(left, y - size.height() / 2), c.layout);
        }
    }
}

void StripChart::updateRecordLegends()
{
    // The legends are captions 0 on, one per trace (see addChannelTraces).
    const std::optional<int> x = hoverX_ ? hoverX_ : linkedX_;
    const int64_t perColumn = view_.msPerColumn();
    const int64_t at =
        x ? view_.leftEdge(now()) + (*x - plot_.left()) * perColumn + perColumn / 2 : 0;
    const int64_t reach = std::max<int64_t>(perColumn, 1000);
    for (std::size_t n = 0; n < traces_.size() && n < traceNames_.size() && n < captions_.size();
         ++n) {
        std::optional<float> value;
        if (x) {
            if (const std::optional<Sample> s = source_->nearest(int(n), at, reach, perColumn / 2))
                value = s->value;
        } else if (n < lastInView_.size()) {
            value = lastInView_[n];
        }
        const QString label = traceNames_[n] + QStringLiteral(": ");
        const QString text = value ? legendText(label, *value, unit_) : label + QStringLiteral("-");
        if (captions_[n].text != text) {
            captions_[n].text = text;
            captions_[n].stale = true;
        }
    }
}

const QStaticText &StripChart::label(const QString &text) const
{
    // Axis labels repeat from paint to paint; the few hundred a long session
    // can show are dropped now and then.
    if (labels_.size() > 256)
        labels_.clear();
    auto it = labels_.find(text);
    if (it == labels_.end()) {
        QStaticText layout(text);
        layout.setTextFormat(Qt::PlainText);
        layout.prepare(QTransform(), font_);
        it = labels_.insert(text, layout);
    }
    return *it;
}

QStringList StripChart::readoutAt(int x) const
{
    layout();
    if (x < plot_.left() || x > plot_.right())
        return {};
    const int64_t perColumn = view_.msPerColumn();
    const int64_t at = view_.leftEdge(now()) + (x - plot_.left()) * perColumn + perColumn / 2;
    // The user's own way of writing a date and a time of day, to the
    // millisecond where a second spans many pixels.
    QStringList lines{LocaleTimes(locale()).dateTime(QDateTime::fromMSecsSinceEpoch(at),
                                                     LocaleTimes::precisionFor(view_.spanMs()))};
    if (const QString note = source_->readoutNote(at); !note.isEmpty())
        lines[0] += QStringLiteral("  ") + note;
    // The sample nearest to the cursor's time, if one lies within a column
    // or a second of it; inside a gap, only one in the cursor's own column.
    const int64_t reach = std::max<int64_t>(perColumn, 1000);
    for (std::size_t n = 0; n < traces_.size(); ++n) {
        const std::optional<Sample> best = source_->nearest(int(n), at, reach, perColumn / 2);
        if (n < traceNames_.size()) {
            const QString label = traceNames_[n] + QStringLiteral(": ");
            lines << (best ? legendText(label, best->value, unit_) : label + QStringLiteral("-"));
        } else {
            lines << (best ? fixed2Text(best->value) : QStringLiteral("-"));
        }
    }
    return lines;
}

void StripChart::paintReadout(QPainter &p, int x) const
{
    const QStringList lines = readoutAt(x);
    if (lines.isEmpty())
        return;
    p.setPen(QPen(kFrameColour, 1, Qt::DashLine));
    p.drawLine(QPointF(x + 0.5, plot_.top()), QPointF(x + 0.5, plot_.bottom()));

    p.setFont(font_);
    double w = 0;
    for (const QString &line : lines)
        w = std::max(w, metrics_.horizontalAdvance(line));
    const double lineHeight = metrics_.height();
    const double boxW = w + 20;
    const double boxH = lineHeight * lines.size() + 6;
    double bx = x + 8;
    if (bx + boxW > plot_.right())
        bx = x - 8 - boxW;
    const QRectF box(bx, plot_.top() + 24, boxW, boxH);
    p.setPen(kFrameColour);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRect(box);
    for (int i = 0; i < lines.size(); ++i) {
        const double baseline = box.top() + 3 + i * lineHeight + metrics_.ascent();
        if (i > 0) {
            const QColor colour = traces_[std::size_t(i - 1)].colour;
            p.fillRect(QRectF(box.left() + 4, baseline - 7, 7, 7), colour);
            p.setPen(colour);
        } else {
            p.setPen(Qt::black);
        }
        p.drawText(QPointF(box.left() + (i > 0 ? 15 : 4), baseline), lines[i]);
    }
}

QString StripChart::imagePath(const QString &path)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (!suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix))
        return path;
    return path + QStringLiteral(".png");
}

QPixmap StripChart::image()
{
    // The read-out and its cursor line follow the mouse; they belong on the
    // screen, not in a picture of the data.
    const std::optional<int> hover = std::exchange(hoverX_, std::nullopt);
    const std::optional<int> linked = std::exchange(linkedX_, std::nullopt);
    QPixmap picture = grab();
    hoverX_ = hover;
    linkedX_ = linked;
    return picture;
}

bool StripChart::saveImage(const QString &path, QString *error)
{
    QImageWriter writer(imagePath(path));
    if (writer.write(picture().toImage()))
        return true;
    if (error)
        *error = writer.errorString();
    return false;
}

void StripChart::copyImage()
{
    QGuiApplication::clipboard()->setPixmap(picture());
}

void StripChart::saveImageAs()
{
    if (!dialogs_)
        return;
    const QString path = dialogs_->chooseImageFile(this);
    QString error;
    if (path.isEmpty() || saveImage(path, &error))
        return;
    dialogs_->critical(this, tr("The image could not be saved to %1: %2.")
                                 .arg(QDir::toNativeSeparators(imagePath(path)), error));
}

QMenu *StripChart::createContextMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    auto add = [&](const char *name, const QString &text, auto slot) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction *live = add("actLive", tr("Back to live view"), [this] { goLive(); });
    live->setEnabled(!isLive());
    live->setVisible(!isRecord());
    add("actLastMinutes", tr("Show last 5 minutes"), [this] { showLast(kShortSpanMs); });
    add("actAllHistory", tr("Show all history"), [this] { showAllHistory(); });
    if (isRecord()) {
        // The keys of a focused record, each beside its twin; text after a
        // tab stands in the menu's shortcut column.
        menu->addSeparator();
        add("actZoomIn", tr("Zoom in") + QStringLiteral("\t+"),
            [this] { zoomAboutCentre(1 / kZoomPerKey); });
        add("actZoomOut", tr("Zoom out") + QStringLiteral("\t-"),
            [this] { zoomAboutCentre(kZoomPerKey); });
        add("actWholeFile", tr("Whole file") + QStringLiteral("\tCtrl+0, Esc"),
            [this] { showAllHistory(); });
        add("actEarlier", tr("Earlier") + QStringLiteral("\tLeft"),
            [this] { panByFraction(kPanPerKey); });
        add("actLater", tr("Later") + QStringLiteral("\tRight"),
            [this] { panByFraction(-kPanPerKey); });
        add("actPageEarlier", tr("Page earlier") + QStringLiteral("\tPgUp"),
            [this] { panByFraction(1); });
        add("actPageLater", tr("Page later") + QStringLiteral("\tPgDn"),
            [this] { panByFraction(-1); });
        add("actStart", tr("Start of file") + QStringLiteral("\tHome"), [this] { showStart(); });
        add("actEnd", tr("End of file") + QStringLiteral("\tEnd"), [this] { showEnd(); });
    }
    menu->addSeparator();
    add("actSaveImage", tr("Save image\u2026"), [this] { saveImageAs(); });
    add("actCopyImage", tr("Copy image"), [this] { copyImage(); });
    return menu;
}

void StripChart::mousePressEvent(QMouseEvent *event)
{
    layout();
    const QPoint pos = event->position().toPoint();
    // The plot and the time axis under it take part in dragging.
    if (event->button() == Qt::LeftButton && pos.x() >= plot_.left() && pos.x() <= plot_.right() &&
        pos.y() >= plot_.top()) {
        dragX_ = pos.x();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void StripChart::mouseMoveEvent(QMouseEvent *event)
{
    layout();
    const QPoint pos = event->position().toPoint();
    if (dragX_) {
        panBy(pos.x() - *dragX_);
        dragX_ = pos.x();
    }
    if (plot_.contains(pos))
        hoverX_ = pos.x();
    else
        hoverX_.reset();
    update();
    emit cursorMoved(hoverX_);
}

void StripChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && dragX_) {
        dragX_.reset();
        unsetCursor();
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void StripChart::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        goLive();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void StripChart::wheelEvent(QWheelEvent *event)
{
    layout();
    const QPoint delta = event->angleDelta();
    const int x = event->position().toPoint().x();
    const bool pan = delta.x() != 0 || event->modifiers().testFlag(Qt::ShiftModifier);
    if (pan) {
        // A tenth of the width per notch, wheel away from the user: newer.
        const int notches = delta.x() != 0 ? delta.x() : delta.y();
        panBy(-notches * plot_.width() / 1200);
    } else if (delta.y() != 0) {
        zoomBy(std::pow(kZoomPerWheelNotch, -delta.y() / 120.0), x - plot_.left());
    }
    event->accept();
}

void StripChart::leaveEvent(QEvent *event)
{
    hoverX_.reset();
    update();
    emit cursorMoved(std::nullopt);
    QWidget::leaveEvent(event);
}

void StripChart::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
    case Qt::Key_Left:
        panByFraction(kPanPerKey);
        break;
    case Qt::Key_Right:
        panByFraction(-kPanPerKey);
        break;
    case Qt::Key_PageUp:
        panByFraction(1);
        break;
    case Qt::Key_PageDown:
        panByFraction(-1);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: // + without Shift on many layouts
        zoomAboutCentre(1 / kZoomPerKey);
        break;
    case Qt::Key_Minus:
        zoomAboutCentre(kZoomPerKey);
        break;
    case Qt::Key_Home:
        showStart();
        break;
    case Qt::Key_End:
        showEnd();
        break;
    case Qt::Key_0:
        if (!ctrl) {
            QWidget::keyPressEvent(event);
            return;
        }
        showAllHistory();
        break;
    case Qt::Key_Escape:
        showAllHistory();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void StripChart::contextMenuEvent(QContextMenuEvent *event)
{
    // A popup rather than exec(): no event loop of our own, polling goes on.
    QMenu *menu = createContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace qzt

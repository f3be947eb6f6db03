#include "logging/LogViewWindow.h"

#include "common/Dialogs.h"
#include "common/TextFormat.h"
#include "graphs/ChannelTraces.h"
#include "graphs/TimeAxis.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProgressDialog>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace qzt {

using namespace logview;

namespace {

int64_t ceilDiv(int64_t a, int64_t b)
{
    return -chart::floorDiv(-a, b);
}

// A value axis a little wider than the extremes of the panel's channels
// over the whole file, in whole units.
std::pair<int16_t, int16_t> axisFor(const std::vector<Summary> &whole,
                                    const std::vector<int> &channels)
{
    Summary all;
    for (const int ch : channels)
        all.add(whole[std::size_t(ch)]);
    if (all.count == 0)
        return {0, 1};
    const auto clamp = [](double v) { return int16_t(std::clamp(v, -32768.0, 32767.0)); };
    const double pad = std::max(1.0, double(all.max - all.min) * 0.05);
    return {clamp(std::floor(double(all.min) - pad)), clamp(std::ceil(double(all.max) + pad))};
}

// The log's channels of one unit, as indices into its columns.
struct PanelChannels {
    Group group;
    std::vector<int> channels;
};

// Temperatures, then voltages: the groups that have a column in this log.
std::vector<PanelChannels> panelsFor(const LogData &data)
{
    std::vector<PanelChannels> panels;
    for (const Group g : {Group::Temperature, Group::Voltage}) {
        PanelChannels p{g, {}};
        for (std::size_t i = 0; i < data.channelCount(); ++i)
            if (channelInfo(data.channels()[i]).group == g)
                p.channels.push_back(int(i));
        if (!p.channels.empty())
            panels.push_back(std::move(p));
    }
    if (panels.empty()) // a log without columns still gets its (empty) chart
        panels.push_back({Group::Temperature, {}});
    return panels;
}

QString unitOf(const PanelChannels &panel)
{
    return QString::fromUtf16(
        channelInfo(panel.group == Group::Temperature ? Channel::Internal : Channel::Volts12).unit);
}

ChartSetup chartSetupFor(const LogData &data, const std::vector<Summary> &whole,
                         const PanelChannels &panel, bool top)
{
    ChartSetup setup;
    const auto [low, high] = axisFor(whole, panel.channels);
    setup.lowerBound = low;
    setup.upperBound = high;
    // The channels in the live graphs' colours, named by their columns.
    std::vector<Channel> channels;
    for (const int ch : panel.channels)
        channels.push_back(data.channels()[std::size_t(ch)]);
    addChannelTraces(setup, channels, LegendStart::Column);
    setup.unit = unitOf(panel);
    if (top)
        setup.captions.push_back(titleCaption(data.model()));
    // The value axis's unit, above its labels.
    setup.captions.push_back({setup.unit, Qt::black, 0.04, 0.12});
    return setup;
}

// One panel's traces: the log's channels of its unit.
class PanelSource : public chart::ChartSource {
public:
    PanelSource(LogViewSource &all, std::vector<int> channels)
        : all_(all), channels_(std::move(channels))
    {
    }
    std::optional<int64_t> oldest() const override { return all_.oldest(); }
    std::span<const chart::Column> columns(int trace, int64_t msPerColumn, int64_t firstColumn,
                                           std::size_t count) override
    {
        return all_.columns(channel(trace), msPerColumn, firstColumn, count);
    }
    std::optional<chart::Sample> entry(int trace, int64_t timeMs) const override
    {
        return all_.entry(channel(trace), timeMs);
    }
    std::optional<chart::Sample> exit(int trace, int64_t timeMs) const override
    {
        return all_.exit(channel(trace), timeMs);
    }
    std::optional<chart::Sample> nearest(int trace, int64_t timeMs, int64_t reach,
                                         int64_t reachInGap) const override
    {
        return all_.nearest(channel(trace), timeMs, reach, reachInGap);
    }
    QString readoutNote(int64_t timeMs) const override { return all_.readoutNote(timeMs); }

private:
    int channel(int trace) const { return channels_.at(std::size_t(trace)); }

    LogViewSource &all_;
    std::vector<int> channels_;
};

// The scrolled content of the window. Its wrapped labels make its height
// depend on its width; that height is the least its layout can take, so that
// the content scrolls only when the window is smaller than it can be made.
class Content : public QWidget {
public:
    int heightForWidth(int width) const override
    {
        return layout()->totalMinimumHeightForWidth(width);
    }
};

} // namespace

LogViewSource::LogViewSource(const LogData &data, int64_t startMs) : data_(data), start_(startMs) {}

int64_t LogViewSource::endMs() const
{
    return start_ + int64_t(data_.rowCount()) * kMsPerLine;
}

uint64_t LogViewSource::rowAt(int64_t timeMs) const
{
    const int64_t row = ceilDiv(timeMs - start_, kMsPerLine);
    return uint64_t(std::clamp<int64_t>(row, 0, int64_t(data_.rowCount())));
}

std::optional<int64_t> LogViewSource::oldest() const
{
    return data_.rowCount() ? std::optional(start_) : std::nullopt;
}

std::span<const chart::Column> LogViewSource::columns(int trace, int64_t msPerColumn,
                                                      int64_t firstColumn, std::size_t count)
{
    const Key key{msPerColumn, firstColumn, count};
    if (key_ != key) {
        key_ = key;
        edges_.resize(count + 1);
        for (std::size_t c = 0; c <= count; ++c)
            edges_[c] = rowAt((firstColumn + int64_t(c)) * msPerColumn);
        data_.columns(edges_, columns_);
    }
    return columns_.at(std::size_t(trace));
}

std::optional<chart::Sample> LogViewSource::sampleAt(int trace, int64_t row) const
{
    if (row < 0 || uint64_t(row) >= data_.rowCount())
        return std::nullopt;
    const std::optional<float> v = data_.row(Row{uint64_t(row)}).at(std::size_t(trace));
    if (!v)
        return std::nullopt;
    return chart::Sample{start_ + row * kMsPerLine, *v};
}

std::optional<chart::Sample> LogViewSource::entry(int trace, int64_t timeMs) const
{
    return sampleAt(trace, int64_t(rowAt(timeMs)) - 1);
}

std::optional<chart::Sample> LogViewSource::exit(int trace, int64_t timeMs) const
{
    // An empty field there is a gap: the line stops at the window's edge.
    return sampleAt(trace, int64_t(rowAt(timeMs)));
}

std::optional<chart::Sample> LogViewSource::nearest(int trace, int64_t timeMs, int64_t reach,
                                                    int64_t) const
{
    const int64_t row = chart::floorDiv(timeMs - start_ + kMsPerLine / 2, kMsPerLine);
    const std::optional<chart::Sample> s = sampleAt(trace, row);
    if (s && std::abs(s->timeMs - timeMs) <= reach)
        return s;
    return std::nullopt;
}

QString LogViewSource::readoutNote(int64_t timeMs) const
{
    const int64_t row = chart::floorDiv(timeMs - start_ + kMsPerLine / 2, kMsPerLine);
    if (row < 0 || uint64_t(row) >= data_.rowCount())
        return {};
    return QStringLiteral("line %1").arg(fileLine(Row{uint64_t(row)}));
}

LogViewWindow::LogViewWindow(const QString &path, std::unique_ptr<LogData> data, QWidget *parent)
    : QWidget(parent), path_(path), data_(std::move(data))
{
    setObjectName(QStringLiteral("frmLogView"));
    setWindowTitle(QFileInfo(path).fileName());

    const QDateTime start =
        data_->started().value_or(QDateTime::fromMSecsSinceEpoch(0, Qt::LocalTime));
    source_ = std::make_unique<LogViewSource>(*data_, start.toMSecsSinceEpoch());
    const int64_t end = source_->endMs();

    // Everything sits in a scrolled area: a window smaller than its content
    // can be (at a large scale, in a small main window) scrolls instead of
    // laying its widgets over each other.
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scrLogView"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    auto *content = new Content;

    // One panel per unit, temperatures on top, each with its own value axis.
    auto *panels = new QVBoxLayout;
    const std::vector<Summary> whole = data_->summarize(Row{0}, Row{data_->rowCount()});
    for (const PanelChannels &p : panelsFor(*data_)) {
        auto *chart = new StripChart(
            chartSetupFor(*data_, whole, p, charts_.empty()), [end] { return end; }, content, 1);
        chart->setObjectName(charts_.empty() ? QStringLiteral("stpLog")
                                             : QStringLiteral("stpLogVolts"));
        chart->setMinimumHeight(100);
        panelSources_.push_back(std::make_unique<PanelSource>(*source_, p.channels));
        chart->showRecord(panelSources_.back().get(), source_->startMs(), end);
        chart->setPicture([this] { return picture(); });
        // Tab goes from the top panel to the statistics; a click focuses any.
        if (!charts_.empty())
            chart->setFocusPolicy(Qt::ClickFocus);
        panels->addWidget(chart, 1);
        charts_.push_back(chart);
        units_.push_back(unitOf(p));
    }
    // The time axes are locked together: whichever panel the user moves
    // leads the others.
    for (StripChart *leader : charts_) {
        connect(leader, &StripChart::viewMoved, this, [this, leader] {
            for (StripChart *c : charts_)
                if (c != leader)
                    c->followView(*leader);
        });
        // One cursor through every panel, each legend at its time.
        connect(leader, &StripChart::cursorMoved, this, [this, leader](std::optional<int> x) {
            for (StripChart *c : charts_)
                if (c != leader)
                    c->followCursor(x);
        });
    }

    // Statistics of the visible lines, one row per channel: a table whose
    // columns keep their width, and which scrolls through its rows when the
    // window is short.
    side_ = new QBoxLayout(QBoxLayout::TopToBottom);
    lblRange = new QLabel(content);
    lblRange->setObjectName(QStringLiteral("lblRange"));
    lblRange->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    side_->addWidget(lblRange);
    tblStatistics = new QTableWidget(int(data_->channelCount()), 4, content);
    tblStatistics->setObjectName(QStringLiteral("tblStatistics"));
    tblStatistics->setHorizontalHeaderLabels({tr("Channel"), tr("Min"), tr("Max"), tr("Mean")});
    tblStatistics->verticalHeader()->hide();
    tblStatistics->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblStatistics->setSelectionMode(QAbstractItemView::NoSelection);
    tblStatistics->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QFontMetrics cells(tblStatistics->font());
    const QFontMetrics heads(tblStatistics->horizontalHeader()->font());
    int nameWidth = heads.horizontalAdvance(tr("Channel"));
    for (std::size_t ch = 0; ch < data_->channelCount(); ++ch) {
        const ChannelInfo &info = channelInfo(data_->channels()[ch]);
        auto *name = new QTableWidgetItem(QStringLiteral("%1 (%2)").arg(
            QLatin1String(info.column), QString::fromUtf16(info.unit)));
        name->setForeground(QColor::fromRgb(info.rgb));
        tblStatistics->setItem(int(ch), 0, name);
        nameWidth = std::max(nameWidth, cells.horizontalAdvance(name->text()));
        for (int k = 1; k < 4; ++k) {
            auto *value = new QTableWidgetItem;
            value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tblStatistics->setItem(int(ch), k, value);
        }
    }
    // Wide enough for any value the readings can take, so the columns do
    // not jump as the view moves.
    const int valueWidth = std::max(cells.horizontalAdvance(QStringLiteral("-32768.00")),
                                    heads.horizontalAdvance(tr("Mean")));
    const int pad = 2 * tblStatistics->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
    tblStatistics->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblStatistics->setColumnWidth(0, nameWidth + pad);
    for (int k = 1; k < 4; ++k)
        tblStatistics->setColumnWidth(k, valueWidth + pad);
    const int frame = 2 * tblStatistics->frameWidth();
    tblStatistics->setFixedWidth(nameWidth + 3 * valueWidth + 4 * pad + frame +
                                 tblStatistics->verticalScrollBar()->sizeHint().width());
    const int rowHeight = cells.height() + 6;
    tblStatistics->verticalHeader()->setDefaultSectionSize(rowHeight);
    const int headHeight = tblStatistics->horizontalHeader()->sizeHint().height();
    tblStatistics->setMinimumHeight(headHeight + rowHeight + frame);
    tblStatistics->setMaximumHeight(headHeight + rowHeight * tblStatistics->rowCount() + frame);
    side_->addWidget(tblStatistics);
    side_->addStretch();

    body_ = new QBoxLayout(QBoxLayout::LeftToRight);
    body_->addLayout(panels, 1);
    body_->addLayout(side_);

    // Lines carry no time: say where the axis comes from, and what was odd.
    auto *layout = new QVBoxLayout(content);
    layout->addLayout(body_, 1);
    // The start as the axis and read-out write times; as the file has it
    // where it cannot be read.
    const QString started =
        data_->started()
            ? chart::LocaleTimes(locale()).dateTime(start, chart::LocaleTimes::Precision::Second)
            : data_->dateText() + QLatin1Char(' ') + data_->timeText();
    auto *timeNote = new QLabel(
        tr("Times are line 2's date and time (%1) plus 50 ms for each line.").arg(started),
        content);
    timeNote->setObjectName(QStringLiteral("lblTimeNote"));
    timeNote->setWordWrap(true);
    layout->addWidget(timeNote);
    for (const Note &n : data_->notes()) {
        auto *note = new QLabel(n.text, content);
        note->setObjectName(QStringLiteral("lblNote"));
        note->setWordWrap(true);
        note->setStyleSheet(QStringLiteral("background: #fff4d6; color: #a05200; padding: 2px"));
        layout->addWidget(note);
    }
    scroll->setWidget(content);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    // Whichever panel paints the new window first brings the table up to date.
    for (StripChart *c : charts_)
        connect(c, &StripChart::viewChanged, this, &LogViewWindow::showStatistics);
    showStatistics(source_->startMs(), end);
}

LogViewWindow::~LogViewWindow() = default;

void LogViewWindow::resizeEvent(QResizeEvent *event)
{
    // Too narrow for the table beside a useful chart: the table goes under.
    const bool beside = width() >= tblStatistics->width() + 560;
    body_->setDirection(beside ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    side_->setDirection(beside ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    QWidget::resizeEvent(event);
}

void LogViewWindow::showStatistics(int64_t fromMs, int64_t toMs)
{
    const uint64_t first = source_->rowAt(fromMs);
    const uint64_t last = source_->rowAt(toMs);
    lblRange->setText(
        first < last ? tr("Lines %1 to %2").arg(fileLine(Row{first})).arg(fileLine(Row{last}) - 1)
                     : tr("No lines in view"));
    const std::vector<Summary> s = data_->summarize(Row{first}, Row{last});
    for (std::size_t ch = 0; ch < s.size(); ++ch) {
        const bool any = s[ch].count > 0;
        const int row = int(ch);
        tblStatistics->item(row, 1)->setText(any ? fixed2Text(s[ch].min) : QStringLiteral("-"));
        tblStatistics->item(row, 2)->setText(any ? fixed2Text(s[ch].max) : QStringLiteral("-"));
        tblStatistics->item(row, 3)->setText(any ? fixed2Text(float(s[ch].mean()))
                                                 : QStringLiteral("-"));
    }
}

QStringList LogViewWindow::statistics() const
{
    QStringList out;
    for (int row = 0; row < tblStatistics->rowCount(); ++row)
        out << tblStatistics->item(row, 1)->text() + QLatin1Char(' ') +
                   tblStatistics->item(row, 2)->text() + QLatin1Char(' ') +
                   tblStatistics->item(row, 3)->text();
    return out;
}

QStringList LogViewWindow::pictureHeading() const
{
    const int64_t end = source_->endMs();
    const int64_t left = chart()->view().leftEdge(end);
    // The lines in view, the way the statistics count them.
    const uint64_t first = source_->rowAt(left);
    const uint64_t last = source_->rowAt(left + chart()->view().spanMs());
    const auto lineTime = [this](uint64_t row) {
        return source_->startMs() + int64_t(row) * kMsPerLine;
    };
    // As the read-out writes them.
    const chart::LocaleTimes times(locale());
    const auto moment = [&](uint64_t row) {
        return times.dateTime(QDateTime::fromMSecsSinceEpoch(lineTime(row)),
                              chart::LocaleTimes::precisionFor(chart()->view().spanMs()));
    };
    const QString range =
        first < last ? tr("%1 to %2").arg(moment(first), moment(last - 1)) : tr("No lines in view");
    QStringList units;
    for (const QString &u : units_)
        units << u;
    return {QFileInfo(path_).fileName(), range,
            tr("Units: %1").arg(units.join(QStringLiteral(", ")))};
}

QPixmap LogViewWindow::picture() const
{
    std::vector<QPixmap> shots;
    int width = 0;
    int height = 0;
    for (StripChart *c : charts_) {
        shots.push_back(c->image());
        width = std::max(width, c->width());
        height += c->height();
    }
    const QStringList heading = pictureHeading();
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics lineMetrics(font());
    const int lineHeight = std::max(QFontMetrics(bold).height(), lineMetrics.height());
    const int top = 6 + lineHeight * int(heading.size()) + 4;
    const qreal ratio = shots.empty() ? 1.0 : shots.front().devicePixelRatio();
    QPixmap out(QSize(width, top + height) * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::white);
    QPainter p(&out);
    p.setPen(Qt::black);
    for (int i = 0; i < heading.size(); ++i) {
        p.setFont(i == 0 ? bold : font());
        p.drawText(QRect(8, 6 + i * lineHeight, width - 16, lineHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, heading[i]);
    }
    int y = top;
    for (const QPixmap &shot : shots) {
        p.drawPixmap(0, y, shot);
        y += int(shot.height() / shot.devicePixelRatio());
    }
    return out;
}

} // namespace qzt

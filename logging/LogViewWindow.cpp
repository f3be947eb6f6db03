#include "logging/LogViewWindow.h"

#include "common/Dialogs.h"
#include "common/TextFormat.h"
#include "graphs/ChannelTraces.h"
#include "graphs/TimeAxis.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
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

// A value axis a little wider than the file's extremes, in whole units.
std::pair<int16_t, int16_t> axisFor(const std::vector<Summary> &whole)
{
    Summary all;
    for (const Summary &s : whole)
        all.add(s);
    if (all.count == 0)
        return {0, 1};
    const auto clamp = [](double v) { return int16_t(std::clamp(v, -32768.0, 32767.0)); };
    const double pad = std::max(1.0, double(all.max - all.min) * 0.05);
    return {clamp(std::floor(double(all.min) - pad)), clamp(std::ceil(double(all.max) + pad))};
}

ChartSetup chartSetupFor(const LogData &data)
{
    ChartSetup setup;
    const auto [low, high] = axisFor(data.summarize(Row{0}, Row{data.rowCount()}));
    setup.lowerBound = low;
    setup.upperBound = high;
    // The channels in the live graphs' colours, named by their columns.
    addChannelTraces(setup, data.channels(), LegendStart::Column);
    setup.captions.push_back(titleCaption(data.model()));
    return setup;
}

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
    stpLog = new StripChart(
        chartSetupFor(*data_), [end] { return end; }, this, 1);
    stpLog->setObjectName(QStringLiteral("stpLog"));

    // Statistics of the visible lines, one row per channel.
    auto *side = new QVBoxLayout;
    lblRange = new QLabel(this);
    lblRange->setObjectName(QStringLiteral("lblRange"));
    side->addWidget(lblRange);
    auto *grid = new QGridLayout;
    const QStringList heads{tr("Min"), tr("Max"), tr("Mean")};
    for (int i = 0; i < heads.size(); ++i)
        grid->addWidget(new QLabel(QStringLiteral("<b>%1</b>").arg(heads[i]), this), 0, i + 1,
                        Qt::AlignRight);
    for (std::size_t ch = 0; ch < data_->channelCount(); ++ch) {
        const ChannelInfo &info = channelInfo(data_->channels()[ch]);
        auto *name = new QLabel(QLatin1String(info.column), this);
        name->setStyleSheet(QStringLiteral("color: %1").arg(QColor::fromRgb(info.rgb).name()));
        grid->addWidget(name, int(ch) + 1, 0);
        std::array<QLabel *, 3> labels{};
        for (std::size_t k = 0; k < labels.size(); ++k) {
            labels[k] = new QLabel(this);
            labels[k]->setObjectName(QStringLiteral("lbl%1%2").arg(heads[int(k)]).arg(ch));
            grid->addWidget(labels[k], int(ch) + 1, int(k) + 1, Qt::AlignRight);
        }
        stats_.push_back(labels);
    }
    side->addLayout(grid);
    side->addStretch();

    auto *top = new QHBoxLayout;
    top->addWidget(stpLog, 1);
    top->addLayout(side);

    // Lines carry no time: say where the axis comes from, and what was odd.
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    // The start as the axis and read-out write times; as the file has it
    // where it cannot be read.
    const QString started =
        data_->started()
            ? chart::LocaleTimes(locale()).dateTime(start, chart::LocaleTimes::Precision::Second)
            : data_->dateText() + QLatin1Char(' ') + data_->timeText();
    auto *timeNote = new QLabel(
        tr("Times are line 2's date and time (%1) plus 50 ms for each line.").arg(started), this);
    timeNote->setObjectName(QStringLiteral("lblTimeNote"));
    layout->addWidget(timeNote);
    for (const Note &n : data_->notes()) {
        auto *note = new QLabel(n.text, this);
        note->setObjectName(QStringLiteral("lblNote"));
        note->setWordWrap(true);
        note->setStyleSheet(QStringLiteral("background: #fff4d6; color: #a05200; padding: 2px"));
        layout->addWidget(note);
    }

    connect(stpLog, &StripChart::viewChanged, this, &LogViewWindow::showStatistics);
    stpLog->showRecord(source_.get(), source_->startMs(), end);
    showStatistics(source_->startMs(), end);
}

LogViewWindow::~LogViewWindow() = default;

void LogViewWindow::showStatistics(int64_t fromMs, int64_t toMs)
{
    const uint64_t first = source_->rowAt(fromMs);
    const uint64_t last = source_->rowAt(toMs);
    lblRange->setText(
        first < last ? tr("Lines %1 to %2").arg(fileLine(Row{first})).arg(fileLine(Row{last}) - 1)
                     : tr("No lines in view"));
    const std::vector<Summary> s = data_->summarize(Row{first}, Row{last});
    for (std::size_t ch = 0; ch < stats_.size(); ++ch) {
        const bool any = s[ch].count > 0;
        stats_[ch][0]->setText(any ? fixed2Text(s[ch].min) : QStringLiteral("-"));
        stats_[ch][1]->setText(any ? fixed2Text(s[ch].max) : QStringLiteral("-"));
        stats_[ch][2]->setText(any ? fixed2Text(float(s[ch].mean())) : QStringLiteral("-"));
    }
}

QStringList LogViewWindow::statistics() const
{
    QStringList out;
    for (const auto &labels : stats_)
        out << labels[0]->text() + QLatin1Char(' ') + labels[1]->text() + QLatin1Char(' ') +
                   labels[2]->text();
    return out;
}

LogOpener::LogOpener(const QString &path, Dialogs &dialogs, QWidget *parent, Done done)
    : QObject(parent), path_(path), dialogs_(dialogs), parent_(parent), done_(std::move(done)),
      size_(QFileInfo(path).size())
{
    std::promise<LoadResult> promise;
    result_ = promise.get_future();
    if (QString why = notAFile(path); !why.isEmpty()) {
        // Told on the first poll, as any refusal: never from inside a drop.
        LoadResult refused;
        refused.status = LoadStatus::Refused;
        refused.reason = std::move(why);
        promise.set_value(std::move(refused));
    } else {
        // The thread owns what it uses, so that it may be left running.
        thread_ = std::thread([path, control = control_, promise = std::move(promise)]() mutable {
            promise.set_value(load(path, *control));
        });
    }
    progress_ = new QProgressDialog(tr("Reading %1").arg(QFileInfo(path).fileName()), tr("Cancel"),
                                    0, 100, parent);
    progress_->setObjectName(QStringLiteral("prgLoad"));
    progress_->setWindowModality(Qt::NonModal);
    progress_->setMinimumDuration(500);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    connect(progress_.data(), &QProgressDialog::canceled, this, &LogOpener::cancel);
    timer_.setInterval(30);
    connect(&timer_, &QTimer::timeout, this, &LogOpener::poll);
    timer_.start();
}

LogOpener::~LogOpener()
{
    control_->interrupt = true;
    // The load stops at its next block. A thread still inside open() or a
    // page fault (a file system that does not answer) cannot be stopped:
    // quitting does not wait for it.
    if (thread_.joinable()) {
        if (result_.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready)
            thread_.join();
        else
            thread_.detach();
    }
    delete progress_;
}

void LogOpener::poll()
{
    if (result_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        if (size_ > 0 && progress_)
            progress_->setValue(int(control_->bytesDone.load() * 100 / uint64_t(size_)));
        return;
    }
    timer_.stop();
    if (thread_.joinable())
        thread_.join();
    delete progress_;
    progress_ = nullptr;
    LoadResult result = result_.get();
    LogViewWindow *window = nullptr;
    if (control_->interrupt) {
        // Cancelled: nothing opens, even when the load had just ended.
    } else if (result.status == LoadStatus::Successful) {
        window = new LogViewWindow(path_, std::move(result.data));
        window->chart()->setDialogs(&dialogs_);
    } else if (result.status == LoadStatus::Refused) {
        QString reason = result.reason;
        if (!reason.isEmpty())
            reason[0] = reason[0].toUpper();
        const QString where = result.line > 0 ? tr("Line %1: %2.").arg(result.line).arg(reason)
                                              : reason + QLatin1Char('.');
        dialogs_.critical(parent_, tr("The log file %1 cannot be opened.\n\n%2")
                                       .arg(QDir::toNativeSeparators(path_), where));
    }
    if (done_)
        done_(window);
    deleteLater();
}

} // namespace qzt

// The log viewer: a saved log in a child window, drawn by the live graphs'
// strip chart from the file's pyramid (and its mapping at the deepest zoom),
// with the statistics of the visible range beside it; and the loading that
// leads there, with a progress bar that can cancel. Windows layer: uses the
// log reader, the chart and common/.
#pragma once

#include "graphs/ChartSource.h"
#include "graphs/StripChart.h"
#include "logging/LogReader.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

class QBoxLayout;
class QLabel;
class QProgressDialog;
class QTableWidget;

namespace qzt {

class Dialogs;

// A loaded log as the chart sees it: line i (counted from the first data
// line) stands at startMs + 50 ms * i, the only time a line has.
class LogViewSource : public chart::ChartSource {
public:
    LogViewSource(const logview::LogData &data, int64_t startMs);

    int64_t startMs() const { return start_; }
    // The moment just after the last line.
    int64_t endMs() const;
    // The first row at or after timeMs, held to [0, rowCount].
    uint64_t rowAt(int64_t timeMs) const;

    std::optional<int64_t> oldest() const override;
    std::span<const chart::Column> columns(int trace, int64_t msPerColumn, int64_t firstColumn,
                                           std::size_t count) override;
    std::optional<chart::Sample> entry(int trace, int64_t timeMs) const override;
    std::optional<chart::Sample> exit(int trace, int64_t timeMs) const override;
    // The nearest line's value; nothing where its field is empty (a missed
    // reading) or it lies beyond `reach`.
    std::optional<chart::Sample> nearest(int trace, int64_t timeMs, int64_t reach,
                                         int64_t reachInGap) const override;
    // "line N" of the line nearest to timeMs.
    QString readoutNote(int64_t timeMs) const override;

private:
    std::optional<chart::Sample> sampleAt(int trace, int64_t row) const;

    const logview::LogData &data_;
    int64_t start_;
    // All channels' columns of the last window asked for: the chart asks
    // trace by trace, the reader answers for every channel in one pass.
    struct Key {
        int64_t msPerColumn = 0;
        int64_t firstColumn = 0;
        std::size_t count = 0;
        bool operator==(const Key &) const = default;
    };
    std::optional<Key> key_;
    std::vector<uint64_t> edges_;
    std::vector<std::vector<chart::Column>> columns_;
};

class LogViewWindow : public QWidget {
    Q_OBJECT
public:
    LogViewWindow(const QString &path, std::unique_ptr<logview::LogData> data,
                  QWidget *parent = nullptr);
    ~LogViewWindow() override;

    QString path() const { return path_; }
    // One panel per unit, temperatures above voltages, their time windows
    // moving together; chart() is the top one.
    StripChart *chart() const { return charts_.front(); }
    const std::vector<StripChart *> &charts() const { return charts_; }
    const logview::LogData &data() const { return *data_; }
    // Minimum, maximum and mean of each channel over the visible lines, as
    // the statistics table shows them (one row per channel).
    QStringList statistics() const;
    // The heading of a saved or copied picture: the file's name, the time
    // range in view (held to the file's lines) and the panels' units.
    QStringList pictureHeading() const;
    // The panels one under the other below that heading.
    QPixmap picture() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showStatistics(int64_t fromMs, int64_t toMs);

    QString path_;
    std::unique_ptr<logview::LogData> data_;
    std::unique_ptr<LogViewSource> source_;
    // Per panel: the traces' channel indices into the log's columns.
    std::vector<std::unique_ptr<chart::ChartSource>> panelSources_;
    std::vector<StripChart *> charts_;
    std::vector<QString> units_;
    QLabel *lblRange = nullptr;
    QTableWidget *tblStatistics = nullptr;
    // Charts beside the statistics (range above table), or above them when
    // the window is narrow (range beside table).
    QBoxLayout *body_ = nullptr;
    QBoxLayout *side_ = nullptr;
};

} // namespace qzt

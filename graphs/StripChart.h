// The strip chart of the graph windows: traces scrolling against the time of
// day, a value axis under the program's control, and free-standing captions
// (legends, heading, title). Windows layer: uses the chart model of graphs/.
#pragma once

#include "graphs/ChartScales.h"
#include "graphs/ChartSource.h"
#include "graphs/SampleRing.h"
#include "graphs/TimeAxis.h"
#include "graphs/TraceRaster.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QStaticText>
#include <QStringList>
#include <QWidget>

#include <algorithm>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QMenu;

namespace qzt {

class Dialogs;

// A caption of the chart. The position is a fraction of the chart's width
// and height from its top left corner and marks the caption's centre.
struct CaptionSetup {
    QString text;
    QColor colour;
    double x;
    double y;
    bool title = false; // bold, underlined, 13.5 pt instead of 8.25 pt
};

// Everything a new chart starts from.
struct ChartSetup {
    std::vector<QColor> traces;
    std::vector<CaptionSetup> captions;
    int16_t lowerBound;
    int16_t upperBound;
    // What the hover read-out calls each trace, and the unit of all of them.
    std::vector<QString> traceNames = {};
    QString unit = {};
};

class StripChart : public QWidget {
    Q_OBJECT
public:
    // Milliseconds since the epoch.
    using Clock = std::function<int64_t()>;

    StripChart(const ChartSetup &setup, Clock clock, QWidget *parent = nullptr,
               std::size_t historyCapacity = chart::SampleRing::kDefaultCapacity);
    ~StripChart() override;

    // The operations the graph windows use. Each change schedules one repaint;
    // none paints at once, so a tick of many changes costs one paint.
    //
    // The value becomes the newest point of the trace at the clock's present
    // time; it is kept in single precision, which holds every reading of the
    // chips exactly. An unknown trace is ignored.
    void appendSample(int trace, double value);
    // A missed reading: the trace breaks off after its newest sample and
    // starts afresh with the next one (see chart::SampleRing). An unknown
    // trace is ignored.
    void appendGap(int trace);
    // Later setCaption() calls address this caption.
    void selectCaption(int index);
    // Replaces the selected caption's text; position, colour and font stay.
    void setCaption(const QString &text);
    double lowerBound() const { return lower_; }
    double upperBound() const { return upper_; }
    void setLowerBound(int16_t value);
    void setUpperBound(int16_t value);

    // Draws a finished record from `source` instead of the chart's own
    // history, which appendSample() no longer reaches: the whole of
    // [fromMs, toMs) in view, spans up to its length, and a window that
    // stays where the user moves it. The source must outlive the chart's
    // use of it; the clock should give toMs.
    void showRecord(chart::ChartSource *source, int64_t fromMs, int64_t toMs);
    bool isRecord() const { return source_ != &history_; }

    // Settings and contents.
    int traceCount() const { return int(traces_.size()); }
    QColor traceColour(int trace) const { return traces_.at(std::size_t(trace)).colour; }
    const chart::SampleRing &history(int trace) const { return history_.ring(trace); }
    int captionCount() const { return int(captions_.size()); }
    int selectedCaption() const { return selected_; }
    QString captionText(int index) const { return captions_.at(std::size_t(index)).text; }
    QColor captionColour(int index) const { return captions_.at(std::size_t(index)).colour; }
    QFont captionFont(int index) const;
    QPointF captionPosition(int index) const;
    static QStringList timeLabelPatterns();

    // The visible time window. Live, it ends at the present time and scrolls;
    // otherwise it stays where the user moved it while polling goes on.
    const chart::TimeView &view() const { return view_; }
    int64_t visibleSpanMs() const { return view_.spanMs(); }
    bool isLive() const { return view_.live(); }
    void goLive();
    // Live, showing about the last spanMs.
    void showLast(int64_t spanMs);
    // Live, showing all retained history (at least the shortest span).
    void showAllHistory();
    // Moves the window by `pixels` towards older samples (negative: newer).
    void panBy(int pixels);
    // Scales the span by factor (> 1: longer) about the time at plot x.
    void zoomBy(double factor, int plotX);

    // Area of the traces inside the chart.
    QRect plotRect() const;
    // Clock-time labels of the time axis as the next paint draws them. A
    // record's axis writes times and dates in the widget's locale, the live
    // axis in the fixed patterns of timeLabelPatterns().
    QStringList timeLabels() const;
    // The hover read-out for the cursor at chart x: the date and time in the
    // widget's locale, to the millisecond in a view under a minute, then one
    // line per trace, its name, value and unit as in the legends ("-" for the
    // value where the trace has no sample there, or the cursor is inside a
    // gap). Empty outside the plot.
    QStringList readoutAt(int x) const;
    // The read-out on screen now; empty when the cursor is not over the plot.
    QStringList readout() const { return hoverX_ ? readoutAt(*hoverX_) : QStringList(); }

    // Keys with the chart focused, and the context menu's twins of them:
    // moves by `fraction` of the span (positive: towards older samples), as
    // far as the record or history reaches.
    void panByFraction(double fraction);
    // Scales the span by factor about the middle of the view.
    void zoomAboutCentre(double factor);
    // The oldest samples at the left edge; the newest at the right edge.
    void showStart();
    void showEnd();
    // Takes the time window of `leader`, a chart of the same width showing
    // the same record: the panels of one log move together. Sends no
    // viewMoved().
    void followView(const StripChart &leader);
    // The cursor of a panel above or below, at chart x (nothing: it left):
    // this chart draws a cursor line there, and its legends take their
    // values there.
    void followCursor(std::optional<int> x);

    // The path a picture is saved under: `path`, with ".png" added unless its
    // suffix names an image format that can be written.
    static QString imagePath(const QString &path);
    // Writes the chart as a picture under imagePath(path), without the hover
    // read-out; false, with the reason in `error`, when it cannot be written.
    bool saveImage(const QString &path, QString *error = nullptr);
    void copyImage();
    // The chart as it stands, without the hover read-out and cursor line.
    QPixmap image();
    // What Save image and Copy image write: image(), unless the owner
    // composes a picture of its own (the log viewer puts its panels under a
    // heading).
    void setPicture(std::function<QPixmap()> picture) { picture_ = std::move(picture); }
    QPixmap picture() { return picture_ ? picture_() : image(); }
    // The dialogs that ask where to save a picture and report a failed save;
    // without them "Save image" does nothing.
    void setDialogs(Dialogs *dialogs) { dialogs_ = dialogs; }
    // Asks for a path, saves, and reports a failed write.
    void saveImageAs();
    // The context menu that the right mouse button opens; the caller owns it.
    QMenu *createContextMenu(QWidget *parent);

    // The least width at which every caption, a legend with its widest
    // reading included, stands whole around its position.
    int captionsWidth() const { return captionsWidth_; }
    QSize sizeHint() const override { return {std::max(600, captionsWidth_), 420}; }

signals:
    // The visible window moved or changed its span: [fromMs, toMs). Sent
    // when a paint shows a window other than the last one.
    void viewChanged(int64_t fromMs, int64_t toMs);
    // The user moved or scaled the window (mouse, wheel, keys or menu); a
    // repaint showing it is scheduled.
    void viewMoved();
    // The mouse moved over the plot to chart x, or left it (nothing).
    void cursorMoved(std::optional<int> x);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Trace {
        QColor colour;
    };
    struct Caption {
        QString text;
        QColor colour;
        double x;
        double y;
        bool title;
        // Laid out once per text rather than at every paint.
        QStaticText layout;
        bool stale; // the text changed since the layout was made
    };

    // Places the plot for the present size; cheap when the size is unchanged.
    void layout() const;
    int64_t now() const { return clock_(); }
    int64_t oldestSample() const;
    double yFor(double value) const;

    struct TimeTick {
        int column; // plot column of the tick
        int64_t time;
        QString text; // empty: no label
        double textLeft;
    };
    std::vector<TimeTick> timeTicks(int64_t left) const;
    chart::ValueMap valueMap() const;

    // Fills plotImage_ with background, grid and traces.
    void paintPlot(int64_t left, const chart::ValueTicks &values,
                   const std::vector<TimeTick> &times);
    void paintAxisLabels(QPainter &p, const chart::ValueTicks &values,
                         const std::vector<TimeTick> &times) const;
    void paintCaptions(QPainter &p);
    // An axis label laid out in the chart's font, kept while it is in use.
    const QStaticText &label(const QString &text) const;
    void paintReadout(QPainter &p, int x) const;
    // A record's legends: each trace's value under the cursor, or else its
    // last value in view.
    void updateRecordLegends();
    void moveView(double columns);
    void moved();

    Clock clock_;
    std::vector<Trace> traces_;
    chart::RingSource history_;
    chart::ChartSource *source_ = &history_;
    std::pair<int64_t, int64_t> shown_{0, 0}; // the window of the last paint
    bool wholeRecord_ = false;                // keeps the whole record in view on resizing
    int64_t recordStart_ = 0;
    int64_t recordEnd_ = 0;

    std::vector<QString> traceNames_;
    QString unit_;
    std::vector<Caption> captions_;
    int selected_ = 0;
    double lower_;
    double upper_;

    QFont font_;
    QFont titleFont_;
    QFontMetricsF metrics_;
    QFontMetricsF titleMetrics_;
    std::array<double, chart::kTimeLabelPatterns.size()> labelWidths_{};
    // A record's time axis, made for the widget's locale when first drawn.
    mutable std::optional<chart::LocaleTimeAxis> localeAxis_;

    // Layout, recomputed when the size changes.
    mutable QSize laidOutFor_;
    mutable QRect plot_;
    mutable chart::TimeView view_;

    // The plot area's pixels and the per-column runs of one trace, kept to
    // avoid allocating at every tick.
    QImage plotImage_;
    std::vector<chart::Span> spans_;
    // Per trace: the newest value of the last paint's window.
    std::vector<std::optional<float>> lastInView_;
    mutable QHash<QString, QStaticText> labels_;

    std::optional<int> hoverX_;
    std::optional<int> linkedX_; // another panel's cursor
    std::optional<int> dragX_;
    Dialogs *dialogs_ = nullptr;
    std::function<QPixmap()> picture_;
    int captionsWidth_ = 0;
};

} // namespace qzt

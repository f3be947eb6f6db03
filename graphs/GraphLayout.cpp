#include "graphs/GraphLayout.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace qzt {

namespace {

// Gives the chart the width its captions need before the frame gets any:
// the frame takes only what is left, down to its own least width (its
// caption is cut then). Below that the chart shrinks too, and its captions
// move left rather than run past its edge.
class FrameYields final : public QObject {
public:
    FrameYields(QWidget *window, QBoxLayout *layout, StripChart *chart, QWidget *frame)
        : QObject(window), window_(window), layout_(layout), chart_(chart), frame_(frame)
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize) {
            const QMargins m = layout_->contentsMargins();
            const int spare = window_->width() - m.left() - m.right() - layout_->spacing() -
                              chart_->captionsWidth();
            frame_->setMaximumWidth(std::max(frame_->minimumSizeHint().width(),
                                             std::min(frame_->sizeHint().width(), spare)));
        }
        return false;
    }

private:
    QWidget *window_;
    QBoxLayout *layout_;
    StripChart *chart_;
    QWidget *frame_;
};

} // namespace

GraphParts buildGraphLayout(QWidget *window, const ChartSetup &setup, const QString &chartName,
                            const AppContext &ctx)
{
    auto *chart = new StripChart(setup, ctx.nowMs, window);
    chart->setObjectName(chartName);
    chart->setDialogs(&ctx.dialogs);

    auto *frame = new QGroupBox(QStringLiteral("Graph Options"), window);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto *check = new QCheckBox(QStringLiteral("Automatically Adjust Graph Range"), frame);
    check->setObjectName(QStringLiteral("chkAutoAdjust"));
    check->setChecked(true);
    // The chart takes every pixel the frame does not need.
    frame->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    check->setMinimumWidth(1);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(check);

    auto *side = new QVBoxLayout;
    side->addWidget(frame);
    side->addStretch(1);

    auto *layout = new QHBoxLayout(window);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(chart, 1);
    layout->addLayout(side);
    new FrameYields(window, layout, chart, frame);
    return {chart, check};
}

} // namespace qzt

#include "graphs/GraphLayout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace qzt {

GraphParts buildGraphLayout(QWidget *window, const ChartSetup &setup, const QString &chartName,
                            const AppContext &ctx)
{
    auto *chart = new StripChart(setup, ctx.nowMs, window);
    chart->setObjectName(chartName);
    Dialogs &dialogs = ctx.dialogs;
    chart->setImageFailureReport(
        [&dialogs, chart](const QString &message) { dialogs.critical(chart, message); });

    auto *frame = new QGroupBox(QStringLiteral("Graph Options"), window);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto *check = new QCheckBox(QStringLiteral("Automatically Adjust Graph Range"), frame);
    check->setObjectName(QStringLiteral("chkAutoAdjust"));
    check->setChecked(true);
    // The chart takes every pixel the frame does not need. When the window
    // shrinks, the frame gives up its width first (its caption is cut), the
    // chart only once it reaches the least width that keeps its legends whole.
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
    return {chart, check};
}

} // namespace qzt

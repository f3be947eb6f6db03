#include "graphs/VoltGraphWindow.h"

#include "graphs/ChannelTraces.h"
#include "graphs/GraphLayout.h"
#include "graphs/GraphRules.h"
#include "graphs/StripChart.h"
#include "sst/Models.h"
#include "sst/Tick.h"

#include <QCheckBox>
#include <QCloseEvent>

namespace qzt {

namespace {

ChartSetup voltageChart()
{
    ChartSetup setup{{}, {}, -1, 16, {}, QStringLiteral("V")};
    addChannelTraces(setup, kVoltageChannels, LegendStart::Label);
    setup.captions.push_back(titleCaption(Model::QZT6605));
    setup.captions.push_back({QStringLiteral("Voltage (V)"), Qt::black, 0.90, 0.07});
    return setup;
}

} // namespace

VoltGraphWindow::VoltGraphWindow(AppContext &ctx, QWidget *parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmVoltGraph05"));
    setWindowTitle(QStringLiteral("QZT6605 Voltage Graph"));
    const GraphParts parts =
        buildGraphLayout(this, voltageChart(), QStringLiteral("stpVolt"), ctx_);
    stpVolt = parts.chart;
    chkAutoAdjust = parts.chkAutoAdjust;
    ctx_.state.Declarations.VoltGraph05Open = kTrue;
}

VoltGraphWindow::~VoltGraphWindow()
{
    // Also when the frame is torn down without a close event.
    ctx_.state.Declarations.VoltGraph05Open = kFalse;
}

void VoltGraphWindow::closeEvent(QCloseEvent *event)
{
    // The poll cycle stops calling the window as it closes, not only once
    // the deferred deletion has run.
    ctx_.state.Declarations.VoltGraph05Open = kFalse;
    QWidget::closeEvent(event);
}

void VoltGraphWindow::UpdateVoltGraph(const ChipReadings &r)
{
    appendReading(*stpVolt, kVoltageChannels, tickReadings(r, Model::QZT6605).values, !r.voltages);
    if (!r.voltages)
        return;
    const std::array<float, 5> &volts = *r.voltages;
    if (chkAutoAdjust->isChecked())
        AdjustGraphRange(volts);
}

// Fits the value axis around the five readings: margin 8, step 4, the lower
// bound first.
void VoltGraphWindow::AdjustGraphRange(const std::array<float, 5> &volts)
{
    const chart::Extremes e = chart::voltageExtremes(volts);
    if (const auto lower = chart::fitLowerBound(stpVolt->lowerBound(), e.low, chart::kVoltageFit))
        stpVolt->setLowerBound(*lower);
    if (const auto upper = chart::fitUpperBound(stpVolt->upperBound(), e.high, chart::kVoltageFit))
        stpVolt->setUpperBound(*upper);
}

} // namespace qzt

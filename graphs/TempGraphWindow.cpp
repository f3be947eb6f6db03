#include "graphs/TempGraphWindow.h"

#include "graphs/ChannelTraces.h"
#include "graphs/GraphLayout.h"
#include "graphs/GraphRules.h"
#include "graphs/StripChart.h"
#include "sst/Tick.h"

#include <QCheckBox>
#include <QCloseEvent>

namespace qzt {

namespace {

// A new chart: internal temperature in red, external in blue, their legends,
// the legend heading and the model's name as the title.
ChartSetup temperatureChart(Model model)
{
    ChartSetup setup{{}, {}, -300, 300, {}, QStringLiteral("°C")};
    addChannelTraces(setup, kTemperatures, LegendStart::Label);
    setup.captions.push_back({QStringLiteral("Temperature (°C)"), Qt::black, 0.90, 0.07});
    setup.captions.push_back(titleCaption(model));
    return setup;
}

} // namespace

TempGraphWindow::TempGraphWindow(AppContext &ctx, Model model, QWidget *parent)
    : QWidget(parent), ctx_(ctx), model_(model)
{
    setObjectName(QStringLiteral("frmTempGraph") + QLatin1String(modelInfo(model).suffix));
    setWindowTitle(QStringLiteral("Temperature Graph"));
    const GraphParts parts =
        buildGraphLayout(this, temperatureChart(model), QStringLiteral("stpTemp"), ctx_);
    stpTemp = parts.chart;
    chkAutoAdjust = parts.chkAutoAdjust;
    openFlag() = kTrue;
}

TempGraphWindow::~TempGraphWindow()
{
    // Also when the frame is torn down without a close event.
    openFlag() = kFalse;
}

void TempGraphWindow::closeEvent(QCloseEvent *event)
{
    // The poll cycle stops calling the window as it closes, not only once
    // the deferred deletion has run.
    openFlag() = kFalse;
    QWidget::closeEvent(event);
}

Flag16 &TempGraphWindow::openFlag()
{
    auto &d = ctx_.state.Declarations;
    return model_ == Model::QZT6604 ? d.TempGraph04Open : d.TempGraph05Open;
}

void TempGraphWindow::UpdateTempGraph(const ChipReadings &r)
{
    // The values of a failed read are not drawn: the traces break off, and
    // the legends and the axis stay as the last reading left them.
    appendReading(*stpTemp, kTemperatures, tickReadings(r, model_).values, !r.temperatures);
    if (!r.temperatures)
        return;
    const auto [internal, external] = *r.temperatures;
    if (chkAutoAdjust->isChecked())
        AdjustGraphRange(internal, external);
}

// Fits the value axis around the two readings: margin 20, step 10, the lower
// bound first.
void TempGraphWindow::AdjustGraphRange(float internal, float external)
{
    const chart::Extremes e = chart::temperatureExtremes(internal, external);
    if (const auto lower =
            chart::fitLowerBound(stpTemp->lowerBound(), e.low, chart::kTemperatureFit))
        stpTemp->setLowerBound(*lower);
    if (const auto upper =
            chart::fitUpperBound(stpTemp->upperBound(), e.high, chart::kTemperatureFit))
        stpTemp->setUpperBound(*upper);
}

} // namespace qzt

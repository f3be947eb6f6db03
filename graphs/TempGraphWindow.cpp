#include "graphs/TempGraphWindow.h"

#include "graphs/GraphLayout.h"
#include "graphs/GraphRules.h"
#include "graphs/StripChart.h"
#include "graphs/TraceColours.h"

#include <QCheckBox>
#include <QCloseEvent>

namespace qzt {

namespace {

const QColor kRed = QColor::fromRgb(colours::kInternal);
const QColor kBlue = QColor::fromRgb(colours::kExternal);
const QColor kDarkGreen(0, 128, 0);

// A new chart: internal temperature in red, external in blue, their legends,
// the legend heading and the model's name as the title.
ChartSetup temperatureChart(Model model)
{
    return {{kRed, kBlue},
            {{QStringLiteral("Internal: "), kRed, 0.90, 0.14},
             {QStringLiteral("External:"), kBlue, 0.90, 0.21},
             {QStringLiteral("Temperature (°C)"), Qt::black, 0.90, 0.07},
             {QLatin1String(modelInfo(model).name), kDarkGreen, 0.44, 0.12, true}},
            -300,
            300,
            {QStringLiteral("Internal"), QStringLiteral("External")},
            QStringLiteral("°C")};
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
    if (!r.temperatures) {
        // Nothing was read: both traces break off, and the legends and the
        // axis stay as the last reading left them.
        stpTemp->appendGap(0);
        stpTemp->appendGap(1);
        return;
    }
    const auto [internal, external] = *r.temperatures;
    // Both samples go in before any caption changes.
    stpTemp->appendSample(0, double(internal));
    stpTemp->appendSample(1, double(external));
    stpTemp->selectCaption(0);
    stpTemp->setCaption(chart::legendText(u"Internal: ", internal, u"°C"));
    stpTemp->selectCaption(1);
    stpTemp->setCaption(chart::legendText(u"External: ", external, u"°C"));
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

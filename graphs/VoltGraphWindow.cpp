#include "graphs/VoltGraphWindow.h"

#include "graphs/GraphLayout.h"
#include "graphs/GraphRules.h"
#include "graphs/StripChart.h"
#include "graphs/TraceColours.h"
#include "sst/Models.h"

#include <QCheckBox>
#include <QCloseEvent>

#include <array>

namespace qzt {

namespace {

// The five supplies in the order of Volts: legend label, initial caption,
// trace and caption colour.
struct Supply {
    const char16_t *label;
    const char *initial;
    QRgb colour;
};
constexpr std::array<Supply, 5> kSupplies{{
    {u"12V: ", "12V", colours::kSupplies[0]},
    {u"5V: ", "5V", colours::kSupplies[1]},
    {u"Vcc: ", "Vcc", colours::kSupplies[2]},
    {u"2.5V: ", "2.5V", colours::kSupplies[3]},
    {u"Vccp: ", "Vccp", colours::kSupplies[4]},
}};

ChartSetup voltageChart()
{
    ChartSetup setup{{}, {}, -1, 16, {}, QStringLiteral("V")};
    for (std::size_t i = 0; i < kSupplies.size(); ++i) {
        const QColor colour = QColor::fromRgb(kSupplies[i].colour);
        setup.traces.push_back(colour);
        setup.traceNames.push_back(QLatin1String(kSupplies[i].initial));
        setup.captions.push_back(
            {QLatin1String(kSupplies[i].initial), colour, 0.90, 0.14 + 0.07 * double(i)});
    }
    setup.captions.push_back({QStringLiteral("QZT6605"), QColor(0, 128, 0), 0.44, 0.12, true});
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
    if (!r.voltages) {
        // Nothing was read: every trace breaks off, and the legends and the
        // axis stay as the last reading left them.
        for (std::size_t i = 0; i < kSupplies.size(); ++i)
            stpVolt->appendGap(int(i));
        return;
    }
    const std::array<float, 5> &volts = *r.voltages;
    // All five samples go in before any caption changes.
    for (std::size_t i = 0; i < kSupplies.size(); ++i)
        stpVolt->appendSample(int(i), double(volts[i]));
    for (std::size_t i = 0; i < kSupplies.size(); ++i) {
        stpVolt->selectCaption(int(i));
        stpVolt->setCaption(chart::legendText(kSupplies[i].label, volts[i], u"V"));
    }
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

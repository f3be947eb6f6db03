// Voltage graph window of the QZT6605 (frmVoltGraph05). Windows layer: may
// use sst/, common/ and the chart of graphs/.
#pragma once

#include "sst/ChipReads.h"
#include "windows/AppContext.h"

#include <QSize>
#include <QWidget>

#include <array>

class QCheckBox;

namespace qzt {

class StripChart;

class VoltGraphWindow : public QWidget {
    Q_OBJECT
public:
    explicit VoltGraphWindow(AppContext &ctx, QWidget *parent = nullptr);
    ~VoltGraphWindow() override;

    static QSize outerSizeTwips() { return {12735, 7245}; }

    // Called by the poll cycle once per tick while VoltGraph05Open is set,
    // with what the tick read from the QZT6605 (readVoltages).
    void UpdateVoltGraph(const ChipReadings &r);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void AdjustGraphRange(const std::array<float, 5> &volts);

    AppContext &ctx_;
    StripChart *stpVolt = nullptr;
    QCheckBox *chkAutoAdjust = nullptr;
};

} // namespace qzt

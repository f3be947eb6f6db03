// Temperature graph window: one class serves frmTempGraph04 and
// frmTempGraph05, parameterised by the chip model. Windows layer: may use
// sst/, common/ and the chart of graphs/.
#pragma once

#include "sst/ChipReads.h"
#include "sst/Models.h"
#include "windows/AppContext.h"

#include <QSize>
#include <QWidget>

class QCheckBox;

namespace qzt {

class StripChart;

class TempGraphWindow : public QWidget {
    Q_OBJECT
public:
    TempGraphWindow(AppContext &ctx, Model model, QWidget *parent = nullptr);
    ~TempGraphWindow() override;

    // Outer size the window sets for itself when it loads, in twips.
    static QSize outerSizeTwips() { return {12750, 7245}; }

public:
    // Called by the poll cycle once per tick while the open flag is set,
    // with what the tick read from this window's chip (readTemperatures).
    void UpdateTempGraph04(const ChipReadings &r) { UpdateTempGraph(r); }
    void UpdateTempGraph05(const ChipReadings &r) { UpdateTempGraph(r); }
    void UpdateTempGraph(const ChipReadings &r);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Flag16 &openFlag();
    void AdjustGraphRange(float internal, float external);

    AppContext &ctx_;
    Model model_;
    StripChart *stpTemp = nullptr;
    QCheckBox *chkAutoAdjust = nullptr;
};

} // namespace qzt

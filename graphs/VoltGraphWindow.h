// Voltage graph window of the QZT6605 (frmVoltGraph05). Windows layer: may
// use sst/, common/ and the chart of graphs/.
#pragma once

#include "sst/AppContext.h"

#include <QSize>
#include <QWidget>

class QCheckBox;

namespace qzt {

class StripChart;

class VoltGraphWindow : public QWidget {
    Q_OBJECT
public:
    explicit VoltGraphWindow(AppContext &ctx, QWidget *parent = nullptr);
    ~VoltGraphWindow() override;

    static QSize outerSizeTwips() { return {12735, 7245}; }

public slots:
    // Called by the poll cycle once per tick while VoltGraph05Open is set.
    void UpdateVoltGraph();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void AdjustGraphRange();

    AppContext &ctx_;
    StripChart *stpVolt = nullptr;
    QCheckBox *chkAutoAdjust = nullptr;
};

} // namespace qzt

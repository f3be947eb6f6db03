// Voltage graph window of the QZT6605 (frmVoltGraph05).
#pragma once

#include "sst/AppContext.h"

#include <QSize>
#include <QWidget>

namespace qzt {

class VoltGraphWindow : public QWidget {
    Q_OBJECT
public:
    explicit VoltGraphWindow(AppContext &ctx, QWidget *parent = nullptr);
    ~VoltGraphWindow() override;

    static QSize outerSizeTwips() { return {12735, 7245}; }

public slots:
    // Called by the poll cycle once per tick while VoltGraph05Open is set.
    void UpdateVoltGraph();

private:
    AppContext &ctx_;
};

} // namespace qzt

#include "graphs/VoltGraphWindow.h"

#include "sst/Models.h"
#include "sst/SSTStuff.h"

namespace qzt {

VoltGraphWindow::VoltGraphWindow(AppContext &ctx, QWidget *parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmVoltGraph05"));
    setWindowTitle(QStringLiteral("QZT6605 Voltage Graph"));
    ctx_.state.Declarations.VoltGraph05Open = kTrue;
}

VoltGraphWindow::~VoltGraphWindow()
{
    ctx_.state.Declarations.VoltGraph05Open = kFalse;
}

void VoltGraphWindow::UpdateVoltGraph()
{
    ctx_.state.SSTStuff.SSTAddress = modelAddress(ctx_.state, Model::QZT6605);
    SSTGetVolts(ctx_.state, ctx_.usb);
}

} // namespace qzt

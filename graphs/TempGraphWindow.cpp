#include "graphs/TempGraphWindow.h"

#include "sst/SSTStuff.h"

namespace qzt {

TempGraphWindow::TempGraphWindow(AppContext &ctx, Model model, QWidget *parent)
    : QWidget(parent), ctx_(ctx), model_(model)
{
    setObjectName(QStringLiteral("frmTempGraph") + QLatin1String(modelInfo(model).suffix));
    setWindowTitle(QStringLiteral("Temperature Graph"));
    openFlag() = kTrue;
}

TempGraphWindow::~TempGraphWindow()
{
    openFlag() = kFalse;
}

Flag16 &TempGraphWindow::openFlag()
{
    auto &d = ctx_.state.Declarations;
    return model_ == Model::QZT6604 ? d.TempGraph04Open : d.TempGraph05Open;
}

void TempGraphWindow::UpdateTempGraph()
{
    ctx_.state.SSTStuff.SSTAddress = modelAddress(ctx_.state, model_);
    SSTGetTemps(ctx_.state, ctx_.usb);
}

} // namespace qzt

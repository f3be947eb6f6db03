#include "logging/SaveWindow.h"

#include "sst/SSTStuff.h"

namespace qzt {

SaveWindow::SaveWindow(AppContext &ctx, Model model, QWidget *parent)
    : QWidget(parent), ctx_(ctx), model_(model)
{
    setObjectName(QStringLiteral("frmSave") + QLatin1String(modelInfo(model).suffix));
    setWindowTitle(QStringLiteral("Save Data"));
    openFlag() = kTrue;
}

SaveWindow::~SaveWindow()
{
    openFlag() = kFalse;
}

Flag16 &SaveWindow::openFlag()
{
    auto &d = ctx_.state.Declarations;
    return model_ == Model::QZT6604 ? d.Logging04 : d.Logging05;
}

void SaveWindow::SaveCurrentData()
{
    ctx_.state.SSTStuff.SSTAddress = modelAddress(ctx_.state, model_);
    SSTGetTemps(ctx_.state, ctx_.usb);
    SSTGetExtOffset(ctx_.state, ctx_.usb);
    if (model_ == Model::QZT6605)
        SSTGetVolts(ctx_.state, ctx_.usb);
}

} // namespace qzt

#include "console/SettingsWindow.h"

namespace qzt {

SettingsWindow::SettingsWindow(AppContext &ctx, Model model, QWidget *parent)
    : QWidget(parent), ctx_(ctx), model_(model)
{
    const QString name = QLatin1String(modelInfo(model).name);
    setObjectName(QStringLiteral("frmSettings") + QLatin1String(modelInfo(model).suffix));
    setWindowTitle(name + QStringLiteral(" Settings"));
}

} // namespace qzt

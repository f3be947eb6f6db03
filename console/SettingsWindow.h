// Device console: one class serves frmSettings04 and frmSettings05.
#pragma once

#include "sst/AppContext.h"
#include "sst/Models.h"

#include <QSize>
#include <QWidget>

namespace qzt {

class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    SettingsWindow(AppContext &ctx, Model model, QWidget *parent = nullptr);

    static QSize outerSizeTwips() { return {9945, 7830}; }

private:
    AppContext &ctx_;
    Model model_;
};

} // namespace qzt

// Logging window: one class serves frmSave04 and frmSave05.
#pragma once

#include "sst/AppContext.h"
#include "sst/Models.h"

#include <QSize>
#include <QWidget>

namespace qzt {

class SaveWindow : public QWidget {
    Q_OBJECT
public:
    SaveWindow(AppContext &ctx, Model model, QWidget *parent = nullptr);
    ~SaveWindow() override;

    QSize outerSizeTwips() const
    {
        return model_ == Model::QZT6604 ? QSize(3660, 4155) : QSize(7005, 4155);
    }

public slots:
    // Called by the poll cycle once per tick while the open flag is set.
    void SaveCurrentData();

private:
    Flag16 &openFlag();

    AppContext &ctx_;
    Model model_;
};

} // namespace qzt

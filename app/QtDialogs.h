// The real dialogs: QMessageBox, QFileDialog and QDesktopServices.
#pragma once

#include "common/Dialogs.h"

namespace qzt {

class QtDialogs final : public Dialogs {
public:
    void critical(QWidget *parent, const QString &text,
                  const QString &details = QString()) override;
    Answer question(QWidget *parent, const QString &text) override;
    QString chooseLogFile(QWidget *parent, const QString &folder, const QString &filter,
                          const Refusal &refuse = Refusal()) override;
    QString chooseLogToOpen(QWidget *parent, const QString &folder, const QString &filter) override;
    QString chooseImageFile(QWidget *parent) override;
    void openUrl(const QString &url) override;
};

} // namespace qzt

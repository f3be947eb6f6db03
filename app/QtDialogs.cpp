#include "app/QtDialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace qzt {

void QtDialogs::critical(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QLatin1String(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

Dialogs::Answer QtDialogs::question(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QLatin1String(kAppTitle), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    // Both questions guard something that cannot be undone (a log ends, or
    // an old log is emptied): Enter must not be the way to it.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString QtDialogs::chooseLogFile(QWidget *parent, const QString &folder, const QString &filter)
{
    // The filter comes as "description|pattern"; Qt wants "description".
    const QString description = filter.section(QLatin1Char('|'), 0, 0);
    QFileDialog dialog(parent, QString(), folder, description);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        const QString path = dialog.selectedFiles().constFirst();
        const QFileInfo info(path);
        if (!info.exists() || info.size() == 0)
            return path;
        // Writing starts a new file: ask before an old log is emptied.
        const QString text = QStringLiteral("%1 already exists and is not empty.\n"
                                            "Do you want to replace it?")
                                 .arg(QDir::toNativeSeparators(path));
        if (question(parent, text) == Answer::Yes)
            return path;
    }
}

void QtDialogs::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url));
}

} // namespace qzt

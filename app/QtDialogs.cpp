#include "app/QtDialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace qzt {

void QtDialogs::critical(QWidget *parent, const QString &text, const QString &details)
{
    QMessageBox box(QMessageBox::Critical, QLatin1String(kAppTitle), text, QMessageBox::Ok, parent);
    box.setInformativeText(details);
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

namespace {

// The filter comes as "description|pattern"; Qt wants "description".
QString filterDescription(const QString &filter)
{
    return filter.section(QLatin1Char('|'), 0, 0);
}

QString chosen(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString QtDialogs::chooseLogFile(QWidget *parent, const QString &folder, const QString &filter,
                                 const Refusal &refuse)
{
    QFileDialog dialog(parent, QString(), folder, filterDescription(filter));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
    for (;;) {
        const QString path = chosen(dialog);
        if (path.isEmpty())
            return path;
        // A file that may not be written at all is refused before the user
        // is asked whether to replace it.
        if (const QString why = refuse ? refuse(path) : QString(); !why.isEmpty()) {
            critical(parent, why);
            continue;
        }
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

QString QtDialogs::chooseLogToOpen(QWidget *parent, const QString &folder, const QString &filter)
{
    // Reading changes nothing: an existing file is all it takes.
    QFileDialog dialog(parent, QString(), folder, filterDescription(filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    return chosen(dialog);
}

QString QtDialogs::chooseImageFile(QWidget *parent)
{
    return QFileDialog::getSaveFileName(
        parent, QObject::tr("Save image"), QStringLiteral("graph.png"),
        QObject::tr("PNG image (*.png);;JPEG image (*.jpg);;BMP image (*.bmp)"));
}

void QtDialogs::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url));
}

} // namespace qzt

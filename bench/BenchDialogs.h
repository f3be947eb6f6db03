// The dialogs of a benchmark run that nobody watches: every log file chooser
// takes `file`, every question is answered Yes, and messages go to stderr
// (and are counted) instead of waiting for a click.
#pragma once

#include "app/MainWindow.h"
#include "common/Dialogs.h"

#include <QDir>
#include <QString>

#include <cstdio>

namespace qzt::bench {

class BenchDialogs : public Dialogs {
public:
    QString file;
    int criticals = 0;
    void critical(QWidget *, const QString &text, const QString &) override
    {
        ++criticals;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    Answer question(QWidget *, const QString &) override { return Answer::Yes; }
    QString chooseLogFile(QWidget *, const QString &, const QString &, const Refusal &) override
    {
        return file;
    }
    QString chooseLogToOpen(QWidget *, const QString &, const QString &) override { return {}; }
    QString chooseImageFile(QWidget *) override { return {}; }
    void openUrl(const QString &) override {}

    // Opens both logging windows and starts them writing 04.sav and 05.sav
    // in folder; true when both write.
    bool startLogs(MainWindow &window, const QDir &folder)
    {
        window.mSave04_Click();
        window.mSave05_Click();
        file = folder.filePath(QStringLiteral("04.sav"));
        window.frmSave04()->cmdSave_Click();
        file = folder.filePath(QStringLiteral("05.sav"));
        window.frmSave05()->cmdSave_Click();
        return window.frmSave04()->isWriting() && window.frmSave05()->isWriting();
    }
};

} // namespace qzt::bench

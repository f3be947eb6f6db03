// The dialogs of a benchmark run that nobody watches: every log file chooser
// takes `file`, every question is answered Yes, and messages go to stderr
// (and are counted) instead of waiting for a click.
#pragma once

#include "common/Dialogs.h"

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
};

} // namespace qzt::bench

// Dialogs answered by the test: records every message and returns scripted
// answers, so no modal loop ever runs.
#pragma once

#include "common/Dialogs.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <functional>

namespace qzt::test {

class FakeDialogs : public Dialogs {
public:
    QStringList criticals, questions, openedUrls;
    QStringList details;     // the details of each critical message, "" for none
    QStringList fileDialogs; // "folder|filter" of each log dialog shown, "open|..." to read
    Answer nextAnswer = Answer::Yes;
    QList<Answer> answers; // taken one per question before nextAnswer
    QString nextFile, nextImage;
    std::function<void()> whileShown; // runs while a critical message is "on screen"

    void critical(QWidget *, const QString &text, const QString &detail) override
    {
        criticals << text;
        details << detail;
        if (whileShown)
            whileShown();
    }
    Answer question(QWidget *, const QString &text) override
    {
        questions << text;
        return answers.isEmpty() ? nextAnswer : answers.takeFirst();
    }
    // As the real dialog: a refused name is refused first (the user then
    // cancels), an existing non-empty log is replaced only after a Yes.
    QString chooseLogFile(QWidget *parent, const QString &folder, const QString &filter,
                          const Refusal &refuse) override
    {
        fileDialogs << folder + QLatin1Char('|') + filter;
        if (const QString why = refuse && !nextFile.isEmpty() ? refuse(nextFile) : QString();
            !why.isEmpty())
            critical(parent, why, QString());
        else if (QFileInfo(nextFile).size() == 0 || question(parent, nextFile) == Answer::Yes)
            return nextFile;
        return QString();
    }
    QString chooseLogToOpen(QWidget *, const QString &folder, const QString &filter) override
    {
        fileDialogs << QStringLiteral("open|") + folder + QLatin1Char('|') + filter;
        return nextFile;
    }
    QString chooseImageFile(QWidget *) override { return nextImage; }
    void openUrl(const QString &url) override { openedUrls << url; }
};

} // namespace qzt::test

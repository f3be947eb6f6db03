// Dialogs answered by the test: records every message and returns scripted
// answers, so no modal loop ever runs.
#pragma once

#include "common/Dialogs.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace qzt::test {

class FakeDialogs : public Dialogs {
public:
    QStringList criticals, questions, openedUrls;
    QStringList fileDialogs; // "folder|filter" of each file dialog shown
    Answer nextAnswer = Answer::Yes;
    QList<Answer> answers; // taken one per question before nextAnswer
    QString nextFile;
    std::function<void()> whileShown; // runs while a critical message is "on screen"

    void critical(QWidget *, const QString &text) override
    {
        criticals << text;
        if (whileShown)
            whileShown();
    }
    Answer question(QWidget *, const QString &text) override
    {
        questions << text;
        return answers.isEmpty() ? nextAnswer : answers.takeFirst();
    }
    QString chooseLogFile(QWidget *, const QString &folder, const QString &filter) override
    {
        fileDialogs << folder + QLatin1Char('|') + filter;
        return nextFile;
    }
    void openUrl(const QString &url) override { openedUrls << url; }
};

} // namespace qzt::test

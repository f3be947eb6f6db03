// The program's modal dialogs and the web-address opener, behind one small
// interface so that tests answer them without a modal loop. Widget-free: the
// parent is only passed through.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace qzt {

// Caption of every message box of the program.
inline constexpr char kAppTitle[] = "QZT6604/5 Evaluation Software";

class Dialogs {
public:
    enum class Answer { Yes, No };
    // Why a chosen file may not be used; empty when it may.
    using Refusal = std::function<QString(const QString &path)>;

    virtual ~Dialogs() = default;

    // Critical-error icon, a single OK button, the application title;
    // `details`, when given, stands below the text (why, and what to do).
    virtual void critical(QWidget *parent, const QString &text,
                          const QString &details = QString()) = 0;
    // Yes and No, no icon, the application title.
    virtual Answer question(QWidget *parent, const QString &text) = 0;
    // File dialog for a log to write, starting in `folder` with one filter
    // entry; the user may pick an existing file or type a new name. A name
    // that `refuse` objects to is refused with its message before anything
    // else is asked, and the dialog asks again. Returns the full path, or an
    // empty string when the user cancels.
    virtual QString chooseLogFile(QWidget *parent, const QString &folder, const QString &filter,
                                  const Refusal &refuse = Refusal()) = 0;
    // File dialog for a log to read: only an existing file can be chosen, and
    // nothing is asked about it. Empty when the user cancels.
    virtual QString chooseLogToOpen(QWidget *parent, const QString &folder,
                                    const QString &filter) = 0;
    // Save dialog for a picture of a chart. Empty when the user cancels.
    virtual QString chooseImageFile(QWidget *parent) = 0;
    // Opens a web address in the user's browser without waiting for it.
    virtual void openUrl(const QString &url) = 0;
};

} // namespace qzt

// The program's modal dialogs and the web-address opener, behind one small
// interface so that tests answer them without a modal loop. Widget-free: the
// parent is only passed through.
#pragma once

#include <QString>

class QWidget;

namespace qzt {

// Caption of every message box of the program.
inline constexpr char kAppTitle[] = "QZT6604/5 Evaluation Software";

class Dialogs {
public:
    enum class Answer { Yes, No };

    virtual ~Dialogs() = default;

    // Critical-error icon, a single OK button, the application title.
    virtual void critical(QWidget *parent, const QString &text) = 0;
    // Yes and No, no icon, the application title.
    virtual Answer question(QWidget *parent, const QString &text) = 0;
    // File dialog starting in `folder` with one filter entry; the user may
    // pick an existing file or type a new name. Returns the full path, or an
    // empty string when the user cancels.
    virtual QString chooseLogFile(QWidget *parent, const QString &folder,
                                  const QString &filter) = 0;
    // Opens a web address in the user's browser without waiting for it.
    virtual void openUrl(const QString &url) = 0;
};

} // namespace qzt

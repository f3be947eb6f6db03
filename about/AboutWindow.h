// About window frmAbout: product title, version and the maker's web link.
#pragma once

#include "common/Dialogs.h"

#include <QWidget>

class QLabel;
class QMdiSubWindow;

namespace qzt {

inline constexpr char kMakerUrl[] = "https://example.com/qzt-sensors";

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(Dialogs &dialogs, QWidget *parent = nullptr);

    static QSize clientSizeTwips() { return {6975, 3375}; }

    // Sizes the frame `sub` around the client area and centres it across
    // the main window, 1500 twips above its centre, but never above or left
    // of the client area's corner, so that its title bar stays in reach.
    // The frame offers no maximise.
    void placeIn(QMdiSubWindow *sub, QSize mainOuterSize);

public slots:
    void Label6_Click();
    void cmdOK_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Dialogs &dialogs_;
    QLabel *Label6 = nullptr;
};

} // namespace qzt

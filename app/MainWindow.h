// The main window QZT6604_5Parent: the multiple-document frame, its menus,
// start-up (firmware download and bus discovery) and the poll cycle.
#pragma once

#include "about/AboutWindow.h"
#include "app/AdapterStatus.h"
#include "console/SettingsWindow.h"
#include "graphs/TempGraphWindow.h"
#include "graphs/VoltGraphWindow.h"
#include "logging/SaveWindow.h"
#include "sst/Models.h"
#include "windows/AppContext.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace qzt {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppContext &ctx, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The whole start-up. Returns false when the program must end (firmware
    // download failed or no chip answered); the user has been told why.
    bool MDIForm_Load();

    QMdiArea *mdiArea() const { return mdiArea_; }
    QTimer &timer() { return Timer1; }

    // The child windows that are open now (null when closed).
    TempGraphWindow *frmTempGraph04() const { return frmTempGraph04_; }
    TempGraphWindow *frmTempGraph05() const { return frmTempGraph05_; }
    VoltGraphWindow *frmVoltGraph05() const { return frmVoltGraph05_; }
    SettingsWindow *frmSettings04() const { return frmSettings04_; }
    SettingsWindow *frmSettings05() const { return frmSettings05_; }
    SaveWindow *frmSave04() const { return frmSave04_; }
    SaveWindow *frmSave05() const { return frmSave05_; }
    AboutWindow *frmAbout() const { return frmAbout_; }

public slots:
    // One poll tick; Timer1 calls it every 50 ms.
    void Timer1_Timer();

    void mTempGraph04_Click();
    void mSet04_Click();
    void mSave04_Click();
    void mTempGraph05_Click();
    void mVoltGraph05_Click();
    void mSet05_Click();
    void mSave05_Click();
    void mAbout_Click();
    // Asks for a log file and opens it in a viewer window.
    void mOpenLog_Click();

public:
    // Opens the log at `path` in a new viewer window once it is read; a
    // file that is not a readable log gets a message instead.
    void openLog(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;
    // A log file (.sav) dropped on the frame opens in a viewer.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildMenus();
    void fillWindowMenu();
    // Shows `window` inside the frame at its outer size in twips.
    QMdiSubWindow *addChild(QWidget *window, QSize outerTwips);
    // Brings an already open child to the front; false when it is not open.
    bool activate(QWidget *window);
    bool modelMenuEnabled(Model m) const;
    void openTempGraph(Model m);

    AppContext &ctx_;
    QMdiArea *mdiArea_ = nullptr;
    QTimer Timer1;

    QMenu *mQZT6604 = nullptr;
    QMenu *mQZT6605 = nullptr;
    QMenu *mWindows = nullptr;
    // Close, Tile, Cascade, Next and Previous, at the top of mWindows.
    QList<QAction *> windowActions_;
    AdapterStatusLabel *lblAdapterStatus = nullptr;

    QPointer<TempGraphWindow> frmTempGraph04_;
    QPointer<TempGraphWindow> frmTempGraph05_;
    QPointer<VoltGraphWindow> frmVoltGraph05_;
    QPointer<SettingsWindow> frmSettings04_;
    QPointer<SettingsWindow> frmSettings05_;
    QPointer<SaveWindow> frmSave04_;
    QPointer<SaveWindow> frmSave05_;
    QPointer<AboutWindow> frmAbout_;
};

} // namespace qzt

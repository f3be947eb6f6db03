// The main window QZT6604_5Parent: the multiple-document frame, its menus,
// start-up (firmware download and bus discovery) and the poll cycle.
#pragma once

#include "about/AboutWindow.h"
#include "app/AdapterStatus.h"
#include "console/SettingsWindow.h"
#include "graphs/TempGraphWindow.h"
#include "graphs/VoltGraphWindow.h"
#include "logging/SaveWindow.h"
#include "sst/AdapterIo.h"
#include "sst/ChipReads.h"
#include "sst/Discovery.h"
#include "sst/Models.h"
#include "windows/AppContext.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace qzt {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Threaded, the adapter runs on an I/O thread of its own; inline (as
    // tests have it), every adapter job runs at once inside the call that
    // asks for it, and each poll tick is one slot.
    explicit MainWindow(AppContext &ctx, AdapterIo::Mode mode = AdapterIo::Mode::Inline,
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // The whole start-up: firmware download and bus discovery on the I/O
    // thread, then the menus and the first graph. Emits loadFinished; false
    // there means the program must end (download failed or no chip
    // answered), the user having been told why. Returns false when it has
    // failed already (always known at once inline).
    bool MDIForm_Load();

    AdapterIo &io() { return *io_; }

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

    // Where slot 0 begins on the steady clock (threaded; set by the first tick).
    std::chrono::steady_clock::time_point slotZero() const { return slotZero_; }
    // The slot that time `t` falls in, slot 0 beginning at `zero`.
    static int64_t slotNumber(std::chrono::steady_clock::time_point zero,
                              std::chrono::steady_clock::time_point t);

signals:
    void loadFinished(bool ok);
    // The firmware download failed: `text` says from where and why, in one
    // line, before the message box says it too.
    void downloadFailed(const QString &text);
    // A slot's readings (or its miss) have gone to the windows.
    void slotDelivered(qint64 number);

public slots:
    // One poll tick; Timer1 calls it every 50 ms. Each tick is one 50 ms slot
    // of a steady clock: the reads of the open windows go to the I/O thread
    // in the cycle's order, and their readings come back for that slot. A
    // slot without readings (the reads did not end in it, or the tick before
    // was still on its way) gives every open window a failed read: a gap in
    // the graphs, empty fields in the logs.
    void Timer1_Timer();
    // Hands every slot still waiting for its readings to the windows as
    // missed, so that a log that is about to close gets all its lines.
    void settleSlots();

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
    // The windows the poll cycle serves, in its order.
    enum class Reader { TempGraph04, VoltGraph05, TempGraph05, Save04, Save05 };
    struct PollStep {
        Reader who;
        uint8_t address;
    };
    struct Slot {
        int64_t number;
        bool waiting; // its reads are on their way
        std::vector<std::pair<Reader, ChipReadings>> readings;
    };
    struct StartUp {
        int16_t download = -1;
        QString firmwarePath;
        QString why; // of a failed download
        std::vector<FoundChip> chips;
    };
    static ChipReadings readStep(DeviceState &state, USBFunctions &usb, const PollStep &step,
                                 ReadDeadline deadline);
    void finishLoad(const StartUp &result);
    void slotRead(int64_t number, const std::vector<PollStep> &steps,
                  const std::vector<ChipReadings> &readings);
    void flushSlots();
    void deliver(const Slot &slot);
    void refreshStatus(bool describeAgain = false);

    void buildMenus();
    void fillWindowMenu();
    // The model a child window belongs to, if any.
    std::optional<Model> childModel(const QWidget *window) const;
    // The size of the client area, where the children live.
    QSize clientArea();
    // Shows `window` inside the frame at its outer size in twips, or the
    // client area's size where that is smaller.
    QMdiSubWindow *addChild(QWidget *window, QSize outerTwips);
    // Window > Tile and Cascade, keeping every child whole inside the
    // client area.
    void tileChildren();
    void cascadeChildren();
    // Brings an already open child to the front; false when it is not open.
    bool activate(QWidget *window);
    bool modelMenuEnabled(Model m) const;
    void openTempGraph(Model m);

    AppContext &ctx_;
    std::unique_ptr<AdapterIo> io_;
    QMdiArea *mdiArea_ = nullptr;
    QTimer Timer1;
    bool loading_ = false;
    std::optional<bool> loaded_;
    // The poll slots: numbered from the first tick on the steady clock,
    // handed to the windows in order.
    std::chrono::steady_clock::time_point slotZero_{};
    int64_t lastSlot_ = -1;
    bool tickInFlight_ = false;
    std::deque<Slot> slots_;

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

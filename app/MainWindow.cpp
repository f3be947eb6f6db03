#include "app/MainWindow.h"

#include "about/AboutWindow.h"
#include "common/Twips.h"
#include "console/SettingsWindow.h"
#include "graphs/TempGraphWindow.h"
#include "graphs/VoltGraphWindow.h"
#include "logging/LogViewWindow.h"
#include "logging/SaveWindow.h"
#include "sst/Discovery.h"
#include "sst/SSTStuff.h"
#include "sst/USBStuff.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <algorithm>

namespace qzt {

namespace {
constexpr int kPollIntervalMs = 50;
// What a window manager adds around a window: borders and the title bar.
constexpr QSize kWindowFrameAllowance{16, 48};
} // namespace

MainWindow::MainWindow(AppContext &ctx, QWidget *parent) : QMainWindow(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("QZT6604_5Parent"));
    setWindowTitle(QStringLiteral("QZT6604/5"));

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("mdiArea"));
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // When a child closes, the one used before it comes to the front; Next
    // then walks from the most recently used on.
    mdiArea_->setActivationOrder(QMdiArea::ActivationHistoryOrder);
    setCentralWidget(mdiArea_);
    buildMenus();
    setAcceptDrops(true);
    lblAdapterStatus = new AdapterStatusLabel(this);
    statusBar()->addWidget(lblAdapterStatus, 1);
    lblAdapterStatus->refresh(ctx_.usb, ctx_.state.link, ctx_.now());

    // Large enough for the widest child window (a graph) and the tallest (a
    // console) plus the menu bar, frame and status line, and larger on a big
    // screen so that cascaded children stay visible; never larger than the
    // screen leaves room for, title bar included.
    const QSize largest = TempGraphWindow::outerSizeTwips()
                              .expandedTo(VoltGraphWindow::outerSizeTwips())
                              .expandedTo(SettingsWindow::outerSizeTwips());
    QSize size(twipsToPixels(largest.width(), logicalDpiX()) + 40,
               twipsToPixels(largest.height(), logicalDpiY()) + 80 +
                   statusBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        size = size.expandedTo(room.size() * 0.8).boundedTo(room.size() - kWindowFrameAllowance);
        move(room.topLeft());
    }
    resize(size);

    // The timer ticks from the moment the window exists, also while a
    // start-up message is on screen.
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(kPollIntervalMs);
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &MainWindow::Timer1_Timer);
    Timer1.start();
}

MainWindow::~MainWindow()
{
    Timer1.stop();
    // Children go before the frame so that their flags are cleared while
    // the device state is certainly alive.
    const auto subWindows = mdiArea_->subWindowList();
    for (QMdiSubWindow *sub : subWindows)
        delete sub;
}

void MainWindow::buildMenus()
{
    QMenuBar *bar = menuBar();
    auto entry = [this](QMenu *menu, const char *name, const QString &caption, auto slot) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    // Mnemonics open every menu from the keyboard; the two model menus
    // differ in their first letters only at the end.
    mQZT6604 = bar->addMenu(QStringLiteral("&QZT6604"));
    mQZT6604->setObjectName(QStringLiteral("mQZT6604"));
    mQZT6604->menuAction()->setObjectName(QStringLiteral("mQZT6604Action"));
    entry(mQZT6604, "mTempGraph04", QStringLiteral("&Temperature Graph"),
          &MainWindow::mTempGraph04_Click);
    entry(mQZT6604, "mSet04", QStringLiteral("&Settings"), &MainWindow::mSet04_Click);
    entry(mQZT6604, "mSave04", QStringLiteral("Save &Data"), &MainWindow::mSave04_Click);
    mQZT6604->setEnabled(false);

    mQZT6605 = bar->addMenu(QStringLiteral("QZT660&5"));
    mQZT6605->setObjectName(QStringLiteral("mQZT6605"));
    mQZT6605->menuAction()->setObjectName(QStringLiteral("mQZT6605Action"));
    entry(mQZT6605, "mTempGraph05", QStringLiteral("&Temperature Graph"),
          &MainWindow::mTempGraph05_Click);
    entry(mQZT6605, "mVoltGraph05", QStringLiteral("&Voltage Graph"),
          &MainWindow::mVoltGraph05_Click);
    entry(mQZT6605, "mSet05", QStringLiteral("&Settings"), &MainWindow::mSet05_Click);
    entry(mQZT6605, "mSave05", QStringLiteral("Save &Data"), &MainWindow::mSave05_Click);
    mQZT6605->setEnabled(false);

    mWindows = bar->addMenu(QStringLiteral("&Window"));
    mWindows->setObjectName(QStringLiteral("mWindows"));
    // The usual keys of a multiple-document window. The actions belong to the
    // frame, so their keys work while the menu is closed.
    auto windowAction = [this](const char *name, const QString &text,
                               const QList<QKeySequence> &keys, auto slot) {
        auto *action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, mdiArea_, slot);
        windowActions_.push_back(action);
    };
    // The active child already closes on the platform's Close keys (Ctrl+W
    // here); taking them as well would make them ambiguous, and then neither
    // would act.
    QList<QKeySequence> closeKeys;
    for (const QKeySequence &key :
         {QKeySequence(Qt::CTRL | Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_W)})
        if (!QKeySequence::keyBindings(QKeySequence::Close).contains(key))
            closeKeys << key;
    windowAction("mClose", QStringLiteral("Cl&ose"), closeKeys, &QMdiArea::closeActiveSubWindow);
    windowAction("mTile", QStringLiteral("&Tile"), {}, &QMdiArea::tileSubWindows);
    windowAction("mCascade", QStringLiteral("&Cascade"), {}, &QMdiArea::cascadeSubWindows);
    windowAction("mNext", QStringLiteral("Ne&xt"), {QKeySequence(Qt::CTRL | Qt::Key_Tab)},
                 &QMdiArea::activateNextSubWindow);
    windowAction("mPrevious", QStringLiteral("Pre&vious"),
                 {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)},
                 &QMdiArea::activatePreviousSubWindow);
    connect(mWindows, &QMenu::aboutToShow, this, &MainWindow::fillWindowMenu);
    fillWindowMenu();

    QAction *openLog = bar->addAction(QStringLiteral("&Open Log..."));
    openLog->setObjectName(QStringLiteral("mOpenLog"));
    connect(openLog, &QAction::triggered, this, &MainWindow::mOpenLog_Click);

    QAction *about = bar->addAction(QStringLiteral("&About..."));
    about->setObjectName(QStringLiteral("mAbout"));
    connect(about, &QAction::triggered, this, &MainWindow::mAbout_Click);
}

void MainWindow::fillWindowMenu()
{
    mWindows->clear();
    // The list keeps the order in which the children opened.
    const auto subWindows = mdiArea_->subWindowList(QMdiArea::CreationOrder);
    for (QAction *action : windowActions_) {
        mWindows->addAction(action);
        if (action->objectName() == QLatin1String("mCascade") ||
            action->objectName() == QLatin1String("mClose"))
            mWindows->addSeparator();
    }
    if (!subWindows.isEmpty())
        mWindows->addSeparator();
    QMdiSubWindow *active = mdiArea_->activeSubWindow();
    int number = 1;
    for (QMdiSubWindow *sub : subWindows) {
        const QString text = QStringLiteral("&%1 %2").arg(number++).arg(sub->windowTitle());
        QAction *action = mWindows->addAction(text);
        action->setCheckable(true);
        action->setChecked(sub == active);
        QPointer<QMdiSubWindow> target(sub);
        // A minimised child comes back to its normal size.
        connect(action, &QAction::triggered, this, [this, target] {
            if (target)
                activate(target->widget());
        });
    }
}

QMdiSubWindow *MainWindow::addChild(QWidget *window, QSize outerTwips)
{
    QMdiSubWindow *sub = mdiArea_->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setObjectName(window->objectName() + QStringLiteral("Frame"));
    const double dpi = logicalDpiX();
    sub->resize(twipsToPixels(outerTwips.width(), dpi), twipsToPixels(outerTwips.height(), dpi));
    // Each new child steps down and right from the one before, starting
    // over at the corner when the step would push it out of the frame.
    constexpr int kCascadeStep = 28;
    const int others = int(mdiArea_->subWindowList().size()) - 1;
    const QSize room = mdiArea_->viewport()->size() - sub->size();
    const int steps = std::max(1, std::min(room.width(), room.height()) / kCascadeStep + 1);
    const int offset = (others % steps) * kCascadeStep;
    sub->move(offset, offset);
    sub->show();
    mdiArea_->setActiveSubWindow(sub);
    return sub;
}

bool MainWindow::activate(QWidget *window)
{
    if (!window)
        return false;
    if (auto *sub = qobject_cast<QMdiSubWindow *>(window->parentWidget())) {
        if (sub->isMinimized())
            sub->showNormal();
        mdiArea_->setActiveSubWindow(sub);
        sub->raise();
    }
    return true;
}

bool MainWindow::modelMenuEnabled(Model m) const
{
    return (m == Model::QZT6604 ? mQZT6604 : mQZT6605)->isEnabled();
}

bool MainWindow::MDIForm_Load()
{
    auto &state = ctx_.state;
    if (QString why;
        DownloadFirmware(state, ctx_.usb, ctx_.appFolder, ctx_.firmwareFile, &why) < 0) {
        // A desktop launch shows no standard error: the box says why too.
        ctx_.dialogs.critical(
            this, QStringLiteral("Firmware failed to download. Please check USB connection."),
            firmwareAdvice(why));
        return false;
    }

    // Discovery: a later find of the same model overwrites the earlier
    // address; only a QZT6605 becomes the current SST address.
    for (const FoundChip &chip : probeBus(state, ctx_.usb)) {
        if (chip.model == Model::QZT6604) {
            mQZT6604->setEnabled(true);
            state.Declarations.Address04 = int16_t(chip.address);
        } else {
            mQZT6605->setEnabled(true);
            state.Declarations.Address05 = int16_t(chip.address);
            state.SSTStuff.SSTAddress = chip.address;
        }
    }

    if (!modelMenuEnabled(Model::QZT6604) && !modelMenuEnabled(Model::QZT6605)) {
        ctx_.dialogs.critical(this, QStringLiteral("No devices found"));
        return false;
    }

    openTempGraph(modelMenuEnabled(Model::QZT6604) ? Model::QZT6604 : Model::QZT6605);
    lblAdapterStatus->refresh(ctx_.usb, state.link, ctx_.now(), true);
    return true;
}

void MainWindow::Timer1_Timer()
{
    const auto &d = ctx_.state.Declarations;
    if (d.TempGraph04Open && frmTempGraph04_)
        frmTempGraph04_->UpdateTempGraph04();
    if (d.VoltGraph05Open && frmVoltGraph05_)
        frmVoltGraph05_->UpdateVoltGraph();
    if (d.TempGraph05Open && frmTempGraph05_)
        frmTempGraph05_->UpdateTempGraph05();
    if (d.Logging04 && frmSave04_)
        frmSave04_->SaveCurrentData();
    if (d.Logging05 && frmSave05_)
        frmSave05_->SaveCurrentData();
    // Until a model has been found (a start-up message may be on screen),
    // the tick keeps the bus busy with an offset read to whatever address
    // is current; nothing reads its result.
    if (!modelMenuEnabled(Model::QZT6604) && !modelMenuEnabled(Model::QZT6605))
        SSTGetExtOffset(ctx_.state, ctx_.usb);
    // Failures of this tick, or of a console action since the last one.
    lblAdapterStatus->refresh(ctx_.usb, ctx_.state.link, ctx_.now());
}

void MainWindow::openTempGraph(Model m)
{
    QPointer<TempGraphWindow> &slot = m == Model::QZT6604 ? frmTempGraph04_ : frmTempGraph05_;
    if (activate(slot))
        return;
    slot = new TempGraphWindow(ctx_, m);
    addChild(slot, TempGraphWindow::outerSizeTwips());
}

void MainWindow::mTempGraph04_Click()
{
    openTempGraph(Model::QZT6604);
}

void MainWindow::mTempGraph05_Click()
{
    openTempGraph(Model::QZT6605);
}

void MainWindow::mVoltGraph05_Click()
{
    if (activate(frmVoltGraph05_))
        return;
    frmVoltGraph05_ = new VoltGraphWindow(ctx_);
    addChild(frmVoltGraph05_, VoltGraphWindow::outerSizeTwips());
}

void MainWindow::mSet04_Click()
{
    if (activate(frmSettings04_))
        return;
    frmSettings04_ = new SettingsWindow(ctx_, Model::QZT6604);
    addChild(frmSettings04_, SettingsWindow::outerSizeTwips());
}

void MainWindow::mSet05_Click()
{
    if (activate(frmSettings05_))
        return;
    frmSettings05_ = new SettingsWindow(ctx_, Model::QZT6605);
    addChild(frmSettings05_, SettingsWindow::outerSizeTwips());
}

void MainWindow::mSave04_Click()
{
    if (activate(frmSave04_))
        return;
    frmSave04_ = new SaveWindow(ctx_, Model::QZT6604);
    addChild(frmSave04_, frmSave04_->outerSizeTwips());
}

void MainWindow::mSave05_Click()
{
    if (activate(frmSave05_))
        return;
    frmSave05_ = new SaveWindow(ctx_, Model::QZT6605);
    addChild(frmSave05_, frmSave05_->outerSizeTwips());
}

void MainWindow::mAbout_Click()
{
    if (activate(frmAbout_))
        return;
    frmAbout_ = new AboutWindow(ctx_.dialogs);
    QMdiSubWindow *sub = addChild(frmAbout_, QSize());
    frmAbout_->placeIn(sub, frameGeometry().size());
    mdiArea_->setActiveSubWindow(sub);
    frmAbout_->setFocus();
}

void MainWindow::mOpenLog_Click()
{
    const QString path = ctx_.dialogs.chooseLogToOpen(this, ctx_.appFolder,
                                                      QStringLiteral("Text Files (*.sav)|*.sav"));
    if (!path.isEmpty())
        openLog(path);
}

void MainWindow::openLog(const QString &path)
{
    // Read off this thread; the window comes when the file is read.
    new LogOpener(path, ctx_.dialogs, this, [this](LogViewWindow *window) {
        if (window)
            addChild(window, QSize(14400, 8640));
    });
}

namespace {

// The local .sav files among dropped URLs.
QStringList droppedLogs(const QMimeData *mime)
{
    QStringList paths;
    for (const QUrl &url : mime->urls())
        if (url.isLocalFile() &&
            url.toLocalFile().endsWith(QLatin1String(".sav"), Qt::CaseInsensitive))
            paths << url.toLocalFile();
    return paths;
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedLogs(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList paths = droppedLogs(event->mimeData());
    for (const QString &path : paths)
        openLog(path);
    if (!paths.isEmpty())
        event->acceptProposedAction();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Every logging window that is writing asks first, and nothing closes
    // until all have said Yes: after a No every child and the frame stay
    // open, and every log goes on writing.
    std::vector<SaveWindow *> writers;
    for (SaveWindow *save : {frmSave04_.data(), frmSave05_.data()})
        if (save && save->isWriting())
            writers.push_back(save);
    for (SaveWindow *save : writers) {
        if (!save->mayClose()) {
            event->ignore();
            return;
        }
    }
    for (SaveWindow *save : writers)
        save->closeAfterAsking();
    // Then the rest; should any child still refuse, the frame stays too.
    mdiArea_->closeAllSubWindows();
    const auto subWindows = mdiArea_->subWindowList();
    const bool refused = std::any_of(subWindows.begin(), subWindows.end(),
                                     [](QMdiSubWindow *sub) { return !sub->isHidden(); });
    if (refused) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace qzt

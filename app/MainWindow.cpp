#include "app/MainWindow.h"

#include "about/AboutWindow.h"
#include "app/LogOpener.h"
#include "common/Twips.h"
#include "console/SettingsWindow.h"
#include "graphs/TempGraphWindow.h"
#include "graphs/VoltGraphWindow.h"
#include "logging/LogViewWindow.h"
#include "logging/SaveWindow.h"
#include "sst/SSTStuff.h"
#include "sst/Tick.h"
#include "sst/USBStuff.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <algorithm>
#include <cmath>

namespace qzt {

namespace {
constexpr int kPollIntervalMs = 50;
constexpr std::chrono::milliseconds kTimerSlack{5};
// What a window manager adds around a window: borders and the title bar.
constexpr QSize kWindowFrameAllowance{16, 48};
// How far each cascaded child steps down and right from the one before.
constexpr int kCascadeStep = 28;
// A tiled child's size before tiling, which Cascade gives back.
constexpr char kUntiledSize[] = "untiledSize";

// One name for one file, whichever path reached it (a link, a relative path).
QString logKey(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}
} // namespace

MainWindow::MainWindow(AppContext &ctx, AdapterIo::Mode mode, QWidget *parent)
    : QMainWindow(parent), ctx_(ctx), io_(std::make_unique<AdapterIo>(ctx.state, ctx.usb, mode))
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
    refreshStatus();
    // Failures of a tick or of a console action, as soon as it is done.
    connect(io_.get(), &AdapterIo::linkChanged, this, [this] { refreshStatus(); });
    connect(io_.get(), &AdapterIo::activityChanged, lblAdapterStatus,
            &AdapterStatusLabel::setActivity);

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
    // The I/O thread ends here: it waits for the transfer under way, and
    // the jobs behind it are dropped.
    io_.reset();
}

void MainWindow::refreshStatus(bool describeAgain)
{
    lblAdapterStatus->refresh(io_->description(), io_->health(), ctx_.now(), describeAgain);
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
        if constexpr (std::is_member_function_pointer_v<decltype(slot)>)
            connect(action, &QAction::triggered, mdiArea_, slot);
        else
            connect(action, &QAction::triggered, this, slot);
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
    windowAction("mTile", QStringLiteral("&Tile"), {}, [this] { tileChildren(); });
    windowAction("mCascade", QStringLiteral("&Cascade"), {}, [this] { cascadeChildren(); });
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
        // The model tells the two chips' windows apart where the caption
        // does not name it; the captions themselves stay as they are.
        QString text = QStringLiteral("&%1 %2").arg(number++).arg(sub->windowTitle());
        if (const std::optional<Model> m = childModel(sub->widget())) {
            const QLatin1String name(modelInfo(*m).name);
            if (!sub->windowTitle().contains(name))
                text += QStringLiteral(" (%1)").arg(name);
        }
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

std::optional<Model> MainWindow::childModel(const QWidget *window) const
{
    for (const QWidget *w : {static_cast<const QWidget *>(frmTempGraph04_.data()),
                             static_cast<const QWidget *>(frmSettings04_.data()),
                             static_cast<const QWidget *>(frmSave04_.data())})
        if (w && w == window)
            return Model::QZT6604;
    for (const QWidget *w : {static_cast<const QWidget *>(frmTempGraph05_.data()),
                             static_cast<const QWidget *>(frmVoltGraph05_.data()),
                             static_cast<const QWidget *>(frmSettings05_.data()),
                             static_cast<const QWidget *>(frmSave05_.data())})
        if (w && w == window)
            return Model::QZT6605;
    if (const auto *viewer = qobject_cast<const LogViewWindow *>(window))
        return viewer->data().model();
    return std::nullopt;
}

QSize MainWindow::clientArea()
{
    // Before the frame is first shown its layout has not placed the area.
    if (!isVisible() && layout())
        layout()->activate();
    return mdiArea_->contentsRect().size();
}

QMdiSubWindow *MainWindow::addChild(QWidget *window, QSize outerTwips)
{
    QMdiSubWindow *sub = mdiArea_->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setObjectName(window->objectName() + QStringLiteral("Frame"));
    const double dpi = logicalDpiX();
    const QSize area = clientArea();
    sub->resize(
        QSize(twipsToPixels(outerTwips.width(), dpi), twipsToPixels(outerTwips.height(), dpi))
            .boundedTo(area));
    // Each new child steps down and right from the one before, starting
    // over at the corner when the step would push it out of the frame.
    const int others = int(mdiArea_->subWindowList().size()) - 1;
    const QSize room = area - sub->size();
    const int steps = std::max(1, std::min(room.width(), room.height()) / kCascadeStep + 1);
    const int offset = (others % steps) * kCascadeStep;
    sub->move(offset, offset);
    sub->show();
    mdiArea_->setActiveSubWindow(sub);
    return sub;
}

void MainWindow::tileChildren()
{
    // QMdiArea's own tiling keeps each child at least its smallest size and
    // pushes the rest behind scroll bars; these tiles share the client area
    // however small they get.
    QList<QMdiSubWindow *> subs;
    for (QMdiSubWindow *sub : mdiArea_->subWindowList(QMdiArea::CreationOrder))
        if (!sub->isHidden())
            subs << sub;
    if (subs.isEmpty())
        return;
    const QSize area = clientArea();
    const int n = int(subs.size());
    const int columns = int(std::ceil(std::sqrt(double(n))));
    const int rows = (n + columns - 1) / columns;
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow *sub = subs[i];
        if (sub->isMinimized() || sub->isMaximized())
            sub->showNormal();
        if (!sub->property(kUntiledSize).isValid())
            sub->setProperty(kUntiledSize, sub->size());
        // The last row's tiles widen to fill it.
        const int row = i / columns;
        const int inRow = row == rows - 1 ? n - row * columns : columns;
        const int column = i - row * columns;
        const QRect tile(QPoint(area.width() * column / inRow, area.height() * row / rows),
                         QPoint(area.width() * (column + 1) / inRow - 1,
                                area.height() * (row + 1) / rows - 1));
        sub->setGeometry(tile);
    }
}

void MainWindow::cascadeChildren()
{
    // Bottom of the stack first, so that the active child ends on top. Each
    // tiled child gets back the size it had before.
    QMdiSubWindow *active = mdiArea_->activeSubWindow();
    const QSize area = clientArea();
    QList<QMdiSubWindow *> subs;
    for (QMdiSubWindow *sub : mdiArea_->subWindowList(QMdiArea::StackingOrder))
        if (!sub->isHidden())
            subs << sub;
    QSize largest;
    for (QMdiSubWindow *sub : subs) {
        if (sub->isMinimized() || sub->isMaximized())
            sub->showNormal();
        if (const QVariant untiled = sub->property(kUntiledSize); untiled.isValid()) {
            sub->resize(untiled.toSize());
            sub->setProperty(kUntiledSize, QVariant());
        }
        sub->resize(sub->size().boundedTo(area));
        largest = largest.expandedTo(sub->size());
    }
    const QSize room = area - largest;
    const int steps = std::max(1, std::min(room.width(), room.height()) / kCascadeStep + 1);
    int k = 0;
    for (QMdiSubWindow *sub : subs) {
        const int offset = (k++ % steps) * kCascadeStep;
        sub->move(std::min(offset, area.width() - sub->width()),
                  std::min(offset, area.height() - sub->height()));
        sub->raise();
    }
    if (active)
        mdiArea_->setActiveSubWindow(active);
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
    const QString folder = ctx_.appFolder;
    const QString firmwareFile = ctx_.firmwareFile;
    loading_ = true;
    loaded_.reset();
    io_->run(
        [folder, firmwareFile](DeviceState &state, USBFunctions &usb) {
            StartUp r;
            r.download = DownloadFirmware(state, usb, folder, firmwareFile, &r.why);
            r.firmwarePath = state.USBStuff.FirmwarePath;
            if (r.download < 0)
                return r;
            r.chips = probeBus(state, usb);
            // Only a QZT6605 becomes the current SST address.
            for (const FoundChip &chip : r.chips)
                if (chip.model == Model::QZT6605)
                    state.SSTStuff.SSTAddress = chip.address;
            return r;
        },
        [this](const StartUp &r) { finishLoad(r); });
    return loaded_.value_or(true);
}

void MainWindow::finishLoad(const StartUp &result)
{
    loading_ = false;
    auto &state = ctx_.state;
    if (result.download < 0) {
        loaded_ = false;
        emit downloadFailed(firmwareFailure(result.firmwarePath, result.why));
        // A desktop launch shows no standard error: the box says why too.
        ctx_.dialogs.critical(
            this, QStringLiteral("Firmware failed to download. Please check USB connection."),
            firmwareAdvice(result.why));
        emit loadFinished(false);
        return;
    }

    // Discovery: a later find of the same model overwrites the earlier
    // address.
    for (const FoundChip &chip : result.chips) {
        if (chip.model == Model::QZT6604) {
            mQZT6604->setEnabled(true);
            state.Declarations.Address04 = int16_t(chip.address);
        } else {
            mQZT6605->setEnabled(true);
            state.Declarations.Address05 = int16_t(chip.address);
        }
    }

    if (!modelMenuEnabled(Model::QZT6604) && !modelMenuEnabled(Model::QZT6605)) {
        loaded_ = false;
        ctx_.dialogs.critical(this, QStringLiteral("No devices found"));
        emit loadFinished(false);
        return;
    }

    openTempGraph(modelMenuEnabled(Model::QZT6604) ? Model::QZT6604 : Model::QZT6605);
    refreshStatus(true);
    loaded_ = true;
    emit loadFinished(true);
}

int64_t MainWindow::slotNumber(std::chrono::steady_clock::time_point zero,
                               std::chrono::steady_clock::time_point t)
{
    return (t - zero + kTimerSlack) / std::chrono::milliseconds(kPollIntervalMs);
}

ChipReadings MainWindow::readStep(DeviceState &state, USBFunctions &usb, const PollStep &step,
                                  ReadDeadline deadline)
{
    switch (step.who) {
    case Reader::TempGraph04:
    case Reader::TempGraph05:
        return readTemperatures(state, usb, step.address, deadline);
    case Reader::VoltGraph05:
        return readVoltages(state, usb, step.address, deadline);
    case Reader::Save04:
        return readTick(state, usb, Model::QZT6604, step.address, deadline);
    case Reader::Save05:
        return readTick(state, usb, Model::QZT6605, step.address, deadline);
    }
    return {};
}

void MainWindow::Timer1_Timer()
{
    using namespace std::chrono;
    constexpr milliseconds kSlot{kPollIntervalMs};
    int64_t number = lastSlot_ + 1;
    ReadDeadline deadline = kNoDeadline;
    if (io_->threaded()) {
        // Slot k is the 50 ms from slotZero_ + k * 50 ms on. The timer fires
        // near each slot's start, a hair early at times: that still counts
        // for the slot. A tick that comes twice in one slot does nothing the
        // second time, and slots that passed without a tick are missed.
        const auto now = steady_clock::now();
        if (lastSlot_ < 0)
            slotZero_ = now;
        number = slotNumber(slotZero_, now);
        if (number <= lastSlot_)
            return;
        deadline = slotZero_ + (number + 1) * kSlot - kTimerSlack; // where slot number + 1 begins
    }
    for (int64_t k = lastSlot_ + 1; k < number; ++k)
        slots_.push_back({k, false, {}});
    lastSlot_ = number;

    // Step 6 of the cycle: until a model has been found, the tick keeps the
    // bus busy with an offset read to whatever address is current; nothing
    // reads its result.
    const bool idleRead = !modelMenuEnabled(Model::QZT6604) && !modelMenuEnabled(Model::QZT6605);
    std::vector<PollStep> steps;
    const auto &d = ctx_.state.Declarations;
    const auto add = [&](Flag16 flag, QWidget *window, Reader who, Model m) {
        if (flag && window)
            steps.push_back({who, modelAddress(ctx_.state, m)});
    };
    add(d.TempGraph04Open, frmTempGraph04_, Reader::TempGraph04, Model::QZT6604);
    add(d.VoltGraph05Open, frmVoltGraph05_, Reader::VoltGraph05, Model::QZT6605);
    add(d.TempGraph05Open, frmTempGraph05_, Reader::TempGraph05, Model::QZT6605);
    add(d.Logging04, frmSave04_, Reader::Save04, Model::QZT6604);
    add(d.Logging05, frmSave05_, Reader::Save05, Model::QZT6605);

    // The tick before is still on its way (a slow or silent board), or the
    // start-up holds the adapter: this slot is missed. Reads are never
    // queued up to catch up later.
    if (tickInFlight_ || loading_ || (steps.empty() && !idleRead)) {
        slots_.push_back({number, false, {}});
        flushSlots();
        return;
    }
    slots_.push_back({number, true, {}});
    tickInFlight_ = true;
    io_->run(
        [steps, idleRead, deadline](DeviceState &state, USBFunctions &usb) {
            std::vector<ChipReadings> readings;
            for (const PollStep &step : steps)
                readings.push_back(readStep(state, usb, step, deadline));
            if (idleRead)
                SSTGetExtOffset(state, usb);
            return readings;
        },
        [this, number, steps](const std::vector<ChipReadings> &readings) {
            slotRead(number, steps, readings);
        });
}

void MainWindow::slotRead(int64_t number, const std::vector<PollStep> &steps,
                          const std::vector<ChipReadings> &readings)
{
    tickInFlight_ = false;
    // A slot that was settled meanwhile has had its lines; its readings
    // come too late to be shown.
    for (Slot &slot : slots_) {
        if (slot.number != number || !slot.waiting)
            continue;
        slot.waiting = false;
        for (std::size_t i = 0; i < steps.size() && i < readings.size(); ++i)
            slot.readings.emplace_back(steps[i].who, readings[i]);
    }
    flushSlots();
}

void MainWindow::settleSlots()
{
    // The slots that passed since the last tick count as missed too (the
    // one under way included), so that a log that ends now has a line for
    // each of them.
    if (io_->threaded() && lastSlot_ >= 0) {
        const int64_t now = slotNumber(slotZero_, std::chrono::steady_clock::now());
        for (int64_t k = lastSlot_ + 1; k <= now; ++k)
            slots_.push_back({k, false, {}});
        lastSlot_ = std::max(lastSlot_, now);
    }
    for (Slot &slot : slots_)
        slot.waiting = false;
    flushSlots();
}

void MainWindow::flushSlots()
{
    while (!slots_.empty() && !slots_.front().waiting) {
        const Slot slot = std::move(slots_.front());
        slots_.pop_front();
        deliver(slot);
    }
}

void MainWindow::deliver(const Slot &slot)
{
    emit slotDelivered(slot.number);
    // A slot that was read goes to the windows that were read for it; a
    // missed one to every open window, as a failed read.
    const bool missed = slot.readings.empty();
    const auto readingFor = [&](Reader who) -> std::optional<ChipReadings> {
        for (const auto &[reader, readings] : slot.readings)
            if (reader == who)
                return readings;
        return missed ? std::optional<ChipReadings>(ChipReadings{}) : std::nullopt;
    };
    const auto &d = ctx_.state.Declarations;
    if (d.TempGraph04Open && frmTempGraph04_)
        if (const auto r = readingFor(Reader::TempGraph04))
            frmTempGraph04_->UpdateTempGraph04(*r);
    if (d.VoltGraph05Open && frmVoltGraph05_)
        if (const auto r = readingFor(Reader::VoltGraph05))
            frmVoltGraph05_->UpdateVoltGraph(*r);
    if (d.TempGraph05Open && frmTempGraph05_)
        if (const auto r = readingFor(Reader::TempGraph05))
            frmTempGraph05_->UpdateTempGraph05(*r);
    if (d.Logging04 && frmSave04_)
        if (const auto r = readingFor(Reader::Save04))
            frmSave04_->SaveCurrentData(*r);
    if (d.Logging05 && frmSave05_)
        if (const auto r = readingFor(Reader::Save05))
            frmSave05_->SaveCurrentData(*r);
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
    frmSettings04_ = new SettingsWindow(ctx_, *io_, Model::QZT6604);
    addChild(frmSettings04_, SettingsWindow::outerSizeTwips());
}

void MainWindow::mSet05_Click()
{
    if (activate(frmSettings05_))
        return;
    frmSettings05_ = new SettingsWindow(ctx_, *io_, Model::QZT6605);
    addChild(frmSettings05_, SettingsWindow::outerSizeTwips());
}

void MainWindow::mSave04_Click()
{
    if (activate(frmSave04_))
        return;
    frmSave04_ = new SaveWindow(ctx_, Model::QZT6604);
    connect(frmSave04_, &SaveWindow::writingEnds, this, &MainWindow::settleSlots);
    addChild(frmSave04_, frmSave04_->outerSizeTwips());
}

void MainWindow::mSave05_Click()
{
    if (activate(frmSave05_))
        return;
    frmSave05_ = new SaveWindow(ctx_, Model::QZT6605);
    connect(frmSave05_, &SaveWindow::writingEnds, this, &MainWindow::settleSlots);
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
    // A log that is open already comes to the front instead, and one on its
    // way is not read twice.
    const QString key = logKey(path);
    for (const LogOpener *opener : findChildren<LogOpener *>(Qt::FindDirectChildrenOnly))
        if (opener->pending() && logKey(opener->path()) == key)
            return;
    for (QMdiSubWindow *sub : mdiArea_->subWindowList())
        if (auto *viewer = qobject_cast<LogViewWindow *>(sub->widget()))
            if (logKey(viewer->path()) == key) {
                activate(viewer);
                return;
            }
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

#include "logging/SaveWindow.h"

#include "sst/Tick.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <algorithm>

namespace qzt {

namespace {

constexpr char kSaveCaption[] = "Save To File";
constexpr char kStopCaption[] = "Stop Writing To File";
constexpr char kFilter[] = "Text Files (*.sav)|*.sav";
constexpr char kCloseQuestion[] = "If you close this window then writing data to file will stop. "
                                  "Are you sure you want to exit?";

// Compact spacing in pixels, close to the design's: the outer size leaves
// little room beside the longest check-box caption.
constexpr int kWindowMargin = 6;
constexpr int kFrameMargin = 4;
constexpr int kBoxSpacing = 4;
// The smallest font the window steps down to when its captions would not
// fit the outer size otherwise.
constexpr qreal kMinPointSize = 7.0;
constexpr qreal kPointStep = 0.5;

// Where the file dialog starts: the program's folder when a log can be
// created there, as when it runs from a build tree. Installed, that folder
// belongs to the system, so the user's documents folder (or home) is offered
// instead. A probe file tells, as permission bits alone do not for root or
// on a read-only mount.
QString startFolder(const QString &appFolder)
{
    if (!appFolder.isEmpty()) {
        QTemporaryFile probe(QDir(appFolder).filePath(QStringLiteral("qzt-probe-XXXXXX")));
        if (probe.open())
            return appFolder;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

// Two names of one file: the same file once links and "..", when it exists.
bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    const QString ca = fa.canonicalFilePath(), cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

} // namespace

SaveWindow::SaveWindow(AppContext &ctx, Model model, QWidget *parent)
    : QWidget(parent), ctx_(ctx), model_(model)
{
    setObjectName(QStringLiteral("frmSave") + QLatin1String(modelInfo(model).suffix));
    setWindowTitle(QStringLiteral("Save Data"));

    // A frame with its title in bold; its check boxes say explicitly that
    // they are not bold, or they would inherit the frame's font.
    QFont bold = font();
    bold.setBold(true);
    QFont normal = font();
    normal.setBold(false);
    // One box per channel of the model and the group, as the catalogue
    // names, captions and checks it.
    const auto frame = [&](const char *name, const char *title, Group group) {
        auto *box = new QGroupBox(QLatin1String(title), this);
        box->setObjectName(QLatin1String(name));
        box->setFont(bold);
        auto *column = new QVBoxLayout(box);
        column->setContentsMargins(kFrameMargin, kFrameMargin, kFrameMargin, kFrameMargin);
        column->setSpacing(kBoxSpacing);
        for (const Channel c : modelInfo(model).channels) {
            const ChannelInfo &info = channelInfo(c);
            if (info.group != group)
                continue;
            auto *check = new QCheckBox(QLatin1String(info.checkText), box);
            check->setObjectName(QLatin1String(info.checkBox));
            check->setFont(normal);
            check->setChecked(info.loggedByDefault);
            column->addWidget(check);
            boxes_[std::size_t(info.channel)] = check;
        }
        column->addStretch();
        return box;
    };

    cmdSave = new QPushButton(QLatin1String(kSaveCaption), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    connect(cmdSave, &QPushButton::clicked, this, &SaveWindow::cmdSave_Click);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdCancel, &QPushButton::clicked, this, &SaveWindow::cmdCancel_Click);

    reserveCaptionRoom();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCancel);
    buttons->addStretch();

    // The buttons stand under the right-hand frame: the only one in
    // frmSave04, the voltage frame in frmSave05.
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(kWindowMargin, kWindowMargin, kWindowMargin, kWindowMargin);
    grid->setSpacing(kWindowMargin);
    grid->addWidget(frame("Frame1", "Temperature Readings", Group::Temperature), 0, 0);
    int buttonColumn = 0;
    if (modelInfo(model).hasVoltages) {
        grid->addWidget(frame("Frame3", "Voltage Readings", Group::Voltage), 0, 1);
        buttonColumn = 1;
    }
    grid->addLayout(buttons, 1, buttonColumn);
    grid->setRowStretch(2, 1);

    openFlag() = kTrue;
}

SaveWindow::~SaveWindow()
{
    // Also when the frame is torn down without a close event, e.g. with the
    // main window: the poll cycle must not call a window that is gone.
    openFlag() = kFalse;
}

void SaveWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!fitted_) {
        fitted_ = true;
        fitFontTo(size());
    }
}

void SaveWindow::fitFontTo(QSize room)
{
    // The outer size was laid out for a narrow 8-point font; wider fonts
    // would cut the longest captions. Step the window's font down until the
    // contents fit; frames stay bold and boxes plain, as their fonts only set
    // the weight and take the size from here.
    QFont f = font();
    if (f.pointSizeF() <= 0)
        return; // a pixel-sized font: leave it as the platform gave it
    while (f.pointSizeF() - kPointStep >= kMinPointSize) {
        const QSize need = minimumSizeHint();
        if (need.width() <= room.width() && need.height() <= room.height())
            break;
        f.setPointSizeF(f.pointSizeF() - kPointStep);
        setFont(f);
        reserveCaptionRoom();
    }
}

void SaveWindow::reserveCaptionRoom()
{
    // cmdSave is as wide as its longer caption from the start, so that
    // "Stop Writing To File" takes no room from the frames when it appears.
    const QString shown = cmdSave->text();
    cmdSave->setMinimumWidth(0);
    cmdSave->setText(QLatin1String(kStopCaption));
    const int stopWidth = cmdSave->sizeHint().width();
    cmdSave->setText(QLatin1String(kSaveCaption));
    const int saveWidth = cmdSave->sizeHint().width();
    cmdSave->setText(shown);
    cmdSave->setMinimumWidth(std::max(stopWidth, saveWidth));
}

Flag16 &SaveWindow::openFlag()
{
    auto &d = ctx_.state.Declarations;
    return model_ == Model::QZT6604 ? d.Logging04 : d.Logging05;
}

ChannelSelection SaveWindow::selection() const
{
    ChannelSelection s;
    for (std::size_t i = 0; i < kChannelCount; ++i)
        s.selected[i] = boxes_[i] && boxes_[i]->isChecked();
    return s;
}

void SaveWindow::SaveCurrentData(const ChipReadings &read)
{
    if (!log_.isOpen())
        return;
    const TickReadings t = tickReadings(read, model_);
    if (const LogFile::Result r = log_.append(dataLine(model_, selection(), t.values, t.failed));
        !r)
        writeFailed(r.reason);
}

void SaveWindow::cmdSave_Click()
{
    if (log_.isOpen()) {
        emit writingEnds();
        setIdle();
        if (const LogFile::Result r = log_.end(); !r)
            writeFailed(r.reason);
        return;
    }

    // The caption says "stop" already while the dialog is open; ticks that
    // arrive meanwhile read the chip but write nothing, no file being open.
    cmdSave->setText(QLatin1String(kStopCaption));
    QPointer<SaveWindow> alive(this);
    const QString path =
        ctx_.dialogs.chooseLogFile(this, startFolder(ctx_.appFolder), QLatin1String(kFilter),
                                   [this](const QString &chosen) { return refusal(chosen); });
    if (!alive)
        return;
    if (path.isEmpty()) {
        setIdle();
        return;
    }
    startWriting(path);
}

bool SaveWindow::startWriting(const QString &path)
{
    // Two windows appending to one file would interleave their lines under
    // one header; the file the other window writes is refused before it is
    // emptied.
    if (const QString why = refusal(path); !why.isEmpty()) {
        setIdle();
        ctx_.dialogs.critical(this, why);
        return false;
    }
    path_ = path;
    // The header names the columns of the boxes as they stand now, so the
    // boxes stay locked until writing stops.
    setBoxesEnabled(false);
    const LogFile::Result r = log_.begin(path_, headerLines(model_, selection(), ctx_.now()));
    if (r.status == LogFile::Status::OpenFailed) {
        setIdle();
        ctx_.dialogs.critical(this, QStringLiteral("Cannot open %1 for writing: %2.")
                                        .arg(QDir::toNativeSeparators(path_), r.reason));
        return false;
    }
    if (r.status == LogFile::Status::WriteFailed) {
        writeFailed(r.reason);
        return false;
    }
    return true;
}

QString SaveWindow::refusal(const QString &path) const
{
    if (!writtenByOtherWindow(path))
        return QString();
    return QStringLiteral("%1 is being written by the other Save Data window. Please choose "
                          "another file.")
        .arg(QDir::toNativeSeparators(path));
}

bool SaveWindow::writtenByOtherWindow(const QString &path) const
{
    // Both logging windows live in the one main window.
    const auto others = window()->findChildren<SaveWindow *>();
    return std::any_of(others.begin(), others.end(), [&](const SaveWindow *other) {
        return other != this && other->isWriting() && sameFile(other->logPath(), path);
    });
}

void SaveWindow::cmdCancel_Click()
{
    // Inside the main window the frame is what closes; it hands the close
    // to this window first, so the close handling runs as for the close box.
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->close();
    else
        close();
}

bool SaveWindow::mayClose()
{
    if (!log_.isOpen() ||
        ctx_.dialogs.question(this, QLatin1String(kCloseQuestion)) == Dialogs::Answer::Yes)
        return true;
    // The window stays and goes on writing. It adds no line of its own: a
    // line stands for one tick's 50 ms, and an extra one would shift every
    // later line's time.
    return false;
}

void SaveWindow::closeAfterAsking()
{
    asked_ = true;
    cmdCancel_Click();
    asked_ = false;
}

void SaveWindow::closeEvent(QCloseEvent *event)
{
    if (!asked_ && !mayClose()) {
        event->ignore();
        return;
    }
    // A tick during the question may have ended writing already; end() is
    // then a no-op.
    if (log_.isOpen())
        emit writingEnds();
    const LogFile::Result r = log_.end();
    openFlag() = kFalse;
    if (!r)
        ctx_.dialogs.critical(this, failureMessage(r.reason));
    event->accept();
}

void SaveWindow::setIdle()
{
    cmdSave->setText(QLatin1String(kSaveCaption));
    setBoxesEnabled(true);
}

void SaveWindow::setBoxesEnabled(bool enabled)
{
    for (QCheckBox *box : boxes_)
        if (box)
            box->setEnabled(enabled);
}

void SaveWindow::writeFailed(const QString &reason)
{
    // The writer has closed the file already. Idle comes first so that ticks
    // during the message only read.
    setIdle();
    ctx_.dialogs.critical(this, failureMessage(reason));
}

QString SaveWindow::failureMessage(const QString &reason) const
{
    return QStringLiteral("Writing to %1 failed: %2. Logging has stopped.")
        .arg(QDir::toNativeSeparators(path_), reason);
}

} // namespace qzt

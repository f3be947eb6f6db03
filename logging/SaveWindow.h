// Logging window: one class serves frmSave04 and frmSave05. Windows layer:
// may use logging/LogFile.h, sst/ and common/.
#pragma once

#include "logging/LogFile.h"
#include "sst/ChipReads.h"
#include "sst/Models.h"
#include "windows/AppContext.h"

#include <QSize>
#include <QWidget>

#include <array>

class QCheckBox;
class QCloseEvent;
class QPushButton;
class QShowEvent;

namespace qzt {

class SaveWindow : public QWidget {
    Q_OBJECT
public:
    SaveWindow(AppContext &ctx, Model model, QWidget *parent = nullptr);
    ~SaveWindow() override;

    QSize outerSizeTwips() const
    {
        return model_ == Model::QZT6604 ? QSize(3660, 4155) : QSize(7005, 4155);
    }

    // Writing while the log file is open; the caption of cmdSave follows.
    bool isWriting() const { return log_.isOpen(); }
    // The path the file dialog returned last; empty before the first file.
    QString logPath() const { return path_; }

    // Called by the poll cycle once per tick while the open flag is set,
    // with what the tick read from this window's chip (readLogTick); writes
    // a data line while writing. A read that failed, or a tick whose reads
    // did not complete in time, leaves its fields empty.
    void SaveCurrentData(const ChipReadings &r);

public slots:
    // Starts writing (file dialog, header) or stops it.
    void cmdSave_Click();
    // Closes the window through the same close handling as the close box.
    void cmdCancel_Click();

public:
    // While writing, asks whether to stop and close; true when the window may
    // close. A No goes on writing, one line per tick.
    bool mayClose();
    // Closes the window after mayClose() said yes, without asking again.
    void closeAfterAsking();

signals:
    // The log file is about to be closed: the ticks still on their way
    // get their lines now.
    void writingEnds();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    Flag16 &openFlag();
    void fitFontTo(QSize room);
    void reserveCaptionRoom();
    ChannelSelection selection() const;
    void setIdle();
    void setBoxesEnabled(bool enabled);
    // Starts writing to `path`; false (and Idle, the user told why) when it
    // cannot be opened or the other logging window is writing it.
    bool startWriting(const QString &path);
    bool writtenByOtherWindow(const QString &path) const;
    // Why `path` may not be written by this window; empty when it may.
    QString refusal(const QString &path) const;
    // A write or close failed: back to Idle and tell the user.
    void writeFailed(const QString &reason);
    QString failureMessage(const QString &reason) const;

    AppContext &ctx_;
    Model model_;
    // Indexed by Channel; the voltage boxes stay null in frmSave04.
    std::array<QCheckBox *, kChannelCount> boxes_{};
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdCancel = nullptr;
    QString path_;
    LogFile log_;
    bool fitted_ = false;
    bool asked_ = false; // the close question has been answered Yes already
};

} // namespace qzt

// Device console: one class serves frmSettings04 and frmSettings05. It sends
// single SST commands to its own model's chip when a button is clicked and
// composes free requests in its "General SST IO" group. It has no timer and
// sets no flag, so the poll cycle does not know that it is open.
// Windows layer: uses sst/ and common/.
#pragma once

#include "sst/AdapterIo.h"
#include "sst/Models.h"
#include "windows/AppContext.h"

#include <QSize>
#include <QWidget>

#include <array>
#include <functional>
#include <initializer_list>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace qzt {

struct Refusal;

class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    // Commands run on `io`; each button stays disabled while its command is
    // on its way.
    SettingsWindow(AppContext &ctx, AdapterIo &io, Model model, QWidget *parent = nullptr);

    static QSize outerSizeTwips() { return {9945, 7830}; }

public slots:
    // Each action first points SSTAddress at this window's chip, then runs
    // one SST command and shows what it decoded once the answer is back.
    void cmdGetDIB_Click();
    void cmdGetAllTemps_Click();
    void cmdPing_Click();
    void cmdGetOffset_Click();
    void cmdSetOffset_Click();
    // General SST IO: send the composed request and append the raw answer.
    void cmdReqSST_Click();
    void cmdClear_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QGroupBox *buildDibGroup();
    QGroupBox *buildOffsetGroup();
    QGroupBox *buildTempGroup();
    QGroupBox *buildPingGroup();
    QGroupBox *buildGeneralGroup();
    QGroupBox *group(const char *name, const QString &title);
    // What a command left behind, copied on the I/O thread.
    struct Answer {
        int16_t result = -1;
        SSTStuffModule sst;
        std::array<uint8_t, kSstBufferSize> buffer{};
    };
    // Runs `command` at this window's chip with `button` disabled until it
    // is done; then shows the failure message named after `action`, or
    // hands the answer to `show`.
    void runCommand(const char *button, const char *action,
                    std::function<int16_t(DeviceState &, USBFunctions &)> command,
                    std::function<void(const Answer &)> show);
    // Tells the user why an input was refused and puts the focus back on it.
    void refuse(const Refusal &refusal);
    void chainTabOrder(std::initializer_list<QWidget *> order);
    void scrollReceivedToEnd(int min, int max);

    AppContext &ctx_;
    AdapterIo &io_;
    Model model_;

    std::array<QLabel *, 8> lblDIB{};
    std::array<QLabel *, 2> lblTemp{};
    QLineEdit *txtFCS = nullptr;
    QLabel *lblOffset = nullptr;
    QLineEdit *txtOffset = nullptr;

    QLineEdit *txtWriteLength = nullptr;
    QLineEdit *txtReadLength = nullptr;
    QPlainTextEdit *txtToSend = nullptr;
    QLabel *lblReceived = nullptr;
    QScrollArea *receivedArea_ = nullptr;
    QRadioButton *optHex = nullptr;
    QRadioButton *optDec = nullptr;
};

} // namespace qzt

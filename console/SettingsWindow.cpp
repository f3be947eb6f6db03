#include "console/SettingsWindow.h"

#include "common/TextFormat.h"
#include "common/Twips.h"
#include "console/GeneralRequest.h"
#include "sst/SSTStuff.h"

#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <utility>
#include <variant>

namespace qzt {

namespace {

// The "Data To Send" box and the "Data Recieved" display share one fixed
// size, a few lines high.
constexpr QSize kDataBoxTwips{2850, 2250};

// Rows of the identifier block from top to bottom: the array index of the
// caption and value label, and the caption. The last two rows do not follow
// the index order.
constexpr std::array<std::pair<int, const char *>, 8> kDibRows{{
    {0, "Device Capability"},
    {1, "Version/Revision"},
    {2, "Vendor ID"},
    {3, "Device ID"},
    {4, "Device Interface"},
    {5, "Function Interface"},
    {7, "Silicon Revision ID"},
    {6, "Client Address"},
}};

QString arrayName(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

QFont consoleFont(bool bold)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSizeF(8.25);
    f.setBold(bold);
    return f;
}

QLabel *caption(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// A label the program fills in: sunken, so that an empty one still shows
// where its value will stand.
QLabel *valueLabel(const QString &name, int minWidth, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMinimumWidth(minWidth);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QPushButton *button(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLineEdit *textBox(const char *name, QWidget *parent)
{
    auto *t = new QLineEdit(parent);
    t->setObjectName(QLatin1String(name));
    return t;
}

// Qt hands a parent's font down to its children, so the controls of a group
// would be bold like its title unless they get the plain font themselves.
void unboldChildren(QGroupBox *g)
{
    const auto children = g->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *w : children)
        w->setFont(consoleFont(false));
}

// True when the command's transaction went through. Otherwise the user is
// told which button's command failed, and the caller leaves its display as
// it was: the command decoded nothing.
bool answered(int16_t result, const char *action, Dialogs &dialogs, QWidget *window)
{
    if (result >= 0)
        return true;
    dialogs.critical(window,
                     QLatin1String(action) + QStringLiteral(": the adapter did not answer."));
    return false;
}

} // namespace

SettingsWindow::SettingsWindow(AppContext &ctx, AdapterIo &io, Model model, QWidget *parent)
    : QWidget(parent), ctx_(ctx), io_(io), model_(model)
{
    const QString name = QLatin1String(modelInfo(model).name);
    setObjectName(QStringLiteral("frmSettings") + QLatin1String(modelInfo(model).suffix));
    setWindowTitle(name + QStringLiteral(" Settings"));
    setFont(consoleFont(false));

    // Built in reading order, which is also the order the Tab key follows.
    QGroupBox *dib = buildDibGroup();
    QGroupBox *offset = buildOffsetGroup();
    QGroupBox *temps = buildTempGroup();
    QGroupBox *ping = buildPingGroup();
    QGroupBox *general = buildGeneralGroup();

    auto *middle = new QVBoxLayout;
    middle->addWidget(offset);
    middle->addWidget(temps);
    middle->addStretch();

    auto *right = new QVBoxLayout;
    right->addWidget(ping);
    right->addStretch();

    auto *upper = new QHBoxLayout;
    upper->addWidget(dib);
    upper->addLayout(middle);
    upper->addLayout(right);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 4, 6, 6);
    outer->setSpacing(4);
    outer->addLayout(upper);
    outer->addWidget(general);
    outer->addStretch();

    // Tab follows the screen, and a box comes before the button that uses
    // it. The received display is no stop: it only shows, and the mouse
    // still scrolls and selects it.
    const auto named = [this](const char *n) { return findChild<QWidget *>(QLatin1String(n)); };
    chainTabOrder({named("cmdGetDIB"), named("cmdGetOffset"), txtOffset, named("cmdSetOffset"),
                   named("cmdGetAllTemps"), named("cmdPing"), txtFCS, txtWriteLength, txtReadLength,
                   txtToSend, named("cmdReqSST"), optHex, optDec, named("cmdClear")});
}

void SettingsWindow::chainTabOrder(std::initializer_list<QWidget *> order)
{
    QWidget *previous = nullptr;
    for (QWidget *w : order) {
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
}

QGroupBox *SettingsWindow::group(const char *name, const QString &title)
{
    auto *g = new QGroupBox(title, this);
    g->setObjectName(QLatin1String(name));
    // Only the title is bold: the box's own font is the title font, and the
    // controls inside get the plain one back (see the end of each builder).
    g->setFont(consoleFont(true));
    return g;
}

QGroupBox *SettingsWindow::buildDibGroup()
{
    QGroupBox *g = group("Frame1", QStringLiteral("Device Identifier Block"));
    auto *grid = new QGridLayout(g);
    grid->setVerticalSpacing(3);
    auto *get = button("cmdGetDIB", QStringLiteral("Get DIB"), g);
    connect(get, &QPushButton::clicked, this, &SettingsWindow::cmdGetDIB_Click);
    grid->addWidget(get, 0, 0, 1, 2, Qt::AlignLeft);
    int row = 1;
    for (const auto &[index, text] : kDibRows) {
        grid->addWidget(caption(arrayName("Label2", index), QLatin1String(text), g), row, 0);
        lblDIB[std::size_t(index)] = valueLabel(arrayName("lblDIB", index), 60, g);
        grid->addWidget(lblDIB[std::size_t(index)], row, 1);
        ++row;
    }
    grid->setRowStretch(row, 1);
    unboldChildren(g);
    return g;
}

QGroupBox *SettingsWindow::buildOffsetGroup()
{
    QGroupBox *g = group("Frame2", QStringLiteral("External Offset"));
    auto *grid = new QGridLayout(g);
    auto *get = button("cmdGetOffset", QStringLiteral("Get Ext Offset"), g);
    connect(get, &QPushButton::clicked, this, &SettingsWindow::cmdGetOffset_Click);
    lblOffset = valueLabel(QStringLiteral("lblOffset"), 50, g);
    auto *set = button("cmdSetOffset", QStringLiteral("Set Ext Offset"), g);
    connect(set, &QPushButton::clicked, this, &SettingsWindow::cmdSetOffset_Click);
    txtOffset = textBox("txtOffset", g);
    txtOffset->setText(QStringLiteral("0"));
    txtOffset->setFixedWidth(60);
    grid->addWidget(get, 0, 0);
    grid->addWidget(lblOffset, 0, 1);
    grid->addWidget(set, 1, 0);
    grid->addWidget(txtOffset, 1, 1);
    unboldChildren(g);
    return g;
}

QGroupBox *SettingsWindow::buildTempGroup()
{
    QGroupBox *g = group("Frame3", QStringLiteral("Temperatures"));
    auto *grid = new QGridLayout(g);
    grid->setVerticalSpacing(3);
    auto *get = button("cmdGetAllTemps", QStringLiteral("Get All Temps"), g);
    connect(get, &QPushButton::clicked, this, &SettingsWindow::cmdGetAllTemps_Click);
    grid->addWidget(get, 0, 0, 1, 2, Qt::AlignLeft);
    const std::array<QString, 2> captions{QStringLiteral("Internal"), QStringLiteral("External")};
    for (int i = 0; i < 2; ++i) {
        grid->addWidget(caption(arrayName("Label3", i), captions[std::size_t(i)], g), 1, i);
        lblTemp[std::size_t(i)] = valueLabel(arrayName("lblTemp", i), 70, g);
        grid->addWidget(lblTemp[std::size_t(i)], 2, i);
    }
    unboldChildren(g);
    return g;
}

QGroupBox *SettingsWindow::buildPingGroup()
{
    QGroupBox *g = group("Frame4", QStringLiteral("Ping"));
    auto *grid = new QGridLayout(g);
    auto *ping = button("cmdPing", QStringLiteral("Generate Ping"), g);
    connect(ping, &QPushButton::clicked, this, &SettingsWindow::cmdPing_Click);
    txtFCS = textBox("txtFCS", g);
    txtFCS->setFixedWidth(60);
    grid->addWidget(ping, 0, 0, 1, 2);
    grid->addWidget(caption(QStringLiteral("Label1"), QStringLiteral("FCS"), g), 1, 0);
    grid->addWidget(txtFCS, 1, 1);
    unboldChildren(g);
    return g;
}

QGroupBox *SettingsWindow::buildGeneralGroup()
{
    QGroupBox *g = group("Frame5", QStringLiteral("General SST IO"));
    const double dpi = logicalDpiX();
    const QSize box(twipsToPixels(kDataBoxTwips.width(), dpi),
                    twipsToPixels(kDataBoxTwips.height(), dpi));

    txtWriteLength = textBox("txtWriteLength", g);
    txtReadLength = textBox("txtReadLength", g);
    txtWriteLength->setFixedWidth(40);
    txtReadLength->setFixedWidth(40);
    auto *send = button("cmdReqSST", QStringLiteral("Send"), g);
    connect(send, &QPushButton::clicked, this, &SettingsWindow::cmdReqSST_Click);
    auto *lengths = new QGridLayout;
    lengths->addWidget(caption(QStringLiteral("Label5"), QStringLiteral("Write Length"), g), 0, 0);
    lengths->addWidget(txtWriteLength, 0, 1);
    lengths->addWidget(caption(QStringLiteral("Label6"), QStringLiteral("Read Length"), g), 1, 0);
    lengths->addWidget(txtReadLength, 1, 1);
    lengths->addWidget(send, 2, 0, 1, 2);
    lengths->setRowStretch(3, 1);

    // The bytes wrap between tokens inside a box as high as the display
    // beside it. Enter sends rather than adding a line, so the text stays
    // one line of blank-separated tokens, and Tab moves on.
    txtToSend = new QPlainTextEdit(g);
    txtToSend->setObjectName(QStringLiteral("txtToSend"));
    txtToSend->setFixedSize(box);
    txtToSend->setTabChangesFocus(true);
    txtToSend->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtToSend->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    txtToSend->installEventFilter(this);
    // The style draws no focus frame around a multi-line box as it does
    // around a line box; this frame shows where the keys go.
    txtToSend->setStyleSheet(
        QStringLiteral("QPlainTextEdit { border: 1px solid palette(mid); }"
                       "QPlainTextEdit:focus { border: 2px solid palette(highlight); }"));
    connect(txtWriteLength, &QLineEdit::returnPressed, this, &SettingsWindow::cmdReqSST_Click);
    connect(txtReadLength, &QLineEdit::returnPressed, this, &SettingsWindow::cmdReqSST_Click);

    // The display keeps its size: the text wraps between bytes, and the area
    // follows the newest bytes as they arrive.
    lblReceived = new QLabel;
    lblReceived->setObjectName(QStringLiteral("lblReceived"));
    lblReceived->setTextFormat(Qt::PlainText);
    lblReceived->setWordWrap(true);
    lblReceived->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblReceived->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblReceived->setContentsMargins(3, 2, 3, 2);
    receivedArea_ = new QScrollArea(g);
    receivedArea_->setObjectName(QStringLiteral("lblReceivedArea"));
    receivedArea_->setFixedSize(box);
    receivedArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    receivedArea_->setWidgetResizable(true);
    receivedArea_->setWidget(lblReceived);
    receivedArea_->setBackgroundRole(QPalette::Base);
    receivedArea_->setFocusPolicy(Qt::NoFocus);
    connect(receivedArea_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &SettingsWindow::scrollReceivedToEnd);

    // Being the only option buttons of the group, the two form one exclusive
    // pair by themselves.
    optHex = new QRadioButton(QStringLiteral("Hex"), g);
    optHex->setObjectName(QStringLiteral("optHex"));
    optHex->setChecked(true);
    optDec = new QRadioButton(QStringLiteral("Decimal"), g);
    optDec->setObjectName(QStringLiteral("optDec"));
    auto *clear = button("cmdClear", QStringLiteral("Clear"), g);
    connect(clear, &QPushButton::clicked, this, &SettingsWindow::cmdClear_Click);
    auto *radix = new QVBoxLayout;
    radix->addWidget(optHex);
    radix->addWidget(optDec);
    radix->addWidget(clear);
    radix->addStretch();

    // Captions above the two boxes; the radix column starts level with the
    // boxes, and the lengths with "Send" stand at the left.
    auto *grid = new QGridLayout(g);
    grid->addLayout(lengths, 0, 0, 2, 1);
    grid->addWidget(caption(QStringLiteral("Label8"), QStringLiteral("Data To Send"), g), 0, 1);
    grid->addWidget(txtToSend, 1, 1);
    grid->addWidget(caption(QStringLiteral("Label7"), QStringLiteral("Data Recieved"), g), 0, 2);
    grid->addWidget(receivedArea_, 1, 2);
    grid->addLayout(radix, 1, 3);
    grid->setColumnStretch(4, 1);
    unboldChildren(g);
    return g;
}

bool SettingsWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtToSend && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cmdReqSST_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsWindow::refuse(const Refusal &refusal)
{
    ctx_.dialogs.critical(this, refusal.message);
    switch (refusal.field) {
    case InputField::Data:
        txtToSend->setFocus();
        break;
    case InputField::WriteLength:
    case InputField::ReadLength: {
        QLineEdit *box = refusal.field == InputField::WriteLength ? txtWriteLength : txtReadLength;
        box->setFocus();
        box->selectAll();
        break;
    }
    case InputField::Offset:
        txtOffset->setFocus();
        txtOffset->selectAll();
        break;
    }
}

void SettingsWindow::scrollReceivedToEnd(int, int max)
{
    receivedArea_->verticalScrollBar()->setValue(max);
}

void SettingsWindow::runCommand(const char *button, const char *action,
                                std::function<int16_t(DeviceState &, USBFunctions &)> command,
                                std::function<void(const Answer &)> show)
{
    QPointer<QPushButton> b = findChild<QPushButton *>(QLatin1String(button));
    if (!b || !b->isEnabled())
        return; // its command is still on its way (Enter in a box, for Send)
    b->setEnabled(false);
    const uint8_t address = modelAddress(ctx_.state, model_);
    QPointer<SettingsWindow> self(this);
    io_.run(
        [address, command = std::move(command)](DeviceState &s, USBFunctions &usb) {
            s.SSTStuff.SSTAddress = address;
            Answer a;
            a.result = command(s, usb);
            a.sst = s.SSTStuff;
            a.buffer = s.USBStuff.SSTBuffer;
            return a;
        },
        [self, b, action, show = std::move(show)](const Answer &a) {
            if (!self)
                return;
            if (b)
                b->setEnabled(true);
            if (answered(a.result, action, self->ctx_.dialogs, self))
                show(a);
        });
}

void SettingsWindow::cmdGetDIB_Click()
{
    runCommand("cmdGetDIB", "Get DIB", SSTGetDIB, [this](const Answer &a) {
        const auto &s = a.sst;
        // In the order of the lblDIB indexes: 6 is the client address and 7
        // the silicon revision, which the screen shows the other way round.
        const std::array<uint32_t, 8> fields{s.DibCapability,         s.DibVersion,
                                             uint32_t(s.DibVendorId), uint32_t(s.DibDeviceId),
                                             s.DibDeviceInterface,    s.DibFunctionInterface,
                                             s.DibClientAddress,      s.DibSiliconRevision};
        for (std::size_t i = 0; i < fields.size(); ++i)
            lblDIB[i]->setText(QStringLiteral("0x") + hexText(fields[i]));
    });
}

void SettingsWindow::cmdGetAllTemps_Click()
{
    runCommand("cmdGetAllTemps", "Get All Temps", SSTGetTemps, [this](const Answer &a) {
        lblTemp[0]->setText(numberTextTrimmed(a.sst.IntTemp) + QStringLiteral("\u00B0C"));
        lblTemp[1]->setText(numberTextTrimmed(a.sst.ExtTemp) + QStringLiteral("\u00B0C"));
    });
}

void SettingsWindow::cmdPing_Click()
{
    runCommand("cmdPing", "Generate Ping", SSTPing, [this](const Answer &a) {
        txtFCS->setText(QStringLiteral("0x") + hexText(a.sst.SSTStatus));
    });
}

void SettingsWindow::cmdGetOffset_Click()
{
    runCommand("cmdGetOffset", "Get Ext Offset", SSTGetExtOffset,
               [this](const Answer &a) { lblOffset->setText(numberTextTrimmed(a.sst.ExtOffset)); });
}

void SettingsWindow::cmdSetOffset_Click()
{
    // An offset the write cannot encode is refused before anything is sent;
    // lblOffset keeps its text either way until the next read.
    const auto offset = readExtOffset(txtOffset->text());
    if (const auto *refusal = std::get_if<Refusal>(&offset)) {
        refuse(*refusal);
        return;
    }
    const int32_t value = std::get<int32_t>(offset);
    runCommand(
        "cmdSetOffset", "Set Ext Offset",
        [value](DeviceState &s, USBFunctions &usb) { return SSTSetExtOffset(s, usb, value); },
        [](const Answer &) {});
}

void SettingsWindow::cmdReqSST_Click()
{
    // Everything the user typed is read and checked first, so that a refused
    // request leaves the buffer, SSTAddress and the display as they were.
    const auto read =
        readGeneralRequest(txtToSend->toPlainText(), txtWriteLength->text(), txtReadLength->text());
    if (const auto *refusal = std::get_if<Refusal>(&read)) {
        refuse(*refusal);
        return;
    }
    GeneralRequest request = std::get<GeneralRequest>(read);
    const uint8_t readLength = request.readLength;
    // A failed Send adds nothing: the buffer holds the request, not an
    // answer.
    runCommand(
        "cmdReqSST", "Send",
        [request = std::move(request)](DeviceState &s, USBFunctions &usb) {
            return SSTRequest(s, usb, request.writeLength, request.readLength, request.data);
        },
        [this, readLength](const Answer &a) {
            // The status byte, the answer bytes and the byte after them,
            // appended to what earlier Sends left; the radix is looked at
            // for every byte.
            QString text = lblReceived->text();
            for (std::size_t i = 0; i <= std::size_t(readLength) + 1; ++i) {
                if (optHex->isChecked())
                    text += hexText(a.buffer[i]) + QLatin1Char(' ');
                else
                    text += numberText(int32_t(a.buffer[i])) + QLatin1Char(' ');
            }
            lblReceived->setText(text);
        });
}

void SettingsWindow::cmdClear_Click()
{
    txtToSend->clear();
    lblReceived->clear();
}

} // namespace qzt

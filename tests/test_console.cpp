// Device console: single commands, the offset field, the general request
// panel, their refusals and the window's layout.
#include "common/TextFormat.h"
#include "console/SettingsWindow.h"
#include "sst/SSTStuff.h"
#include "support/Harness.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <algorithm>

using namespace qzt;
using namespace qzt::test;

using Bytes = QList<int>;

namespace {

// A console on its own, talking to a scripted adapter, so that tests choose
// every answer byte. The QZT6604 is at 0x48 and the QZT6605 at 0x4A.
struct Bench {
    explicit Bench(Model m = Model::QZT6604) : window(ctx, m)
    {
        state.Declarations.Address04 = 0x48;
        state.Declarations.Address05 = 0x4A;
    }
    DeviceState state;
    FakeAdapter usb;
    FakeDialogs dialogs;
    AppContext ctx{state, usb, dialogs, QString(), [] { return int64_t(0); }};
    SettingsWindow window;
};

template <class T> T *get(QWidget *w, const QString &name)
{
    T *c = w->findChild<T *>(name);
    if (!c)
        qFatal("control %s missing", qPrintable(name));
    return c;
}

void click(QWidget *w, const char *button)
{
    get<QPushButton>(w, QLatin1String(button))->click();
}

void setText(QWidget *w, const char *box, const QString &text)
{
    get<QLineEdit>(w, QLatin1String(box))->setText(text);
}

QString textOf(QWidget *w, const char *name)
{
    QObject *o = w->findChild<QObject *>(QLatin1String(name));
    if (auto *l = qobject_cast<QLabel *>(o))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(o))
        return e->text();
    if (auto *b = qobject_cast<QAbstractButton *>(o))
        return b->text();
    if (auto *g = qobject_cast<QGroupBox *>(o))
        return g->title();
    qFatal("control %s missing", name);
}

QString received(QWidget *w)
{
    return get<QLabel>(w, QStringLiteral("lblReceived"))->text();
}

void send(QWidget *w, const QString &data, const QString &write, const QString &read)
{
    setText(w, "txtToSend", data);
    setText(w, "txtWriteLength", write);
    setText(w, "txtReadLength", read);
    click(w, "cmdReqSST");
}

QString tokens(int n)
{
    QStringList t;
    for (int i = 0; i < n; ++i)
        t << QString::number(i % 256, 16);
    return t.join(u' ');
}

// Fills the buffer with a pattern no answer produces, to see what changed.
void fillBuffer(DeviceState &state)
{
    auto &b = state.USBStuff.SSTBuffer;
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = uint8_t(0xA0 ^ (i * 7));
}

} // namespace

class TestConsole : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void windowOpensWithCaptionsAndDefaults_data();
    void windowOpensWithCaptionsAndDefaults();
    void eachModelHasItsOwnNameAndCaption();
    void groupTitlesAreBoldTheirControlsAreNot();
    void dibRowsStandInScreenOrderNotIndexOrder();
    void groupsArrangedAndNothingClippedAtTheFixedSize();

    void getDibFillsEachRowFromItsField_data();
    void getDibFillsEachRowFromItsField();
    void getAllTempsShowsNumberTextWithoutLeadingBlank_data();
    void getAllTempsShowsNumberTextWithoutLeadingBlank();
    void pingWritesStatusAsHexIntoFcs();
    void getOffsetShowsValueAndSetLeavesItAlone();
    void setOffsetSendsTheReadNumber_data();
    void setOffsetSendsTheReadNumber();
    void setOffsetOutsideEncodableRangeIsRefused_data();
    void setOffsetOutsideEncodableRangeIsRefused();
    void eachConsoleAddressesOnlyItsOwnChip();

    void sendBuildsRequestFromTokensAndLengths_data();
    void sendBuildsRequestFromTokensAndLengths();
    void sendF7IsGetDibAndShowsEighteenEntries();
    void sendsAccumulateAndRadixAppliesOnlyToLaterBytes();
    void sixTokensArePlacedButOnlyFourCarried();
    void clearEmptiesDataAndDisplayKeepsLengthsAndRadix();
    void receivedDisplayKeepsSizeAndFollowsNewestBytes();
    void refusedSendTouchesNothing_data();
    void refusedSendTouchesNothing();

    void hostileTextsNeverCrashOrOverrun();
};

void TestConsole::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestConsole::windowOpensWithCaptionsAndDefaults_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    static const struct {
        const char *group, *control, *text;
    } rows[] = {
        {"", "Frame1", "Device Identifier Block"},
        {"Frame1", "cmdGetDIB", "Get DIB"},
        {"Frame1", "Label2(0)", "Device Capability"},
        {"Frame1", "Label2(1)", "Version/Revision"},
        {"Frame1", "Label2(2)", "Vendor ID"},
        {"Frame1", "Label2(3)", "Device ID"},
        {"Frame1", "Label2(4)", "Device Interface"},
        {"Frame1", "Label2(5)", "Function Interface"},
        {"Frame1", "Label2(6)", "Client Address"},
        {"Frame1", "Label2(7)", "Silicon Revision ID"},
        {"", "Frame2", "External Offset"},
        {"Frame2", "cmdGetOffset", "Get Ext Offset"},
        {"Frame2", "lblOffset", ""},
        {"Frame2", "cmdSetOffset", "Set Ext Offset"},
        {"Frame2", "txtOffset", "0"},
        {"", "Frame3", "Temperatures"},
        {"Frame3", "cmdGetAllTemps", "Get All Temps"},
        {"Frame3", "Label3(0)", "Internal"},
        {"Frame3", "Label3(1)", "External"},
        {"Frame3", "lblTemp(0)", ""},
        {"Frame3", "lblTemp(1)", ""},
        {"", "Frame4", "Ping"},
        {"Frame4", "cmdPing", "Generate Ping"},
        {"Frame4", "Label1", "FCS"},
        {"Frame4", "txtFCS", ""},
        {"", "Frame5", "General SST IO"},
        {"Frame5", "Label5", "Write Length"},
        {"Frame5", "txtWriteLength", ""},
        {"Frame5", "Label6", "Read Length"},
        {"Frame5", "txtReadLength", ""},
        {"Frame5", "cmdReqSST", "Send"},
        {"Frame5", "Label8", "Data To Send"},
        {"Frame5", "txtToSend", ""},
        {"Frame5", "Label7", "Data Recieved"},
        {"Frame5", "lblReceived", ""},
        {"Frame5", "optHex", "Hex"},
        {"Frame5", "optDec", "Decimal"},
        {"Frame5", "cmdClear", "Clear"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.control) << QString(r.group) << QString(r.control) << QString(r.text);
    for (int i = 0; i < 8; ++i) {
        const QString value = QStringLiteral("lblDIB(%1)").arg(i);
        QTest::newRow(qPrintable(value)) << "Frame1" << value << QString();
    }
}

void TestConsole::windowOpensWithCaptionsAndDefaults()
{
    QFETCH(QString, group);
    QFETCH(QString, control);
    QFETCH(QString, text);
    // Through the menu, as the user opens it.
    Harness h;
    QVERIFY(h.start());
    h.window->mSet04_Click();
    SettingsWindow *w = h.window->frmSettings04();
    QVERIFY(w);
    QWidget *c = get<QWidget>(w, control);
    QCOMPARE(textOf(w, qPrintable(control)), text);
    if (!group.isEmpty()) {
        QWidget *g = get<QGroupBox>(w, group);
        QVERIFY2(g->isAncestorOf(c), qPrintable(control + " outside " + group));
    }
    QVERIFY(get<QRadioButton>(w, "optHex")->isChecked());
    QVERIFY(!get<QRadioButton>(w, "optDec")->isChecked());
    QVERIFY(!get<QLineEdit>(w, "txtFCS")->isReadOnly());
    // Opening sends nothing.
    QVERIFY(h.usb.calls.empty());
}

void TestConsole::eachModelHasItsOwnNameAndCaption()
{
    Harness h;
    QVERIFY(h.start());
    h.window->mSet04_Click();
    h.window->mSet05_Click();
    QCOMPARE(h.window->frmSettings04()->objectName(), QString("frmSettings04"));
    QCOMPARE(h.window->frmSettings04()->windowTitle(), QString("QZT6604 Settings"));
    QCOMPARE(h.window->frmSettings05()->objectName(), QString("frmSettings05"));
    QCOMPARE(h.window->frmSettings05()->windowTitle(), QString("QZT6605 Settings"));
    // Both radio buttons of a console form one exclusive pair.
    auto *dec = get<QRadioButton>(h.window->frmSettings04(), "optDec");
    dec->click();
    QVERIFY(!get<QRadioButton>(h.window->frmSettings04(), "optHex")->isChecked());
    QVERIFY(get<QRadioButton>(h.window->frmSettings05(), "optHex")->isChecked());
}

void TestConsole::groupTitlesAreBoldTheirControlsAreNot()
{
    Bench b;
    for (const char *name : {"Frame1", "Frame2", "Frame3", "Frame4", "Frame5"}) {
        auto *g = get<QGroupBox>(&b.window, QLatin1String(name));
        QVERIFY2(g->font().bold(), name);
        QCOMPARE(g->font().family(), QString("MS Sans Serif"));
        QCOMPARE(g->font().pointSizeF(), 8.25);
        const auto inside = g->findChildren<QWidget *>();
        for (QWidget *c : inside)
            QVERIFY2(!c->font().bold(), qPrintable(c->objectName()));
    }
}

void TestConsole::dibRowsStandInScreenOrderNotIndexOrder()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    h.window->mSet04_Click();
    SettingsWindow *w = h.window->frmSettings04();
    QCoreApplication::sendPostedEvents();
    QVector<QLabel *> captions;
    for (int i = 0; i < 8; ++i)
        captions << get<QLabel>(w, QStringLiteral("Label2(%1)").arg(i));
    std::sort(captions.begin(), captions.end(), [w](QLabel *a, QLabel *b) {
        return a->mapTo(w, QPoint()).y() < b->mapTo(w, QPoint()).y();
    });
    QStringList order;
    for (QLabel *c : captions) {
        order << c->objectName();
        // The value of each row stands beside its own caption.
        const QString value = QString(c->objectName()).replace("Label2", "lblDIB");
        QLabel *v = get<QLabel>(w, value);
        const int captionMid = c->mapTo(w, c->rect().center()).y();
        const QRect valueRect(v->mapTo(w, QPoint()), v->size());
        QVERIFY2(valueRect.top() <= captionMid && captionMid <= valueRect.bottom(),
                 qPrintable(value));
        QVERIFY(valueRect.left() > c->mapTo(w, QPoint()).x());
    }
    QCOMPARE(order, QStringList({"Label2(0)", "Label2(1)", "Label2(2)", "Label2(3)", "Label2(4)",
                                 "Label2(5)", "Label2(7)", "Label2(6)"}));
}

void TestConsole::groupsArrangedAndNothingClippedAtTheFixedSize()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    h.window->mSet05_Click();
    SettingsWindow *w = h.window->frmSettings05();
    // The widest texts the value fields can be given.
    for (int i = 0; i < 8; ++i)
        get<QLabel>(w, QStringLiteral("lblDIB(%1)").arg(i))->setText("0xFFFF");
    get<QLabel>(w, "lblTemp(0)")->setText(QString::fromUtf8("-512.98°C"));
    get<QLabel>(w, "lblTemp(1)")->setText(QString::fromUtf8("-512.98°C"));
    get<QLabel>(w, "lblOffset")->setText("-512");
    setText(w, "txtFCS", "0xFF");
    QCoreApplication::sendPostedEvents();
    w->layout()->activate();

    auto *sub = qobject_cast<QMdiSubWindow *>(w->parentWidget());
    QVERIFY(sub);
    QVERIFY(sub->contentsRect().contains(w->geometry()));
    const QSize need = w->minimumSizeHint();
    QVERIFY2(need.width() <= w->width() && need.height() <= w->height(),
             qPrintable(QStringLiteral("needs %1x%2, has %3x%4")
                            .arg(need.width())
                            .arg(need.height())
                            .arg(w->width())
                            .arg(w->height())));

    const auto inside = w->findChildren<QWidget *>();
    auto *area = get<QScrollArea>(w, "lblReceivedArea");
    for (QWidget *c : inside) {
        if (area->isAncestorOf(c))
            continue; // the display scrolls by design
        QVERIFY2(c->parentWidget()->rect().contains(c->geometry()), qPrintable(c->objectName()));
        const QSize min = c->minimumSizeHint();
        QVERIFY2(c->width() >= min.width() && c->height() >= min.height(),
                 qPrintable(c->objectName()));
    }

    auto box = [w](const char *name) {
        QWidget *g = get<QGroupBox>(w, QLatin1String(name));
        return QRect(g->mapTo(w, QPoint()), g->size());
    };
    const QRect dib = box("Frame1"), offset = box("Frame2"), temps = box("Frame3"),
                ping = box("Frame4"), io = box("Frame5");
    QVERIFY(dib.right() < offset.left());   // left column
    QVERIFY(offset.bottom() < temps.top()); // middle column, offset on top
    QCOMPARE(offset.left(), temps.left());
    QVERIFY(offset.right() < ping.left()); // right column
    QCOMPARE(offset.top(), ping.top());
    QVERIFY(std::max({dib.bottom(), temps.bottom(), ping.bottom()}) < io.top());
    QVERIFY(io.left() <= dib.left() && io.right() >= ping.right()); // whole width

    // Data box and display side by side with one size; radix and Clear to the
    // right of the display; the lengths and Send to the left.
    QWidget *toSend = get<QWidget>(w, "txtToSend");
    QCOMPARE(toSend->size(), area->size());
    QVERIFY(toSend->mapTo(w, QPoint()).x() + toSend->width() <= area->mapTo(w, QPoint()).x());
    for (const char *name : {"optHex", "optDec", "cmdClear"})
        QVERIFY(get<QWidget>(w, QLatin1String(name))->mapTo(w, QPoint()).x() >=
                area->mapTo(w, QPoint()).x() + area->width());
    for (const char *name : {"txtWriteLength", "txtReadLength", "cmdReqSST"})
        QVERIFY(get<QWidget>(w, QLatin1String(name))->mapTo(w, QPoint()).x() +
                    get<QWidget>(w, QLatin1String(name))->width() <=
                toSend->mapTo(w, QPoint()).x());
}

void TestConsole::getDibFillsEachRowFromItsField_data()
{
    QTest::addColumn<Bytes>("answer");
    QTest::addColumn<QStringList>("rows"); // lblDIB(0) ... lblDIB(7)
    // a[15] is the silicon revision and a[16] the client address; they land
    // in lblDIB(7) and lblDIB(6).
    QTest::newRow("16-bit IDs without leading zeros")
        << Bytes{0, 0x05, 0xA0, 0x41, 0x00, 0x04, 0x66, 0x01, 0x03, 9, 9, 9, 9, 9, 9, 0x02, 0x48}
        << QStringList{"0x5", "0xA0", "0x41", "0x6604", "0x1", "0x3", "0x48", "0x2"};
    QTest::newRow("all zero") << Bytes{} << QStringList{"0x0", "0x0", "0x0", "0x0",
                                                        "0x0", "0x0", "0x0", "0x0"};
    QTest::newRow("all ones") << Bytes(17, 0xFF) << QStringList{"0xFF", "0xFF", "0xFFFF", "0xFFFF",
                                                                "0xFF", "0xFF", "0xFF",   "0xFF"};
    QTest::newRow("client and revision differ")
        << Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7E, 0x4A}
        << QStringList{"0x0", "0x0", "0x0", "0x0", "0x0", "0x0", "0x4A", "0x7E"};
}

void TestConsole::getDibFillsEachRowFromItsField()
{
    QFETCH(Bytes, answer);
    QFETCH(QStringList, rows);
    Bench b;
    std::array<uint8_t, 64> a{};
    std::copy(answer.begin(), answer.end(), a.begin());
    b.usb.answers.push_back(a);
    click(&b.window, "cmdGetDIB");
    for (int i = 0; i < 8; ++i)
        QCOMPARE(textOf(&b.window, qPrintable(QStringLiteral("lblDIB(%1)").arg(i))), rows[i]);
    QCOMPARE(b.usb.sent().size(), std::size_t(1));
    const auto out = b.usb.sent().front();
    QCOMPARE(Bytes(out.begin(), out.begin() + 4), Bytes({0x48, 1, 16, 0xF7}));
}

void TestConsole::getAllTempsShowsNumberTextWithoutLeadingBlank_data()
{
    QTest::addColumn<int>("internalRaw");
    QTest::addColumn<int>("externalRaw");
    QTest::addColumn<QString>("internal");
    QTest::addColumn<QString>("external");
    static const struct {
        const char *name;
        int internalRaw, externalRaw;
        const char *internal, *external;
    } rows[] = {
        {"quarter and minus half", 0x0010, 0xFFE0, ".25°C", "-.5°C"},
        {"whole and zero", 0x0680, 0x0000, "26°C", "0°C"},
        {"two decimals", 0x0641, 0xFCD0, "25.02°C", "-12.75°C"},
        {"limits", 0x7FC0, 0x7FC1, "511°C", "-512.98°C"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.internalRaw << r.externalRaw << QString(r.internal)
                              << QString(r.external);
}

void TestConsole::getAllTempsShowsNumberTextWithoutLeadingBlank()
{
    QFETCH(int, internalRaw);
    QFETCH(int, externalRaw);
    QFETCH(QString, internal);
    QFETCH(QString, external);
    Bench b(Model::QZT6605);
    b.usb.answer({0, uint8_t(internalRaw), uint8_t(internalRaw >> 8), uint8_t(externalRaw),
                  uint8_t(externalRaw >> 8)});
    click(&b.window, "cmdGetAllTemps");
    QCOMPARE(textOf(&b.window, "lblTemp(0)"), internal);
    QCOMPARE(textOf(&b.window, "lblTemp(1)"), external);
    const auto out = b.usb.sent().at(0);
    QCOMPARE(Bytes(out.begin(), out.begin() + 4), Bytes({0x4A, 1, 4, 0x00}));
}

void TestConsole::pingWritesStatusAsHexIntoFcs()
{
    Bench b;
    b.usb.answer({0});
    click(&b.window, "cmdPing");
    QCOMPARE(textOf(&b.window, "txtFCS"), QString("0x0"));
    const auto out = b.usb.sent().at(0);
    QCOMPARE(Bytes(out.begin(), out.begin() + 3), Bytes({0x48, 0, 0}));

    // The user may type there; the next ping overwrites it.
    setText(&b.window, "txtFCS", "my note");
    b.usb.answer({0xA5});
    click(&b.window, "cmdPing");
    QCOMPARE(textOf(&b.window, "txtFCS"), QString("0xA5"));
}

void TestConsole::getOffsetShowsValueAndSetLeavesItAlone()
{
    Bench b;
    b.usb.answer({0, 0xC0, 0xFF}); // -1
    click(&b.window, "cmdGetOffset");
    QCOMPARE(textOf(&b.window, "lblOffset"), QString("-1"));
    setText(&b.window, "txtOffset", "25");
    click(&b.window, "cmdSetOffset");
    QCOMPARE(textOf(&b.window, "lblOffset"), QString("-1"));
    b.usb.answer({0, 0x40, 0x06}); // 25
    click(&b.window, "cmdGetOffset");
    QCOMPARE(textOf(&b.window, "lblOffset"), QString("25"));
    const auto sent = b.usb.sent();
    QCOMPARE(sent.size(), std::size_t(3));
    QCOMPARE(Bytes(sent[0].begin(), sent[0].begin() + 4), Bytes({0x48, 1, 2, 0xE0}));
    QCOMPARE(Bytes(sent[1].begin(), sent[1].end() - 1), Bytes({0x48, 3, 0, 0xE0, 0x40, 0x06}));
}

void TestConsole::setOffsetSendsTheReadNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    static const struct {
        const char *name, *text;
        int low, high;
    } rows[] = {
        {"2.5 goes to the even 2", "2.5", 0x80, 0x00},
        {"3.5 goes to the even 4", "3.5", 0x00, 0x01},
        {"empty is 0", "", 0x00, 0x00},
        {"abc is 0", "abc", 0x00, 0x00},
        {"7 between blanks", " 7 ", 0xC0, 0x01},
        {"1 blank 2 is 12", "1 2", 0x00, 0x03},
        {"-1", "-1", 0xC0, 0x3F},
        {"lowest -256", "-256", 0x00, 0x00},
        {"highest 1023", "1023", 0xC0, 0xFF},
        {"hex &h10", "&h10", 0x00, 0x04},
        {"1023.4 rounds into range", "1023.4", 0xC0, 0xFF},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString(r.text) << r.low << r.high;
}

void TestConsole::setOffsetSendsTheReadNumber()
{
    QFETCH(QString, text);
    QFETCH(int, low);
    QFETCH(int, high);
    Bench b(Model::QZT6605);
    setText(&b.window, "txtOffset", text);
    click(&b.window, "cmdSetOffset");
    QVERIFY(b.dialogs.criticals.isEmpty());
    QCOMPARE(b.usb.sent().size(), std::size_t(1));
    const auto out = b.usb.sent().front();
    QCOMPARE(Bytes(out.begin(), out.end() - 1), Bytes({0x4A, 3, 0, 0xE0, low, high}));
}

void TestConsole::setOffsetOutsideEncodableRangeIsRefused_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text : {"1024", "-257", "1023.5", "2147483648", "-99999999999999999999",
                             "1e10", "&h80000000", "&h123456789"})
        QTest::newRow(text) << QString(text);
}

void TestConsole::setOffsetOutsideEncodableRangeIsRefused()
{
    QFETCH(QString, text);
    Bench b;
    b.state.SSTStuff.SSTAddress = 0x33;
    setText(&b.window, "txtOffset", text);
    click(&b.window, "cmdSetOffset");
    QCOMPARE(b.dialogs.criticals, QStringList{"The external offset must be from -256 to 1023."});
    QVERIFY(b.usb.calls.empty());
    QCOMPARE(int(b.state.SSTStuff.SSTAddress), 0x33);
    QCOMPARE(textOf(&b.window, "txtOffset"), text);

    // The window stays usable.
    setText(&b.window, "txtOffset", "5");
    click(&b.window, "cmdSetOffset");
    QCOMPARE(b.usb.sent().size(), std::size_t(1));
    QCOMPARE(b.dialogs.criticals.size(), 1);
}

void TestConsole::eachConsoleAddressesOnlyItsOwnChip()
{
    Harness h;
    QVERIFY(h.start());
    h.window->mTempGraph05_Click(); // both graphs poll, the 05 one last
    h.window->mSet04_Click();
    h.window->mSet05_Click();
    SettingsWindow *c04 = h.window->frmSettings04();
    SettingsWindow *c05 = h.window->frmSettings05();
    h.sim.setTemperatures(0x48, 0.25, -0.5);
    h.sim.setTemperatures(0x4A, 30.0, 41.75);
    for (SettingsWindow *c : {c04, c05}) {
        setText(c, "txtToSend", "F7");
        setText(c, "txtWriteLength", "1");
        setText(c, "txtReadLength", "16");
    }

    const struct {
        SettingsWindow *console;
        int own;
        int other;
    } consoles[] = {{c04, 0x48, 0x4A}, {c05, 0x4A, 0x48}};
    for (const char *action :
         {"cmdGetDIB", "cmdGetAllTemps", "cmdPing", "cmdGetOffset", "cmdSetOffset", "cmdReqSST"}) {
        for (const auto &[console, own, other] : consoles) {
            h.window->Timer1_Timer();
            h.state.SSTStuff.SSTAddress = uint8_t(other); // whatever ran last
            h.usb.calls.clear();
            click(console, action);
            const auto commands = h.usb.commands();
            QVERIFY2(commands.size() == 1, action);
            QVERIFY2(commands[0][0] == own, qPrintable(console->objectName() + " " + action));
        }
    }
    QCOMPARE(textOf(c04, "lblDIB(6)"), QString("0x48"));
    QCOMPARE(textOf(c05, "lblDIB(6)"), QString("0x4A"));
    QCOMPARE(textOf(c04, "lblDIB(3)"), QString("0x6604"));
    QCOMPARE(textOf(c05, "lblDIB(3)"), QString("0x6605"));
    QCOMPARE(textOf(c04, "lblTemp(0)"), QString(".25°C"));
    QCOMPARE(textOf(c04, "lblTemp(1)"), QString("-.5°C"));
    QCOMPARE(textOf(c05, "lblTemp(0)"), QString("30°C"));
    QCOMPARE(textOf(c05, "lblTemp(1)"), QString("41.75°C"));
    // The DIB answers of the panel name each console's own chip too
    // (entry 16 of 18 is the client address).
    QCOMPARE(received(c04).split(' ').at(16), QString("48"));
    QCOMPARE(received(c05).split(' ').at(16), QString("4A"));
}

void TestConsole::sendBuildsRequestFromTokensAndLengths_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("write");
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("writeLength");
    QTest::addColumn<int>("readLength");
    QTest::addColumn<Bytes>("bytes");
    static const struct {
        const char *name, *data, *write, *read;
        int writeLength, readLength;
        std::initializer_list<int> bytes;
    } rows[] = {
        {"one blank is two zero bytes", " ", "2", "0", 2, 0, {0, 0}},
        {"double blank leaves an empty token", "1 2  3", "4", "0", 4, 0, {1, 2, 0, 3}},
        {"blanks at both ends", " E0 ", "1", "2", 1, 2, {0, 0xE0, 0}},
        {"a and A", "a A", "2", "0", 2, 0, {10, 10}},
        {"41h reads up to the h", "41h", "1", "0", 1, 0, {0x41}},
        {"0x41 stops at the x", "0x41", "1", "0", 1, 0, {0}},
        {"G1 is no hex", "G1", "1", "0", 1, 0, {0}},
        {"leading zeros 00FF", "00FF", "1", "0", 1, 0, {255}},
        {"tab inside a token is skipped", "1\t0", "1", "0", 1, 0, {16}},
        {"empty lengths are 0", "E0", "", "", 0, 0, {0xE0}},
        {"read 2.5 goes to 2", "E0", "1", "2.5", 1, 2, {0xE0}},
        {"read 3.5 goes to 4", "E0", "1", "3.5", 1, 4, {0xE0}},
        {"write 2.5 goes to 2", "E0", "2.5", "0", 2, 0, {0xE0}},
        {"write length ignores the token count", "E0 1 2", "255", "62", 255, 62, {0xE0, 1, 2}},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString(r.data) << QString(r.write) << QString(r.read)
                              << r.writeLength << r.readLength << Bytes(r.bytes);
    Bytes sixtyOne;
    for (int i = 0; i < 61; ++i)
        sixtyOne << i % 256;
    QTest::newRow("61 tokens fill the buffer") << tokens(61) << "61"
                                               << "0" << 61 << 0 << sixtyOne;
}

void TestConsole::sendBuildsRequestFromTokensAndLengths()
{
    QFETCH(QString, data);
    QFETCH(QString, write);
    QFETCH(QString, read);
    QFETCH(int, writeLength);
    QFETCH(int, readLength);
    QFETCH(Bytes, bytes);
    Bench b;
    fillBuffer(b.state);
    send(&b.window, data, write, read);
    QVERIFY2(b.dialogs.criticals.isEmpty(), qPrintable(b.dialogs.criticals.join('|')));
    QCOMPARE(b.usb.calls.size(), std::size_t(2));
    const RecordedCall &out = b.usb.calls[0];
    QCOMPARE(out.length, int16_t(7));
    QCOMPARE(int(out.bytes[0]), 0x48);
    QCOMPARE(int(out.bytes[1]), writeLength);
    QCOMPARE(int(out.bytes[2]), readLength);
    const auto placed = out.bytes.begin() + 3;
    QCOMPARE(Bytes(placed, placed + bytes.size()), bytes);
    // Bytes after the last token keep what was there.
    for (std::size_t i = 3 + std::size_t(bytes.size()); i < 64; ++i)
        QCOMPARE(int(out.bytes[i]), int(uint8_t(0xA0 ^ (i * 7))));
    // One entry per byte 0 ... read length + 1, each ending in a blank.
    QCOMPARE(received(&b.window).count(' '), readLength + 2);
}

void TestConsole::sendF7IsGetDibAndShowsEighteenEntries()
{
    Harness h;
    QVERIFY(h.start());
    h.window->mSet04_Click();
    SettingsWindow *w = h.window->frmSettings04();
    click(w, "cmdGetDIB");
    const auto getDib = h.usb.commands();
    h.usb.calls.clear();
    send(w, "F7", "1", "16");
    QCOMPARE(h.usb.commands(), getDib);
    const QString text = received(w);
    QVERIFY(text.endsWith(' '));
    const QStringList entries = text.chopped(1).split(' ');
    QCOMPARE(entries.size(), 18);
    // DIB bytes as hex without leading zeros: vendor 0x0041, device 0x6604,
    // client address last; the byte after them follows.
    QCOMPARE(entries.mid(3, 4), QStringList({"41", "0", "4", "66"}));
    QCOMPARE(entries.at(16), QString("48"));
    QCOMPARE(entries.at(17), QString(hexText(h.usb.calls.back().bytes[17])));
    QCOMPARE(entries.at(0), QString(hexText(h.usb.calls.back().bytes[0])));
}

void TestConsole::sendsAccumulateAndRadixAppliesOnlyToLaterBytes()
{
    Bench b;
    b.usb.answer({0, 12, 255});
    send(&b.window, "E0", "1", "1");
    get<QRadioButton>(&b.window, "optDec")->click();
    b.usb.answer({0, 12, 255});
    send(&b.window, "E0", "1", "1");
    b.usb.answer({7, 1, 2, 3});
    send(&b.window, "E0", "1", "0");
    QCOMPARE(received(&b.window), QString("0 C FF  0  12  255  7  1 "));
}

void TestConsole::sixTokensArePlacedButOnlyFourCarried()
{
    Harness h;
    QVERIFY(h.start());
    h.window->mSet05_Click();
    send(h.window->frmSettings05(), "E0 1 2 3 4 5", "6", "2");
    QCOMPARE(h.usb.calls.size(), std::size_t(2));
    const RecordedCall &out = h.usb.calls[0];
    QCOMPARE(out.direction, kDirectionOut);
    QCOMPARE(out.length, int16_t(7));
    QCOMPARE(Bytes(out.bytes.begin(), out.bytes.begin() + 9),
             Bytes({0x4A, 6, 2, 0xE0, 1, 2, 3, 4, 5}));
    // What reached the bus: the chip saw bytes 0 ... 6 only.
    const auto &last = h.sim.sentRequests().back();
    QCOMPARE(Bytes(last.begin(), last.end()), Bytes({0x4A, 6, 2, 0xE0, 1, 2, 3}));
}

void TestConsole::clearEmptiesDataAndDisplayKeepsLengthsAndRadix()
{
    Bench b;
    get<QRadioButton>(&b.window, "optDec")->click();
    send(&b.window, "E0", "1", "2");
    QVERIFY(!received(&b.window).isEmpty());
    click(&b.window, "cmdClear");
    QCOMPARE(textOf(&b.window, "txtToSend"), QString());
    QCOMPARE(received(&b.window), QString());
    QCOMPARE(textOf(&b.window, "txtWriteLength"), QString("1"));
    QCOMPARE(textOf(&b.window, "txtReadLength"), QString("2"));
    QVERIFY(get<QRadioButton>(&b.window, "optDec")->isChecked());
    QCOMPARE(b.usb.calls.size(), std::size_t(2)); // Clear sends nothing
    // A cleared data box is empty again.
    click(&b.window, "cmdReqSST");
    QCOMPARE(b.dialogs.criticals, QStringList{"No command byte set"});
}

void TestConsole::receivedDisplayKeepsSizeAndFollowsNewestBytes()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    h.window->mSet04_Click();
    SettingsWindow *w = h.window->frmSettings04();
    auto *area = get<QScrollArea>(w, "lblReceivedArea");
    QCoreApplication::sendPostedEvents();
    const QSize size = area->size();
    for (int i = 0; i < 12; ++i) {
        send(w, "F7", "1", "62");
        QCoreApplication::sendPostedEvents();
    }
    QCOMPARE(area->size(), size);
    QScrollBar *bar = area->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    // Wrapped, not one long line.
    QVERIFY(area->widget()->width() <= area->viewport()->width());
}

void TestConsole::refusedSendTouchesNothing_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("write");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("message");
    const QString noCommand = "No command byte set";
    const QString tooMany = "Data To Send holds 62 bytes; at most 61 fit in one request.";
    const QString write = "Write Length must be from 0 to 255.";
    const QString read = "Read Length must be from 0 to 62.";
    const struct {
        const char *name;
        QString data, write, read, message;
    } rows[] = {
        {"empty data", "", "1", "16", noCommand},
        {"empty data and lengths", "", "", "", noCommand},
        {"token 100", "E0 100", "2", "0", "Data byte 100 is larger than FF."},
        {"token FFFF reads as -1", "FFFF", "1", "0", "Data byte FFFF is larger than FF."},
        {"token 8000 reads negative", "8000", "1", "0", "Data byte 8000 is larger than FF."},
        {"token beyond 32 bits", "123456789", "1", "0", "Data byte 123456789 is larger than FF."},
        {"long token is quoted short", QString(40, 'F'), "1", "0",
         "Data byte FFFFFFFFFFFFFFFF... is larger than FF."},
        {"62 tokens", tokens(62), "1", "0", tooMany},
        {"61 blanks make 62 tokens", QString(61, ' '), "1", "0", tooMany},
        {"write 256", "E0", "256", "0", write},
        {"write -1", "E0", "-1", "0", write},
        {"write 255.5 rounds to 256", "E0", "255.5", "0", write},
        {"write beyond 32 bits", "E0", "1e30", "0", write},
        {"read 63", "E0", "1", "63", read},
        {"read 63.5 rounds to 64", "E0", "1", "63.5", read},
        {"read 256", "E0", "1", "256", read},
        {"read -1", "E0", "1", "-1", read},
        {"read hex &hFFFF is -1", "E0", "1", "&hFFFF", read},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.data << r.write << r.read << r.message;
}

void TestConsole::refusedSendTouchesNothing()
{
    QFETCH(QString, data);
    QFETCH(QString, write);
    QFETCH(QString, read);
    QFETCH(QString, message);
    Bench b;
    b.usb.answer({0x11, 0x22});
    send(&b.window, "E0", "1", "0");
    const QString shown = received(&b.window);
    QCOMPARE(shown, QString("11 22 "));
    b.usb.calls.clear();
    fillBuffer(b.state);
    const auto buffer = b.state.USBStuff.SSTBuffer;
    b.state.SSTStuff.SSTAddress = 0x33;

    send(&b.window, data, write, read);
    QCOMPARE(b.dialogs.criticals, QStringList{message});
    QVERIFY(b.usb.calls.empty());
    QVERIFY(b.state.USBStuff.SSTBuffer == buffer);
    QCOMPARE(int(b.state.SSTStuff.SSTAddress), 0x33);
    QCOMPARE(received(&b.window), shown);
    QCOMPARE(textOf(&b.window, "txtToSend"), data); // the user's text stays for fixing

    // The window stays usable.
    send(&b.window, "E0", "1", "0");
    QCOMPARE(b.dialogs.criticals.size(), 1);
    QCOMPARE(b.usb.calls.size(), std::size_t(2));
}

namespace {

// Texts a user, a paste or a stuck key can put into a box.
QString hostileText(QRandomGenerator &rng)
{
    static const QString alphabet = QString::fromUtf8(
        "0123456789abcdefABCDEFgGhHxX&.+-eE \t\n\r,;üß€\u00A0\u2028\u3000\uFFFD\uFFFF١٢");
    auto randomFrom = [&](const QString &chars, int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += chars.at(int(rng.bounded(quint32(chars.size()))));
        return s;
    };
    auto hexByte = [&] { return QString::number(rng.bounded(256), 16); };
    switch (rng.bounded(14)) {
    case 0:
        return {};
    case 1:
        return QString(int(rng.bounded(1, 5000)), u' ');
    case 2:
        return QString(int(rng.bounded(1, 20000)), QLatin1Char(rng.bounded(2) ? '9' : 'F'));
    case 3: {
        static const int counts[] = {1, 4, 5, 60, 61, 62, 63, 1000};
        QStringList t;
        const int n = counts[rng.bounded(8)];
        for (int i = 0; i < n; ++i)
            t << hexByte();
        return t.join(u' ');
    }
    case 4:
        return randomFrom(alphabet, int(rng.bounded(0, 200)));
    case 5:
        return QStringLiteral("&h") +
               randomFrom(QStringLiteral("0123456789ABCDEFabcdef"), int(rng.bounded(1, 14)));
    case 6:
        return QStringLiteral("%1e%2%3")
            .arg(rng.bounded(1, 1000))
            .arg(rng.bounded(2) ? "-" : "")
            .arg(rng.bounded(0, 100000));
    case 7:
        return QString::number(qint64(rng.generate64()));
    case 8:
        return QString::number(rng.bounded(-300, 1100)) +
               (rng.bounded(2) ? QStringLiteral(".5") : QString());
    case 9: // surrogate pairs and lone surrogates
        return QString::fromUtf8("\xF0\x9F\x98\x80 ") + QChar(0xD800) + QChar(0xDC00) +
               QChar(0xDFFF) + hexByte();
    case 10:
        return QString(int(rng.bounded(1, 30000)), u'0') + hexByte();
    case 11:
        return hexByte() + QString(int(rng.bounded(1, 3000)), u' ') + hexByte();
    case 12:
        return QString::number(rng.bounded(0, 63));
    default:
        return hexByte() + u' ' + hexByte();
    }
}

} // namespace

void TestConsole::hostileTextsNeverCrashOrOverrun()
{
    Bench b;
    QWidget *w = &b.window;
    QRandomGenerator rng(20261205);
    std::array<uint8_t, kPathBytesSize> pathBytes{};
    for (std::size_t i = 0; i < pathBytes.size(); ++i)
        pathBytes[i] = uint8_t(i * 13);
    b.state.USBStuff.PathBytes = pathBytes; // lies right after SSTBuffer
    int sent = 0;
    int refused = 0;

    for (int round = 0; round < 3000; ++round) {
        // Send: refused with one message and nothing touched, or exactly one
        // request of seven bytes with its answer.
        const QString data = hostileText(rng);
        const QString write =
            rng.bounded(3) ? QString::number(rng.bounded(0, 256)) : hostileText(rng);
        const QString read =
            rng.bounded(3) ? QString::number(rng.bounded(0, 63)) : hostileText(rng);
        const bool hex = rng.bounded(2);
        get<QRadioButton>(w, hex ? "optHex" : "optDec")->click();
        if (round % 50 == 0)
            click(w, "cmdClear");
        fillBuffer(b.state);
        const auto buffer = b.state.USBStuff.SSTBuffer;
        b.state.SSTStuff.SSTAddress = 0x33;
        const QString before = received(w);
        const qsizetype messages = b.dialogs.criticals.size();
        b.usb.calls.clear();

        send(w, data, write, read);

        if (b.dialogs.criticals.size() == messages + 1) {
            ++refused;
            QVERIFY(b.usb.calls.empty());
            QVERIFY(b.state.USBStuff.SSTBuffer == buffer);
            QCOMPARE(int(b.state.SSTStuff.SSTAddress), 0x33);
            QCOMPARE(received(w), before);
        } else {
            ++sent;
            QCOMPARE(b.dialogs.criticals.size(), messages);
            QCOMPARE(b.usb.calls.size(), std::size_t(2));
            QCOMPARE(b.usb.calls[0].direction, kDirectionOut);
            QCOMPARE(b.usb.calls[0].length, int16_t(7));
            QCOMPARE(b.usb.calls[1].direction, kDirectionIn);
            QCOMPARE(int(b.state.SSTStuff.SSTAddress), 0x48);
            const int readLength = b.state.USBStuff.SSTBuffer[2];
            QVERIFY(readLength <= 62);
            const qsizetype tokenCount = data.count(u' ') + 1;
            QVERIFY(tokenCount <= 61);
            for (std::size_t i = 3 + std::size_t(tokenCount); i < 64; ++i)
                QCOMPARE(b.state.USBStuff.SSTBuffer[i], buffer[i]);
            const QString added = received(w).mid(before.size());
            QVERIFY(received(w).startsWith(before));
            QCOMPARE(added.count(u' '), (hex ? 1 : 2) * (readLength + 2));
        }
        QVERIFY(b.state.USBStuff.PathBytes == pathBytes);

        // Offset: refused with one message and nothing sent, or one write
        // of a value the encoding carries.
        const QString offset = hostileText(rng);
        b.usb.calls.clear();
        const qsizetype offsetMessages = b.dialogs.criticals.size();
        setText(w, "txtOffset", offset);
        click(w, "cmdSetOffset");
        const std::optional<int32_t> value = readNumber(offset);
        if (value && *value >= kMinExtOffset && *value <= kMaxExtOffset) {
            QCOMPARE(b.dialogs.criticals.size(), offsetMessages);
            QCOMPARE(b.usb.sent().size(), std::size_t(1));
            const auto out = b.usb.sent().front();
            const auto [low, high] = encodeExtOffset(*value);
            QCOMPARE(Bytes(out.begin(), out.end() - 1), Bytes({0x48, 3, 0, 0xE0, low, high}));
        } else {
            QCOMPARE(b.dialogs.criticals.size(), offsetMessages + 1);
            QVERIFY(b.usb.calls.empty());
        }
        QVERIFY(b.state.USBStuff.PathBytes == pathBytes);
    }
    // Both outcomes were exercised often.
    QVERIFY(sent > 300);
    QVERIFY(refused > 300);
}

QTEST_MAIN(TestConsole)
#include "test_console.moc"

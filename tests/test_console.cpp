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
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <functional>

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

// Texts a user, a paste or a stuck key can put into a box.
QString hostileText(QRandomGenerator &rng)
{
    static const QString alphabet = QString::fromUtf8(
        "0123456789abcdefABCDEFgGhHxX&.+-eE \t\n\r,;üß€\u00A0\u2028\u3000\uFFFD\uFFFF١٢");
    const auto pick = [&](const QString &chars, int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += chars.at(int(rng.bounded(quint32(chars.size()))));
        return s;
    };
    const auto hexByte = [&] { return QString::number(rng.bounded(256), 16); };
    const auto run = [&](int most, char c) {
        return QString(rng.bounded(1, most), QLatin1Char(c));
    };
    const auto bytes = [&] {
        static const int counts[] = {1, 2, 4, 5, 60, 61, 62, 63, 1000};
        QStringList t;
        for (int i = counts[rng.bounded(9)]; i > 0; --i)
            t << hexByte();
        return t.join(u' ');
    };
    const std::function<QString()> kinds[] = {
        [] { return QString(); },
        [&] { return run(5000, ' '); },
        [&] { return run(20000, rng.bounded(2) ? '9' : 'F'); },
        [&] { return run(30000, '0') + hexByte(); },
        [&] { return hexByte() + run(3000, ' ') + hexByte(); },
        bytes,
        [&] { return pick(alphabet, rng.bounded(0, 200)); },
        [&] { return "&h" + pick("0123456789ABCDEFabcdef", rng.bounded(1, 14)); },
        [&] {
            return QStringLiteral("%1e%2")
                .arg(rng.bounded(1, 1000))
                .arg(rng.bounded(-99999, 99999));
        },
        [&] { return QString::number(qint64(rng.generate64())); },
        [&] { return QString::number(rng.bounded(-300, 1100)) + (rng.bounded(2) ? ".5" : ""); },
        [&] { return QString::number(rng.bounded(0, 63)); },
        [&] { // surrogate pairs and lone surrogates
            return QString::fromUtf8("\xF0\x9F\x98\x80 ") + QChar(0xD800) + QChar(0xDC00) +
                   QChar(0xDFFF) + hexByte();
        },
    };
    return kinds[rng.bounded(int(std::size(kinds)))]();
}

} // namespace

class TestConsole : public QObject {
    Q_OBJECT

    template <class T = QWidget> static T *get(QWidget *w, const QString &name)
    {
        T *c = w->findChild<T *>(name);
        if (!c)
            qFatal("control %s missing", qPrintable(name));
        return c;
    }
    // The text of a label, box or button; the title of a group.
    static QString textOf(QWidget *w, const QString &name)
    {
        QWidget *c = get(w, name);
        return c->property(qobject_cast<QGroupBox *>(c) ? "title" : "text").toString();
    }
    static QString received(QWidget *w) { return textOf(w, "lblReceived"); }
    static void click(QWidget *w, const QString &button) { get<QPushButton>(w, button)->click(); }
    static void setText(QWidget *w, const char *box, const QString &t)
    {
        get<QLineEdit>(w, box)->setText(t);
    }
    static QRect rectIn(QWidget *w, const QString &name)
    {
        return {get(w, name)->mapTo(w, QPoint()), get(w, name)->size()};
    }
    template <class A> static Bytes head(const A &bytes, qsizetype n)
    {
        return Bytes(bytes.begin(), bytes.begin() + n);
    }
    static void send(QWidget *w, const QString &data, const QString &write, const QString &read)
    {
        setText(w, "txtToSend", data);
        setText(w, "txtWriteLength", write);
        setText(w, "txtReadLength", read);
        click(w, "cmdReqSST");
    }
    static QString tokens(int n)
    {
        QStringList t;
        for (int i = 0; i < n; ++i)
            t << QString::number(i % 256, 16);
        return t.join(u' ');
    }
    // Opens a console through the menu of a shown main window.
    static SettingsWindow *openShown(Harness &h, Model m)
    {
        if (!h.start())
            return nullptr;
        h.window->show();
        m == Model::QZT6604 ? h.window->mSet04_Click() : h.window->mSet05_Click();
        QCoreApplication::sendPostedEvents();
        return m == Model::QZT6604 ? h.window->frmSettings04() : h.window->frmSettings05();
    }

    // A pattern no answer produces in the buffer, another target address and
    // the display as it stands: a refused input must leave all of them alone.
    struct Untouched {
        explicit Untouched(Bench &bench) : b(bench)
        {
            for (std::size_t i = 0; i < buffer.size(); ++i)
                buffer[i] = uint8_t(0xA0 ^ (i * 7));
            b.state.USBStuff.SSTBuffer = buffer;
            b.state.SSTStuff.SSTAddress = 0x33;
            shown = received(&b.window);
            b.usb.calls.clear();
        }
        // What changed; empty when nothing did.
        QString changes() const
        {
            QStringList c{b.usb.calls.empty() ? "" : "adapter called",
                          b.state.USBStuff.SSTBuffer == buffer ? "" : "buffer changed",
                          b.state.SSTStuff.SSTAddress == 0x33 ? "" : "address changed",
                          received(&b.window) == shown ? "" : "display changed"};
            c.removeAll(QString());
            return c.join(", ");
        }
        Bench &b;
        std::array<uint8_t, kSstBufferSize> buffer;
        QString shown;
    };

private slots:
    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void bothConsolesOpenWithCaptionsFontsAndDefaults_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("controls"); // "name=text|..." of the controls inside
        // clang-format off
        QTest::newRow("Frame1") << "Device Identifier Block" << "cmdGetDIB=Get DIB|"
            "Label2(0)=Device Capability|Label2(1)=Version/Revision|Label2(2)=Vendor ID|"
            "Label2(3)=Device ID|Label2(4)=Device Interface|Label2(5)=Function Interface|"
            "Label2(6)=Client Address|Label2(7)=Silicon Revision ID|lblDIB(0)=|lblDIB(1)=|"
            "lblDIB(2)=|lblDIB(3)=|lblDIB(4)=|lblDIB(5)=|lblDIB(6)=|lblDIB(7)=";
        QTest::newRow("Frame2") << "External Offset"
            << "cmdGetOffset=Get Ext Offset|lblOffset=|cmdSetOffset=Set Ext Offset|txtOffset=0";
        QTest::newRow("Frame3") << "Temperatures" << "cmdGetAllTemps=Get All Temps|"
            "Label3(0)=Internal|Label3(1)=External|lblTemp(0)=|lblTemp(1)=";
        QTest::newRow("Frame4") << "Ping" << "cmdPing=Generate Ping|Label1=FCS|txtFCS=";
        QTest::newRow("Frame5") << "General SST IO" << "Label5=Write Length|txtWriteLength=|"
            "Label6=Read Length|txtReadLength=|cmdReqSST=Send|Label8=Data To Send|txtToSend=|"
            "Label7=Data Recieved|lblReceived=|optHex=Hex|optDec=Decimal|cmdClear=Clear";
        // clang-format on
    }
    void bothConsolesOpenWithCaptionsFontsAndDefaults()
    {
        QFETCH(QString, title);
        QFETCH(QString, controls);
        Harness h;
        QVERIFY(h.start());
        h.window->mSet04_Click(); // through the menu, as the user opens them
        h.window->mSet05_Click();
        SettingsWindow *c04 = h.window->frmSettings04(), *c05 = h.window->frmSettings05();
        QVERIFY(c04 && c05);
        QCOMPARE(c04->objectName() + "|" + c04->windowTitle(), "frmSettings04|QZT6604 Settings");
        QCOMPARE(c05->objectName() + "|" + c05->windowTitle(), "frmSettings05|QZT6605 Settings");
        for (SettingsWindow *w : {c04, c05}) {
            auto *g = get<QGroupBox>(w, QTest::currentDataTag());
            QCOMPARE(g->title(), title);
            QVERIFY(g->font().bold()); // only the title is bold
            QCOMPARE(g->font().family() + " " + QString::number(g->font().pointSizeF()),
                     "MS Sans Serif 8.25");
            for (QWidget *c : g->findChildren<QWidget *>())
                QVERIFY2(!c->font().bold(), qPrintable(c->objectName()));
            for (const QString &expected : controls.split(u'|')) {
                const QString name = expected.section(u'=', 0, 0);
                QVERIFY2(g->isAncestorOf(get(w, name)), qPrintable(name));
                QCOMPARE(name + u'=' + textOf(w, name), expected);
            }
            QVERIFY(get<QRadioButton>(w, "optHex")->isChecked());
            QVERIFY(!get<QRadioButton>(w, "optDec")->isChecked());
            QVERIFY(!get<QLineEdit>(w, "txtFCS")->isReadOnly());
        }
        QVERIFY(h.usb.calls.empty()); // opening sends nothing
        // The radio buttons of a console form one exclusive pair of its own.
        get<QRadioButton>(c04, "optDec")->click();
        QVERIFY(!get<QRadioButton>(c04, "optHex")->isChecked());
        QVERIFY(get<QRadioButton>(c05, "optHex")->isChecked());
    }

    void dibRowsStandInScreenOrderNotIndexOrder()
    {
        Harness h;
        SettingsWindow *w = openShown(h, Model::QZT6604);
        QVERIFY(w);
        QStringList order;
        for (int i = 0; i < 8; ++i)
            order << QStringLiteral("Label2(%1)").arg(i);
        std::sort(order.begin(), order.end(), [w](const QString &a, const QString &b) {
            return rectIn(w, a).top() < rectIn(w, b).top();
        });
        QCOMPARE(order, QStringList({"Label2(0)", "Label2(1)", "Label2(2)", "Label2(3)",
                                     "Label2(4)", "Label2(5)", "Label2(7)", "Label2(6)"}));
        // The value of each row stands beside its own caption.
        for (const QString &caption : order) {
            const QString value = QString(caption).replace("Label2", "lblDIB");
            const QRect c = rectIn(w, caption), v = rectIn(w, value);
            QVERIFY2(v.top() <= c.center().y() && c.center().y() <= v.bottom() &&
                         v.left() > c.left(),
                     qPrintable(value));
        }
    }

    void groupsArrangedAndNothingClippedAtTheFixedSize()
    {
        Harness h;
        SettingsWindow *w = openShown(h, Model::QZT6605);
        QVERIFY(w);
        // The widest texts the value fields can be given.
        for (int i = 0; i < 8; ++i)
            get<QLabel>(w, QStringLiteral("lblDIB(%1)").arg(i))->setText("0xFFFF");
        for (const char *temp : {"lblTemp(0)", "lblTemp(1)"})
            get<QLabel>(w, temp)->setText(QString::fromUtf8("-512.98°C"));
        get<QLabel>(w, "lblOffset")->setText("-512");
        setText(w, "txtFCS", "0xFF");
        QCoreApplication::sendPostedEvents();
        w->layout()->activate();

        auto *sub = qobject_cast<QMdiSubWindow *>(w->parentWidget());
        QVERIFY(sub && sub->contentsRect().contains(w->geometry()));
        QVERIFY(w->minimumSizeHint().width() <= w->width() &&
                w->minimumSizeHint().height() <= w->height());
        auto *area = get<QScrollArea>(w, "lblReceivedArea");
        for (QWidget *c : w->findChildren<QWidget *>()) {
            const QSize min = c->minimumSizeHint();
            QVERIFY2(area->isAncestorOf(c) || // the display scrolls by design
                         (c->parentWidget()->rect().contains(c->geometry()) &&
                          c->width() >= min.width() && c->height() >= min.height()),
                     qPrintable(c->objectName()));
        }

        const QRect dib = rectIn(w, "Frame1"), offset = rectIn(w, "Frame2"),
                    temps = rectIn(w, "Frame3"), ping = rectIn(w, "Frame4"),
                    io = rectIn(w, "Frame5");
        QVERIFY(dib.right() < offset.left());   // left column
        QVERIFY(offset.bottom() < temps.top()); // middle column, offset on top
        QCOMPARE(offset.left(), temps.left());
        QVERIFY(offset.right() < ping.left()); // right column
        QCOMPARE(offset.top(), ping.top());
        QVERIFY(std::max({dib.bottom(), temps.bottom(), ping.bottom()}) < io.top());
        QVERIFY(io.left() <= dib.left() && io.right() >= ping.right()); // whole width

        // Data box and display side by side with one size; radix and Clear to
        // the right of the display; the lengths and Send to the left.
        const QRect toSend = rectIn(w, "txtToSend"), shown = rectIn(w, "lblReceivedArea");
        QCOMPARE(toSend.size(), shown.size());
        QVERIFY(toSend.right() < shown.left());
        for (const char *name : {"optHex", "optDec", "cmdClear"})
            QVERIFY2(rectIn(w, name).left() > shown.right(), name);
        for (const char *name : {"txtWriteLength", "txtReadLength", "cmdReqSST"})
            QVERIFY2(rectIn(w, name).right() < toSend.left(), name);
    }

    void singleCommandSendsItsRequestAndShowsTheAnswer_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Bytes>("answer");
        QTest::addColumn<Bytes>("request"); // its first bytes; 0x4A is the QZT6605 console
        QTest::addColumn<QString>("shown"); // the texts of the button's fields, "-" before
        const Bytes dib{0x48, 1, 16, 0xF7}, temps{0x4A, 1, 4, 0x00}, offset{0x48, 1, 2, 0xE0};
        // a[15] is the silicon revision and a[16] the client address; they
        // land in lblDIB(7) and lblDIB(6).
        // clang-format off
        QTest::newRow("DIB: 16-bit IDs without leading zeros") << "cmdGetDIB"
            << Bytes{0, 0x05, 0xA0, 0x41, 0, 0x04, 0x66, 0x01, 0x03, 9, 9, 9, 9, 9, 9, 0x02, 0x48}
            << dib << "0x5 0xA0 0x41 0x6604 0x1 0x3 0x48 0x2";
        QTest::newRow("DIB: all zero") << "cmdGetDIB" << Bytes{} << dib
            << "0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0";
        QTest::newRow("DIB: all ones") << "cmdGetDIB" << Bytes(17, 0xFF) << dib
            << "0xFF 0xFF 0xFFFF 0xFFFF 0xFF 0xFF 0xFF 0xFF";
        QTest::newRow("temps: quarter and minus half") << "cmdGetAllTemps"
            << Bytes{0, 0x10, 0x00, 0xE0, 0xFF} << temps << ".25°C -.5°C";
        QTest::newRow("temps: whole and zero") << "cmdGetAllTemps"
            << Bytes{0, 0x80, 0x06, 0x00, 0x00} << temps << "26°C 0°C";
        QTest::newRow("temps: limits") << "cmdGetAllTemps"
            << Bytes{0, 0xC0, 0x7F, 0xC1, 0x7F} << temps << "511°C -512.98°C";
        // The user may type into the FCS box; a ping overwrites it.
        QTest::newRow("ping 0") << "cmdPing" << Bytes{0} << Bytes{0x48, 0, 0} << "0x0";
        QTest::newRow("ping A5") << "cmdPing" << Bytes{0xA5} << Bytes{0x48, 0, 0} << "0xA5";
        QTest::newRow("offset -1") << "cmdGetOffset" << Bytes{0, 0xC0, 0xFF} << offset << "-1";
        QTest::newRow("offset 25") << "cmdGetOffset" << Bytes{0, 0x40, 0x06} << offset << "25";
        QTest::newRow("setting the offset leaves the shown one alone") << "cmdSetOffset"
            << Bytes{} << Bytes{0x48, 3, 0, 0xE0, 0, 0} << "-";
        // clang-format on
    }
    void singleCommandSendsItsRequestAndShowsTheAnswer()
    {
        QFETCH(QString, button);
        QFETCH(Bytes, answer);
        QFETCH(Bytes, request);
        QFETCH(QString, shown);
        Bench b(request[0] == 0x4A ? Model::QZT6605 : Model::QZT6604);
        QStringList fields{"txtFCS"};
        if (button == "cmdGetDIB")
            fields = {"lblDIB(0)", "lblDIB(1)", "lblDIB(2)", "lblDIB(3)",
                      "lblDIB(4)", "lblDIB(5)", "lblDIB(6)", "lblDIB(7)"};
        else if (button == "cmdGetAllTemps")
            fields = {"lblTemp(0)", "lblTemp(1)"};
        else if (button.contains("Offset"))
            fields = {"lblOffset"};
        for (const QString &f : fields)
            get(&b.window, f)->setProperty("text", "-");
        std::array<uint8_t, 64> a{};
        std::copy(answer.begin(), answer.end(), a.begin());
        b.usb.answers.push_back(a);
        get<QPushButton>(&b.window, button)->click();
        QStringList texts;
        for (const QString &f : fields)
            texts << textOf(&b.window, f);
        QCOMPARE(texts.join(u' '), shown);
        QCOMPARE(b.usb.sent().size(), std::size_t(1));
        QCOMPARE(head(b.usb.sent().front(), request.size()), request);
    }

    void setOffsetSendsTheReadNumberOrRefuses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("low"); // -1: refused
        QTest::addColumn<int>("high");
        static const struct {
            const char *name, *text;
            int low, high;
        } rows[] = {
            // clang-format off
            {"2.5 goes to the even 2", "2.5", 0x80, 0x00}, {"empty is 0", "", 0x00, 0x00},
            {"abc is 0", "abc", 0x00, 0x00}, {"1 blank 2 is 12", "1 2", 0x00, 0x03},
            {"-1", "-1", 0xC0, 0x3F}, {"lowest -256", "-256", 0x00, 0x00},
            {"highest 1023", "1023", 0xC0, 0xFF}, {"hex &h10", "&h10", 0x00, 0x04},
            {"1023.4 rounds into range", "1023.4", 0xC0, 0xFF},
            {"refused 1024", "1024", -1, 0}, {"refused -257", "-257", -1, 0},
            {"refused 1023.5", "1023.5", -1, 0}, {"refused 2147483648", "2147483648", -1, 0},
            {"refused -1e20", "-99999999999999999999", -1, 0}, {"refused 1e10", "1e10", -1, 0},
            {"refused &h80000000", "&h80000000", -1, 0},
            {"refused &h123456789", "&h123456789", -1, 0},
            // clang-format on
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QString(r.text) << r.low << r.high;
    }
    void setOffsetSendsTheReadNumberOrRefuses()
    {
        QFETCH(QString, text);
        QFETCH(int, low);
        QFETCH(int, high);
        Bench b(Model::QZT6605);
        const Untouched before(b);
        setText(&b.window, "txtOffset", text);
        click(&b.window, "cmdSetOffset");
        if (low >= 0) {
            QVERIFY(b.dialogs.criticals.isEmpty());
            QCOMPARE(b.usb.sent().size(), std::size_t(1));
            QCOMPARE(head(b.usb.sent().front(), 6), Bytes({0x4A, 3, 0, 0xE0, low, high}));
            return;
        }
        QCOMPARE(b.dialogs.criticals,
                 QStringList{"The external offset must be from -256 to 1023."});
        QCOMPARE(before.changes(), QString());
        QCOMPARE(textOf(&b.window, "txtOffset"), text); // the user's text stays for fixing
        setText(&b.window, "txtOffset", "5");           // and the window stays usable
        click(&b.window, "cmdSetOffset");
        QCOMPARE(b.usb.sent().size(), std::size_t(1));
        QCOMPARE(b.dialogs.criticals.size(), 1);
    }

    void eachConsoleAddressesOnlyItsOwnChip()
    {
        Harness h;
        QVERIFY(h.start());
        h.window->mTempGraph05_Click(); // both graphs poll, the 05 one last
        h.window->mSet04_Click();
        h.window->mSet05_Click();
        SettingsWindow *c04 = h.window->frmSettings04(), *c05 = h.window->frmSettings05();
        h.sim.setTemperatures(0x48, 0.25, -0.5);
        h.sim.setTemperatures(0x4A, 30.0, 41.75);
        const struct {
            SettingsWindow *console;
            int own, other;
        } consoles[] = {{c04, 0x48, 0x4A}, {c05, 0x4A, 0x48}};
        for (const char *action : {"cmdGetDIB", "cmdGetAllTemps", "cmdPing", "cmdGetOffset",
                                   "cmdSetOffset", "cmdReqSST"}) {
            for (const auto &[console, own, other] : consoles) {
                h.window->Timer1_Timer();
                h.state.SSTStuff.SSTAddress = uint8_t(other); // whatever ran last
                h.usb.calls.clear();
                if (QByteArray(action) == "cmdReqSST")
                    send(console, "F7", "1", "16");
                else
                    click(console, action);
                const auto commands = h.usb.commands();
                QVERIFY2(commands.size() == 1 && commands[0][0] == own,
                         qPrintable(console->objectName() + " " + action));
            }
        }
        // The panel's F7 shows the DIB answer: 18 entries in hex without
        // leading zeros, vendor and device ID from entry 3, client address at 16.
        const auto shown = [](QWidget *c) {
            const QStringList answer = received(c).split(' ');
            return QStringList{textOf(c, "lblDIB(6)"),
                               textOf(c, "lblDIB(3)"),
                               textOf(c, "lblTemp(0)"),
                               textOf(c, "lblTemp(1)"),
                               QString::number(answer.size() - 1),
                               answer.mid(3, 4).join(' '),
                               answer.at(16)};
        };
        QCOMPARE(shown(c04),
                 QStringList({"0x48", "0x6604", ".25°C", "-.5°C", "18", "41 0 4 66", "48"}));
        QCOMPARE(shown(c05),
                 QStringList({"0x4A", "0x6605", "30°C", "41.75°C", "18", "41 0 5 66", "4A"}));
    }

    void sendBuildsRequestOrRefusesTouchingNothing_data()
    {
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("write");
        QTest::addColumn<QString>("read");
        QTest::addColumn<Bytes>("request");   // address, lengths and data bytes when sent
        QTest::addColumn<QString>("message"); // the refusal otherwise
        const QString noCommand = "No command byte set",
                      write = "Write Length must be from 0 to 255.",
                      read = "Read Length must be from 0 to 62.",
                      tooMany = "Data To Send holds 62 bytes; at most 61 fit in one request.";
        const auto larger = [](const char *t) {
            return QString("Data byte %1 is larger than FF.").arg(t);
        };
        Bytes sixtyOne{0x48, 61, 0};
        for (int i = 0; i < 61; ++i)
            sixtyOne << i;
        const struct {
            const char *name;
            QString data, write, read;
            Bytes request;
            QString message;
        } rows[] = {
            // clang-format off
            {"one blank is two zero bytes", " ", "2", "0", {0x48, 2, 0, 0, 0}, {}},
            {"two blanks leave an empty token", "1 2  3", "4", "0", {0x48, 4, 0, 1, 2, 0, 3}, {}},
            {"blanks at both ends", " E0 ", "1", "2", {0x48, 1, 2, 0, 0xE0, 0}, {}},
            {"tab inside a token is skipped", "1\t0", "1", "0", {0x48, 1, 0, 16}, {}},
            {"a and A", "a A", "2", "0", {0x48, 2, 0, 10, 10}, {}},
            {"empty lengths are 0", "E0", "", "", {0x48, 0, 0, 0xE0}, {}},
            {"read 2.5 goes to 2", "E0", "1", "2.5", {0x48, 1, 2, 0xE0}, {}},
            {"write 2.5 goes to 2", "E0", "2.5", "0", {0x48, 2, 0, 0xE0}, {}},
            {"write length ignores the token count", "E0 1 2", "255", "62",
             {0x48, 255, 62, 0xE0, 1, 2}, {}},
            {"61 tokens fill the buffer", tokens(61), "61", "0", sixtyOne, {}},
            {"empty data", "", "1", "16", {}, noCommand},
            {"empty data and lengths", "", "", "", {}, noCommand},
            {"token 100", "E0 100", "2", "0", {}, larger("100")},
            {"token FFFF reads as -1", "FFFF", "1", "0", {}, larger("FFFF")},
            {"token 8000 reads negative", "8000", "1", "0", {}, larger("8000")},
            {"token beyond 32 bits", "123456789", "1", "0", {}, larger("123456789")},
            {"long token is quoted short", QString(40, 'F'), "1", "0", {},
             larger("FFFFFFFFFFFFFFFF...")},
            {"62 tokens", tokens(62), "1", "0", {}, tooMany},
            {"61 blanks make 62 tokens", QString(61, ' '), "1", "0", {}, tooMany},
            {"write 256", "E0", "256", "0", {}, write}, {"write -1", "E0", "-1", "0", {}, write},
            {"write 255.5 rounds to 256", "E0", "255.5", "0", {}, write},
            {"write beyond 32 bits", "E0", "1e30", "0", {}, write},
            {"read 63", "E0", "1", "63", {}, read}, {"read 256", "E0", "1", "256", {}, read},
            {"read 63.5 rounds to 64", "E0", "1", "63.5", {}, read},
            {"read -1", "E0", "1", "-1", {}, read},
            {"read hex &hFFFF is -1", "E0", "1", "&hFFFF", {}, read},
            // clang-format on
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << r.data << r.write << r.read << r.request << r.message;
    }
    void sendBuildsRequestOrRefusesTouchingNothing()
    {
        QFETCH(QString, data);
        QFETCH(QString, write);
        QFETCH(QString, read);
        QFETCH(Bytes, request);
        QFETCH(QString, message);
        Bench b;
        b.usb.answer({0x11, 0x22});
        send(&b.window, "E0", "1", "0");
        QCOMPARE(received(&b.window), QString("11 22 "));
        const Untouched before(b);
        send(&b.window, data, write, read);
        if (!message.isEmpty()) {
            QCOMPARE(b.dialogs.criticals, QStringList{message});
            QCOMPARE(before.changes(), QString());
            QCOMPARE(textOf(&b.window, "txtToSend"), data); // the user's text stays for fixing
            send(&b.window, "E0", "1", "0");                // and the window stays usable
            QCOMPARE(b.dialogs.criticals.size(), 1);
            QCOMPARE(b.usb.calls.size(), std::size_t(2));
            return;
        }
        QVERIFY2(b.dialogs.criticals.isEmpty(), qPrintable(b.dialogs.criticals.join('|')));
        QCOMPARE(b.usb.calls.size(), std::size_t(2));
        const RecordedCall &out = b.usb.calls[0];
        QCOMPARE(out.length, int16_t(7));
        QCOMPARE(head(out.bytes, request.size()), request);
        // Bytes after the last token keep what was there.
        QCOMPARE(head(out.bytes, 64).mid(request.size()),
                 head(before.buffer, 64).mid(request.size()));
        // One entry per byte 0 ... read length + 1, each ending in a blank.
        QCOMPARE(received(&b.window).mid(before.shown.size()).count(' '), request[2] + 2);
    }

    void displayAccumulatesInEachSendsRadixUntilClear()
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
        // Clear empties data and display; lengths and radix stay, nothing is sent.
        click(&b.window, "cmdClear");
        QCOMPARE(textOf(&b.window, "txtToSend") + "|" + received(&b.window) + "|" +
                     textOf(&b.window, "txtWriteLength") + "|" + textOf(&b.window, "txtReadLength"),
                 QString("||1|0"));
        QVERIFY(get<QRadioButton>(&b.window, "optDec")->isChecked());
        QCOMPARE(b.usb.calls.size(), std::size_t(6));
        click(&b.window, "cmdReqSST"); // a cleared data box is empty again
        QCOMPARE(b.dialogs.criticals, QStringList{"No command byte set"});
    }

    void receivedDisplayKeepsSizeAndFollowsNewestBytes()
    {
        Harness h;
        SettingsWindow *w = openShown(h, Model::QZT6604);
        QVERIFY(w);
        auto *area = get<QScrollArea>(w, "lblReceivedArea");
        const QSize size = area->size();
        for (int i = 0; i < 12; ++i) {
            send(w, "F7", "1", "62");
            QCoreApplication::sendPostedEvents();
        }
        QCOMPARE(area->size(), size);
        QScrollBar *bar = area->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(area->widget()->width() <= area->viewport()->width()); // wrapped, not one line
    }

    // Random texts in every box: each Send is refused with one message and
    // nothing touched, or goes out as exactly one request of seven bytes with
    // its answer; each offset is refused with one message, or written once.
    void hostileTextsNeverCrashOrOverrun()
    {
        Bench b;
        QWidget *w = &b.window;
        QRandomGenerator rng(20261205);
        std::array<uint8_t, kPathBytesSize> pathBytes{};
        for (std::size_t i = 0; i < pathBytes.size(); ++i)
            pathBytes[i] = uint8_t(i * 13);
        b.state.USBStuff.PathBytes = pathBytes; // lies right after SSTBuffer
        const auto number = [&](int low, int high) {
            return rng.bounded(3) ? QString::number(rng.bounded(low, high)) : hostileText(rng);
        };
        int sent = 0, refused = 0;
        for (int round = 0; round < 1000; ++round) {
            const QString data = hostileText(rng), write = number(0, 256), read = number(0, 63);
            const bool hex = rng.bounded(2);
            get<QRadioButton>(w, hex ? "optHex" : "optDec")->click();
            if (round % 50 == 0)
                click(w, "cmdClear");
            const Untouched before(b);
            const qsizetype messages = b.dialogs.criticals.size();
            send(w, data, write, read);
            if (b.dialogs.criticals.size() == messages + 1) {
                ++refused;
                QCOMPARE(before.changes(), QString());
            } else {
                ++sent;
                QCOMPARE(b.dialogs.criticals.size(), messages);
                QCOMPARE(b.usb.calls.size(), std::size_t(2));
                QCOMPARE(b.usb.calls[0].direction, kDirectionOut);
                QCOMPARE(b.usb.calls[0].length, int16_t(7));
                QCOMPARE(b.usb.calls[1].direction, kDirectionIn);
                QCOMPARE(int(b.state.SSTStuff.SSTAddress), 0x48);
                const int readLength = b.state.USBStuff.SSTBuffer[2];
                const qsizetype tokenCount = data.count(u' ') + 1;
                QVERIFY(readLength <= 62 && tokenCount <= 61);
                for (std::size_t i = 3 + std::size_t(tokenCount); i < 64; ++i)
                    QCOMPARE(b.state.USBStuff.SSTBuffer[i], before.buffer[i]);
                QVERIFY(received(w).startsWith(before.shown));
                QCOMPARE(received(w).mid(before.shown.size()).count(u' '),
                         (hex ? 1 : 2) * (readLength + 2));
            }
            QVERIFY(b.state.USBStuff.PathBytes == pathBytes);

            const QString offset = hostileText(rng);
            b.usb.calls.clear();
            const qsizetype offsetMessages = b.dialogs.criticals.size();
            setText(w, "txtOffset", offset);
            click(w, "cmdSetOffset");
            const std::optional<int32_t> value = readNumber(offset);
            if (value && *value >= kMinExtOffset && *value <= kMaxExtOffset) {
                QCOMPARE(b.dialogs.criticals.size(), offsetMessages);
                QCOMPARE(b.usb.sent().size(), std::size_t(1));
                const auto [low, high] = encodeExtOffset(*value);
                QCOMPARE(head(b.usb.sent().front(), 6), Bytes({0x48, 3, 0, 0xE0, low, high}));
            } else {
                QCOMPARE(b.dialogs.criticals.size(), offsetMessages + 1);
                QVERIFY(b.usb.calls.empty());
            }
            QVERIFY(b.state.USBStuff.PathBytes == pathBytes);
        }
        QVERIFY(sent > 100 && refused > 100); // both outcomes were exercised often
    }
};

QTEST_MAIN(TestConsole)
#include "test_console.moc"

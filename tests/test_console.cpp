// Device console: single commands, the offset field, the general request
// panel and their refusals.
#include "console/SettingsWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <algorithm>

using namespace qzt;
using namespace qzt::test;

using Bytes = QList<int>;

namespace {

// A console on its own and a scripted adapter; QZT6604 at 0x48, QZT6605 at 0x4A.
struct Bench {
    explicit Bench(Model m = Model::QZT6604) : window(ctx, io, m)
    {
        state.Declarations.Address04 = 0x48;
        state.Declarations.Address05 = 0x4A;
    }
    DeviceState state;
    FakeAdapter usb;
    FakeDialogs dialogs;
    AppContext ctx{state, usb, dialogs, QString(), [] { return int64_t(0); }};
    AdapterIo io{state, usb, AdapterIo::Mode::Inline};
    SettingsWindow window;
};

} // namespace

class TestConsole : public QObject {
    Q_OBJECT

    static QString textOf(QWidget *w, const QString &n)
    {
        const QWidget *box = w->findChild<QWidget *>(n);
        return box->property(qobject_cast<const QPlainTextEdit *>(box) ? "plainText" : "text")
            .toString();
    }
    static QString received(QWidget *w) { return textOf(w, "lblReceived"); }
    static void click(QWidget *w, const QString &n) { w->findChild<QPushButton *>(n)->click(); }
    static void type(QWidget *w, const char *n, const QString &t)
    {
        QWidget *box = w->findChild<QWidget *>(n);
        box->setProperty(qobject_cast<QPlainTextEdit *>(box) ? "plainText" : "text", t);
    }
    static void sendPanel(QWidget *w, QString data, QString write, QString read)
    {
        type(w, "txtToSend", data);
        type(w, "txtWriteLength", write);
        type(w, "txtReadLength", read);
        click(w, "cmdReqSST");
    }
    // What a refused input must leave alone; marks buffer and address first.
    static auto untouched(Bench &b, bool mark = false)
    {
        if (mark) {
            b.state.USBStuff.SSTBuffer.fill(0xA5);
            b.state.SSTStuff.SSTAddress = 0x33;
        }
        return std::tuple(b.usb.calls.size(), b.state.USBStuff.SSTBuffer,
                          b.state.SSTStuff.SSTAddress, received(&b.window));
    }

private slots:
    void singleCommand_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("offset"); // typed into the offset box first
        QTest::addColumn<Bytes>("answer");
        QTest::addColumn<Bytes>("request"); // first bytes sent, {} if refused
        QTest::addColumn<QString>("shown"); // the fields written, or the refusal
        const auto row = [](const char *button, const char *offset, const Bytes &answer,
                            const Bytes &request, const QString &shown) {
            QTest::newRow(*offset ? offset : button)
                << QString(button) << QString(offset) << answer << request << shown;
        };
        // a[15] is the silicon revision and a[16] the client address: screen
        // order puts the client address in lblDIB(6), the revision in lblDIB(7).
        // clang-format off
        row("cmdGetDIB", "", {0, 5, 0xA0, 0x41, 0, 4, 0x66, 1, 3, 9, 9, 9, 9, 9, 9, 2, 0x48},
            {0x4A, 1, 16, 0xF7}, "0x5 0xA0 0x41 0x6604 0x1 0x3 0x48 0x2");
        row("cmdGetAllTemps", "", {0, 0x10, 0, 0xE0, 0xFF}, {0x4A, 1, 4, 0x00}, ".25°C -.5°C");
        row("cmdPing", "", {0x9C}, {0x4A, 0, 0}, "0x9C");
        row("cmdGetOffset", "", {3, 0xC0, 0xFF}, {0x4A, 1, 2, 0xE0}, "-1");
        // -1: refused as out of range, -2: as holding no number.
        static const struct { const char *text; int low, high; } offsets[] = {
            {"2.5", 0x80, 0x00}, {"abc", -2, 0}, {"-1", 0xC0, 0xFF}, {"-3", 0x40, 0xFF},
            {"-512", 0x00, 0x80}, {"511", 0xC0, 0x7F}, {"512", -1, 0}, {"-513", -1, 0}};
        for (const auto &[text, low, high] : offsets)
            row("cmdSetOffset", text, {}, low < 0 ? Bytes{} : Bytes{0x4A, 3, 0, 0xE0, low, high},
                low == -1 ? "The external offset must be from -512 to 511."
                : low == -2 ? QString("External Offset: \"%1\" is not a number.").arg(text) : "");
        // clang-format on
    }
    void singleCommand()
    {
        QFETCH(QString, button);
        QFETCH(QString, offset);
        QFETCH(Bytes, answer);
        QFETCH(Bytes, request);
        QFETCH(QString, shown);
        Bench b(Model::QZT6605);
        b.usb.answers.emplace_back();
        std::copy(answer.begin(), answer.end(), b.usb.answers.back().begin());
        type(&b.window, "txtOffset", offset);
        const auto before = untouched(b, true);
        click(&b.window, button);
        const QString field = button == "cmdGetDIB"        ? "lblDIB(%1)"
                              : button == "cmdGetAllTemps" ? "lblTemp(%1)"
                              : button == "cmdPing"        ? "txtFCS"
                                                           : "lblOffset";
        QStringList texts;
        for (qsizetype i = 0; i <= shown.count(u' ') && button != "cmdSetOffset"; ++i)
            texts << textOf(&b.window, field.contains(u'%') ? field.arg(i) : field);
        QCOMPARE(request.isEmpty() ? b.dialogs.criticals.join("") : texts.join(u' '), shown);
        if (request.isEmpty()) // the focus goes back to the box
            QCOMPARE(b.window.focusWidget()->objectName(), QString("txtOffset"));
        QVERIFY(!request.isEmpty() || untouched(b) == before);
        const auto sent = b.usb.sent();
        QCOMPARE(sent.size(), std::size_t(!request.isEmpty()));
        if (!request.isEmpty())
            QCOMPARE(Bytes(sent[0].begin(), sent[0].begin() + request.size()), request);
    }

    void panel_data()
    {
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("write");
        QTest::addColumn<QString>("read");
        QTest::addColumn<Bytes>("request");   // address, lengths and data bytes when sent
        QTest::addColumn<QString>("message"); // the refusal otherwise
        QTest::addColumn<QString>("focus");   // the box the refusal goes back to
        QTest::addColumn<bool>("decimal");    // "Decimal" chosen instead of "Hex"
        const auto row = [](const char *name, const QString &data, const char *write,
                            const char *read, const Bytes &request, const QString &message,
                            const char *focus = "txtToSend", bool decimal = false) {
            QTest::newRow(name) << data << QString(write) << QString(read) << request << message
                                << QString(focus) << decimal;
        };
        const auto ones = [](int n) { return QStringList(n, "1").join(' '); };
        // clang-format off
        row("hex forms", "a A 41h 0x41 0XF7 00FF", "6", "0", {0x48, 6, 0, 10, 10, 65, 0x41, 0xF7, 255}, {});
        row("Decimal shows, data stays hex", "F7 10", "2", "2", {0x48, 2, 2, 0xF7, 0x10}, {}, "", true);
        row("empty lengths", "E0", "", "", {0x48, 0, 0, 0xE0}, {});
        row("61 tokens", ones(61), "61", "0", Bytes{0x48, 61, 0} + Bytes(61, 1), {});
        row("write 255", "E0", "255", "0", {0x48, 255, 0, 0xE0}, {});
        row("read 62", "E0", "1", "62", {0x48, 1, 62, 0xE0}, {});
        row("empty data", "", "1", "16", {}, "No command byte set");
        row("token 100", "E0 100", "2", "0", {}, "Data byte 100 is larger than FF.");
        row("62 tokens", ones(62), "1", "0", {}, "Data To Send holds 62 bytes; at most 61 fit in one request.");
        row("token XYZ", "F7 XYZ", "2", "0", {}, "Data To Send: \"XYZ\" is not a hexadecimal byte.");
        row("write 256", "E0", "256", "0", {}, "Write Length must be from 0 to 255.", "txtWriteLength");
        row("write -1", "E0", "-1", "0", {}, "Write Length must be from 0 to 255.", "txtWriteLength");
        row("write abc", "E0", "abc", "0", {}, "Write Length: \"abc\" is not a number.", "txtWriteLength");
        row("read 63", "E0", "1", "63", {}, "Read Length must be from 0 to 62.", "txtReadLength");
        // clang-format on
    }
    void panel()
    {
        QFETCH(QString, data);
        QFETCH(QString, write);
        QFETCH(QString, read);
        QFETCH(Bytes, request);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(bool, decimal);
        Bench b;
        b.usb.answer({0x11, 0x22});
        b.usb.answer({0, 12, 255, 10});
        sendPanel(&b.window, "E0", "1", "0");
        if (decimal)
            b.window.findChild<QRadioButton *>("optDec")->click();
        const auto before = untouched(b, true);
        sendPanel(&b.window, data, write, read);
        QCOMPARE(b.dialogs.criticals.join('|'), message);
        QVERIFY(message.isEmpty() || untouched(b) == before);
        if (!message.isEmpty()) {
            QCOMPARE(b.window.focusWidget()->objectName(), focus);
            return;
        }
        QCOMPARE(b.usb.calls.size(), std::size_t(4));
        QCOMPARE(Bytes(b.usb.calls[2].bytes.begin(), b.usb.calls[2].bytes.begin() + request.size()),
                 request);
        const QString added = received(&b.window).mid(std::get<3>(before).size());
        if (decimal) // each byte's number text (a blank, the digits) and a blank
            QCOMPARE(added, QStringLiteral(" 0  12  255  10 "));
        QCOMPARE(added.split(' ', Qt::SkipEmptyParts).size(), request[2] + 2);
        click(&b.window, "cmdClear"); // empties data and display, keeps the lengths
        QCOMPARE(textOf(&b.window, "txtToSend") + received(&b.window) + "|" +
                     textOf(&b.window, "txtWriteLength"),
                 "|" + write);
    }

    // A failed call names its command and leaves the display as it was.
    void failedCommandKeepsTheDisplay_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("outFails");
        QTest::addColumn<QString>("message");
        const char *rows[][2] = {
            {"cmdGetDIB", "Get DIB"}, {"cmdSetOffset", "Set Ext Offset"}, {"cmdReqSST", "Send"}};
        bool outFails = false; // the request and the answer fail by turns
        for (const auto &[button, caption] : rows)
            QTest::newRow(button) << QString(button) << (outFails = !outFails)
                                  << QString(caption) + ": the adapter did not answer.";
    }
    void failedCommandKeepsTheDisplay()
    {
        QFETCH(QString, button);
        QFETCH(bool, outFails);
        QFETCH(QString, message);
        Bench b(Model::QZT6605);
        sendPanel(&b.window, "F7", "1", "16");
        const auto shown = [&b] {
            QStringList texts;
            for (const QLabel *l : b.window.findChildren<QLabel *>())
                texts << l->text();
            return texts << textOf(&b.window, "txtFCS");
        };
        b.usb.answer({0x5A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
        click(&b.window, button);
        QVERIFY(b.dialogs.criticals.isEmpty());
        const QStringList before = shown();
        // The failing call scribbles an answer all the same.
        b.usb.answer({0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5});
        (outFails ? b.usb.outResult : b.usb.inResult) = -3;
        click(&b.window, button);
        QCOMPARE(b.dialogs.criticals, QStringList{message});
        QCOMPARE(shown(), before);
    }
};

QTEST_MAIN(TestConsole)
#include "test_console.moc"

// The --adapter option's text, accepted and refused forms.
#include "sst/AdapterOption.h"

#include <QRegularExpression>
#include <QTest>

using namespace qzt;

class TestAdapterOption : public QObject {
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("choice"); // "usb BOARD [LOADER]", "simulated", or "-": refused
        // clang-format off
        const std::pair<const char *, const char *> rows[] = {{"simulated", "simulated"},
            {"usb:0041:5354", "usb 0041:5354"}, {"usb:41:a", "usb 0041:000a"}, {"usb:FfFf:0", "usb ffff:0000"},
            {"usb:0041:5354,loader=04b4:8613", "usb 0041:5354 04b4:8613"},
            {"usb:4B4:F3,loader=4B4:8613", "usb 04b4:00f3 04b4:8613"}, {"", "-"}, {"Simulated", "-"},
            {"usb:", "-"}, {"usb:0041", "-"}, {"usb:00411:5354", "-"}, {"usb:0041:53g4", "-"},
            {"usb:0041:5354:1", "-"}, {"usb:0041:5354,loader=", "-"}, {"usb:0041:5354,boot=1:2", "-"},
            {"usb:1:2,loader=1:2,loader=1:2", "-"}, {"usb:-1:5354", "-"}, {" usb:0041:5354", "-"}};
        // clang-format on
        for (const auto &[text, choice] : rows)
            QTest::newRow(*text ? text : "(empty)") << QString::fromLatin1(text) << choice;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, choice);
        QString error, got = "-";
        if (const std::optional<AdapterChoice> c = parseAdapterOption(text, &error))
            got = c->kind == AdapterChoice::Kind::Simulated
                      ? "simulated"
                      : "usb " + usbIdText(c->running) +
                            (c->loader ? ' ' + usbIdText(*c->loader) : QString());
        QCOMPARE(got, choice);
        QCOMPARE(error.isEmpty(), got != "-");
        if (!got.startsWith("usb"))
            return;
        // The udev rules name the same identities, as udev writes them.
        QStringList rules{"usb"};
        static const QRegularExpression rule(R"re(^SUBSYSTEM=="usb", ATTR\{idVendor\}=="(.*)", )re"
                                             R"re(ATTR\{idProduct\}=="(.*)", TAG\+="uaccess"$)re");
        for (const QString &line : udevRules(*parseAdapterOption(text)).split('\n'))
            if (const auto m = rule.match(line); m.hasMatch())
                rules << m.captured(1) + ':' + m.captured(2);
        QCOMPARE(rules.join(' '), choice);
    }
};

QTEST_GUILESS_MAIN(TestAdapterOption)
#include "test_adapteroption.moc"

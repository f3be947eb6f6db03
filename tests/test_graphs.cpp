// The graph windows inside the whole program (simulated bus, driven ticks):
// captions and legends, fitting the value axis, closing and reopening, the
// poll order, and one repaint per tick.
#include "graphs/StripChart.h"
#include "graphs/TempGraphWindow.h"
#include "graphs/VoltGraphWindow.h"
#include "support/Harness.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

using Readings = QList<double>;

namespace {

constexpr uint8_t k04 = 0x48;
constexpr uint8_t k05 = 0x4A;

// Opens the named graph window through its menu entry (the QZT6604 graph is
// already open after start-up) and returns it.
QWidget *openGraph(Harness &h, const QString &name)
{
    if (name.endsWith("04"))
        h.window->mTempGraph04_Click();
    else if (name.startsWith("frmTemp"))
        h.window->mTempGraph05_Click();
    else
        h.window->mVoltGraph05_Click();
    return h.window->findChild<QWidget *>(name);
}

StripChart *chartOf(QWidget *window)
{
    return window ? window->findChild<StripChart *>() : nullptr;
}

QStringList captionTexts(const StripChart *c)
{
    QStringList out;
    for (int i = 0; i < c->captionCount(); ++i)
        out << c->captionText(i);
    return out;
}

// Two readings are the window's temperatures, five the QZT6605 voltages.
void setReadings(Harness &h, const QString &window, const Readings &r)
{
    if (r.size() == 2)
        h.sim.setTemperatures(window.endsWith("04") ? k04 : k05, r[0], r[1]);
    else
        h.sim.setVoltages(k05, {r[0], r[1], r[2], r[3], r[4]});
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestGraphs : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void legendsAndReopening_data();
    void legendsAndReopening();
    void axisFitting_data();
    void axisFitting();
    void aTickPollsInOrderAndRepaintsOnce();
    void savedImages_data();
    void savedImages();
};

void TestGraphs::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestGraphs::legendsAndReopening_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<Readings>("readings");
    QTest::addColumn<QStringList>("captions"); // until the first tick
    QTest::addColumn<QStringList>("legends");  // after it
    QTest::newRow("QZT6604 temperature")
        << "frmTempGraph04" << Readings{25.5, -12.75}
        << QStringList{"Internal: ", "External:", "Temperature (°C)", "QZT6604"}
        << QStringList{"Internal: 25.50°C", "External: -12.75°C", "Temperature (°C)", "QZT6604"};
    QTest::newRow("QZT6605 temperature")
        << "frmTempGraph05" << Readings{-5.25, 31.75}
        << QStringList{"Internal: ", "External:", "Temperature (°C)", "QZT6605"}
        << QStringList{"Internal: -5.25°C", "External: 31.75°C", "Temperature (°C)", "QZT6605"};
    QTest::newRow("QZT6605 voltage")
        << "frmVoltGraph05" << Readings{12.1, 4.98, 3.31, 2.5, 1.21}
        << QStringList{"12V", "5V", "Vcc", "2.5V", "Vccp", "QZT6605", "Voltage (V)"}
        << QStringList{"12V: 12.10V", "5V: 4.98V", "Vcc: 3.31V", "2.5V: 2.50V",
                       "Vccp: 1.21V", "QZT6605",   "Voltage (V)"};
}

void TestGraphs::legendsAndReopening()
{
    QFETCH(QString, window);
    QFETCH(Readings, readings);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, legends);
    Harness h;
    QVERIFY(h.start());
    Flag16 &flag = window.endsWith("04")          ? h.state.Declarations.TempGraph04Open
                   : window.startsWith("frmTemp") ? h.state.Declarations.TempGraph05Open
                                                  : h.state.Declarations.VoltGraph05Open;
    QWidget *w = openGraph(h, window);
    StripChart *c = chartOf(w);
    QCOMPARE(flag, kTrue);
    QCOMPARE(captionTexts(c), captions);
    const double lower = c->lowerBound(), upper = c->upperBound();
    setReadings(h, window, readings);
    h.window->Timer1_Timer();
    QCOMPARE(captionTexts(c), legends);
    for (int i = 0; i < readings.size(); ++i)
        QCOMPARE(c->history(i).at(0).value, float(readings[i]));

    // Far-off readings move the axis; a reopened window has forgotten them.
    setReadings(h, window, Readings(readings.size(), 100.0));
    h.window->Timer1_Timer();
    QVERIFY(c->lowerBound() != lower && c->upperBound() != upper);
    w->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(flag, kFalse);
    c = chartOf(openGraph(h, window));
    QCOMPARE(flag, kTrue);
    QVERIFY(c->history(0).empty());
    QCOMPARE(c->lowerBound(), lower);
    QCOMPARE(c->upperBound(), upper);
    QCOMPARE(captionTexts(c), captions);
}

void TestGraphs::axisFitting_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("autoAdjust");
    QTest::addColumn<QList<Readings>>("ticks"); // readings, then lower and upper bound
    // The worked examples tick by tick: fitting at once from the start values,
    // inside the band, high touching the top, bottom exactly 20 below the low
    // stays, 21 below moves, equal readings, 24.5 rounding to 24.
    QTest::newRow("temperature example")
        << "frmTempGraph04" << true
        << QList<Readings>{{25.25, 31.75, 15, 42}, {26.0, 33.0, 15, 42}, {26.0, 41.6, 15, 52},
                           {35.4, 41.6, 15, 52},   {35.6, 41.6, 26, 52}, {30.0, 30.0, 26, 40},
                           {24.5, 25.5, 14, 40}};
    QTest::newRow("voltage example") << "frmVoltGraph05" << true
                                     << QList<Readings>{{12.1, 4.98, 3.31, 2.5, 1.21, -1, 16},
                                                        {15.6, 4.98, 3.31, 2.5, 1.21, -1, 20},
                                                        {30, 30, 30, 30, 30, 26, 34}};
    QTest::newRow("temperature unchecked")
        << "frmTempGraph04" << false << QList<Readings>{{100, 120, -300, 300}};
    QTest::newRow("voltage unchecked")
        << "frmVoltGraph05" << false << QList<Readings>{{30, 30, 30, 30, 30, -1, 16}};
}

void TestGraphs::axisFitting()
{
    QFETCH(QString, window);
    QFETCH(bool, autoAdjust);
    QFETCH(QList<Readings>, ticks);
    Harness h;
    QVERIFY(h.start());
    QWidget *w = openGraph(h, window);
    StripChart *c = chartOf(w);
    auto *check = w->findChild<QCheckBox *>("chkAutoAdjust");
    QVERIFY(check && check->isChecked());
    check->setChecked(autoAdjust);
    const QString caption = c->captionText(0);
    for (const Readings &t : ticks) {
        setReadings(h, window, t.first(t.size() - 2));
        h.window->Timer1_Timer();
        QCOMPARE(c->lowerBound(), t[t.size() - 2]);
        QCOMPARE(c->upperBound(), t.last());
    }
    // Samples and legends go on either way.
    QCOMPARE(c->history(0).size(), std::size_t(ticks.size()));
    QVERIFY(c->captionText(0) != caption);
    // Checked again, the next tick fits.
    check->setChecked(true);
    h.window->Timer1_Timer();
    QVERIFY(autoAdjust || (c->lowerBound() > 0 && c->upperBound() < 200));
}

void TestGraphs::aTickPollsInOrderAndRepaintsOnce()
{
    Harness h;
    QVERIFY(h.start());
    StripChart *t04 = chartOf(h.window->frmTempGraph04());
    StripChart *t05 = chartOf(openGraph(h, "frmTempGraph05"));
    StripChart *v05 = chartOf(openGraph(h, "frmVoltGraph05"));
    h.sim.setTemperatures(k04, 20.0, 21.0);
    h.sim.setTemperatures(k05, 30.0, 31.0);
    h.sim.setVoltages(k05, {12.0, 5.0, 3.25, 2.5, 1.25});
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    PaintCounter p04, p05;
    t04->installEventFilter(&p04);
    v05->installEventFilter(&p05);
    QCoreApplication::processEvents();
    p04.paints = p05.paints = 0;
    h.usb.calls.clear();

    h.window->Timer1_Timer();
    QCOMPARE(t04->history(1).at(0).value, 21.0f);
    QCOMPARE(t05->history(1).at(0).value, 31.0f);
    QCOMPARE(v05->history(2).at(0).value, 3.25f);
    // Voltage graph before the QZT6605 temperature graph, which leaves its
    // address behind.
    using C = std::array<uint8_t, 4>;
    const std::vector<C> expected{{k04, 0x00, 1, 4}, {k05, 0x10, 1, 16}, {k05, 0x00, 1, 4}};
    QCOMPARE(h.usb.commands(), expected);
    QCOMPARE(h.state.SSTStuff.SSTAddress, k05);
    // Nothing paints inside the tick, and the seven voltage-chart changes
    // come out as one paint.
    QCOMPARE(p04.paints + p05.paints, 0);
    QTRY_VERIFY(p05.paints > 0);
    QCoreApplication::processEvents();
    QCOMPARE(p05.paints, 1);
    QVERIFY(p04.paints <= 1); // none where the voltage graph covers it
    h.window->hide();
}

void TestGraphs::savedImages_data()
{
    QTest::addColumn<QString>("name");  // typed into the save prompt
    QTest::addColumn<QString>("saved"); // the file written, "" when it cannot be
    QTest::newRow("png") << "g.png"
                         << "g.png";
    QTest::newRow("jpg") << "g.JPG"
                         << "g.JPG";
    QTest::newRow("no suffix") << "g"
                               << "g.png";
    QTest::newRow("not an image suffix") << "graph.txt"
                                         << "graph.txt.png";
    QTest::newRow("missing folder") << "none/g.png"
                                    << "";
}

// Saved and copied pictures show the data without the hover read-out, which
// names each trace with its unit and writes the time the user's way.
void TestGraphs::savedImages()
{
    QFETCH(QString, name);
    QFETCH(QString, saved);
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    setReadings(h, "frmTempGraph04", {25.5, -12.75});
    h.window->Timer1_Timer();
    StripChart *chart = chartOf(h.window->frmTempGraph04());
    chart->setLocale(QLocale(QLocale::German, QLocale::Germany));
    const QImage clean = chart->image().toImage();
    QTest::mouseMove(chart, QPoint(1, 1)); // the last row's cursor may still stand on the plot
    QTest::mouseMove(chart, QPoint(chart->plotRect().right() - 1, chart->plotRect().center().y()));
    const QStringList readout = chart->readout();
    QVERIFY2(readout.value(0).startsWith("05.12.26 15:45:"), qPrintable(readout.value(0)));
    QCOMPARE(readout.mid(1), QStringList({"Internal: 25.50°C", "External: -12.75°C"}));
    QVERIFY(chart->grab().toImage() != clean);
    QCOMPARE(chart->image().toImage(), clean);

    QTemporaryDir dir;
    chart->setImagePathPrompt([&] { return dir.filePath(name); });
    std::unique_ptr<QMenu> menu(chart->createContextMenu(nullptr));
    menu->findChild<QAction *>("actSaveImage")->trigger();
    const QStringList files = QDir(dir.path()).entryList(QDir::Files);
    QCOMPARE(files, saved.isEmpty() ? QStringList() : QStringList(saved));
    QCOMPARE(h.dialogs.criticals.size(), qsizetype(saved.isEmpty()));
    QVERIFY(saved.isEmpty() || h.dialogs.criticals.isEmpty());
    if (saved.endsWith(".png"))
        QCOMPARE(QImage(dir.filePath(saved)).convertToFormat(clean.format()), clean);
}

QTEST_MAIN(TestGraphs)
#include "test_graphs.moc"

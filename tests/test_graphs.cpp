// The graph windows inside the whole program (simulated bus, driven ticks):
// legends, fitting the value axis, closing and reopening, and the chart's own
// mouse and menu interactions.
#include "graphs/StripChart.h"
#include "graphs/TempGraphWindow.h"
#include "graphs/VoltGraphWindow.h"
#include "support/Harness.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

using Readings = QList<double>;

namespace {

// Opens a graph window through its menu entry (the QZT6604 graph is already
// open after start-up) and returns its chart.
StripChart *openGraph(Harness &h, const QString &name)
{
    name.endsWith("04") ? h.window->mTempGraph04_Click() : h.window->mVoltGraph05_Click();
    return h.window->findChild<QWidget *>(name)->findChild<StripChart *>();
}

QStringList captionTexts(const StripChart *c)
{
    QStringList out;
    for (int i = 0; i < c->captionCount(); ++i)
        out << c->captionText(i);
    return out;
}

// Two readings are the QZT6604's temperatures, five the QZT6605 voltages.
void setReadings(Harness &h, const Readings &r)
{
    if (r.size() == 2)
        h.sim.setTemperatures(0x48, r[0], r[1]);
    else
        h.sim.setVoltages(0x4A, {r[0], r[1], r[2], r[3], r[4]});
}

} // namespace

class TestGraphs : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void legendsFittingAndReopening_data();
    void legendsFittingAndReopening();
    void chartInteractions_data();
    void chartInteractions();
    void savedImages_data();
    void savedImages();
};

void TestGraphs::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestGraphs::legendsFittingAndReopening_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<Readings>("readings");
    QTest::addColumn<QStringList>("legends"); // after the first tick
    // Lower and upper bound after the first tick, then after one of 100s.
    QTest::addColumn<Readings>("bounds");
    QTest::newRow("QZT6604 temperature")
        << "frmTempGraph04" << Readings{25.5, -12.75}
        << QStringList{"Internal: 25.50°C", "External: -12.75°C", "Temperature (°C)", "QZT6604"}
        << Readings{-23, 36, 90, 110};
    QTest::newRow("QZT6605 voltage")
        << "frmVoltGraph05" << Readings{12.1, 4.98, 3.31, 2.5, 1.21}
        << QStringList{"12V: 12.10V", "5V: 4.98V", "Vcc: 3.31V", "2.5V: 2.50V",
                       "Vccp: 1.21V", "QZT6605",   "Voltage (V)"}
        << Readings{-1, 16, 36, 68};
}

// Legends and the fitted axis follow each tick; unchecked, the axis stays
// while samples and legends go on; a reopened window has forgotten it all.
void TestGraphs::legendsFittingAndReopening()
{
    QFETCH(QString, window);
    QFETCH(Readings, readings);
    QFETCH(QStringList, legends);
    QFETCH(Readings, bounds);
    Harness h;
    QVERIFY(h.start());
    Flag16 &flag = window.endsWith("04") ? h.state.Declarations.TempGraph04Open
                                         : h.state.Declarations.VoltGraph05Open;
    StripChart *c = openGraph(h, window);
    QWidget *w = h.window->findChild<QWidget *>(window);
    auto *check = w->findChild<QCheckBox *>("chkAutoAdjust");
    const auto tick = [&](const Readings &r) {
        setReadings(h, r);
        h.window->Timer1_Timer();
        return Readings{c->lowerBound(), c->upperBound()};
    };
    QCOMPARE(flag, kTrue);
    const QStringList captions = captionTexts(c);
    const double lower = c->lowerBound(), upper = c->upperBound();
    QCOMPARE(tick(readings), bounds.first(2));
    QCOMPARE(captionTexts(c), legends);
    for (int i = 0; i < readings.size(); ++i)
        QCOMPARE(c->history(i).at(0).value, float(readings[i]));
    QVERIFY(check->isChecked());
    check->setChecked(false);
    QCOMPARE(tick(Readings(readings.size(), 100.0)), bounds.first(2));
    QVERIFY(captionTexts(c) != legends && c->history(0).size() == 2);
    check->setChecked(true);
    QCOMPARE(tick(Readings(readings.size(), 100.0)), bounds.last(2));

    w->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(flag, kFalse);
    c = openGraph(h, window);
    QCOMPARE(flag, kTrue);
    QVERIFY(c->history(0).empty());
    QCOMPARE(c->lowerBound(), lower);
    QCOMPARE(c->upperBound(), upper);
    QCOMPARE(captionTexts(c), captions);
}

void TestGraphs::chartInteractions_data()
{
    QTest::addColumn<QString>("action");
    for (const char *action :
         {"wheel zooms about the cursor", "wheel zooms a live view at its right edge",
          "drag looks back", "Shift+wheel looks back", "double-click goes live",
          "hover reads out time and values", "Copy image"})
        QTest::newRow(action) << QString(action);
}

// A chart on its own with twenty minutes of one sample a second: trace 0
// holds the second of the minute plus a quarter, trace 1 its negative.
void TestGraphs::chartInteractions()
{
    QFETCH(QString, action);
    int64_t now = QDateTime(QDate(2026, 12, 5), QTime(15, 25, 0)).toMSecsSinceEpoch();
    StripChart chart({{Qt::red, Qt::blue}, {}, -100, 100}, [&now] { return now; });
    for (int i = 0; i < 1200; ++i, now += 1000) {
        chart.appendSample(0, i % 60 + 0.25);
        chart.appendSample(1, -(i % 60 + 0.25));
    }
    now -= 1000; // the newest sample is now
    chart.resize(600, 420);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    const QRect plot = chart.plotRect();
    const int x = plot.left() + plot.width() / 3;
    const auto timeAt = [&](int at) {
        const chart::TimeView &v = chart.view();
        return v.leftEdge(now) + (at - plot.left()) * v.msPerColumn() + v.msPerColumn() / 2;
    };
    const auto wheel = [&](int dy, Qt::KeyboardModifiers modifiers) {
        QWheelEvent e(QPointF(x, plot.center().y()), chart.mapToGlobal(QPointF(x, 100)), {},
                      {0, dy}, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&chart, &e);
    };
    // Sent straight to the chart, so the next test finds no button held.
    const auto mouse = [&](QEvent::Type type, int at, Qt::MouseButton button = Qt::NoButton,
                           int y = 0) {
        const QPointF p(at, y ? y : plot.center().y());
        QMouseEvent e(type, p, chart.mapToGlobal(p), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button),
                      {});
        QApplication::sendEvent(&chart, &e);
    };
    const int64_t span = chart.visibleSpanMs(), right = chart.view().rightEdge(now);
    const int64_t tenth = plot.width() / 10 * chart.view().msPerColumn();
    QMenu *menu = chart.createContextMenu(&chart);
    if (action == "wheel zooms about the cursor") {
        chart.panBy(100);
        const int64_t before = timeAt(x);
        wheel(120, Qt::NoModifier); // away from the user: closer in
        QVERIFY(std::abs(chart.visibleSpanMs() * 1.25 - double(span)) < 0.02 * double(span));
        QVERIFY(std::abs(timeAt(x) - before) <= chart.view().msPerColumn());
        QVERIFY(!chart.isLive());
    } else if (action == "wheel zooms a live view at its right edge") {
        wheel(-240, Qt::NoModifier);
        QVERIFY(chart.isLive() && chart.visibleSpanMs() > span * 3 / 2);
        QVERIFY(std::abs(chart.view().rightEdge(now) - now) <= chart.view().msPerColumn());
    } else if (action == "drag looks back") {
        mouse(QEvent::MouseButtonPress, x, Qt::LeftButton);
        mouse(QEvent::MouseMove, x + 100, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, x + 100, Qt::LeftButton);
        QVERIFY(!chart.isLive());
        QCOMPARE(chart.view().rightEdge(now), right - 100 * chart.view().msPerColumn());
    } else if (action == "Shift+wheel looks back") {
        wheel(-120, Qt::ShiftModifier); // towards the user: older
        QVERIFY(!chart.isLive());
        QCOMPARE(chart.view().rightEdge(now), right - tenth);
        QCOMPARE(chart.visibleSpanMs(), span);
    } else if (action == "double-click goes live") {
        chart.panBy(200);
        mouse(QEvent::MouseButtonDblClick, x, Qt::LeftButton);
        QVERIFY(chart.isLive());
    } else if (action == "hover reads out time and values") {
        mouse(QEvent::MouseMove, x);
        const QStringList lines = chart.readout();
        // The sample nearest the cursor's time; the texts may carry names.
        const int64_t at = timeAt(x), sample = (at + 500) / 1000 * 1000;
        const QString value =
            QString::number(QDateTime::fromMSecsSinceEpoch(sample).time().second());
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].contains(QDateTime::fromMSecsSinceEpoch(at).toString("mm:ss")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].contains(value + ".25") && lines[2].contains("-" + value + ".25"),
                 qPrintable(lines.join(" | ")));
        mouse(QEvent::MouseMove, 1, Qt::NoButton, 1);
        QVERIFY(chart.readout().isEmpty());
    } else if (action == "Copy image") {
        QGuiApplication::clipboard()->clear();
        menu->findChild<QAction *>("actCopyImage")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().size(),
                 chart.size() * chart.devicePixelRatio());
    }
    delete menu;
}

void TestGraphs::savedImages_data()
{
    QTest::addColumn<QString>("name");  // typed into the save prompt
    QTest::addColumn<QString>("saved"); // the file written, "" when it cannot be
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
    setReadings(h, {25.5, -12.75});
    h.window->Timer1_Timer();
    StripChart *chart = openGraph(h, "frmTempGraph04");
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

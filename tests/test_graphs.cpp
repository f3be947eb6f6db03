// The graph windows inside the whole program (simulated bus, driven ticks):
// captions and legends, fitting the value axis, closing and reopening, one
// repaint per tick, and the chart's own mouse and menu interactions.
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
    void legendsFittingAndReopening_data();
    void legendsFittingAndReopening();
    void aTickFeedsEveryGraphAndRepaintsOnce();
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
    QTest::addColumn<QStringList>("captions"); // until the first tick
    QTest::addColumn<QStringList>("legends");  // after it
    // Lower and upper bound after the first tick, then after one of 100s.
    QTest::addColumn<Readings>("bounds");
    QTest::newRow("QZT6604 temperature")
        << "frmTempGraph04" << Readings{25.5, -12.75}
        << QStringList{"Internal: ", "External:", "Temperature (°C)", "QZT6604"}
        << QStringList{"Internal: 25.50°C", "External: -12.75°C", "Temperature (°C)", "QZT6604"}
        << Readings{-23, 36, 90, 110};
    QTest::newRow("QZT6605 voltage")
        << "frmVoltGraph05" << Readings{12.1, 4.98, 3.31, 2.5, 1.21}
        << QStringList{"12V", "5V", "Vcc", "2.5V", "Vccp", "QZT6605", "Voltage (V)"}
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
    QFETCH(QStringList, captions);
    QFETCH(QStringList, legends);
    QFETCH(Readings, bounds);
    Harness h;
    QVERIFY(h.start());
    Flag16 &flag = window.endsWith("04") ? h.state.Declarations.TempGraph04Open
                                         : h.state.Declarations.VoltGraph05Open;
    QWidget *w = openGraph(h, window);
    StripChart *c = chartOf(w);
    auto *check = w->findChild<QCheckBox *>("chkAutoAdjust");
    const auto tick = [&](const Readings &r) {
        setReadings(h, window, r);
        h.window->Timer1_Timer();
        return Readings{c->lowerBound(), c->upperBound()};
    };
    QCOMPARE(flag, kTrue);
    QCOMPARE(captionTexts(c), captions);
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
    c = chartOf(openGraph(h, window));
    QCOMPARE(flag, kTrue);
    QVERIFY(c->history(0).empty());
    QCOMPARE(c->lowerBound(), lower);
    QCOMPARE(c->upperBound(), upper);
    QCOMPARE(captionTexts(c), captions);
}

void TestGraphs::aTickFeedsEveryGraphAndRepaintsOnce()
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

    h.window->Timer1_Timer();
    QCOMPARE(t04->history(1).at(0).value, 21.0f);
    QCOMPARE(t05->history(1).at(0).value, 31.0f);
    QCOMPARE(v05->history(2).at(0).value, 3.25f);
    // Nothing paints inside the tick, and the seven voltage-chart changes
    // come out as one paint.
    QCOMPARE(p04.paints + p05.paints, 0);
    QTRY_VERIFY(p05.paints > 0);
    QCoreApplication::processEvents();
    QCOMPARE(p05.paints, 1);
    QVERIFY(p04.paints <= 1); // none where the voltage graph covers it
    h.window->hide();
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

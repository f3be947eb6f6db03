// The graph windows inside the whole program (simulated bus, driven ticks),
// and the strip chart's own handling: history navigation, hover read-out,
// time labels, pictures and one repaint per tick.
#include "graphs/StripChart.h"
#include "graphs/TempGraphWindow.h"
#include "graphs/VoltGraphWindow.h"
#include "support/Harness.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QImage>
#include <QLayout>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

using namespace qzt;
using namespace qzt::test;

using Colours = QList<QColor>;

namespace {

constexpr uint8_t k04 = 0x48;
constexpr uint8_t k05 = 0x4A;
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kNavy(0, 0, 128);
const QColor kGreen(0, 255, 0);

// Opens the named graph window through its menu entry (the QZT6604 graph is
// already open after start-up) and returns it.
QWidget *openGraph(Harness &h, const QString &name)
{
    if (name == QLatin1String("frmTempGraph04")) {
        h.window->mTempGraph04_Click();
        return h.window->frmTempGraph04();
    }
    if (name == QLatin1String("frmTempGraph05")) {
        h.window->mTempGraph05_Click();
        return h.window->frmTempGraph05();
    }
    h.window->mVoltGraph05_Click();
    return h.window->frmVoltGraph05();
}

StripChart *chartOf(QWidget *window)
{
    return window ? window->findChild<StripChart *>() : nullptr;
}

void closeGraph(QWidget *window)
{
    window->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A chart of its own with a clock the test moves.
struct ChartRig {
    int64_t nowMs = QDateTime(QDate(2026, 12, 5), QTime(15, 45, 12)).toMSecsSinceEpoch();
    StripChart chart{ChartSetup{{kRed, kBlue},
                                {{QStringLiteral("Internal: "), kRed, 0.90, 0.14},
                                 {QStringLiteral("External:"), kBlue, 0.90, 0.21}},
                                -300,
                                300},
                     [this] { return nowMs; }};

    ChartRig() { chart.resize(850, 480); }
    // The past `seconds` of samples at 20 per second, ending now; called
    // once, before poll().
    void history(int seconds, float a = 25.5f, float b = 40.0f)
    {
        nowMs -= int64_t(seconds) * 1000;
        poll(seconds, a, b);
    }
    // `seconds` more of polling.
    void poll(int seconds, float a = 25.5f, float b = 40.0f)
    {
        for (int i = 0; i < seconds * 20; ++i) {
            nowMs += 50;
            chart.appendSample(0, a);
            chart.appendSample(1, b);
        }
    }
    void send(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent e(type, QPointF(pos), QPointF(chart.mapToGlobal(pos)), button, buttons,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(&chart, &e);
    }
    void wheel(QPoint pos, int angle)
    {
        QWheelEvent e(QPointF(pos), QPointF(chart.mapToGlobal(pos)), QPoint(), QPoint(0, angle),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&chart, &e);
    }
};

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

using Readings = QList<double>;

// One line per caption: text, colour, position and font, as the chart has it.
QStringList describeCaptions(const StripChart *c)
{
    QStringList out;
    for (int i = 0; i < c->captionCount(); ++i) {
        const QFont f = c->captionFont(i);
        const QPointF at = c->captionPosition(i);
        out << QStringLiteral("%1|%2|%3,%4|%5%6%7%8")
                   .arg(c->captionText(i), c->captionColour(i).name())
                   .arg(at.x())
                   .arg(at.y())
                   .arg(f.pointSizeF())
                   .arg(f.styleHint() == QFont::SansSerif ? " sans" : "", f.bold() ? " bold" : "",
                        f.underline() ? " underlined" : "");
    }
    return out;
}

class TestGraphs : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void windowsStartFromTheirDesign_data();
    void windowsStartFromTheirDesign();
    void legendsFollowTheReadings_data();
    void legendsFollowTheReadings();
    void temperatureAxisFollowsTheWorkedExample();
    void voltageAxisFollowsTheWorkedExample();
    void uncheckedBoxFreezesTheAxis_data();
    void uncheckedBoxFreezesTheAxis();
    void closingAndReopeningStartsFresh_data();
    void closingAndReopeningStartsFresh();
    void eachWindowChartsItsOwnChip();
    void aTickSchedulesOneRepaint();

    void timeLabelsAreClockTimes();
    void wheelZoomsDragLooksBackDoubleClickGoesLive();
    void hoverReadsOutTimeAndValues();
    void contextMenuSavesAndCopiesPictures();
};

void TestGraphs::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestGraphs::windowsStartFromTheirDesign_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("chart");
    QTest::addColumn<Colours>("traces");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<QStringList>("captions");
    const auto temperature = [](const char *model) {
        return QStringList{"Internal: |#ff0000|0.9,0.14|8.25 sans",
                           "External:|#0000ff|0.9,0.21|8.25 sans",
                           "Temperature (°C)|#000000|0.9,0.07|8.25 sans",
                           QString(model) + "|#008000|0.44,0.12|13.5 sans bold underlined"};
    };
    QTest::newRow("QZT6604 temperature")
        << "frmTempGraph04"
        << "Temperature Graph"
        << "stpTemp" << Colours{kRed, kBlue} << -300.0 << 300.0 << temperature("QZT6604");
    QTest::newRow("QZT6605 temperature")
        << "frmTempGraph05"
        << "Temperature Graph"
        << "stpTemp" << Colours{kRed, kBlue} << -300.0 << 300.0 << temperature("QZT6605");
    QTest::newRow("QZT6605 voltage")
        << "frmVoltGraph05"
        << "QZT6605 Voltage Graph"
        << "stpVolt" << Colours{kRed, kBlue, kNavy, kGreen, Qt::black} << -1.0 << 16.0
        << QStringList{"12V|#ff0000|0.9,0.14|8.25 sans",
                       "5V|#0000ff|0.9,0.21|8.25 sans",
                       "Vcc|#000080|0.9,0.28|8.25 sans",
                       "2.5V|#00ff00|0.9,0.35|8.25 sans",
                       "Vccp|#000000|0.9,0.42|8.25 sans",
                       "QZT6605|#008000|0.44,0.12|13.5 sans bold underlined",
                       "Voltage (V)|#000000|0.9,0.07|8.25 sans"};
}

void TestGraphs::windowsStartFromTheirDesign()
{
    QFETCH(QString, window);
    QFETCH(QString, caption);
    QFETCH(QString, chart);
    QFETCH(Colours, traces);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(QStringList, captions);
    Harness h;
    QVERIFY(h.start());
    QWidget *w = openGraph(h, window);
    QCOMPARE(w->objectName(), window);
    QCOMPARE(w->windowTitle(), caption);
    auto *c = w->findChild<StripChart *>(chart);
    QVERIFY(c);
    Colours colours;
    for (int i = 0; i < c->traceCount(); ++i) {
        colours << c->traceColour(i);
        QVERIFY(c->history(i).empty());
    }
    QCOMPARE(colours, traces);
    QCOMPARE(c->lowerBound(), lower);
    QCOMPARE(c->upperBound(), upper);
    QCOMPARE(describeCaptions(c), captions);
    QCOMPARE(StripChart::timeLabelPatterns(),
             QStringList(
                 {"%I:%M:%S %p", "%I:%M %p", "%I:%M %p", "%m/%d/%y", "%b, %y", "%Y", "%m/%d/%y"}));

    // The options frame at the top right, the chart filling the left.
    w->layout()->activate();
    auto *frame = w->findChild<QGroupBox *>("Frame1");
    QVERIFY(frame);
    QCOMPARE(frame->title(), QString("Graph Options"));
    auto *check = frame->findChild<QCheckBox *>("chkAutoAdjust");
    QVERIFY(check);
    QCOMPARE(check->text(), QString("Automatically Adjust Graph Range"));
    QVERIFY(check->isChecked());
    QVERIFY(c->geometry().right() < frame->geometry().left());
    QVERIFY(frame->geometry().bottom() < c->geometry().center().y());
    QVERIFY(c->width() > frame->width());
}

void TestGraphs::legendsFollowTheReadings_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<Readings>("readings");
    QTest::addColumn<QStringList>("legends");
    QTest::newRow("QZT6604 warm") << "frmTempGraph04" << Readings{25.5, 31.75}
                                  << QStringList{"Internal: 25.50°C", "External: 31.75°C",
                                                 "Temperature (°C)"};
    QTest::newRow("QZT6604 remote below zero")
        << "frmTempGraph04" << Readings{25.25, -12.75}
        << QStringList{"Internal: 25.25°C", "External: -12.75°C"};
    QTest::newRow("QZT6605 both below zero")
        << "frmTempGraph05" << Readings{-5.25, -0.5}
        << QStringList{"Internal: -5.25°C", "External: -0.50°C", "Temperature (°C)", "QZT6605"};
    QTest::newRow("QZT6605 supplies")
        << "frmVoltGraph05" << Readings{12.1, 4.98, 3.31, 2.5, 1.21}
        << QStringList{"12V: 12.10V", "5V: 4.98V", "Vcc: 3.31V", "2.5V: 2.50V",
                       "Vccp: 1.21V", "QZT6605",   "Voltage (V)"};
}

void TestGraphs::legendsFollowTheReadings()
{
    QFETCH(QString, window);
    QFETCH(Readings, readings);
    QFETCH(QStringList, legends);
    Harness h;
    QVERIFY(h.start());
    StripChart *c = chartOf(openGraph(h, window));
    const QStringList before = describeCaptions(c);
    if (readings.size() == 2)
        h.sim.setTemperatures(window.endsWith("04") ? k04 : k05, readings[0], readings[1]);
    else
        h.sim.setVoltages(k05, {readings[0], readings[1], readings[2], readings[3], readings[4]});
    h.window->Timer1_Timer();
    const QStringList after = describeCaptions(c);
    for (int i = 0; i < legends.size(); ++i) {
        QCOMPARE(c->captionText(i), legends[i]);
        // Only the text changes.
        QCOMPARE(after[i].section('|', 1), before[i].section('|', 1));
    }
    for (int i = 0; i < readings.size(); ++i)
        QCOMPARE(c->history(i).at(0).value, float(readings[i]));
}

void TestGraphs::temperatureAxisFollowsTheWorkedExample()
{
    Harness h;
    QVERIFY(h.start());
    StripChart *c = chartOf(h.window->frmTempGraph04());
    const struct {
        double internal, external;
        double lower, upper;
    } ticks[] = {
        {25.25, 31.75, 15, 42}, // a fresh window fits at once
        {26.0, 33.0, 15, 42},   // inside the band
        {26.0, 41.6, 15, 52},   // high 42 touches the top
        {35.4, 41.6, 15, 52},   // bottom exactly 20 below low 35 stays
        {35.6, 41.6, 26, 52},   // 21 below low 36 moves
        {30.0, 30.0, 26, 40},   // equal readings; the top was 22 above
        {24.5, 25.5, 14, 40},   // 24.5 rounds to 24, below the bottom
    };
    for (const auto &t : ticks) {
        h.sim.setTemperatures(k04, t.internal, t.external);
        h.window->Timer1_Timer();
        QCOMPARE(c->lowerBound(), t.lower);
        QCOMPARE(c->upperBound(), t.upper);
    }
}

void TestGraphs::voltageAxisFollowsTheWorkedExample()
{
    Harness h;
    QVERIFY(h.start());
    StripChart *c = chartOf(openGraph(h, "frmVoltGraph05"));
    const struct {
        std::array<double, 5> volts;
        double lower, upper;
    } ticks[] = {
        {{12.1, 4.98, 3.31, 2.5, 1.21}, -1, 16}, // already fitted
        {{15.6, 4.98, 3.31, 2.5, 1.21}, -1, 20}, // highest 16 touches the top
        {{30, 30, 30, 30, 30}, 26, 34},          // all equal: 4 either side
    };
    for (const auto &t : ticks) {
        h.sim.setVoltages(k05, t.volts);
        h.window->Timer1_Timer();
        QCOMPARE(c->lowerBound(), t.lower);
        QCOMPARE(c->upperBound(), t.upper);
    }
}

void TestGraphs::uncheckedBoxFreezesTheAxis_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::newRow("temperature") << "frmTempGraph04" << -300.0 << 300.0;
    QTest::newRow("voltage") << "frmVoltGraph05" << -1.0 << 16.0;
}

void TestGraphs::uncheckedBoxFreezesTheAxis()
{
    QFETCH(QString, window);
    QFETCH(double, lower);
    QFETCH(double, upper);
    Harness h;
    QVERIFY(h.start());
    QWidget *w = openGraph(h, window);
    StripChart *c = chartOf(w);
    auto *check = w->findChild<QCheckBox *>("chkAutoAdjust");
    check->setChecked(false);
    h.sim.setTemperatures(k04, 100.0, 120.0);
    h.sim.setVoltages(k05, {30.0, 30.0, 30.0, 30.0, 30.0});
    const QString before = c->captionText(0);
    for (int i = 0; i < 3; ++i)
        h.window->Timer1_Timer();
    QCOMPARE(c->lowerBound(), lower);
    QCOMPARE(c->upperBound(), upper);
    QCOMPARE(c->history(0).size(), std::size_t(3));
    QVERIFY(c->captionText(0) != before);
    // Checked again, the next tick fits.
    check->setChecked(true);
    h.window->Timer1_Timer();
    QVERIFY(c->lowerBound() != lower);
    QVERIFY(c->upperBound() != upper);
}

void TestGraphs::closingAndReopeningStartsFresh_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("QZT6604 temperature") << "frmTempGraph04";
    QTest::newRow("QZT6605 temperature") << "frmTempGraph05";
    QTest::newRow("QZT6605 voltage") << "frmVoltGraph05";
}

void TestGraphs::closingAndReopeningStartsFresh()
{
    QFETCH(QString, window);
    Harness h;
    QVERIFY(h.start());
    auto &d = h.state.Declarations;
    Flag16 &flag = window == QLatin1String("frmTempGraph04")   ? d.TempGraph04Open
                   : window == QLatin1String("frmTempGraph05") ? d.TempGraph05Open
                                                               : d.VoltGraph05Open;
    QWidget *w = openGraph(h, window);
    const StripChart *c = chartOf(w);
    const QStringList fresh = describeCaptions(c);
    const double lower = c->lowerBound();
    const double upper = c->upperBound();
    QCOMPARE(flag, kTrue);
    h.sim.setVoltages(k05, {30.0, 30.0, 30.0, 30.0, 30.0});
    for (int i = 0; i < 5; ++i)
        h.window->Timer1_Timer();
    QVERIFY(c->lowerBound() != lower);

    closeGraph(w);
    QCOMPARE(flag, kFalse);
    c = chartOf(openGraph(h, window));
    QCOMPARE(flag, kTrue);
    QVERIFY(c->history(0).empty());
    QCOMPARE(c->lowerBound(), lower);
    QCOMPARE(c->upperBound(), upper);
    QCOMPARE(describeCaptions(c), fresh);
}

void TestGraphs::eachWindowChartsItsOwnChip()
{
    Harness h;
    QVERIFY(h.start());
    StripChart *t04 = chartOf(h.window->frmTempGraph04());
    StripChart *t05 = chartOf(openGraph(h, "frmTempGraph05"));
    StripChart *v05 = chartOf(openGraph(h, "frmVoltGraph05"));
    h.sim.setTemperatures(k04, 20.0, 21.0);
    h.sim.setTemperatures(k05, 30.0, 31.0);
    h.sim.setVoltages(k05, {12.0, 5.0, 3.25, 2.5, 1.25});
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
}

void TestGraphs::aTickSchedulesOneRepaint()
{
    Harness h;
    QVERIFY(h.start());
    openGraph(h, "frmVoltGraph05");
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    PaintCounter t04, v05;
    chartOf(h.window->frmTempGraph04())->installEventFilter(&t04);
    chartOf(h.window->frmVoltGraph05())->installEventFilter(&v05);
    QCoreApplication::processEvents();
    t04.paints = v05.paints = 0;

    h.window->Timer1_Timer();
    // Nothing paints inside the tick...
    QCOMPARE(t04.paints, 0);
    QCOMPARE(v05.paints, 0);
    // ...and the seven voltage-chart changes come out as one paint.
    QTRY_VERIFY(v05.paints > 0);
    QCoreApplication::processEvents();
    QCOMPARE(v05.paints, 1);
    QVERIFY(t04.paints <= 1); // none where the voltage graph covers it
    h.window->hide();
}

void TestGraphs::timeLabelsAreClockTimes()
{
    ChartRig rig;
    rig.history(600);
    // The default view: the last five minutes, labelled every minute.
    QCOMPARE(rig.chart.visibleSpanMs() / 1000, int64_t(300));
    QStringList labels = rig.chart.timeLabels();
    QCOMPARE(labels, QStringList({"03:41 PM", "03:42 PM", "03:43 PM", "03:44 PM", "03:45 PM"}));
    // The last half-minute: seconds.
    rig.chart.showLast(30'000);
    labels = rig.chart.timeLabels();
    QVERIFY(labels.size() >= 3);
    const QRegularExpression clock("^03:4[45]:[0-5][05] PM$");
    for (const QString &l : labels)
        QVERIFY2(clock.match(l).hasMatch(), qPrintable(l));
    QCOMPARE(labels.last(), QString("03:45:10 PM"));
    // All of the ten minutes: still clock times, a coarser step.
    rig.chart.showAllHistory();
    QVERIFY(rig.chart.visibleSpanMs() >= 600'000);
    labels = rig.chart.timeLabels();
    QVERIFY(!labels.isEmpty());
    QVERIFY(labels.last().endsWith(" PM") && !labels.last().contains(QRegularExpression(":..:")));
}

void TestGraphs::wheelZoomsDragLooksBackDoubleClickGoesLive()
{
    ChartRig rig;
    rig.history(900);
    const QPoint from = rig.chart.plotRect().center();
    // The wheel changes the span and keeps the live view.
    const int64_t span = rig.chart.visibleSpanMs();
    rig.wheel(from, -120); // towards the user: longer
    const int64_t longer = rig.chart.visibleSpanMs();
    QVERIFY(longer > span);
    rig.wheel(from, 240);
    QVERIFY(rig.chart.visibleSpanMs() < span);
    QVERIFY(rig.chart.isLive());

    // Dragging to the right looks back; the window then stays put while
    // polling goes on.
    rig.send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    rig.send(QEvent::MouseMove, from + QPoint(200, 0), Qt::NoButton, Qt::LeftButton);
    rig.send(QEvent::MouseButtonRelease, from + QPoint(200, 0), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!rig.chart.isLive());
    const int64_t end = rig.chart.view().rightEdge(rig.nowMs);
    QVERIFY(end < rig.nowMs - 60'000);
    rig.poll(10);
    QCOMPARE(rig.chart.view().rightEdge(rig.nowMs), end);
    const std::unique_ptr<QMenu> menu(rig.chart.createContextMenu(nullptr));
    QVERIFY(menu->findChild<QAction *>("actLive")->isEnabled());
    // The value axis is not the user's to change.
    QCOMPARE(rig.chart.lowerBound(), -300.0);
    QCOMPARE(rig.chart.upperBound(), 300.0);

    rig.send(QEvent::MouseButtonDblClick, from, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(rig.chart.isLive());
    QVERIFY(rig.chart.view().rightEdge(rig.nowMs) > rig.nowMs);
}

void TestGraphs::hoverReadsOutTimeAndValues()
{
    ChartRig rig;
    rig.history(60, 25.5f, -12.75f);
    const QRect plot = rig.chart.plotRect();
    rig.send(QEvent::MouseMove, QPoint(plot.right(), plot.center().y()), Qt::NoButton,
             Qt::NoButton);
    QStringList lines = rig.chart.readout();
    QCOMPARE(lines.size(), 3);
    QVERIFY2(QRegularExpression("^12/05/26 03:45:1[12] PM$").match(lines[0]).hasMatch(),
             qPrintable(lines[0]));
    QCOMPARE(lines[1], QString("25.50"));
    QCOMPARE(lines[2], QString("-12.75"));
    // Where no sample lies near: no value.
    lines = rig.chart.readoutAt(plot.left());
    QCOMPARE(lines.mid(1), QStringList({"-", "-"}));
    // Off the plot: no read-out.
    rig.send(QEvent::MouseMove, QPoint(2, 2), Qt::NoButton, Qt::NoButton);
    QVERIFY(rig.chart.readout().isEmpty());
}

void TestGraphs::contextMenuSavesAndCopiesPictures()
{
    ChartRig rig;
    rig.history(30);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("chart.png");
    QString answer;
    rig.chart.setImagePathPrompt([&answer] { return answer; });

    std::unique_ptr<QMenu> menu(rig.chart.createContextMenu(nullptr));
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << a->text();
    QCOMPARE(texts, QStringList({"Back to live view", "Show last 5 minutes", "Show all history", "",
                                 "Save image\u2026", "Copy image"}));
    QVERIFY(!menu->findChild<QAction *>("actLive")->isEnabled());

    // Cancelled prompt: nothing written.
    menu->findChild<QAction *>("actSaveImage")->trigger();
    QVERIFY(QDir(dir.path()).isEmpty());
    answer = path;
    menu->findChild<QAction *>("actSaveImage")->trigger();
    const QImage saved(path);
    QCOMPARE(saved.size(), rig.chart.size());

    menu->findChild<QAction *>("actCopyImage")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), rig.chart.size());
    QVERIFY(!rig.chart.saveImage(dir.filePath("missing/folder/chart.png")));
}

QTEST_MAIN(TestGraphs)
#include "test_graphs.moc"

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
const QColor kDarkGreen(0, 128, 0);

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
    StripChart chart{ChartSpec{{kRed, kBlue},
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

class TestGraphs : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void windowsStartWithTheirChartSettings_data();
    void windowsStartWithTheirChartSettings();
    void captionsStartWithTheirInitialSettings_data();
    void captionsStartWithTheirInitialSettings();
    void optionsFrameStandsRightOfTheChart();
    void temperatureCaptionsFollowTheReadings_data();
    void temperatureCaptionsFollowTheReadings();
    void voltageCaptionsFollowTheReadings();
    void temperatureAxisFollowsTheWorkedExample();
    void voltageAxisFollowsTheWorkedExample();
    void uncheckedBoxFreezesTheAxis_data();
    void uncheckedBoxFreezesTheAxis();
    void closingAndReopeningStartsFresh_data();
    void closingAndReopeningStartsFresh();
    void eachWindowChartsItsOwnChip();
    void aTickSchedulesOneRepaint();

    void timeLabelsAreClockTimes();
    void wheelZoomsTheLiveTimeSpan();
    void dragLooksBackAndDoubleClickReturnsLive();
    void hoverReadsOutTimeAndValues();
    void contextMenuSavesAndCopiesPictures();
};

void TestGraphs::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestGraphs::windowsStartWithTheirChartSettings_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("chart");
    QTest::addColumn<Colours>("traces");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("captions");
    QTest::newRow("QZT6604 temperature")
        << "frmTempGraph04"
        << "Temperature Graph"
        << "stpTemp" << Colours{kRed, kBlue} << -300.0 << 300.0 << 4;
    QTest::newRow("QZT6605 temperature")
        << "frmTempGraph05"
        << "Temperature Graph"
        << "stpTemp" << Colours{kRed, kBlue} << -300.0 << 300.0 << 4;
    QTest::newRow("QZT6605 voltage")
        << "frmVoltGraph05"
        << "QZT6605 Voltage Graph"
        << "stpVolt" << Colours{kRed, kBlue, kNavy, kGreen, Qt::black} << -1.0 << 16.0 << 7;
}

void TestGraphs::windowsStartWithTheirChartSettings()
{
    QFETCH(QString, window);
    QFETCH(QString, caption);
    QFETCH(QString, chart);
    QFETCH(Colours, traces);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(int, captions);
    Harness h;
    QVERIFY(h.start());
    QWidget *w = openGraph(h, window);
    QVERIFY(w);
    QCOMPARE(w->objectName(), window);
    QCOMPARE(w->windowTitle(), caption);
    StripChart *c = w->findChild<StripChart *>(chart);
    QVERIFY(c);
    Colours colours;
    for (int i = 0; i < c->traceCount(); ++i) {
        colours << c->traceColour(i);
        QCOMPARE(c->history(i).size(), std::size_t(0));
    }
    QCOMPARE(colours, traces);
    QCOMPARE(c->lowerBound(), lower);
    QCOMPARE(c->upperBound(), upper);
    QCOMPARE(c->captionCount(), captions);
    QCOMPARE(StripChart::timeLabelPatterns(),
             QStringList(
                 {"%I:%M:%S %p", "%I:%M %p", "%I:%M %p", "%m/%d/%y", "%b, %y", "%Y", "%m/%d/%y"}));
    QVERIFY(c->isLive());
}

void TestGraphs::captionsStartWithTheirInitialSettings_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QPointF>("position");
    QTest::addColumn<bool>("title");
    const QString t04 = "frmTempGraph04", t05 = "frmTempGraph05", v05 = "frmVoltGraph05";
    QTest::newRow("04 internal") << t04 << 0 << "Internal: " << kRed << QPointF(.90, .14) << false;
    QTest::newRow("04 external") << t04 << 1 << "External:" << kBlue << QPointF(.90, .21) << false;
    QTest::newRow("04 heading") << t04 << 2 << "Temperature (°C)" << QColor(Qt::black)
                                << QPointF(.90, .07) << false;
    QTest::newRow("04 title") << t04 << 3 << "QZT6604" << kDarkGreen << QPointF(.44, .12) << true;
    QTest::newRow("05 internal") << t05 << 0 << "Internal: " << kRed << QPointF(.90, .14) << false;
    QTest::newRow("05 title") << t05 << 3 << "QZT6605" << kDarkGreen << QPointF(.44, .12) << true;
    QTest::newRow("12V") << v05 << 0 << "12V" << kRed << QPointF(.90, .14) << false;
    QTest::newRow("5V") << v05 << 1 << "5V" << kBlue << QPointF(.90, .21) << false;
    QTest::newRow("Vcc") << v05 << 2 << "Vcc" << kNavy << QPointF(.90, .28) << false;
    QTest::newRow("2.5V") << v05 << 3 << "2.5V" << kGreen << QPointF(.90, .35) << false;
    QTest::newRow("Vccp") << v05 << 4 << "Vccp" << QColor(Qt::black) << QPointF(.90, .42) << false;
    QTest::newRow("voltage title")
        << v05 << 5 << "QZT6605" << kDarkGreen << QPointF(.44, .12) << true;
    QTest::newRow("voltage heading")
        << v05 << 6 << "Voltage (V)" << QColor(Qt::black) << QPointF(.90, .07) << false;
}

void TestGraphs::captionsStartWithTheirInitialSettings()
{
    QFETCH(QString, window);
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    QFETCH(QPointF, position);
    QFETCH(bool, title);
    Harness h;
    QVERIFY(h.start());
    StripChart *c = chartOf(openGraph(h, window));
    QVERIFY(c);
    QCOMPARE(c->captionText(index), text);
    QCOMPARE(c->captionColour(index), colour);
    QCOMPARE(c->captionPosition(index), position);
    const QFont f = c->captionFont(index);
    QCOMPARE(f.bold(), title);
    QCOMPARE(f.underline(), title);
    QCOMPARE(f.pointSizeF(), title ? 13.5 : 8.25);
    QCOMPARE(f.styleHint(), QFont::SansSerif);
}

void TestGraphs::optionsFrameStandsRightOfTheChart()
{
    Harness h;
    QVERIFY(h.start());
    for (const char *name : {"frmTempGraph04", "frmVoltGraph05"}) {
        QWidget *w = openGraph(h, QLatin1String(name));
        w->layout()->activate();
        auto *frame = w->findChild<QGroupBox *>("Frame1");
        QVERIFY(frame);
        QCOMPARE(frame->title(), QString("Graph Options"));
        auto *check = frame->findChild<QCheckBox *>("chkAutoAdjust");
        QVERIFY(check);
        QCOMPARE(check->text(), QString("Automatically Adjust Graph Range"));
        QVERIFY(check->isChecked());
        const QRect chart = chartOf(w)->geometry();
        QVERIFY(chart.right() < frame->geometry().left());
        QVERIFY(frame->geometry().top() < chart.center().y());
        QVERIFY(chart.width() > frame->width());
    }
}

void TestGraphs::temperatureCaptionsFollowTheReadings_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<double>("internal");
    QTest::addColumn<double>("external");
    QTest::addColumn<QString>("caption0");
    QTest::addColumn<QString>("caption1");
    QTest::newRow("04 warm") << "frmTempGraph04" << 25.5 << 31.75 << "Internal: 25.50°C"
                             << "External: 31.75°C";
    QTest::newRow("04 remote below zero")
        << "frmTempGraph04" << 25.25 << -12.75 << "Internal: 25.25°C"
        << "External: -12.75°C";
    QTest::newRow("05 both below zero") << "frmTempGraph05" << -5.25 << -0.5 << "Internal: -5.25°C"
                                        << "External: -0.50°C";
}

void TestGraphs::temperatureCaptionsFollowTheReadings()
{
    QFETCH(QString, window);
    QFETCH(double, internal);
    QFETCH(double, external);
    QFETCH(QString, caption0);
    QFETCH(QString, caption1);
    Harness h;
    QVERIFY(h.start());
    StripChart *c = chartOf(openGraph(h, window));
    h.sim.setTemperatures(window.endsWith("04") ? k04 : k05, internal, external);
    h.window->Timer1_Timer();
    QCOMPARE(c->captionText(0), caption0);
    QCOMPARE(c->captionText(1), caption1);
    // Only the text changed.
    QCOMPARE(c->captionColour(1), kBlue);
    QCOMPARE(c->captionPosition(1), QPointF(.90, .21));
    QCOMPARE(c->captionText(2), QString("Temperature (°C)"));
    QCOMPARE(c->history(0).at(0).value, float(internal));
    QCOMPARE(c->history(1).at(0).value, float(external));
}

void TestGraphs::voltageCaptionsFollowTheReadings()
{
    Harness h;
    QVERIFY(h.start());
    StripChart *c = chartOf(openGraph(h, "frmVoltGraph05"));
    h.sim.setVoltages(k05, {12.1, 4.98, 3.31, 2.5, 1.21});
    h.window->Timer1_Timer();
    QStringList captions;
    for (int i = 0; i < c->captionCount(); ++i)
        captions << c->captionText(i);
    QCOMPARE(captions, QStringList({"12V: 12.10V", "5V: 4.98V", "Vcc: 3.31V", "2.5V: 2.50V",
                                    "Vccp: 1.21V", "QZT6605", "Voltage (V)"}));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(c->history(i).size(), std::size_t(1));
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
        {26.0, 33.0, 15, 42},   // inside the band: no change
        {26.0, 41.6, 15, 52},   // high 42 touches the top
        {35.4, 41.6, 15, 52},   // bottom exactly 20 below low 35 stays
        {35.6, 41.6, 26, 52},   // 21 below low 36 moves
        {30.0, 30.0, 26, 40},   // equal readings; the top was 22 above
        {24.5, 25.5, 14, 40},   // 24.5 rounds to 24, at or below the bottom 26
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
    h.sim.setVoltages(k05, {12.1, 4.98, 3.31, 2.5, 1.21});
    h.window->Timer1_Timer();
    QCOMPARE(c->lowerBound(), -1.0);
    QCOMPARE(c->upperBound(), 16.0);
    h.sim.setVoltages(k05, {15.6, 4.98, 3.31, 2.5, 1.21});
    h.window->Timer1_Timer();
    QCOMPARE(c->lowerBound(), -1.0);
    QCOMPARE(c->upperBound(), 20.0);
    // All equal: 4 on either side once the bounds are pulled in.
    h.sim.setVoltages(k05, {30.0, 30.0, 30.0, 30.0, 30.0});
    h.window->Timer1_Timer();
    QCOMPARE(c->lowerBound(), 26.0);
    QCOMPARE(c->upperBound(), 34.0);
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
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<QString>("caption0");
    QTest::newRow("QZT6604 temperature") << "frmTempGraph04" << -300.0 << 300.0 << "Internal: ";
    QTest::newRow("QZT6605 temperature") << "frmTempGraph05" << -300.0 << 300.0 << "Internal: ";
    QTest::newRow("QZT6605 voltage") << "frmVoltGraph05" << -1.0 << 16.0 << "12V";
}

void TestGraphs::closingAndReopeningStartsFresh()
{
    QFETCH(QString, window);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(QString, caption0);
    Harness h;
    QVERIFY(h.start());
    auto &d = h.state.Declarations;
    Flag16 &flag = window == QLatin1String("frmTempGraph04")   ? d.TempGraph04Open
                   : window == QLatin1String("frmTempGraph05") ? d.TempGraph05Open
                                                               : d.VoltGraph05Open;
    QWidget *w = openGraph(h, window);
    QCOMPARE(flag, kTrue);
    h.sim.setVoltages(k05, {30.0, 30.0, 30.0, 30.0, 30.0});
    for (int i = 0; i < 5; ++i)
        h.window->Timer1_Timer();
    QVERIFY(chartOf(w)->lowerBound() != lower);

    closeGraph(w);
    QCOMPARE(flag, kFalse);
    StripChart *c = chartOf(openGraph(h, window));
    QCOMPARE(flag, kTrue);
    QCOMPARE(c->history(0).size(), std::size_t(0));
    QCOMPARE(c->lowerBound(), lower);
    QCOMPARE(c->upperBound(), upper);
    QCOMPARE(c->captionText(0), caption0);
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

void TestGraphs::wheelZoomsTheLiveTimeSpan()
{
    ChartRig rig;
    rig.history(60);
    const QPoint inPlot = rig.chart.plotRect().center();
    const int64_t span = rig.chart.visibleSpanMs();
    rig.wheel(inPlot, -120); // towards the user: a longer span
    QVERIFY(rig.chart.visibleSpanMs() > span);
    QVERIFY(rig.chart.isLive());
    rig.wheel(inPlot, 240);
    QVERIFY(rig.chart.visibleSpanMs() < span);
    QVERIFY(rig.chart.isLive());
    // The value axis is not the user's to change.
    QCOMPARE(rig.chart.lowerBound(), -300.0);
    QCOMPARE(rig.chart.upperBound(), 300.0);
}

void TestGraphs::dragLooksBackAndDoubleClickReturnsLive()
{
    ChartRig rig;
    rig.history(900);
    const QRect plot = rig.chart.plotRect();
    const QPoint from = plot.center();
    rig.send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    rig.send(QEvent::MouseMove, from + QPoint(200, 0), Qt::NoButton, Qt::LeftButton);
    rig.send(QEvent::MouseButtonRelease, from + QPoint(200, 0), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!rig.chart.isLive());
    const int64_t span = rig.chart.visibleSpanMs();
    const int64_t end = rig.chart.view().rightEdge(rig.nowMs);
    QCOMPARE(end, rig.chart.view().rightEdge(rig.nowMs + 1) /* no longer follows the clock */);
    QVERIFY(end < rig.nowMs - 60'000);
    // Polling goes on; the window stays put.
    rig.poll(10);
    QCOMPARE(rig.chart.view().rightEdge(rig.nowMs), end);
    QCOMPARE(rig.chart.visibleSpanMs(), span);
    auto *menu = rig.chart.createContextMenu(nullptr);
    QVERIFY(menu->findChild<QAction *>("actLive")->isEnabled());
    delete menu;

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

// The graph windows in the whole program, and the chart's mouse and menu.
#include "graphs/StripChart.h"
#include "support/Harness.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using namespace qzt::test;

using Readings = QList<double>;

namespace {

// The QZT6604 graph is already open after start-up.
StripChart *openGraph(Harness &h, const QString &name)
{
    name.endsWith("04") ? h.window->mTempGraph04_Click() : h.window->mVoltGraph05_Click();
    // Let the new child's layout settle, as the first shown frame would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
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
    void cleanup() { QVERIFY(noWindowsLeft()); }
    void legendsFittingAndReopening_data();
    void legendsFittingAndReopening();
    void chartInteractions();
    void savedImages();
};

void TestGraphs::legendsFittingAndReopening_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<Readings>("readings");
    QTest::addColumn<QStringList>("legends"); // after the first tick
    QTest::addColumn<Readings>("bounds");     // after the first tick, then one of 100s
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

// Unchecked, the axis stays; a reopened window has forgotten it all.
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
    const auto fresh = [&] {
        return std::tuple(captionTexts(c), c->lowerBound(), c->upperBound());
    };
    const auto before = fresh();
    QCOMPARE(tick(readings), bounds.first(2));
    QCOMPARE(captionTexts(c), legends);
    check->setChecked(false);
    QCOMPARE(tick(Readings(readings.size(), 100.0)), bounds.first(2));
    QVERIFY(captionTexts(c) != legends && c->history(0).size() == 2);
    check->setChecked(true);
    QCOMPARE(tick(Readings(readings.size(), 100.0)), bounds.last(2));

    w->parentWidget()->close();
    QCOMPARE(flag, kFalse); // at the close: no tick reaches a window on its way out
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    c = openGraph(h, window);
    QCOMPARE(flag, kTrue);
    QVERIFY(c->history(0).empty() && fresh() == before);
}

// Twenty minutes of one sample a second: trace 0 holds the second of the
// minute plus a quarter, trace 1 its negative. Hover, then pan and zoom.
void TestGraphs::chartInteractions()
{
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
    const int64_t ms = chart.view().msPerColumn();
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
    const auto mouse = [&](QEvent::Type type, int at, Qt::MouseButton button = Qt::NoButton) {
        const QPointF p(at, at == 1 ? 1 : plot.center().y()); // 1: off the plot
        QMouseEvent e(type, p, chart.mapToGlobal(p), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button),
                      {});
        QApplication::sendEvent(&chart, &e);
    };
    const int64_t span = chart.visibleSpanMs(), right = chart.view().rightEdge(now);

    mouse(QEvent::MouseMove, x);
    const QStringList lines = chart.readout();
    const int64_t at = timeAt(x), sample = (at + 500) / 1000 * 1000;
    const QString value = QString::number(QDateTime::fromMSecsSinceEpoch(sample).time().second());
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].contains(QDateTime::fromMSecsSinceEpoch(at).toString("mm:ss")),
             qPrintable(lines[0]));
    QVERIFY2(lines[1].contains(value + ".25") && lines[2].contains("-" + value + ".25"),
             qPrintable(lines.join(" | ")));
    mouse(QEvent::MouseMove, 1);
    QVERIFY(chart.readout().isEmpty());

    wheel(-120, Qt::ShiftModifier); // towards the user: older
    QVERIFY(!chart.isLive() && chart.visibleSpanMs() == span);
    QCOMPARE(chart.view().rightEdge(now), right - plot.width() / 10 * ms);
    mouse(QEvent::MouseButtonDblClick, x, Qt::LeftButton);
    QVERIFY(chart.isLive());

    mouse(QEvent::MouseButtonPress, x, Qt::LeftButton);
    mouse(QEvent::MouseMove, x + 100, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, x + 100, Qt::LeftButton);
    QVERIFY(!chart.isLive());
    QCOMPARE(chart.view().rightEdge(now), right - 100 * ms);

    const int64_t before = timeAt(x);
    wheel(120, Qt::NoModifier); // away from the user: closer in
    QVERIFY(std::abs(chart.visibleSpanMs() * 1.25 - double(span)) < 0.02 * double(span));
    QVERIFY(std::abs(timeAt(x) - before) <= chart.view().msPerColumn());
    QVERIFY(!chart.isLive());
}

// Saved and copied pictures leave out the hover read-out, which names each
// trace with its unit.
void TestGraphs::savedImages()
{
    Harness h;
    QVERIFY(h.start());
    h.window->show();
    setReadings(h, {25.5, -12.75});
    h.window->Timer1_Timer();
    StripChart *chart = openGraph(h, "frmTempGraph04");
    const QImage clean = chart->image().toImage();
    QTest::mouseMove(chart, QPoint(1, 1)); // a cursor left on the plot would not move
    QTest::mouseMove(chart, QPoint(chart->plotRect().right() - 1, chart->plotRect().center().y()));
    const QStringList readout = chart->readout();
    QCOMPARE(readout.mid(1), QStringList({"Internal: 25.50°C", "External: -12.75°C"}));
    QVERIFY(chart->grab().toImage() != clean);
    QCOMPARE(chart->image().toImage(), clean);

    std::unique_ptr<QMenu> menu(chart->createContextMenu(nullptr));
    menu->findChild<QAction *>("actCopyImage")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(clean.format()), clean);
    // The typed suffix kept in any case, ".png" added to any other; no folder: a message.
    QTemporaryDir dir;
    for (const char *typed : {"g.JPG", "graph.txt", "none/g.png"}) {
        h.dialogs.nextImage = dir.filePath(typed);
        menu->findChild<QAction *>("actSaveImage")->trigger();
        QCOMPARE(h.dialogs.criticals.size(), qsizetype(*typed == 'n'));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"g.JPG", "graph.txt.png"}));
    QCOMPARE(QImage(dir.filePath("graph.txt.png")).convertToFormat(clean.format()), clean);
}

QTEST_MAIN(TestGraphs)
#include "test_graphs.moc"

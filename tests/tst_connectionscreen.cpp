#include "live/connectionscreen.h"
#include "support/frame.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QLCDNumber>
#include <QLabel>
#include <QLineSeries>
#include <QSignalSpy>
#include <QToolButton>
#include <QValueAxis>

namespace {

const QList<int> milliVolt = { 40, 49 };
const QByteArray overload = frame(" 0L ", milliVolt, 2);

// The labels of the meter face and the display bit that lights each.
const std::pair<const char *, int> indicators[] = { { "ACLabel", 0 }, { "DCLabel", 1 },
    { "AUTOLabel", 2 }, { "usbLabel", 3 }, { "minusLabel", 4 }, { "myLabel", 36 }, { "nLabel", 37 },
    { "kLabel", 38 }, { "diodeLabel", 39 }, { "mLabel", 40 }, { "percentLabel", 41 },
    { "MLabel", 42 }, { "signalLabel", 43 }, { "fLabel", 44 }, { "ohmLabel", 45 },
    { "relLabel", 46 }, { "hLabel", 47 }, { "amperLabel", 48 }, { "voltLabel", 49 },
    { "HzLabel", 50 }, { "batteryLabel", 51 }, { "fahrenheitLabel", 52 }, { "celsiusLabel", 53 },
    { "ncvLabel", 55 }, { "apoLabel", 56 }, { "minLabel", 57 }, { "maxLabel", 58 } };

void feed(connectionScreen &screen, const QByteArray &hex)
{
    screen.receivedData = hex;
    emit screen.dataChanged();
}

// Frames showing first, first + 1, ... hundredths of a milli volt.
void record(connectionScreen &screen, int frames, int first = 1)
{
    for (int i = first; i < first + frames; ++i)
        feed(screen, frame(QByteArray::number(i).rightJustified(4, '0').constData(), milliVolt, 2));
}

void press(connectionScreen &screen, const char *button)
{
    child<QToolButton>(&screen, button)->click();
}

QList<double> xs(const QLineSeries *series, int from = 0)
{
    QList<double> x;
    for (const QPointF &p : series->points())
        x.append(p.x() - from);
    return x;
}

QList<double> upTo(int last)
{
    QList<double> x;
    for (int i = 1; i <= last; ++i)
        x.append(i);
    return x;
}

} // namespace

// The live screen fed frames as the main window feeds them: display, graph, recording, save.
class ConnectionScreenTest : public QObject
{
    Q_OBJECT

private slots:
    void indicatorsFollowTheFrame()
    {
        connectionScreen screen(0);
        screen.show();
        for (const auto &[name, bit] : indicators) {
            feed(screen, frame("1234", { bit }));
            for (const auto &[other, otherBit] : indicators)
                QVERIFY2(child<QLabel>(&screen, other)->isVisible() == (otherBit == bit), other);
            QVERIFY(child<QLabel>(&screen, "bluetoothLabel")->isVisible());
        }
    }

    void numberShowsTheReading()
    {
        connectionScreen screen(0);
        screen.show();
        QLCDNumber reference(5, screen.lcd->parentWidget());
        reference.setGeometry(screen.lcd->geometry());
        reference.display("0.L");
        feed(screen, frame("0042", milliVolt, 1));
        QCOMPARE(screen.lcd->value(), double(0.042f));
        QVERIFY(screen.lcd->grab().toImage() != reference.grab().toImage());
        feed(screen, overload);
        QCOMPARE(screen.lcd->grab().toImage(), reference.grab().toImage());
    }

    void recording()
    {
        connectionScreen screen(0);
        QSignalSpy transformed(&screen, &connectionScreen::dataTransformed);
        record(screen, 3);
        QCOMPARE(screen.measureSeries->count(), 0);
        press(screen, "playToolButton");
        const QByteArray good = frame("1234", { 0, 2, 40, 49 }, 2);
        feed(screen, good);
        QCOMPARE(screen.measureSeries->points(), QList<QPointF>{ QPointF(1, double(12.34f)) });
        QCOMPARE(screen.liveSeries->points(), screen.measureSeries->points());
        QCOMPARE(screen.unitList, QStringList{ "m V " });
        QCOMPARE(screen.settingsList, QStringList{ "AC AUTO " });
        QCOMPARE(screen.timestampList, QStringList{ screen.reading.timestamp });

        // A damaged notification changes neither the display nor the series.
        QByteArray upper = good, junk = good;
        upper[1] = 'A';
        junk[29] = 'x';
        for (const QByteArray &bad : { QByteArray(), good.left(29), upper, junk })
            feed(screen, bad);
        QCOMPARE(transformed.size(), 4);
        QCOMPARE(screen.lcd->value(), double(12.34f));
        QCOMPARE(screen.unitList.size(), 1);

        record(screen, 20);
        QCOMPARE(xs(screen.liveSeries, 1), upTo(20));
        QCOMPARE(xs(screen.measureSeries), upTo(21));
        QCOMPARE(screen.timestampList.size(), 21);
        QCOMPARE(screen.settingsList.size(), 21);
        QCOMPARE(screen.axisX->min(), 2.0);
        QCOMPARE(screen.axisX->max(), 21.0);
        QCOMPARE(screen.axisY->min(), double(0.01f));

        // Paused, the display goes on and the series does not; no x is skipped after it.
        press(screen, "playToolButton");
        record(screen, 10, 500);
        QCOMPARE(screen.lcd->value(), double(5.09f));
        press(screen, "playToolButton");
        feed(screen, overload);
        QCOMPARE(screen.measureSeries->points().constLast(), QPointF(22, 0.0));
        QCOMPARE(screen.unitList.constLast(), "m V ?");
        QCOMPARE(screen.settingsList.constLast(), "");

        // Cancel starts afresh, with a blank chart until the next point.
        press(screen, "cancelToolButton");
        QVERIFY(!screen.axisX->isVisible() && !screen.axisY->isVisible());
        QVERIFY(screen.unitList.isEmpty() && screen.timestampList.isEmpty()
            && screen.settingsList.isEmpty() && !screen.liveSeries->count());
        record(screen, 1);
        QCOMPARE(screen.measureSeries->count(), 0);
        press(screen, "playToolButton");
        record(screen, 1, 7);
        QCOMPARE(screen.axisX->min(), 0.5);
        QVERIFY(screen.axisX->isVisible());
        record(screen, 1, 8);
        QCOMPARE(xs(screen.measureSeries), upTo(2));
    }

    void save_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("German, dark")
            << 0 << true
            << QStringList{ "Keine Messreihe gestartet", "Bitte starten Sie erst eine Messreihe!",
                   "Messung erfolreich gespeichert!",
                   "Messung gespeichert. Sie finden die Messungen des jeweiligen "
                   "Geräts im Startbildschirm unter Verwalten." };
        QTest::newRow("English, light")
            << 1 << false
            << QStringList{ "Measuring not started", "Please start measuring first!",
                   "Measurement successfully saved!",
                   "Measurement saved. You can find the measurements of devices in "
                   "the home screen under Edit." };
    }

    // Save hands over everything since the last cancel, every time, and pauses recording.
    void save()
    {
        QFETCH(int, language);
        QFETCH(bool, dark);
        QFETCH(QStringList, texts);
        connectionScreen screen(language);
        screen.setDarkMode(dark);
        screen.isDarkMode = dark;
        screen.show();
        QList<QList<QPointF>> saves;
        connect(&screen, &connectionScreen::saveMeasure, this, [&] {
            QVERIFY(!screen.recording);
            saves.append(screen.measureSeries->points());
        });

        press(screen, "playToolButton");
        ModalAnswer answer({ ModalAnswer::press(QMessageBox::Ok), ModalAnswer::dismiss(),
            ModalAnswer::press(QMessageBox::Ok) });
        press(screen, "saveToolButton");
        QVERIFY(saves.isEmpty() && screen.recording);
        record(screen, 3);
        QVERIFY(screen.hasUnsavedPoints());
        press(screen, "saveToolButton");
        QVERIFY(!screen.hasUnsavedPoints() && !screen.recording);
        press(screen, "playToolButton");
        record(screen, 2, 10);
        press(screen, "saveToolButton");
        QVERIFY(answer.done());
        for (int k = 0; k < 3; ++k) {
            const ModalAnswer::Seen &box = answer.seen()[k];
            QCOMPARE(box.title, texts[k ? 2 : 0]);
            QCOMPARE(box.text, texts[k ? 3 : 1]);
            QCOMPARE(box.icon, QMessageBox::Warning);
            QCOMPARE(box.buttons, QMessageBox::Ok);
            QCOMPARE(box.defaultButton, QMessageBox::NoButton);
            QVERIFY(!box.parentVisible);
            QCOMPARE(box.parentStyleSheet, Theme::pageStyle(false));
        }
        QCOMPARE(saves.size(), 2);
        QCOMPARE(saves[1].size(), 5);
        QCOMPARE(saves[1].mid(0, 3), saves[0]);
        QCOMPARE(screen.styleSheet(), Theme::pageStyle(dark));
        QVERIFY(screen.isVisible());
    }

    void closingEndsTheConnectionOnce()
    {
        connectionScreen screen(0);
        QSignalSpy ended(&screen, &connectionScreen::endConnection);
        screen.show();
        press(screen, "playToolButton");
        record(screen, 2);
        QVERIFY(screen.close());
        QCOMPARE(ended.size(), 1);
        QVERIFY(!screen.recording);
        QCOMPARE(screen.measureSeries->count(), 2);
    }
};

KALVION_TEST_MAIN(ConnectionScreenTest)
#include "tst_connectionscreen.moc"

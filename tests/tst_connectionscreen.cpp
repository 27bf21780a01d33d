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

// The live screen fed frames as the main window feeds them: display, graph, recording, save.
class ConnectionScreenTest : public QObject
{
    Q_OBJECT

    const QList<int> milliVolt = { 40, 49 };
    const QByteArray overload = frame(" 0L ", milliVolt, 2);

    static void feed(connectionScreen &s, const QByteArray &hex)
    {
        s.receivedData = hex;
        emit s.dataChanged();
    }
    static void press(connectionScreen &s, const char *name)
    {
        child<QToolButton>(&s, name)->click();
    }
    // Frames showing first, first + 1, ... hundredths of a milli volt.
    void record(connectionScreen &s, int frames, int first = 1)
    {
        for (int i = first; i < first + frames; ++i)
            feed(s, frame(QByteArray::number(i).rightJustified(4, '0').constData(), milliVolt, 2));
    }
private slots:
    // Each label of the meter face shows exactly while its display bit is lit.
    void indicatorsFollowTheFrame()
    {
        const std::pair<const char *, int> indicators[]
            = { { "ACLabel", 0 }, { "DCLabel", 1 }, { "AUTOLabel", 2 }, { "usbLabel", 3 },
                  { "minusLabel", 4 }, { "myLabel", 36 }, { "nLabel", 37 }, { "kLabel", 38 },
                  { "diodeLabel", 39 }, { "mLabel", 40 }, { "percentLabel", 41 }, { "MLabel", 42 },
                  { "signalLabel", 43 }, { "fLabel", 44 }, { "ohmLabel", 45 }, { "relLabel", 46 },
                  { "hLabel", 47 }, { "amperLabel", 48 }, { "voltLabel", 49 }, { "HzLabel", 50 },
                  { "batteryLabel", 51 }, { "fahrenheitLabel", 52 }, { "celsiusLabel", 53 },
                  { "ncvLabel", 55 }, { "apoLabel", 56 }, { "minLabel", 57 }, { "maxLabel", 58 } };
        connectionScreen screen(0);
        screen.show();
        for (const auto &[name, bit] : indicators) {
            feed(screen, frame("1234", { bit }));
            for (const auto &[other, otherBit] : indicators)
                QVERIFY2(child<QLabel>(&screen, other)->isVisible() == (otherBit == bit), other);
            QVERIFY(child<QLabel>(&screen, "bluetoothLabel")->isVisible());
        }
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
        for (const QByteArray &bad :
            { QByteArray(), good.left(29), "0A" + good.mid(2), good.left(29) + "x" })
            feed(screen, bad);
        QCOMPARE(transformed.size(), 4);
        QCOMPARE(screen.lcd->value(), double(12.34f));
        QCOMPARE(screen.unitList.size(), 1);

        record(screen, 20);
        QCOMPARE(screen.liveSeries->points().constFirst(), QPointF(2, double(0.01f)));
        QCOMPARE(screen.liveSeries->count(), 20);
        QCOMPARE(screen.measureSeries->points().constLast(), QPointF(21, double(0.2f)));
        QCOMPARE(screen.timestampList.size() + screen.settingsList.size(), 42);
        QCOMPARE(screen.axisX->min(), 2.0);
        QCOMPARE(screen.axisY->min(), double(0.01f));

        // Paused, the display goes on and the series does not; no x is skipped after it.
        press(screen, "playToolButton");
        record(screen, 10, 500);
        QCOMPARE(screen.lcd->value(), double(5.09f));
        press(screen, "playToolButton");
        feed(screen, overload);
        QLCDNumber shows0L(5, screen.lcd->parentWidget());
        shows0L.setGeometry(screen.lcd->geometry());
        shows0L.display("0.L");
        QCOMPARE(screen.lcd->grab().toImage(), shows0L.grab().toImage());
        QCOMPARE(screen.measureSeries->points().constLast(), QPointF(22, 0.0));
        QCOMPARE(screen.unitList.constLast(), "m V ?");
        QCOMPARE(screen.settingsList.constLast(), "");

        // Cancel starts afresh, with a blank chart until the next point.
        press(screen, "cancelToolButton");
        QVERIFY(!screen.axisX->isVisible() && !screen.axisY->isVisible());
        QVERIFY(screen.unitList.isEmpty() && screen.timestampList.isEmpty()
            && screen.settingsList.isEmpty() && !screen.liveSeries->count());
        record(screen, 1);
        press(screen, "playToolButton");
        record(screen, 1, 7);
        QCOMPARE(screen.axisX->min(), 0.5);
        QVERIFY(screen.axisX->isVisible());
        QCOMPARE(screen.measureSeries->points(), QList<QPointF>{ QPointF(1, double(0.07f)) });
    }

    // Save hands over everything since the last cancel, every time, and pauses recording. In
    // dark mode the screen hides, white, behind the box and is dark again after it.
    void save()
    {
        connectionScreen screen(0);
        screen.setDarkMode(true);
        screen.isDarkMode = true;
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
        press(screen, "saveToolButton");
        press(screen, "playToolButton");
        record(screen, 2, 10);
        press(screen, "saveToolButton");
        QVERIFY(answer.done());
        for (const ModalAnswer::Seen &box : answer.seen()) {
            QCOMPARE(box.title,
                box.text == answer.box().text ? "Keine Messreihe gestartet"
                                              : "Messung erfolreich gespeichert!");
            QCOMPARE(box.buttons, QMessageBox::Ok);
            QCOMPARE(box.parentStyleSheet, Theme::pageStyle(false));
            QVERIFY(!box.parentVisible);
        }
        QCOMPARE(saves.size(), 2);
        QCOMPARE(saves[1].mid(0, 3), saves[0]);
        QCOMPARE(saves[1].size(), 5);
        QCOMPARE(screen.styleSheet(), Theme::pageStyle(true));
    }
};

KALVION_TEST_MAIN(ConnectionScreenTest)
#include "tst_connectionscreen.moc"

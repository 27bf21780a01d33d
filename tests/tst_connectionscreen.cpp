#include "live/connectionscreen.h"
#include "support/modalanswer.h"
#include "support/testmain.h"

#include <QChart>
#include <QChartView>
#include <QLCDNumber>
#include <QLabel>
#include <QLineSeries>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QValueAxis>

#include <cmath>

namespace {

// The indicators of the meter face as the form must build them; index is the display bit
// that shows the label, -1 for the Bluetooth image, which never hides.
struct Indicator {
    const char *name;
    QRect geometry;
    const char *text;
    int index;
};
const Indicator indicators[] = {
    { "apoLabel", { 175, 15, 41, 21 }, "APO", 56 },
    { "ACLabel", { 20, 125, 49, 21 }, "AC", 0 },
    { "DCLabel", { 20, 75, 49, 21 }, "DC", 1 },
    { "minLabel", { 125, 15, 49, 21 }, "MIN", 57 },
    { "maxLabel", { 75, 15, 49, 21 }, "MAX", 58 },
    { "AUTOLabel", { 25, 15, 49, 21 }, "AUTO", 2 },
    { "hLabel", { 218, 15, 31, 21 }, "H", 47 },
    { "relLabel", { 250, 15, 41, 21 }, "REL", 46 },
    { "usbLabel", { 318, 160, 49, 21 }, "USB", 3 },
    { "MLabel", { 310, 130, 15, 21 }, "M", 42 },
    { "kLabel", { 325, 130, 15, 21 }, "k", 38 },
    { "HzLabel", { 360, 130, 21, 21 }, "Hz", 50 },
    { "ohmLabel", { 340, 130, 21, 21 }, "\u2126", 45 },
    { "myLabel", { 330, 100, 15, 21 }, "\u03bc", 36 },
    { "minusLabel", { 20, 100, 51, 21 }, "\u2796", 4 },
    { "mLabel", { 315, 100, 15, 21 }, "m", 40 },
    { "nLabel", { 305, 100, 10, 21 }, "n", 37 },
    { "voltLabel", { 345, 100, 10, 21 }, "V", 49 },
    { "amperLabel", { 355, 100, 10, 21 }, "A", 48 },
    { "batteryLabel", { 20, 150, 49, 31 }, "", 51 },
    { "bluetoothLabel", { 20, 42, 47, 27 }, "", -1 },
    { "diodeLabel", { 290, 15, 41, 21 }, "", 39 },
    { "signalLabel", { 330, 15, 41, 21 }, "", 43 },
    { "percentLabel", { 300, 70, 31, 21 }, "%", 41 },
    { "ncvLabel", { 330, 70, 41, 21 }, "NCV", 55 },
    { "celsiusLabel", { 320, 40, 21, 21 }, "°C", 53 },
    { "fahrenheitLabel", { 341, 40, 20, 21 }, "°F", 52 },
    { "fLabel", { 365, 100, 15, 21 }, "F", 44 },
};

// A payload showing four digit positions ("0"-"9", "L" for the letter L, " " dark) and the
// given display bits; pointAfter is the digit position followed by the point, 0 for none.
QByteArray frame(const char *digits, const QList<int> &lit = {}, int pointAfter = 0)
{
    static const int first[] = { 0xE, 0x0, 0xA, 0x8, 0x4, 0xC, 0xE, 0x8, 0xE, 0xC };
    static const int second[] = { 0xB, 0xA, 0xD, 0xF, 0xE, 0x7, 0x7, 0xA, 0xF, 0xF };
    int nibbles[15] = {};
    for (int p = 0; p < 4; ++p) {
        const char d = digits[p];
        nibbles[2 * p + 1] |= d == 'L' ? 0x6 : d == ' ' ? 0 : first[d - '0'];
        nibbles[2 * p + 2] |= d == 'L' ? 0x1 : d == ' ' ? 0 : second[d - '0'];
    }
    if (pointAfter)
        nibbles[2 * pointAfter + 1] |= 1;
    for (int index : lit) {
        if (index >= 56)
            nibbles[14] |= index == 56 ? 1 : index == 57 ? 2 : 8;
        else
            nibbles[index / 4] |= 1 << (index % 4);
    }
    QByteArray hex;
    for (int n : nibbles)
        hex += QByteArray::number(n, 16).prepend('0');
    return hex;
}

const QList<int> milliVolt = { 40, 49 };
const QByteArray overload = frame(" 0L ", milliVolt, 2);

void feed(connectionScreen &screen, const QByteArray &hex)
{
    screen.receivedData = hex;
    emit screen.dataChanged();
}

QToolButton *button(const connectionScreen &screen, const char *name)
{
    return screen.findChild<QToolButton *>(name);
}

bool showsIcon(QToolButton *button, const QString &path)
{
    const QImage shown = button->icon().pixmap(button->iconSize()).toImage();
    const QImage wanted = QPixmap(path)
                              .scaled(button->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)
                              .toImage();
    return shown.convertToFormat(QImage::Format_ARGB32)
        == wanted.convertToFormat(QImage::Format_ARGB32);
}

QList<double> xs(const QLineSeries *series)
{
    QList<double> x;
    for (const QPointF &p : series->points())
        x.append(p.x());
    return x;
}

QList<double> range(double from, double to)
{
    QList<double> r;
    for (double x = from; x <= to; ++x)
        r.append(x);
    return r;
}

// True when text is a run of the given words, each at most once and in the given order.
bool madeOfWords(const QString &text, const QStringList &words)
{
    qsizetype at = 0;
    for (const QString &word : words) {
        if (QStringView(text).mid(at).startsWith(word))
            at += word.size();
    }
    return at == text.size();
}

// What the main window keeps of a series on save.
struct Saved {
    QList<QPointF> points;
    QStringList units, timestamps, settings;
};

} // namespace

// The live screen with real frames: its form, the display, the graph, recording and the boxes.
class ConnectionScreenTest : public QObject
{
    Q_OBJECT

private:
    static const Reading &reading(const connectionScreen &s) { return s.reading; }
    static bool recording(const connectionScreen &s) { return s.recording; }
    static const QLineSeries *live(const connectionScreen &s) { return s.liveSeries; }
    static QLCDNumber *lcd(const connectionScreen &s) { return s.lcd; }

    // Frames showing first / 100, (first + 1) / 100, ... in milli volt.
    static void record(connectionScreen &screen, int frames, int first = 1)
    {
        for (int i = 0; i < frames; ++i) {
            const QByteArray digits = QByteArray::number(first + i).rightJustified(4, '0');
            feed(screen, frame(digits.constData(), milliVolt, 2));
        }
    }

    // Both boxes are plain warnings with one OK and no default, over the hidden screen.
    static void verifyWarning(
        const ModalAnswer::Seen &box, const QString &title, const QString &text)
    {
        QCOMPARE(box.title, title);
        QCOMPARE(box.text, text);
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::Ok);
        QCOMPARE(box.defaultButton, QMessageBox::NoButton);
        QVERIFY(!box.parentVisible);
    }

private slots:
    void form()
    {
        connectionScreen screen(0);
        QCOMPARE(screen.objectName(), "connectionScreen");
        QCOMPARE(screen.windowTitle(), "KalvionApp");
        QCOMPARE(screen.minimumSize(), QSize(498, 754));
        QCOMPARE(screen.maximumSize(), QSize(498, 754));
        QCOMPARE(screen.styleSheet(), QString());

        QWidget *display = screen.findChild<QWidget *>("display");
        QCOMPARE(screen.findChild<QWidget *>("graph")->geometry(), QRect(0, 300, 498, 350));
        QCOMPARE(display->geometry(), QRect(60, 60, 381, 191));
        auto *caption = screen.findChild<QLabel *>("label");
        QCOMPARE(caption->geometry(), QRect(190, 20, 111, 20));
        QCOMPARE(caption->text(), "Live-Display");
        QCOMPARE(caption->font().pointSize(), 14);
        QVERIFY(caption->fontMetrics().horizontalAdvance(caption->text()) <= caption->width());
        QCOMPARE(caption->alignment(), Qt::AlignCenter);

        const std::pair<const char *, int> buttons[]
            = { { "cancelToolButton", 120 }, { "playToolButton", 220 }, { "saveToolButton", 320 } };
        for (const auto &[name, x] : buttons) {
            QToolButton *b = button(screen, name);
            QCOMPARE(b->geometry(), QRect(x, 670, 51, 51));
            QCOMPARE(b->text(), "...");
            QCOMPARE(b->iconSize(), QSize(51, 51));
        }
        QVERIFY(showsIcon(button(screen, "cancelToolButton"), ":/image/stopv2.png"));
        QVERIFY(showsIcon(button(screen, "playToolButton"), ":/image/playv2.png"));
        QVERIFY(showsIcon(button(screen, "saveToolButton"), ":/image/savev2.png"));

        QCOMPARE(display->findChildren<QLabel *>().size(), 28);
        for (const Indicator &i : indicators) {
            auto *label = display->findChild<QLabel *>(i.name);
            QVERIFY2(label, i.name);
            QCOMPARE(label->parentWidget(), display);
            QCOMPARE(label->geometry(), i.geometry);
            QCOMPARE(label->font().pointSize(), 11);
            QCOMPARE(label->alignment(), Qt::AlignCenter);
            QCOMPARE(label->text(), QString::fromUtf8(i.text));
            if (!*i.text) {
                // Scaled once to fit, keeping the picture's proportions.
                const QSize size = label->pixmap().size();
                QVERIFY2(!label->pixmap().isNull(), i.name);
                QVERIFY(size.width() <= i.geometry.width());
                QVERIFY(size.height() <= i.geometry.height());
                QVERIFY(size.width() == i.geometry.width() || size.height() == i.geometry.height());
            }
        }

        QLCDNumber *number = display->findChild<QLCDNumber *>();
        QCOMPARE(number->objectName(), QString());
        QCOMPARE(number->geometry(), QRect(80, 45, 211, 121));
        QCOMPARE(number->digitCount(), 5);
        QCOMPARE(number->value(), 0.0);

        auto *view = screen.findChild<QChartView *>();
        QCOMPARE(view->parentWidget(), screen.findChild<QWidget *>("graph"));
        QCOMPARE(view->minimumSize(), QSize(498, 350));
        QVERIFY(view->renderHints().testFlag(QPainter::Antialiasing));
        QCOMPARE(view->chart()->theme(), QChart::ChartThemeDark);
        QVERIFY(!view->chart()->legend()->isVisible());
        QCOMPARE(view->chart()->series().size(), 1);
        QCOMPARE(view->chart()->series().constFirst(), live(screen));
    }

    void allIndicatorsShowBeforeTheFirstFrame()
    {
        connectionScreen screen(0);
        screen.show();
        for (const Indicator &i : indicators)
            QVERIFY2(screen.findChild<QLabel *>(i.name)->isVisible(), i.name);
    }

    void indicatorsFollowTheFrame_data()
    {
        QTest::addColumn<QList<int>>("lit");
        QTest::newRow("milli volt") << milliVolt;
        QTest::newRow("nothing") << QList<int>();
        for (const Indicator &i : indicators) {
            if (i.index >= 0)
                QTest::newRow(i.name) << QList<int>{ i.index };
        }
    }

    void indicatorsFollowTheFrame()
    {
        QFETCH(QList<int>, lit);
        connectionScreen screen(0);
        screen.show();
        QList<int> all;
        for (const Indicator &i : indicators) {
            if (i.index >= 0)
                all.append(i.index);
        }
        feed(screen, frame("1234", all));
        feed(screen, frame("1234", lit));
        for (const Indicator &i : indicators) {
            const bool shown = i.index < 0 || lit.contains(i.index);
            QVERIFY2(screen.findChild<QLabel *>(i.name)->isVisible() == shown, i.name);
        }
    }

    void numberWidget()
    {
        connectionScreen screen(0);
        screen.show();
        QLCDNumber reference(5, lcd(screen)->parentWidget());
        reference.setGeometry(lcd(screen)->geometry());
        reference.display("0.L");

        feed(screen, frame("1500", { 4 }));
        QCOMPARE(lcd(screen)->value(), 1500.0);
        QVERIFY(screen.findChild<QLabel *>("minusLabel")->isVisible());
        QVERIFY(lcd(screen)->grab().toImage() != reference.grab().toImage());

        feed(screen, overload);
        QCOMPARE(lcd(screen)->grab().toImage(), reference.grab().toImage());
        QVERIFY(!screen.findChild<QLabel *>("minusLabel")->isVisible());
        QVERIFY(screen.findChild<QLabel *>("mLabel")->isVisible());
        QVERIFY(screen.findChild<QLabel *>("voltLabel")->isVisible());

        feed(screen, frame("0042", milliVolt, 1));
        QCOMPARE(lcd(screen)->value(), double(0.042f));
    }

    void darkMode_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    void darkMode()
    {
        QFETCH(bool, dark);
        connectionScreen screen(0);
        screen.setDarkMode(dark);
        const QString page = dark ? "background-color: #202020" : "background-color: white";
        const QString panel = dark ? "background-color: white" : "background-color: #202020";
        const QString onPanel = dark ? "color: black" : "color: white";
        QCOMPARE(screen.styleSheet(), page);
        QCOMPARE(screen.findChild<QWidget *>("display")->styleSheet(), panel);
        QCOMPARE(lcd(screen)->styleSheet(), onPanel);
        QCOMPARE(screen.findChild<QLabel *>("label")->styleSheet(),
            dark ? "color: white" : "color: black");
        for (const Indicator &i : indicators) {
            const bool themed = *i.text;
            QCOMPARE(
                screen.findChild<QLabel *>(i.name)->styleSheet(), themed ? onPanel : QString());
        }
        QCOMPARE(screen.findChild<QWidget *>("graph")->styleSheet(), QString());
        for (const char *name : { "cancelToolButton", "playToolButton", "saveToolButton" })
            QCOMPARE(button(screen, name)->styleSheet(), QString());
        QCOMPARE(screen.isDarkMode, false);
    }

    // A damaged notification leaves the reading, the display and the series as they were.
    void damagedFramesAreIgnored()
    {
        connectionScreen screen(0);
        screen.show();
        QSignalSpy transformed(&screen, &connectionScreen::dataTransformed);
        button(screen, "playToolButton")->click();
        feed(screen, frame("1500", { 4, 40, 49, 1 }, 0));
        QCOMPARE(transformed.size(), 1);
        const Reading before = reading(screen);

        const QByteArray good = frame("9999", {});
        QByteArray upper = good;
        upper[1] = 'A';
        QByteArray junk = good;
        junk[29] = 'x';
        for (const QByteArray &bad : { QByteArray(), good.left(29), upper, junk }) {
            feed(screen, bad);
            QCOMPARE(transformed.size(), 1);
            QCOMPARE(reading(screen).segments, before.segments);
            QCOMPARE(reading(screen).value, before.value);
            QCOMPARE(reading(screen).timestamp, before.timestamp);
            QCOMPARE(lcd(screen)->value(), 1500.0);
            QVERIFY(screen.findChild<QLabel *>("minusLabel")->isVisible());
            QVERIFY(screen.findChild<QLabel *>("DCLabel")->isVisible());
            QCOMPARE(screen.measureSeries->count(), 1);
            QCOMPARE(screen.unitList.size(), 1);
        }
    }

    void recordingCountsFramesFromOne()
    {
        connectionScreen screen(0);
        QToolButton *play = button(screen, "playToolButton");
        record(screen, 3);
        QCOMPARE(screen.measureSeries->count(), 0);

        play->click();
        QVERIFY(recording(screen));
        QVERIFY(showsIcon(play, ":/image/pausev2.png"));
        feed(screen, frame("1234", { 0, 2, 40, 49 }, 2));
        QCOMPARE(screen.measureSeries->points(), QList<QPointF>{ QPointF(1, double(12.34f)) });
        QCOMPARE(live(screen)->points(), QList<QPointF>{ QPointF(1, double(12.34f)) });
        QCOMPARE(screen.unitList, QStringList{ "m V " });
        QCOMPARE(screen.settingsList, QStringList{ "AC AUTO " });
        QCOMPARE(screen.timestampList.size(), 1);
        QVERIFY(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.(\d{3})\1$)")
                    .match(screen.timestampList[0])
                    .hasMatch());

        record(screen, 20);
        QCOMPARE(xs(live(screen)), range(2, 21));
        QCOMPARE(xs(screen.measureSeries), range(1, 21));
        QCOMPARE(screen.unitList.size(), 21);
        QCOMPARE(screen.timestampList.size(), 21);
        QCOMPARE(screen.settingsList.size(), 21);

        // Paused: the display goes on, the series does not, and no x is skipped.
        play->click();
        QVERIFY(showsIcon(play, ":/image/playv2.png"));
        record(screen, 10, 500);
        QCOMPARE(lcd(screen)->value(), double(5.09f));
        QCOMPARE(screen.measureSeries->count(), 21);
        play->click();
        feed(screen, overload);
        QCOMPARE(screen.measureSeries->points().constLast(), QPointF(22, 0.0));
        QCOMPARE(live(screen)->points().constLast(), QPointF(22, 0.0));
        QCOMPARE(screen.unitList.constLast(), "m V ?");
        QCOMPARE(screen.settingsList.constLast(), "");

        button(screen, "cancelToolButton")->click();
        QVERIFY(!recording(screen));
        QVERIFY(showsIcon(play, ":/image/playv2.png"));
        QCOMPARE(screen.measureSeries->count(), 0);
        QCOMPARE(live(screen)->count(), 0);
        QVERIFY(screen.unitList.isEmpty() && screen.timestampList.isEmpty()
            && screen.settingsList.isEmpty());
        play->click();
        record(screen, 2);
        QCOMPARE(xs(screen.measureSeries), range(1, 2));
        QCOMPARE(screen.unitList.size(), 2);
    }

    // The axes fit the points shown after every point, exactly as rebuilding default axes
    // would fit them; after a cancel the chart is blank until the next point.
    void axesFitThePointsShown()
    {
        connectionScreen screen(0);
        QLineSeries *reference = new QLineSeries;
        QChart rebuilt;
        rebuilt.addSeries(reference);
        auto *axisX = qobject_cast<QValueAxis *>(
            screen.findChild<QChartView *>()->chart()->axes(Qt::Horizontal).constFirst());
        auto *axisY = qobject_cast<QValueAxis *>(
            screen.findChild<QChartView *>()->chart()->axes(Qt::Vertical).constFirst());

        button(screen, "playToolButton")->click();
        const char *values[] = { "1234", "1234", "1234", "0042", "9999", "1500" };
        for (int n = 1; n <= 45; ++n) {
            const bool unreadable = n % 7 == 0;
            feed(screen,
                unreadable ? overload
                           : frame(values[n % 6 < 3 && n < 20 ? 0 : n % 6], milliVolt, n % 4));
            if (reference->count() > 19)
                reference->remove(0);
            reference->append(n, unreadable ? 0.0 : double(reading(screen).value));
            rebuilt.removeSeries(reference);
            rebuilt.addSeries(reference);
            rebuilt.createDefaultAxes();
            auto *refX = qobject_cast<QValueAxis *>(rebuilt.axes(Qt::Horizontal).constFirst());
            auto *refY = qobject_cast<QValueAxis *>(rebuilt.axes(Qt::Vertical).constFirst());
            QCOMPARE(axisX->min(), refX->min());
            QCOMPARE(axisX->max(), refX->max());
            QCOMPARE(axisY->min(), refY->min());
            QCOMPARE(axisY->max(), refY->max());
            QVERIFY(axisX->isVisible() && axisY->isVisible());
        }

        button(screen, "cancelToolButton")->click();
        QVERIFY(!axisX->isVisible() && !axisY->isVisible());
        QCOMPARE(live(screen)->count(), 0);
        button(screen, "playToolButton")->click();
        feed(screen, frame("0007", milliVolt));
        QVERIFY(axisX->isVisible() && axisY->isVisible());
        QCOMPARE(axisX->min(), 0.5);
        QCOMPARE(axisX->max(), 1.5);
        QCOMPARE(axisY->min(), 6.5);
        QCOMPARE(axisY->max(), 7.5);
    }

    void save_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("savedTitle");
        QTest::addColumn<QString>("savedText");
        QTest::addColumn<QString>("emptyTitle");
        QTest::addColumn<QString>("emptyText");
        QTest::newRow("German") << 0 << "Messung erfolreich gespeichert!"
                                << "Messung gespeichert. Sie finden die Messungen des jeweiligen "
                                   "Geräts im Startbildschirm unter Verwalten."
                                << "Keine Messreihe gestartet"
                                << "Bitte starten Sie erst eine Messreihe!";
        QTest::newRow("English") << 1 << "Measurement successfully saved!"
                                 << "Measurement saved. You can find the measurements of devices "
                                    "in the home screen under Edit."
                                 << "Measuring not started"
                                 << "Please start measuring first!";
    }

    // Save hands over everything since the last cancel, every time, and pauses recording.
    void save()
    {
        QFETCH(int, language);
        QFETCH(QString, savedTitle);
        QFETCH(QString, savedText);
        QFETCH(QString, emptyTitle);
        QFETCH(QString, emptyText);
        connectionScreen screen(language);
        screen.show();
        QToolButton *play = button(screen, "playToolButton");
        QList<Saved> saves;
        bool recordingWhenSaved = true;
        connect(&screen, &connectionScreen::saveMeasure, this, [&] {
            saves.append({ screen.measureSeries->points(), screen.unitList, screen.timestampList,
                screen.settingsList });
            recordingWhenSaved = recording(screen);
        });

        {
            // Recording, but nothing has arrived yet: a box, and nothing else happens.
            play->click();
            ModalAnswer answer(QMessageBox::Ok);
            button(screen, "saveToolButton")->click();
            QVERIFY(answer.done());
            verifyWarning(answer.box(), emptyTitle, emptyText);
            if (QTest::currentTestFailed())
                return;
            QVERIFY(saves.isEmpty());
            QVERIFY(recording(screen));
            QVERIFY(showsIcon(play, ":/image/pausev2.png"));
            QVERIFY(screen.isVisible());
        }

        QVERIFY(!screen.hasUnsavedPoints());
        record(screen, 3);
        QVERIFY(screen.hasUnsavedPoints());
        {
            ModalAnswer answer(QMessageBox::Ok);
            button(screen, "saveToolButton")->click();
            QVERIFY(answer.done());
            verifyWarning(answer.box(), savedTitle, savedText);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(saves.size(), 1);
        QVERIFY(!recordingWhenSaved);
        QVERIFY(showsIcon(play, ":/image/playv2.png"));
        QVERIFY(screen.isVisible());
        QCOMPARE(saves[0].points.size(), 3);
        QCOMPARE(saves[0].units.size(), 3);
        QCOMPARE(screen.measureSeries->count(), 3);
        QVERIFY(!screen.hasUnsavedPoints());

        play->click();
        record(screen, 2, 10);
        QVERIFY(screen.hasUnsavedPoints());
        {
            ModalAnswer answer(QMessageBox::Ok);
            button(screen, "saveToolButton")->click();
            QVERIFY(answer.done());
        }
        QCOMPARE(saves.size(), 2);
        QCOMPARE(xs(screen.measureSeries), range(1, 5));
        QCOMPARE(saves[1].points.size(), 5);
        QCOMPARE(saves[1].points.mid(0, 3), saves[0].points);
        QCOMPARE(saves[1].timestamps.mid(0, 3), saves[0].timestamps);
        QCOMPARE(saves[1].units, QStringList(5, "m V "));
        QCOMPARE(saves[1].settings, QStringList(5, ""));
        QVERIFY(!screen.hasUnsavedPoints());

        // A cancel after a save starts afresh: new points are unsaved again.
        button(screen, "cancelToolButton")->click();
        play->click();
        record(screen, 1);
        QVERIFY(screen.hasUnsavedPoints());
    }

    // In dark mode the page turns white only while it is hidden behind the box.
    void boxesInDarkMode_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<int>("frames");
        QTest::newRow("dark, saved") << true << 2;
        QTest::newRow("dark, nothing recorded") << true << 0;
        QTest::newRow("light, saved") << false << 2;
    }

    void boxesInDarkMode()
    {
        QFETCH(bool, dark);
        QFETCH(int, frames);
        connectionScreen screen(0);
        screen.setDarkMode(dark);
        screen.isDarkMode = dark;
        screen.show();
        button(screen, "playToolButton")->click();
        record(screen, frames);

        ModalAnswer answer(QMessageBox::Ok);
        button(screen, "saveToolButton")->click();
        QVERIFY(answer.done());
        QCOMPARE(answer.box().parentStyleSheet, "background-color: white");
        QVERIFY(!answer.box().parentVisible);
        QCOMPARE(
            screen.styleSheet(), dark ? "background-color: #202020" : "background-color: white");
        QVERIFY(screen.isVisible());
    }

    void closingEndsTheConnectionOnce()
    {
        connectionScreen screen(0);
        QPointer<connectionScreen> alive(&screen);
        QSignalSpy ended(&screen, &connectionScreen::endConnection);
        screen.show();
        button(screen, "playToolButton")->click();
        record(screen, 2);
        QVERIFY(screen.close());
        QCOMPARE(ended.size(), 1);
        QVERIFY(!recording(screen));
        QVERIFY(!screen.isVisible());
        QVERIFY(alive);
        QCOMPARE(screen.measureSeries->count(), 2);
    }

    // Nothing a recording does may move or resize a widget, the screen included.
    void recordingMovesNothing()
    {
        connectionScreen screen(0);
        screen.show();
        auto layout = [&] {
            QList<QRect> rects{ screen.geometry() };
            for (QWidget *w : screen.findChildren<QWidget *>())
                rects.append(w->geometry());
            return rects;
        };
        const QList<QRect> before = layout();
        QToolButton *play = button(screen, "playToolButton");

        play->click();
        record(screen, 25);
        feed(screen, overload);
        play->click();
        record(screen, 3);
        {
            ModalAnswer answer(QMessageBox::Ok);
            button(screen, "saveToolButton")->click();
            QVERIFY(answer.done());
        }
        button(screen, "cancelToolButton")->click();
        {
            ModalAnswer answer(QMessageBox::Ok);
            button(screen, "saveToolButton")->click();
            QVERIFY(answer.done());
        }
        play->click();
        QCoreApplication::processEvents();
        QCOMPARE(layout(), before);
        for (const char *name : { "cancelToolButton", "playToolButton", "saveToolButton" })
            QCOMPARE(button(screen, name)->iconSize(), QSize(51, 51));
    }

    // Random payloads through the whole live path while recording: never a crash, and what is
    // accepted is always a sane reading.
    void randomPayloads()
    {
        connectionScreen screen(0);
        QSignalSpy transformed(&screen, &connectionScreen::dataTransformed);
        button(screen, "playToolButton")->click();
        const QStringList units = { "mü ", "n ", "k ", "m ", "M ", "% ", "F ", "Ohm ", "°C ", "°F ",
            "H ", "A ", "V ", "Hz " };
        const QStringList settings = { "AC ", "DC ", "AUTO ", "USB ", "Diode ", "Sound ", "REL ",
            "Battery ", "APO ", "MIN ", "MAX ", "NCV " };
        const QByteArray hexDigits = "0123456789abcdef";
        QRandomGenerator random(20240305);
        int accepted = 0;
        for (int n = 0; n < 100000; ++n) {
            QByteArray payload(2 * random.bounded(41), '0');
            for (char &c : payload)
                c = random.bounded(40) ? hexDigits[random.bounded(16)] : char(random.bounded(256));
            bool valid = payload.size() >= 30;
            for (int i = 1; valid && i < 30; i += 2)
                valid = hexDigits.contains(payload[i]);

            feed(screen, payload);
            QCOMPARE(transformed.size(), accepted + valid);
            if (!valid)
                continue;
            ++accepted;
            const Reading &r = reading(screen);
            QVERIFY(r.value == Reading::unreadable || std::isfinite(r.value));
            QVERIFY2(madeOfWords(r.unit, units), qPrintable(r.unit));
            QVERIFY2(madeOfWords(r.settings, settings), qPrintable(r.settings));
        }
        QVERIFY(accepted > 10000);
        QCOMPARE(screen.measureSeries->count(), accepted);
        QCOMPARE(screen.unitList.size(), accepted);
        QVERIFY(live(screen)->count() <= 20);
    }
};

KALVION_TEST_MAIN(ConnectionScreenTest)
#include "tst_connectionscreen.moc"

#include "screens/deviceoverviewscreen.h"
#include "screens/measureoverview.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

// The device management screen and the measurement viewer on their own: their forms, texts and
// themes, the boxes they show over themselves, and what they signal.
class ManagementScreensTest : public QObject
{
    Q_OBJECT

private:

    // A screen as the main window opens it, with the measurements named.
    static std::unique_ptr<deviceOverviewScreen> overview(int language, bool dark,
                                                          const QStringList &names)
    {
        auto screen = std::make_unique<deviceOverviewScreen>(language);
        screen->setName("Werkbank");
        for (const QString &name : names)
            screen->setCurrentElement(name);
        screen->setDarkMode(dark);
        screen->isDarkMode = dark;
        screen->setModal(true);
        screen->show();
        return screen;
    }

    static QString page(bool dark)
    {
        return dark ? "background-color: #202020" : "background-color: white";
    }

    static QString button(bool dark)
    {
        return QString("background-color: #009DE2; color: white; border-width: 2px; "
                       "border-style: outset; border-radius: 10px; border-color: %1")
                .arg(dark ? "#202020" : "white");
    }

private slots:
    void overviewFormAndTexts_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("German") << 0
                                << QStringList{"Messgerät:", "Messungen", "Umbenennen", "Löschen",
                                               "Einsehen", "Umbenennen", "Löschen"};
        QTest::newRow("English") << 1
                                 << QStringList{"Measuring device", "Measurements", "Rename",
                                                "Delete", "Details", "Rename", "Delete"};
    }

    void overviewFormAndTexts()
    {
        QFETCH(int, language);
        QFETCH(QStringList, captions);
        deviceOverviewScreen screen(language);
        QCOMPARE(screen.objectName(), QString("deviceOverviewScreen"));
        QCOMPARE(screen.windowTitle(), QString("KalvionApp"));
        QCOMPARE(screen.minimumSize(), QSize(400, 550));
        QCOMPARE(screen.maximumSize(), QSize(400, 550));
        // The two labels are wider than first drawn, so that "Measuring device" and
        // "Measurements" are not clipped; the heading keeps its centre.
        const QList<std::tuple<const char *, QRect, int>> expected = {
            {"nameLabel", {30, 20, 171, 21}, 11},
            {"measureLabel", {130, 140, 141, 21}, 11},
            {"renameButton", {50, 70, 120, 35}, -1},
            {"deleteButton", {230, 70, 120, 35}, -1},
            {"openMeasureButton", {10, 490, 120, 35}, -1},
            {"measureRenameButton", {140, 490, 120, 35}, -1},
            {"deleteMeasureButton", {270, 490, 120, 35}, -1},
            {"nameForm", {209, 20, 161, 20}, 11},
            {"line", {50, 120, 301, 4}, -1},
            {"measureList", {49, 180, 301, 281}, 12},
        };
        for (int k = 0; k < expected.size(); ++k) {
            const auto &[name, rect, points] = expected[k];
            QWidget *widget = child<QWidget>(&screen, name);
            QCOMPARE(widget->geometry(), rect);
            if (points > 0)
                QCOMPARE(widget->font().pointSize(), points);
            if (k < captions.size()) {
                auto *label = qobject_cast<QLabel *>(widget);
                QCOMPARE(label ? label->text() : qobject_cast<QPushButton *>(widget)->text(),
                         captions[k]);
            }
        }
        QCOMPARE(child<QLabel>(&screen, "measureLabel")->alignment(), Qt::AlignCenter);
        QCOMPARE(child<QListWidget>(&screen, "measureList")->styleSheet(),
                 QString("border: none;"));
    }

    void overviewThemes_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    void overviewThemes()
    {
        QFETCH(bool, dark);
        auto screen = overview(0, dark, {"a", "b"});
        QCOMPARE(screen->styleSheet(), page(dark));
        for (const char *name : {"deleteButton", "deleteMeasureButton", "openMeasureButton",
                                 "renameButton", "measureRenameButton"})
            QCOMPARE(child<QPushButton>(screen.get(), name)->styleSheet(), button(dark));
        for (const char *name : {"measureLabel", "nameLabel", "nameForm"})
            QCOMPARE(child<QLabel>(screen.get(), name)->styleSheet(),
                     QString(dark ? "color: white" : "color: black"));
        QCOMPARE(child<QLabel>(screen.get(), "line")->styleSheet(),
                 QString(dark ? "background-color: white" : "background-color: black"));
        auto *list = child<QListWidget>(screen.get(), "measureList");
        for (int r = 0; r < list->count(); ++r) {
            QCOMPARE(list->item(r)->background().color(), QColor(dark ? "#555555" : "#EEEEEE"));
            QCOMPARE(list->item(r)->foreground().color(), QColor(dark ? Qt::white : Qt::black));
        }
        QCOMPARE(child<QLabel>(screen.get(), "nameForm")->text(), QString("Werkbank"));
    }

    void noSelectionWarnings_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("German, dark")
                << 0 << true
                << QStringList{"Keine Messreihe ausgewählt",
                               "Bitte wählen Sie erst eine Messreihe aus, die Sie löschen "
                               "möchten!",
                               "Bitte wählen Sie erst eine Messreihe aus, die Sie einsehen "
                               "möchten!",
                               "Bitte wählen Sie erst eine Messreihe aus, die Sie umbenennen "
                               "möchten!"};
        QTest::newRow("English, light")
                << 1 << false
                << QStringList{"No measurement selected",
                               "Please select a measurement which you want to delete!",
                               "Please select a measurement which you want to look into",
                               "Please select a measurement which you want to rename"};
    }

    // A meter without measurements: every measurement button warns and nothing is signalled.
    void noSelectionWarnings()
    {
        QFETCH(int, language);
        QFETCH(bool, dark);
        QFETCH(QStringList, texts);
        auto screen = overview(language, dark, {});
        QSignalSpy deleted(screen.get(), &deviceOverviewScreen::measureDeleted);
        QSignalSpy opened(screen.get(), &deviceOverviewScreen::openMeasures);
        QSignalSpy renamed(screen.get(), &deviceOverviewScreen::measureNameChanged);

        ModalAnswer answer({ModalAnswer::press(QMessageBox::Ok), ModalAnswer::dismiss(),
                            ModalAnswer::press(QMessageBox::Ok)});
        for (const char *name : {"deleteMeasureButton", "openMeasureButton", "measureRenameButton"})
            child<QPushButton>(screen.get(), name)->click();
        QVERIFY(answer.done());
        for (int k = 0; k < 3; ++k) {
            const ModalAnswer::Seen &box = answer.seen()[k];
            QCOMPARE(box.kind, QString("message"));
            QCOMPARE(box.icon, QMessageBox::Warning);
            QCOMPARE(box.title, texts[0]);
            QCOMPARE(box.text, texts[k + 1]);
            QCOMPARE(box.buttons, QMessageBox::Ok);
            QVERIFY(!box.parentVisible);
            QCOMPARE(box.parentStyleSheet, page(false));
        }
        QVERIFY(screen->isVisible());
        QCOMPARE(screen->styleSheet(), page(dark));
        QCOMPARE(deleted.count() + opened.count() + renamed.count(), 0);
    }

    void deleteAsksAndRemovesOnlyOnYes_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    void deleteAsksAndRemovesOnlyOnYes()
    {
        QFETCH(bool, dark);
        auto screen = overview(0, dark, {"einzige"});
        auto *list = child<QListWidget>(screen.get(), "measureList");
        list->setCurrentRow(0);
        QStringList listedAtSignal;
        connect(screen.get(), &deviceOverviewScreen::measureDeleted, this,
                [&] { listedAtSignal = entries(list); });
        QSignalSpy deleted(screen.get(), &deviceOverviewScreen::measureDeleted);

        ModalAnswer refused({ModalAnswer::press(QMessageBox::No),
                             ModalAnswer::press(QMessageBox::Cancel), ModalAnswer::dismiss()});
        for (int k = 0; k < 3; ++k)
            child<QPushButton>(screen.get(), "deleteMeasureButton")->click();
        QVERIFY(refused.done());
        QCOMPARE(deleted.count(), 0);
        QCOMPARE(entries(list), QStringList({"einzige"}));

        ModalAnswer yes(QMessageBox::Yes);
        child<QPushButton>(screen.get(), "deleteMeasureButton")->click();
        const ModalAnswer::Seen &box = yes.box();
        QCOMPARE(box.icon, QMessageBox::Question);
        QCOMPARE(box.title, QString("Kalvion"));
        QCOMPARE(box.text, QString("Wollen Sie die Messreihe wirklich löschen?\n"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
        // Dark: the screen steps aside and turns white; light: the box opens over it.
        QCOMPARE(box.parentVisible, !dark);
        QCOMPARE(box.parentStyleSheet, page(false));
        for (const ModalAnswer::Seen &seen : refused.seen())
            QCOMPARE(seen.parentVisible, !dark);

        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.first().first().toInt(), 0);
        QCOMPARE(listedAtSignal, QStringList({"einzige"}));
        QCOMPARE(list->count(), 0);
        QVERIFY(screen->isVisible());
        QCOMPARE(screen->styleSheet(), page(dark));
    }

    void deleteTakesTheSelectedRow()
    {
        auto screen = overview(1, false, {"a", "b", "c"});
        auto *list = child<QListWidget>(screen.get(), "measureList");
        list->setCurrentRow(1);
        QSignalSpy deleted(screen.get(), &deviceOverviewScreen::measureDeleted);
        ModalAnswer yes(QMessageBox::Yes);
        child<QPushButton>(screen.get(), "deleteMeasureButton")->click();
        QCOMPARE(yes.box().text, QString("Do you really want to delete the measurement?\n"));
        QCOMPARE(deleted.first().first().toInt(), 1);
        QCOMPARE(entries(list), QStringList({"a", "c"}));
    }

    void renameMeasure_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    void renameMeasure()
    {
        QFETCH(bool, dark);
        auto screen = overview(0, dark, {"erste", "zweite"});
        auto *list = child<QListWidget>(screen.get(), "measureList");
        list->setCurrentRow(1);
        QSignalSpy renamed(screen.get(), &deviceOverviewScreen::measureNameChanged);

        // Left empty or cancelled: nothing changes.
        ModalAnswer nothing({ModalAnswer::enter(""), ModalAnswer::dismiss()});
        child<QPushButton>(screen.get(), "measureRenameButton")->click();
        child<QPushButton>(screen.get(), "measureRenameButton")->click();
        QVERIFY(nothing.done());
        QCOMPARE(renamed.count(), 0);
        QCOMPARE(entries(list), QStringList({"erste", "zweite"}));

        // The pre-filled name, accepted as it is, is signalled as it is.
        ModalAnswer same(QMessageBox::Ok);
        child<QPushButton>(screen.get(), "measureRenameButton")->click();
        const ModalAnswer::Seen &input = same.box();
        QCOMPARE(input.kind, QString("input"));
        QCOMPARE(input.title, QString("Messung umbenennen"));
        QCOMPARE(input.text, QString("Neuer Name:"));
        QCOMPARE(input.value, QString("zweite"));
        QVERIFY(!input.parentVisible);
        QCOMPARE(input.parentStyleSheet, page(false));
        QCOMPARE(renamed.count(), 1);
        QCOMPARE(renamed.last(), QVariantList({1, QString("zweite")}));

        ModalAnswer typed({ModalAnswer::enter("  Akku leer ")});
        child<QPushButton>(screen.get(), "measureRenameButton")->click();
        QCOMPARE(renamed.last(), QVariantList({1, QString("  Akku leer ")}));
        QCOMPARE(entries(list), QStringList({"erste", "  Akku leer "}));
        QVERIFY(screen->isVisible());
        QCOMPARE(screen->styleSheet(), page(dark));
    }

    void openAndMeterButtonsOnlySignal()
    {
        auto screen = overview(0, false, {"a", "b"});
        auto *list = child<QListWidget>(screen.get(), "measureList");
        QSignalSpy opened(screen.get(), &deviceOverviewScreen::openMeasures);
        QSignalSpy deletePressed(screen.get(), &deviceOverviewScreen::deletePressed);
        QSignalSpy renamePressed(screen.get(), &deviceOverviewScreen::renamePressed);

        list->setCurrentRow(1);
        child<QPushButton>(screen.get(), "openMeasureButton")->click();
        // A double-click is a click and then the second press.
        list->setCurrentRow(0);
        const QPoint second = list->visualItemRect(list->item(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(opened.count(), 2);
        QCOMPARE(opened[0].first().toInt(), 1);
        QCOMPARE(opened[1].first().toInt(), 1);

        child<QPushButton>(screen.get(), "renameButton")->click();
        child<QPushButton>(screen.get(), "deleteButton")->click();
        QCOMPARE(renamePressed.count(), 1);
        QCOMPARE(deletePressed.count(), 1);
        QCOMPARE(child<QLabel>(screen.get(), "nameForm")->text(), QString("Werkbank"));
        QCOMPARE(entries(list), QStringList({"a", "b"}));
        QVERIFY(screen->isVisible());
    }

    void viewerFormAndTexts_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("German") << 0
                                << QStringList{"Adresse:", "Zeitpunkt:", "Einstellungen:",
                                               "Einheit:", "CSV-Datei erstellen", "Zurück"};
        QTest::newRow("English") << 1
                                 << QStringList{"Address:", "Timestamp:", "Settings:", "Unit:",
                                                "Create CSV file", "Back"};
    }

    void viewerFormAndTexts()
    {
        QFETCH(int, language);
        QFETCH(QStringList, texts);
        measureOverview viewer(language);
        QCOMPARE(viewer.objectName(), QString("measureOverview"));
        QCOMPARE(viewer.windowTitle(), QString("KalvionApp"));
        QCOMPARE(viewer.minimumSize(), QSize(400, 460));
        QCOMPARE(viewer.maximumSize(), QSize(400, 460));
        // Values start further left and the buttons are wider than first drawn, so that a
        // whole time stamp, "Einstellungen:" and "CSV-Datei erstellen" fit at 11 and 9 pt.
        const QList<std::pair<const char *, QRect>> expected = {
            {"addressLabel", {20, 10, 91, 21}},   {"timestampLabel", {20, 45, 91, 21}},
            {"settingsLabel", {20, 80, 121, 21}}, {"unitLabel", {20, 115, 91, 21}},
            {"csvButton", {30, 400, 140, 35}},    {"backButton", {230, 400, 140, 35}},
            {"addressForm", {150, 10, 240, 20}},  {"timeForm", {150, 45, 240, 20}},
            {"settingsForm", {150, 80, 240, 20}}, {"unitForm", {150, 115, 240, 20}},
            {"graph", {0, 160, 400, 221}},
        };
        for (int k = 0; k < expected.size(); ++k) {
            QWidget *widget = child<QWidget>(&viewer, expected[k].first);
            QCOMPARE(widget->geometry(), expected[k].second);
            if (auto *label = qobject_cast<QLabel *>(widget))
                QCOMPARE(label->font().pointSize(), 11);
            if (k < texts.size()) {
                auto *label = qobject_cast<QLabel *>(widget);
                QCOMPARE(label ? label->text() : qobject_cast<QPushButton *>(widget)->text(),
                         texts[k]);
            }
        }
        QCOMPARE(child<QWidget>(&viewer, "graph")->font().pointSize(), 12);
        QVERIFY(viewer.series);
        QCOMPARE(viewer.series->count(), 0);
    }

    void viewerThemesAndGraph_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    void viewerThemesAndGraph()
    {
        QFETCH(bool, dark);
        QLineSeries stored;
        stored.append({{1, 2.5}, {2, 3}, {3, -1}});
        auto viewer = std::make_unique<measureOverview>(0);
        viewer->series = &stored;
        viewer->setupGraph();
        viewer->setDarkMode(dark);
        viewer->show();

        QCOMPARE(viewer->styleSheet(), page(dark));
        QCOMPARE(child<QPushButton>(viewer.get(), "csvButton")->styleSheet(), button(dark));
        QCOMPARE(child<QPushButton>(viewer.get(), "backButton")->styleSheet(), button(dark));
        for (const char *name : {"addressLabel", "settingsLabel", "timestampLabel", "unitLabel",
                                 "addressForm", "unitForm", "settingsForm", "timeForm"})
            QCOMPARE(child<QLabel>(viewer.get(), name)->styleSheet(),
                     QString(dark ? "color: white" : "color: black"));
        QCOMPARE(child<QWidget>(viewer.get(), "graph")->styleSheet(),
                 QString(dark ? "background-color: white" : "background-color: black"));

        auto *view = child<QWidget>(viewer.get(), "graph")->findChild<QChartView *>();
        QVERIFY(view);
        QCOMPARE(view->parentWidget()->objectName(), QString("graph"));
        QCOMPARE(view->pos(), QPoint(0, 0));
        QCOMPARE(view->minimumSize(), QSize(400, 221));
        QVERIFY(view->renderHints().testFlag(QPainter::Antialiasing));
        QChart *chart = view->chart();
        QCOMPARE(chart->theme(), QChart::ChartThemeDark);
        QVERIFY(!chart->legend()->isVisible());
        QCOMPARE(chart->axes(Qt::Horizontal).size(), 1);
        QCOMPARE(chart->axes(Qt::Vertical).size(), 1);
        QCOMPARE(chart->series().size(), 1);
        const auto *drawn = static_cast<QLineSeries *>(chart->series().first());
        QCOMPARE(drawn->points(), stored.points());

        // The stored series belongs to its owner: the viewer's end leaves it whole.
        viewer.reset();
        QCOMPARE(stored.points(), QList<QPointF>({{1, 2.5}, {2, 3}, {3, -1}}));
        QVERIFY(stored.chart() == nullptr);
    }

    void exportIsConfirmedOnlyWhenWritten_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    void exportIsConfirmedOnlyWhenWritten()
    {
        QFETCH(bool, dark);
        measureOverview viewer(1);
        viewer.setupGraph();
        viewer.setDarkMode(dark);
        viewer.isDarkMode = dark;
        viewer.show();
        bool writes = false;
        connect(&viewer, &measureOverview::csvPressed, this,
                [&] { viewer.csvWritten = writes; });

        ModalAnswer answer({ModalAnswer::press(QMessageBox::Ok),
                            ModalAnswer::press(QMessageBox::Ok)});
        child<QPushButton>(&viewer, "csvButton")->click();
        QCOMPARE(answer.seen().size(), 0);

        writes = true;
        child<QPushButton>(&viewer, "csvButton")->click();
        QCOMPARE(answer.seen().size(), 1);
        const ModalAnswer::Seen &box = answer.box();
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.title, QString("CSV file created"));
        QCOMPARE(box.text, QString("CSV file was successfully created!"));
        QCOMPARE(box.buttons, QMessageBox::Ok);
        QVERIFY(!box.parentVisible);
        QCOMPARE(box.parentStyleSheet, page(false));
        QVERIFY(viewer.isVisible());
        QCOMPARE(viewer.styleSheet(), page(dark));

        // A second attempt that fails is not confirmed by the first one's success.
        writes = false;
        child<QPushButton>(&viewer, "csvButton")->click();
        QCOMPARE(answer.seen().size(), 1);

        child<QPushButton>(&viewer, "backButton")->click();
        QVERIFY(!viewer.isVisible());
    }
};

KALVION_TEST_MAIN(ManagementScreensTest)
#include "tst_managementscreens.moc"

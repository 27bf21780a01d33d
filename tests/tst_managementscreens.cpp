#include "screens/deviceoverviewscreen.h"
#include "screens/measureoverview.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QPushButton>
#include <QSignalSpy>

// The device management screen and the measurement viewer on their own: the boxes they show
// over themselves, and what they signal.
class ManagementScreensTest : public QObject
{
    Q_OBJECT

private:
    // A screen as the main window opens it, with these measurements and the second selected.
    static std::unique_ptr<deviceOverviewScreen> overview(
        int language, bool dark, const QStringList &names)
    {
        auto screen = std::make_unique<deviceOverviewScreen>(language);
        for (const QString &name : names)
            screen->setCurrentElement(name);
        screen->setDarkMode(dark);
        screen->isDarkMode = dark;
        screen->show();
        child<QListWidget>(screen.get(), "measureList")->setCurrentRow(1);
        return screen;
    }

    static void click(QWidget *screen, const char *button)
    {
        child<QPushButton>(screen, button)->click();
    }

private slots:
    void warningsWithoutSelection_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("German, dark")
            << 0 << true
            << QStringList{ "Keine Messreihe ausgewählt",
                   "Bitte wählen Sie erst eine Messreihe aus, die Sie löschen möchten!",
                   "Bitte wählen Sie erst eine Messreihe aus, die Sie einsehen möchten!",
                   "Bitte wählen Sie erst eine Messreihe aus, die Sie umbenennen möchten!" };
        QTest::newRow("English, light")
            << 1 << false
            << QStringList{ "No measurement selected",
                   "Please select a measurement which you want to delete!",
                   "Please select a measurement which you want to look into",
                   "Please select a measurement which you want to rename" };
    }

    // Over a dark screen the box sits on a white page, and the screen is dark again after it.
    void warningsWithoutSelection()
    {
        QFETCH(int, language);
        QFETCH(bool, dark);
        QFETCH(QStringList, texts);
        auto screen = overview(language, dark, {});
        QSignalSpy deleted(screen.get(), &deviceOverviewScreen::measureDeleted);
        QSignalSpy opened(screen.get(), &deviceOverviewScreen::openMeasures);
        QSignalSpy renamed(screen.get(), &deviceOverviewScreen::measureNameChanged);
        ModalAnswer answer({ ModalAnswer::press(QMessageBox::Ok), ModalAnswer::dismiss(),
            ModalAnswer::press(QMessageBox::Ok) });
        for (const char *name :
            { "deleteMeasureButton", "openMeasureButton", "measureRenameButton" })
            click(screen.get(), name);
        QVERIFY(answer.done());
        for (int k = 0; k < 3; ++k) {
            const ModalAnswer::Seen &box = answer.seen()[k];
            QCOMPARE(box.title, texts[0]);
            QCOMPARE(box.text, texts[k + 1]);
            QCOMPARE(box.icon, QMessageBox::Warning);
            QCOMPARE(box.parentStyleSheet, Theme::pageStyle(false));
            QVERIFY(!box.parentVisible);
        }
        QCOMPARE(screen->styleSheet(), Theme::pageStyle(dark));
        QVERIFY(screen->isVisible());
        QCOMPARE(deleted.count() + opened.count() + renamed.count(), 0);
    }

    void deleteAsksAndRemovesOnlyOnYes_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    // Dark: the screen steps aside for the question; light: the question opens over it.
    void deleteAsksAndRemovesOnlyOnYes()
    {
        QFETCH(bool, dark);
        auto screen = overview(0, dark, { "a", "b", "c" });
        QSignalSpy deleted(screen.get(), &deviceOverviewScreen::measureDeleted);
        ModalAnswer answer(
            { ModalAnswer::press(QMessageBox::No), ModalAnswer::press(QMessageBox::Cancel),
                ModalAnswer::dismiss(), ModalAnswer::press(QMessageBox::Yes) });
        for (int k = 0; k < 3; ++k)
            click(screen.get(), "deleteMeasureButton");
        QCOMPARE(deleted.count(), 0);
        click(screen.get(), "deleteMeasureButton");
        QVERIFY(answer.done());
        for (const ModalAnswer::Seen &box : answer.seen()) {
            QCOMPARE(box.title, "Kalvion");
            QCOMPARE(box.text, "Wollen Sie die Messreihe wirklich löschen?\n");
            QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            QCOMPARE(box.defaultButton, QMessageBox::Yes);
            QCOMPARE(box.parentVisible, !dark);
        }
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.first().first().toInt(), 1);
        QCOMPARE(
            entries(child<QListWidget>(screen.get(), "measureList")), QStringList({ "a", "c" }));
        QCOMPARE(screen->styleSheet(), Theme::pageStyle(dark));
    }

    // Left empty or cancelled, nothing changes; the name offered is the current one.
    void renameMeasure()
    {
        auto screen = overview(1, false, { "a", "b" });
        QSignalSpy renamed(screen.get(), &deviceOverviewScreen::measureNameChanged);
        ModalAnswer answer({ ModalAnswer::enter(""), ModalAnswer::dismiss(),
            ModalAnswer::press(QMessageBox::Ok), ModalAnswer::enter(" Akku ") });
        for (int k = 0; k < 2; ++k)
            click(screen.get(), "measureRenameButton");
        QCOMPARE(renamed.count(), 0);
        for (int k = 0; k < 2; ++k)
            click(screen.get(), "measureRenameButton");
        QVERIFY(answer.done());
        QCOMPARE(answer.box().title, "Rename measurement");
        QCOMPARE(answer.box().text, "New name:");
        QCOMPARE(answer.box().value, "b");
        QCOMPARE(renamed[0], QVariantList({ 1, "b" }));
        QCOMPARE(renamed[1], QVariantList({ 1, " Akku " }));
        QCOMPARE(entries(child<QListWidget>(screen.get(), "measureList")),
            QStringList({ "a", " Akku " }));
    }

    // Confirmed only when whoever handles the export says the file was written.
    void exportIsConfirmedOnlyWhenWritten()
    {
        measureOverview viewer(1);
        viewer.setupGraph();
        viewer.setDarkMode(true);
        viewer.isDarkMode = true;
        viewer.show();
        bool writes = false;
        connect(&viewer, &measureOverview::csvPressed, this, [&] { viewer.csvWritten = writes; });
        ModalAnswer answer(QMessageBox::Ok);
        click(&viewer, "csvButton");
        writes = true;
        click(&viewer, "csvButton");
        writes = false;
        click(&viewer, "csvButton");
        QCOMPARE(answer.seen().size(), 1);
        QCOMPARE(answer.box().title, "CSV file created");
        QCOMPARE(answer.box().text, "CSV file was successfully created!");
        QCOMPARE(viewer.styleSheet(), Theme::pageStyle(true));
        click(&viewer, "backButton");
        QVERIFY(!viewer.isVisible());
    }
};

KALVION_TEST_MAIN(ManagementScreensTest)
#include "tst_managementscreens.moc"

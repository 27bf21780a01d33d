#include "screens/deviceoverviewscreen.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QPushButton>
#include <QSignalSpy>

// The device management screen on its own: the boxes it shows over itself, and what it signals.
class ManagementScreensTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<deviceOverviewScreen> screen;
    QListWidget *list = nullptr;

    // The screen as the main window opens it, with these measurements and the second selected.
    void open(bool dark, const QStringList &names)
    {
        screen = std::make_unique<deviceOverviewScreen>(0);
        for (const QString &name : names)
            screen->setCurrentElement(name);
        screen->setDarkMode(dark);
        screen->isDarkMode = dark;
        screen->show();
        list = child<QListWidget>(screen.get(), "measureList");
        list->setCurrentRow(1);
    }
    void click(const char *button) { child<QPushButton>(screen.get(), button)->click(); }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    // Without a measurement every measurement button warns, and nothing is signalled. Over a
    // dark screen the box sits on a white page, and the screen is dark again after it.
    void warningsWithoutSelection()
    {
        QFETCH_GLOBAL(bool, dark);
        open(dark, {});
        QSignalSpy deleted(screen.get(), &deviceOverviewScreen::measureDeleted);
        QSignalSpy opened(screen.get(), &deviceOverviewScreen::openMeasures);
        QSignalSpy renamed(screen.get(), &deviceOverviewScreen::measureNameChanged);
        ModalAnswer answer({ ModalAnswer::press(QMessageBox::Ok), ModalAnswer::dismiss(),
            ModalAnswer::press(QMessageBox::Ok) });
        for (const char *name :
            { "deleteMeasureButton", "openMeasureButton", "measureRenameButton" })
            click(name);
        QVERIFY(answer.done());
        for (const ModalAnswer::Seen &box : answer.seen()) {
            QCOMPARE(box.title, "Keine Messreihe ausgewählt");
            QCOMPARE(box.parentStyleSheet, Theme::pageStyle(false));
            QVERIFY(!box.parentVisible);
        }
        QCOMPARE(screen->styleSheet(), Theme::pageStyle(dark));
        QCOMPARE(deleted.count() + opened.count() + renamed.count(), 0);
    }

    // Only Yes deletes, the selected row. Dark: the screen steps aside for the question; light:
    // the question opens over it.
    void deleteAsksFirst()
    {
        QFETCH_GLOBAL(bool, dark);
        open(dark, { "a", "b", "c" });
        QSignalSpy deleted(screen.get(), &deviceOverviewScreen::measureDeleted);
        ModalAnswer answer(
            { ModalAnswer::press(QMessageBox::No), ModalAnswer::press(QMessageBox::Cancel),
                ModalAnswer::dismiss(), ModalAnswer::press(QMessageBox::Yes) });
        for (int k = 0; k < 3; ++k)
            click("deleteMeasureButton");
        QCOMPARE(deleted.count(), 0);
        click("deleteMeasureButton");
        QVERIFY(answer.done());
        for (const ModalAnswer::Seen &box : answer.seen()) {
            QCOMPARE(box.title + box.text, "KalvionWollen Sie die Messreihe wirklich löschen?\n");
            QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            QCOMPARE(box.defaultButton, QMessageBox::Yes);
            QCOMPARE(box.parentVisible, !dark);
        }
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted[0], QVariantList{ 1 });
        QCOMPARE(entries(list), QStringList({ "a", "c" }));
        QCOMPARE(screen->styleSheet(), Theme::pageStyle(dark));
    }

    // Left empty or cancelled, nothing changes; the name offered is the current one.
    void renameMeasure()
    {
        QFETCH_GLOBAL(bool, dark);
        open(dark, { "a", "b" });
        QSignalSpy renamed(screen.get(), &deviceOverviewScreen::measureNameChanged);
        ModalAnswer answer({ ModalAnswer::enter(""), ModalAnswer::dismiss(),
            ModalAnswer::press(QMessageBox::Ok), ModalAnswer::enter(" Akku ") });
        for (int k = 0; k < 4; ++k)
            click("measureRenameButton");
        QVERIFY(answer.done());
        QCOMPARE(answer.box().title + answer.box().text, "Messung umbenennenNeuer Name:");
        QCOMPARE(answer.box().value, "b");
        QCOMPARE(renamed.count(), 2);
        QCOMPARE(renamed[0], QVariantList({ 1, "b" }));
        QCOMPARE(renamed[1], QVariantList({ 1, " Akku " }));
        QCOMPARE(entries(list), QStringList({ "a", " Akku " }));
        QCOMPARE(screen->styleSheet(), Theme::pageStyle(dark));
    }
};

KALVION_TEST_MAIN(ManagementScreensTest)
#include "tst_managementscreens.moc"

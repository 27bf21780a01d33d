#include "app/mainwindow.h"
#include "app/startup.h"
#include "store/store.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/settingsscreen.h"
#include "support/files.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

// The close of the main window, which quits only when confirmed and when the store really
// reached the disk, and the writes of every change meanwhile, in the background.
class MainWindowTest : public QObject
{
    Q_OBJECT

    // CI runs as root, which writes into read-only folders, so a plain file stands where the
    // store's folder should be.
    static void blockStoreFolder(bool blocked)
    {
        const QString folder = QFileInfo(UserStore().fileName()).absolutePath();
        if (blocked) {
            QDir().rename(folder, folder + ".aside");
            QFile(folder).open(QIODevice::WriteOnly);
        } else {
            QFile::remove(folder);
            QDir().rename(folder + ".aside", folder);
        }
    }

    static void toggleTheme(QWidget &window, int times = 1)
    {
        for (int i = 0; i < times; ++i) {
            child<QPushButton>(&window, "settingsButton")->click();
            child<QPushButton>(shown<settingsScreen>(), "darkModeButton")->click();
        }
    }

private slots:
    void closesOnlyWhenConfirmedAndSaved()
    {
        const QList<StoredMeter> meters = { StoredMeter{ "Werkbank", "C8:27:53:0C:00:01", "M27K53C",
            { storedSeries(3, 0.5, "m V "), storedSeries(2, -7.25, "k Ω ", "REL ") } } };
        writeStore(meters, StoredOptions{ false, true, 0 });
        MainWindow window;
        window.show();
        ModalAnswer notYes({ ModalAnswer::press(QMessageBox::No),
            ModalAnswer::press(QMessageBox::Cancel), ModalAnswer::dismiss() });
        for (int i = 0; i < 3; ++i)
            QVERIFY(!window.close());
        const ModalAnswer::Seen &question = notYes.box();
        QCOMPARE(question.title, QString("Kalvion"));
        QCOMPARE(question.text, QString("Wollen Sie die Anwendung wirklich schließen?\n"));
        QCOMPARE(question.icon, QMessageBox::Question);
        QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(question.defaultButton, QMessageBox::Yes);

        // A change that cannot be written is said once, over the screen it was made on, which
        // stays open: the box must not wait behind it.
        blockStoreFolder(true);
        child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
        child<QPushButton>(&window, "editButton")->click();
        deviceOverviewScreen *overview = shown<deviceOverviewScreen>();
        child<QListWidget>(overview, "measureList")->setCurrentRow(0);
        for (const QString name : { "Erste", "Zweite" }) {
            ModalAnswer said(name == "Erste"
                    ? QList<ModalAnswer::Reply>{ ModalAnswer::enter(name),
                          ModalAnswer::press(QMessageBox::Ok) }
                    : QList<ModalAnswer::Reply>{ ModalAnswer::enter(name) });
            child<QPushButton>(overview, "measureRenameButton")->click();
            QTRY_VERIFY(said.done());
            if (name == "Erste") {
                QCOMPARE(said.seen()[1].title, QString("Speichern fehlgeschlagen"));
                QVERIFY(said.seen()[1].text.startsWith("Ihre letzten Änderungen konnten nicht "
                                                       "gespeichert werden:\n"
                    + UserStore().fileName() + "\n"));
            }
        }
        QVERIFY(overview->isVisible());
        overview->close();

        // The confirmed close tries again, says that it failed and keeps the window.
        ModalAnswer failed(
            { ModalAnswer::press(QMessageBox::Yes), ModalAnswer::press(QMessageBox::Ok) });
        QVERIFY(!window.close());
        QCOMPARE(failed.seen().value(1).title, QString("Speichern fehlgeschlagen"));

        // With room again, the newest state reaches the store, and the next failure is said
        // again.
        blockStoreFolder(false);
        toggleTheme(window, 3);
        QTRY_COMPARE_WITH_TIMEOUT(UserStore().value("darkMode").toBool(), window.darkMode, 10000);
        blockStoreFolder(true);
        ModalAnswer again(QMessageBox::Ok);
        toggleTheme(window);
        QTRY_VERIFY(again.done());

        // The close writes what the window holds, in the layout earlier runs wrote, to the
        // byte.
        blockStoreFolder(false);
        toggleTheme(window, 2);
        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        const QByteArray closed = fileBytes(UserStore().fileName());
        QList<StoredMeter> renamed = meters;
        renamed[0].measurements[0].name = "Zweite";
        writeStore(renamed, StoredOptions{ window.darkMode, true, 0 });
        QCOMPARE(closed, fileBytes(UserStore().fileName()));
    }

    // Only a live copy's lock refuses the start (a box would fail here), not one that cannot
    // be created, nor one that names no owner for longer than a copy takes to write its name.
    void startsUnlessAnotherCopyHoldsTheLock_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<bool>("starts");
        QTest::newRow("cannot be created") << "folder" << true;
        QTest::newRow("names nobody, just made by a copy starting") << "empty" << false;
        QTest::newRow("names nobody, a minute old") << "old" << true;
    }

    void startsUnlessAnotherCopyHoldsTheLock()
    {
        QFETCH(QString, lock);
        QFETCH(bool, starts);
        writeStore({ StoredMeter() });
        const QString path = Startup::InstanceLock().fileName();
        if (lock == "folder") {
            QVERIFY(QDir().mkpath(path + "/inside"));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (lock == "old")
                file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                    QFileDevice::FileModificationTime);
        }
        QStringList meters;
        if (starts) {
            QTimer::singleShot(0, [&meters] {
                QTRY_VERIFY(shown<MainWindow>());
                meters = entries(child<QListWidget>(shown<MainWindow>(), "deviceList"));
                ModalAnswer yes(QMessageBox::Yes);
                shown<MainWindow>()->close();
            });
        }
        ModalAnswer refused(
            QList<ModalAnswer::Reply>(starts ? 0 : 1, ModalAnswer::press(QMessageBox::Ok)));
        QCOMPARE(Startup::run(*qApp), starts ? 0 : 1);
        qApp->setStyleSheet(QString());
        QDir(path).removeRecursively();
        QFile::remove(path);
        QCOMPARE(meters, starts ? QStringList{ "Werkbank" } : QStringList());
        QCOMPARE(refused.box().title, starts ? QString() : QString("Kalvion läuft bereits"));
    }
};

KALVION_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

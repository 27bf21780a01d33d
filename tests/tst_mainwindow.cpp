#include "app/mainwindow.h"
#include "app/startup.h"
#include "store/store.h"
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

        // A failed write is said once, and not modally (a modal box fails at once here), so
        // that a recording goes on meanwhile.
        QSignalSpy written(&window.writer, &StoreWriter::written);
        blockStoreFolder(true);
        for (int i = 0; i < 2; ++i) {
            toggleTheme(window);
            QVERIFY(written.wait());
        }
        const QList<QMessageBox *> said = window.findChildren<QMessageBox *>();
        QCOMPARE(said.size(), 1);
        QCOMPARE(said[0]->windowTitle(), QString("Speichern fehlgeschlagen"));
        QVERIFY(said[0]->text().startsWith("Ihre Geräte und Messungen konnten nicht gespeichert "
                                           "werden:\n"
            + UserStore().fileName() + "\n"));
        said[0]->button(QMessageBox::Ok)->click();

        // The confirmed close tries again, says that it failed and keeps the window.
        ModalAnswer failed(
            { ModalAnswer::press(QMessageBox::Yes), ModalAnswer::press(QMessageBox::Ok) });
        QVERIFY(!window.close());
        QCOMPARE(failed.seen().value(1).title, QString("Speichern fehlgeschlagen"));

        // With room again, of the changes made while a write runs the newest reaches the disk,
        // and the next failure is said again.
        blockStoreFolder(false);
        toggleTheme(window, 3);
        QTRY_COMPARE(written.count(), 4);
        QCOMPARE(UserStore().value("darkMode").toBool(), window.darkMode);
        blockStoreFolder(true);
        toggleTheme(window);
        QVERIFY(written.wait());
        QCOMPARE(window.findChildren<QMessageBox *>().size(), 1);

        // The close writes what the window holds after the write in flight, in the layout
        // earlier runs wrote, to the byte.
        blockStoreFolder(false);
        toggleTheme(window, 2);
        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        const QByteArray closed = fileBytes(UserStore().fileName());
        writeStore(meters, StoredOptions{ window.darkMode, true, 0 });
        QCOMPARE(closed, fileBytes(UserStore().fileName()));
    }

    // Only a live copy's lock refuses the start (a box would fail here), not one that cannot
    // be created.
    void startsWhenTheLockCannotBeCreated()
    {
        writeStore({ StoredMeter() });
        const QString lock = Startup::InstanceLock().fileName();
        QVERIFY(QDir().mkpath(lock + "/inside"));
        QStringList meters;
        QTimer::singleShot(0, [&meters] {
            QTRY_VERIFY(shown<MainWindow>());
            meters = entries(child<QListWidget>(shown<MainWindow>(), "deviceList"));
            ModalAnswer yes(QMessageBox::Yes);
            shown<MainWindow>()->close();
        });
        QCOMPARE(Startup::run(*qApp), 0);
        qApp->setStyleSheet(QString());
        QDir(lock).removeRecursively();
        QCOMPARE(meters, QStringList{ "Werkbank" });
    }
};

KALVION_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

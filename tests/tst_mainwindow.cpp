#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/store.h"
#include "screens/settingsscreen.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

// The main window as the user meets it: start-up beside another copy, the close that writes
// the store only when confirmed and only when it really reached the disk, and the saving of
// every change meanwhile. (A lock left by a dead copy is met in tst_sessionend.)
class MainWindowTest : public QObject
{
    Q_OBJECT

    static QString storePath() { return UserStore().fileName(); }

    // CI runs as root, which writes into read-only folders, so a plain file stands where the
    // store's folder should be.
    static void blockStoreFolder(bool blocked)
    {
        const QString folder = QFileInfo(storePath()).absolutePath();
        if (blocked) {
            QDir().rename(folder, folder + ".aside");
            QFile(folder).open(QIODevice::WriteOnly);
        } else {
            QFile::remove(folder);
            QDir().rename(folder + ".aside", folder);
        }
    }

    static void toggleTheme(QWidget &window)
    {
        child<QPushButton>(&window, "settingsButton")->click();
        child<QPushButton>(shown<settingsScreen>(), "darkModeButton")->click();
    }

    static int visibleBoxes(QWidget &window)
    {
        const QList<QMessageBox *> boxes = window.findChildren<QMessageBox *>();
        return int(
            std::count_if(boxes.begin(), boxes.end(), [](auto *b) { return b->isVisible(); }));
    }

private slots:
    void init() { writeStore({ StoredMeter() }); }

    void closeWithoutYesKeepsTheWindow_data()
    {
        QTest::addColumn<ModalAnswer::Reply>("reply");
        QTest::newRow("No") << ModalAnswer::press(QMessageBox::No);
        QTest::newRow("Cancel") << ModalAnswer::press(QMessageBox::Cancel);
        QTest::newRow("dismissed") << ModalAnswer::dismiss();
    }

    void closeWithoutYesKeepsTheWindow()
    {
        QFETCH(ModalAnswer::Reply, reply);
        MainWindow window;
        window.show();
        ModalAnswer answer({ reply });
        QVERIFY(!window.close());
        const ModalAnswer::Seen &box = answer.box();
        QCOMPARE(box.title, QString("Kalvion"));
        QCOMPARE(box.text, QString("Wollen Sie die Anwendung wirklich schließen?\n"));
        QCOMPARE(box.icon, QMessageBox::Question);
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
        QVERIFY(window.isVisible());
    }

    void failedWritesAreSaidAndNothingIsLost()
    {
        MainWindow window;
        window.show();
        QSignalSpy written(&window.writer, &StoreWriter::written);
        blockStoreFolder(true);
        for (int i = 0; i < 2; ++i) {
            toggleTheme(window);
            QVERIFY(written.wait());
            QCOMPARE(written.last().value(0).toBool(), false);
        }
        // Said once, and not modally, so that a recording goes on meanwhile.
        QCOMPARE(visibleBoxes(window), 1);
        QMessageBox *box = shown<QMessageBox>();
        QCOMPARE(box->windowModality(), Qt::NonModal);
        QCOMPARE(box->windowTitle(), QString("Speichern fehlgeschlagen"));
        QVERIFY(box->text().startsWith("Ihre Geräte und Messungen konnten nicht gespeichert "
                                       "werden:\n"
            + storePath() + "\n"));
        box->button(QMessageBox::Ok)->click();

        // The confirmed close tries again, says that it failed and keeps the window.
        ModalAnswer answer(
            { ModalAnswer::press(QMessageBox::Yes), ModalAnswer::press(QMessageBox::Ok) });
        QVERIFY(!window.close());
        QVERIFY(answer.done());
        QCOMPARE(answer.seen()[1].title, QString("Speichern fehlgeschlagen"));
        QCOMPARE(answer.seen()[1].icon, QMessageBox::Warning);
        QVERIFY(window.isVisible());

        // Once there is room again, saving works, and the next failure is said again.
        blockStoreFolder(false);
        toggleTheme(window);
        QVERIFY(written.wait());
        QCOMPARE(UserStore().value("darkMode").toString(), QString("true"));
        blockStoreFolder(true);
        toggleTheme(window);
        QVERIFY(written.wait());
        QCOMPARE(visibleBoxes(window), 1);
        shown<QMessageBox>()->close();

        // The next close saves what the window holds.
        blockStoreFolder(false);
        child<QListWidget>(&window, "deviceList")->item(0)->setText("Umbenannt");
        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(UserStore().value("deviceList/1/buttonName").toString(), QString("Umbenannt"));
    }

    void startsUnlessAnotherCopyRuns_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<QString>("refusal"); // the warning's title, if the program refuses
        QTest::newRow("held by a live copy") << "live"
                                             << "Kalvion läuft bereits";
        QTest::newRow("naming no owner") << "empty"
                                         << "";
        QTest::newRow("cannot be created") << "folder"
                                           << "";
    }

    void startsUnlessAnotherCopyRuns()
    {
        QFETCH(QString, lock);
        QFETCH(QString, refusal);
        Startup::InstanceLock other;
        const QString path = other.fileName();
        if (lock == "live")
            QVERIFY(other.take());
        else if (lock == "empty")
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        else
            QVERIFY(QDir().mkpath(path + "/inside"));

        ModalAnswer answer(refusal.isEmpty() ? QMessageBox::Yes : QMessageBox::Ok);
        QStringList meters;
        if (refusal.isEmpty()) {
            QTimer::singleShot(0, [&meters] {
                QTRY_VERIFY(shown<MainWindow>());
                meters = entries(child<QListWidget>(shown<MainWindow>(), "deviceList"));
                shown<MainWindow>()->close();
            });
        }
        const int status = Startup::run(*qApp);
        qApp->setStyleSheet(QString());
        QDir(path).removeRecursively();
        QCOMPARE(status, refusal.isEmpty() ? 0 : 1);
        QCOMPARE(answer.box().title, refusal.isEmpty() ? QString("Kalvion") : refusal);
        QCOMPARE(meters, refusal.isEmpty() ? QStringList{ "Werkbank" } : QStringList());
    }
};

KALVION_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

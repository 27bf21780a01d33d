#include "app/mainwindow.h"
#include "app/meterrecords.h"
#include "app/startup.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

// The main window as the user meets it: start-up from the store, captions, theme, and the
// close that writes the store only when confirmed and only when it really reached the disk.
class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    static QString storePath() { return QSettings("Orvu", "Kalvion").fileName(); }

    static QString lockPath()
    {
        return QFileInfo(storePath()).absolutePath() + "/Kalvion.instance.lock";
    }

    static QByteArray storeBytes()
    {
        QFile file(storePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void clearStore()
    {
        QSettings settings("Orvu", "Kalvion");
        settings.clear();
        settings.sync();
    }

    // A store as an earlier run wrote it: two meters, the second with one measurement.
    static void seedStore(bool dark, int language)
    {
        clearStore();
        QSettings s("Orvu", "Kalvion");
        s.setValue("darkMode", dark);
        s.setValue("tovik", false);
        s.setValue("language", language);
        s.beginWriteArray("deviceList");
        for (int i = 0; i < 2; ++i) {
            s.setArrayIndex(i);
            s.setValue("deviceName", "M27K53C");
            s.setValue("deviceAdress", QString("AA:BB:CC:DD:EE:0%1").arg(i));
            s.setValue("buttonName", QString("Meter %1").arg(i));
            s.beginWriteArray("points");
            for (int j = 0; j < i * 2; ++j) {
                s.setArrayIndex(j);
                s.setValue("point", QPointF(j + 1, 1.5 * j));
                s.setValue("timestamp", "2026-12-06 10:00:00.001001");
                s.setValue("unit", "V ");
                s.setValue("settings", "DC AUTO ");
            }
            s.endArray();
            s.beginWriteArray("pointsNumber");
            if (i == 1) {
                s.setArrayIndex(0);
                s.setValue("measureNames", "2026-12-06 10:00:00.001001");
                s.setValue("pointNumber", 2);
            }
            s.endArray();
        }
        s.endArray();
        s.sync();
    }

    static QStringList captions(QWidget &window)
    {
        QStringList result;
        for (const char *name : {"settingsButton", "newDeviceButton", "connectButton", "editButton"})
            result.append(child<QPushButton>(&window, name)->text());
        return result;
    }

    static void verifyItemColours(QListWidget *list, bool dark)
    {
        for (int r = 0; r < list->count(); ++r) {
            QCOMPARE(list->item(r)->background().color(), QColor(dark ? "#555555" : "#EEEEEE"));
            QCOMPARE(list->item(r)->foreground().color(),
                     dark ? QColor(Qt::white) : QColor(Qt::black));
        }
    }

    // Blocks the store's folder. CI runs as root, which writes into read-only folders, so a
    // plain file stands where the folder should be.
    static QString blockStoreFolder()
    {
        const QString folder = QFileInfo(storePath()).absolutePath();
        const QString aside = folder + ".aside";
        QDir().rename(folder, aside);
        QFile blocker(folder);
        blocker.open(QIODevice::WriteOnly);
        return aside;
    }

    static void unblockStoreFolder(const QString &aside)
    {
        const QString folder = QFileInfo(storePath()).absolutePath();
        QFile::remove(folder);
        QDir().rename(aside, folder);
    }

private slots:
    void init() { clearStore(); }

    void emptyStoreOpensLightGermanAndEmpty()
    {
        MainWindow window;
        QCOMPARE(window.objectName(), QString("MainWindow"));
        QCOMPARE(window.windowTitle(), QString("KalvionApp"));
        QCOMPARE(window.minimumSize(), QSize(498, 800));
        QCOMPARE(window.maximumSize(), QSize(498, 800));
        QCOMPARE(captions(window),
                 QStringList({"Menü", "Neues Gerät hinzufügen", "Verbinden", "Verwalten"}));
        QCOMPARE(window.tovik, false);
        QVERIFY(child<QListWidget>(&window, "deviceList")->count() == 0);
        QCOMPARE(child<QWidget>(&window, "centralwidget")->styleSheet(),
                 QString("background-color: white"));
        QCOMPARE(child<QPushButton>(&window, "connectButton")->styleSheet(),
                 QString("background-color: #009DE2; color: white; border-width: 2px; "
                         "border-style: outset; border-radius: 10px; border-color: white"));
        QCOMPARE(child<QPushButton>(&window, "settingsButton")->styleSheet(),
                 QString("background-color: #009DE2; color: white; border-width: 3px; "
                         "border-style: outset; border-radius: 10px; border-color: white"));
        QCOMPARE(window.styleSheet(), QString());
    }

    void layoutMatchesTheDesign()
    {
        MainWindow window;
        const QList<std::pair<const char *, QRect>> expected = {
            {"kalvionBanner", QRect(0, 0, 498, 290)},
            {"settingsButton", QRect(160, 300, 163, 40)},
            {"newDeviceButton", QRect(160, 360, 163, 40)},
            {"deviceList", QRect(60, 440, 381, 275)},
            {"connectButton", QRect(60, 740, 120, 35)},
            {"editButton", QRect(320, 740, 120, 35)},
        };
        for (const auto &[name, rect] : expected)
            QCOMPARE(child<QWidget>(&window, name)->geometry(), rect);
        auto *list = child<QListWidget>(&window, "deviceList");
        QCOMPARE(list->font().pointSize(), 12);
        QCOMPARE(list->styleSheet(), QString("border: none;"));
        auto *banner = child<QLabel>(&window, "kalvionBanner");
        QVERIFY(banner->hasScaledContents());
        QVERIFY(!banner->pixmap().isNull());
    }

    void storedOptionsAndMetersAreShown()
    {
        seedStore(true, 1);
        MainWindow window;
        QCOMPARE(captions(window), QStringList({"Menu", "Add new device", "Connect", "Edit"}));
        auto *list = child<QListWidget>(&window, "deviceList");
        QCOMPARE(entries(list), QStringList({"Meter 0", "Meter 1"}));
        verifyItemColours(list, true);
        QCOMPARE(child<QWidget>(&window, "centralwidget")->styleSheet(),
                 QString("background-color: #202020"));
        QCOMPARE(child<QPushButton>(&window, "editButton")->styleSheet(),
                 QString("background-color: #009DE2; color: white; border-width: 2px; "
                         "border-style: outset; border-radius: 10px; border-color: #202020"));
        QCOMPARE(child<QPushButton>(&window, "newDeviceButton")->styleSheet(),
                 QString("background-color: #009DE2; color: white; border-width: 3px; "
                         "border-style: outset; border-radius: 10px; border-color: #202020"));
    }

    void themeToggleRecoloursEveryItem()
    {
        seedStore(false, 0);
        MainWindow window;
        auto *list = child<QListWidget>(&window, "deviceList");
        verifyItemColours(list, false);
        window.reverseDarkMode(true);
        verifyItemColours(list, true);
        QCOMPARE(child<QWidget>(&window, "centralwidget")->styleSheet(),
                 QString("background-color: #202020"));
        window.reverseDarkMode(false);
        verifyItemColours(list, false);
        QCOMPARE(child<QWidget>(&window, "centralwidget")->styleSheet(),
                 QString("background-color: white"));
    }

    void unknownLanguageReadsAsGerman()
    {
        seedStore(false, 5);
        MainWindow window;
        QCOMPARE(captions(window).first(), QString("Menü"));
        window.translateText(1);
        QCOMPARE(captions(window),
                 QStringList({"Menu", "Add new device", "Connect", "Edit"}));
    }

    void closeAsksAndOnlyYesWrites_data()
    {
        QTest::addColumn<ModalAnswer::Reply>("reply");
        QTest::newRow("No") << ModalAnswer::press(QMessageBox::No);
        QTest::newRow("Cancel") << ModalAnswer::press(QMessageBox::Cancel);
        QTest::newRow("dismissed") << ModalAnswer::dismiss();
    }

    void closeAsksAndOnlyYesWrites()
    {
        QFETCH(ModalAnswer::Reply, reply);
        seedStore(false, 0);
        MainWindow window;
        window.reverseDarkMode(true); // a change that only a confirmed close may store
        window.show();
        const QByteArray before = storeBytes();

        ModalAnswer answer({reply});
        QVERIFY(!window.close());
        QVERIFY(answer.done());
        const ModalAnswer::Seen &box = answer.box();
        QCOMPARE(box.title, QString("Kalvion"));
        QCOMPARE(box.text, QString("Wollen Sie die Anwendung wirklich schließen?\n"));
        QCOMPARE(box.icon, QMessageBox::Question);
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
        QVERIFY(window.isVisible());
        QCOMPARE(storeBytes(), before);
    }

    void closeWithYesWritesAndEnds()
    {
        seedStore(false, 1);
        MainWindow window;
        window.reverseDarkMode(true);
        window.show();

        // The event loop returns only because closing the window ended the program.
        ModalAnswer answer(QMessageBox::Yes);
        QTimer::singleShot(0, &window, &QWidget::close);
        QTimer::singleShot(10000, qApp, [] { qApp->exit(1); });
        QCOMPARE(qApp->exec(), 0);
        QCOMPARE(answer.box().text, QString("Do you really want to close the application?\n"));
        QVERIFY(!window.isVisible());

        QSettings s("Orvu", "Kalvion");
        QCOMPARE(s.value("darkMode").toString(), QString("true"));
        QCOMPARE(s.value("language").toInt(), 1);
        QCOMPARE(s.value("deviceList/size").toInt(), 2);
        QCOMPARE(s.value("deviceList/2/points/size").toInt(), 2);
        QCOMPARE(s.value("deviceList/2/buttonName").toString(), QString("Meter 1"));

        MainWindow again;
        QCOMPARE(entries(child<QListWidget>(&again, "deviceList")),
                 QStringList({"Meter 0", "Meter 1"}));
    }

    void failedWriteWarnsAndKeepsEverything()
    {
        seedStore(false, 0);
        MainWindow window;
        window.show();
        const QString aside = blockStoreFolder();

        ModalAnswer answer({ModalAnswer::press(QMessageBox::Yes),
                            ModalAnswer::press(QMessageBox::Ok)});
        QVERIFY(!window.close());
        QVERIFY(answer.done());
        const ModalAnswer::Seen &warning = answer.seen()[1];
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QCOMPARE(warning.title, QString("Speichern fehlgeschlagen"));
        QVERIFY(warning.text.startsWith("Ihre Geräte und Messungen konnten nicht gespeichert "
                                        "werden:\n" + storePath() + "\n"));
        QCOMPARE(warning.buttons, QMessageBox::Ok);
        QVERIFY(window.isVisible());

        // Once there is room again, the next close saves what the window still holds.
        unblockStoreFolder(aside);
        child<QListWidget>(&window, "deviceList")->item(0)->setText("Renamed meanwhile");
        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        MainWindow again;
        QCOMPARE(entries(child<QListWidget>(&again, "deviceList")),
                 QStringList({"Renamed meanwhile", "Meter 1"}));
    }

    void secondCopyIsRefused()
    {
        Startup::InstanceLock first;
        QVERIFY(first.tryLock());
        Startup::InstanceLock second;
        QVERIFY(!second.tryLock());

        ModalAnswer german(QMessageBox::Ok);
        Startup::warnAlreadyRunning();
        QCOMPARE(german.box().title, QString("Kalvion läuft bereits"));
        QCOMPARE(german.box().icon, QMessageBox::Warning);

        QSettings("Orvu", "Kalvion").setValue("language", 1);
        ModalAnswer english(QMessageBox::Ok);
        Startup::warnAlreadyRunning();
        QCOMPARE(english.box().title, QString("Kalvion is already running"));
        QCOMPARE(english.box().text,
                 QString("Kalvion is already open. Please use the window that is open."));
    }

    void staleLockDoesNotBlock()
    {
        // The lock of a copy that died: written as a live copy writes it, with a gone process.
        QByteArray lines;
        {
            Startup::InstanceLock live;
            QVERIFY(live.tryLock());
            QFile written(lockPath());
            QVERIFY(written.open(QIODevice::ReadOnly));
            lines = written.readAll();
        }
        QVERIFY(!QFile::exists(lockPath()));
        QProcess dead;
        dead.start("true");
        QVERIFY(dead.waitForStarted());
        const qint64 pid = dead.processId();
        QVERIFY(dead.waitForFinished());
        QFile stale(lockPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray::number(pid) + lines.mid(lines.indexOf('\n')));
        stale.close();

        Startup::InstanceLock next;
        QVERIFY(next.tryLock());
    }

    void applicationLook()
    {
        Startup::prepareApplication(*qApp);
        QCOMPARE(qApp->styleSheet(), QString("QMessageBox{background-color: white}"));
        QVERIFY(!qApp->windowIcon().isNull());
        qApp->setStyleSheet(QString());
    }

    void testSlotWritesOneLine()
    {
        MainWindow window;
        QTest::ignoreMessage(QtDebugMsg, "it works");
        window.test();
    }
};

KALVION_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

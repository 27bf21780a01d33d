#include "app/mainwindow.h"
#include "app/startup.h"
#include "store/instancelock.h"
#include "live/connectionscreen.h"
#include "store/store.h"
#include "store/storewriter.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/settingsscreen.h"
#include "support/desktopservices.h"
#include "support/files.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QDir>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <cerrno>
#include <climits>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How writing fails while a test wants it to.
enum class Fault {
    None,
    DiskFull, // a write goes through only into the room its file already has on disk
    StoreLocked, // the store cannot be replaced, as one made immutable
};
std::atomic<Fault> fault = Fault::None;

// Would need room the store's or journal's file (or one written beside it) does not have.
bool needsRoom(int fd, size_t size)
{
    char path[PATH_MAX];
    const ssize_t length
        = ::readlink(("/proc/self/fd/" + QByteArray::number(fd)).constData(), path, sizeof path);
    const QByteArrayView name(path, length > 0 ? length : 0);
    struct stat file;
    if ((!name.contains("/Kalvion.conf") && !name.contains("/Kalvion.journal"))
        || ::fstat(fd, &file) != 0)
        return false;
    const off_t at = ::fcntl(fd, F_GETFL) & O_APPEND ? file.st_size : ::lseek(fd, 0, SEEK_CUR);
    return at + off_t(size) > off_t(file.st_blocks) * 512;
}

} // namespace

Q_DECLARE_METATYPE(Fault)

extern "C" ssize_t write(int fd, const void *bytes, size_t size)
{
    static const auto real
        = reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(dlsym(RTLD_NEXT, "write"));
    if (fault == Fault::DiskFull && needsRoom(fd, size)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, bytes, size);
}

extern "C" int rename(const char *from, const char *to) noexcept
{
    static const auto real
        = reinterpret_cast<int (*)(const char *, const char *)>(dlsym(RTLD_NEXT, "rename"));
    if (fault == Fault::StoreLocked && QByteArrayView(to).endsWith("/Kalvion.conf")) {
        errno = EPERM;
        return -1;
    }
    return real(from, to);
}

// The close of the main window, which quits only when confirmed and when the store really
// reached the disk, and the writes of every change meanwhile, in the background.
class MainWindowTest : public QObject
{
    Q_OBJECT

    VirtualMeter meter;
    DesktopServices desktop;

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

    // A write failure that lasts, met as a new user would: a recording saved and then changes,
    // each followed by a checkpoint that fails, give one box, while the journal may still take
    // every change.
    void aLastingFailureIsSaidOnce_data()
    {
        QTest::addColumn<Fault>("failure");
        QTest::newRow("disk full") << Fault::DiskFull;
        QTest::newRow("store cannot be replaced") << Fault::StoreLocked;
    }

    void aLastingFailureIsSaidOnce()
    {
        QFETCH(Fault, failure);
        const auto clear = qScopeGuard([] { fault = Fault::None; });
        writeStore({ StoredMeter() });
        meter.reset({ { "streaming", false } });
        const QString store = UserStore().fileName();
        MainWindow window;
        window.show();
        QSignalSpy written(&window.storeWriter(), &StoreWriter::written);
        QSignalSpy warned(&window.storeWriter(), &StoreWriter::failed);
        // A change, and the checkpoint after it.
        const auto checkpointAfter = [&](const std::function<void()> &change) {
            written.clear();
            change();
            return QTest::qWaitFor([&] { return !written.isEmpty(); }, 10000)
                ? written.first().first().toBool()
                : std::optional<bool>();
        };
        const auto toggleDark = [&] { toggleTheme(window); };

        fault = failure;
        desktop.forgetNotifications();
        ModalAnswer said(QMessageBox::Ok);
        const QStringList frames = { "dc-volts", "millivolts", "ohms" };
        const auto record = [&] {
            connectionScreen *screen = connectMeter(&window, meter);
            QVERIFY(screen);
            child<QToolButton>(screen, "playToolButton")->click();
            for (const QString &frame : frames)
                QVERIFY(sendFrame(meter, screen, frame));
            ModalAnswer saved(QMessageBox::Ok);
            child<QToolButton>(screen, "saveToolButton")->click();
        };
        QCOMPARE(checkpointAfter(record), false);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(checkpointAfter(toggleDark), false);
        QCOMPARE(warned.size(), 1);
        QTRY_VERIFY(said.done());
        // Told on the desktop too, once, for a user who is not at the window.
        const QList<QStringList> notified{ { "Speichern fehlgeschlagen",
            "Kalvion konnte nicht in " + store
                + " schreiben. Solange die Anwendung geöffnet bleibt, geht nichts verloren." } };
        QTRY_COMPARE(desktop.notifications(), notified);
        QCOMPARE(said.box().title, QString("Speichern fehlgeschlagen"));
        QCOMPARE(said.box().text,
            "Ihre letzten Änderungen konnten nicht gespeichert werden:\n" + store
                + "\n\nBitte prüfen Sie, ob der Ordner beschreibbar ist und genug Speicherplatz "
                  "frei ist. Kalvion versucht es bei jeder weiteren Änderung erneut; solange die "
                  "Anwendung geöffnet bleibt, geht nichts verloren.");

        // Once a whole write has landed, the next failure is said again; the failure while
        // the store is blocked, and the confirmed close, are tried above.
        fault = Fault::None;
        QCOMPARE(checkpointAfter(toggleDark), true);
        fault = failure;
        ModalAnswer again(QMessageBox::Ok);
        QCOMPARE(checkpointAfter(toggleDark), false);
        QCOMPARE(warned.size(), 2);
        QTRY_VERIFY(again.done());
        QTRY_COMPARE(desktop.notifications(), notified + notified);
        fault = Fault::None;
        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(UserStore().value("deviceList/1/points/size").toInt(), frames.size());
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
        const QString path = InstanceLock().fileName();
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

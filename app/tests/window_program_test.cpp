// The window program itself, run on a display of its own (Xvfb with a window manager) and worked
// with keys and clicks as a person would (xdotool): a second start, and the ways it ends that
// nobody answers (TERM twice, kill -9) must not lose the edits. What the program asks is read
// from its dialogue log.

#include "tests/support/test_files.h"
#include "workspace/folders.h"
#include "workspace/recovered_work.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <signal.h>
#include <sys/types.h>

using namespace testsupport;

namespace {

const QString kInstallDir = QStringLiteral(VANTOR_INSTALL_DIR);
constexpr int kStartTimeout = 60000;

// A window title as xdotool's pattern (a POSIX extended expression) that matches it alone.
QString exactly(const QString& title)
{
    QString pattern = QStringLiteral("^");
    for (const QChar c : title) {
        if (QStringLiteral("\\.[]()*+?{}|^$").contains(c))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern + QLatin1Char('$');
}

// A page of text from edge to edge, so that a click anywhere in the view lands in it.
QByteArray textPage(const QByteArray& title)
{
    QByteArray words;
    for (int i = 0; i < 200; ++i)
        words += "Fresh herbs on a small balcony. ";
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head>\n<body style=\"margin:0;font-size:24px\"><p>" + words + "</p></body></html>\n";
}

// One run of the window program, with what it logged so far.
class Run final
{
public:
    Run(const QString& program, const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(program, {});
    }
    ~Run()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    qint64 pid() const { return m_process.processId(); }
    void signal(int number) const { ::kill(pid_t(pid()), number); }
    bool ended(int timeoutMs) { return m_process.waitForFinished(timeoutMs); }
    int exitCode() const { return m_process.exitCode(); }
    const QByteArray& log()
    {
        m_log += m_process.readAllStandardError();
        return m_log;
    }
    // The text of the question of this title, once its line was logged whole; "" until then.
    QString asked(const QString& title)
    {
        const QString all = QString::fromUtf8(log());
        const QString mark = QStringLiteral("vantor.dialogue: asked %1 -- ").arg(title);
        const qsizetype at = all.indexOf(mark);
        const qsizetype end = at < 0 ? -1 : all.indexOf(QLatin1Char('\n'), at);
        if (end < 0)
            return {};
        return all.mid(at + mark.size(), end - at - mark.size())
            .replace(QLatin1String("\\n"), QLatin1String("\n"));
    }

private:
    QProcess m_process;
    QByteArray m_log;
};

} // namespace

class WindowProgramTest : public QObject
{
    Q_OBJECT

    QString m_xdotool;
    QProcess m_display;
    QProcess m_windowManager;
    QTemporaryDir m_caseFolder;
    QProcessEnvironment m_environment;
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_install;
    QString m_site;
    workspace::Folders m_folders;

    QString sitePage() const { return QDir(m_site).filePath("index.html"); }
    QString working(const QString& name) const { return QDir(m_folders.workingFolder).filePath(name); }

    QString xdotool(const QStringList& args) const
    {
        QProcess p;
        p.setProcessEnvironment(m_environment);
        p.start(m_xdotool, args);
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // The id of the visible window of this title once there is one; "" after the timeout.
    QString window(const QString& title, int timeoutMs = kStartTimeout) const
    {
        QString id;
        [[maybe_unused]] const bool found = QTest::qWaitFor(
            [&] {
                id = xdotool({"search", "--onlyvisible", "--name", exactly(title)}).section('\n', 0, 0);
                return !id.isEmpty();
            },
            timeoutMs);
        return id;
    }

    std::unique_ptr<Run> start()
    {
        return std::make_unique<Run>(QDir(m_install).filePath("vantor"), m_environment);
    }

    // Brings the window to the front and waits until it has the keyboard: keys sent before that go
    // to whichever window the window manager still has active (seen on a busy machine).
    void activate(const QString& window) const
    {
        xdotool({"windowactivate", "--sync", window});
        [[maybe_unused]] const bool active =
            QTest::qWaitFor([&] { return xdotool({"getactivewindow"}) == window; }, 10000);
    }

    void keys(const QString& window, const QStringList& keys) const
    {
        activate(window);
        for (const QString& key : keys)
            xdotool({"key", "--clearmodifiers", key});
    }

    // Loads the site by the keys, gives its index page the front-end role and enters edit mode.
    void loadAndEdit(Run& run, const QString& main)
    {
        keys(main, {"ctrl+o"});
        const QString reminder = window("Reminder");
        QVERIFY(!reminder.isEmpty());
        keys(reminder, {"Return"});
        const QString dialog = window("Select a Folder with HTM/HTML Files");
        QVERIFY(!dialog.isEmpty());
        activate(dialog);
        xdotool({"type", "--delay", "10", m_site});
        keys(dialog, {"Return"});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(working("index.html")), kStartTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(window("Select a Folder with HTM/HTML Files", 0).isEmpty(), kStartTimeout);
        keys(main, {"alt+f", "ctrl+e"});
        QTest::qWait(2000); // the page loads again for editing
        QVERIFY2(run.log().contains("asked Select a Folder"), run.log().constData());
    }

    // Clicks into the text of the page being edited and types there.
    void typeInPage(const QString& main, const QString& text)
    {
        const QString geometry = xdotool({"getwindowgeometry", "--shell", main});
        const int width = geometry.section("WIDTH=", 1).section('\n', 0, 0).toInt();
        const int height = geometry.section("HEIGHT=", 1).section('\n', 0, 0).toInt();
        xdotool({"windowactivate", "--sync", main});
        xdotool({"mousemove", "--window", main, QString::number(width / 2), QString::number(height * 3 / 10),
                 "click", "1"});
        QTest::qWait(300);
        xdotool({"type", "--delay", "20", text});
    }

    // The typing kept for the next start holds text.
    bool typingKept(const QString& text) const
    {
        workspace::RecoveredWork work(m_folders);
        work.gather();
        for (const auto& page : work.pages()) {
            if (page.unsaved && page.bytes.contains(text.toUtf8()))
                return true;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        m_xdotool = QStandardPaths::findExecutable("xdotool");
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString openbox = QStandardPaths::findExecutable("openbox");
        if (m_xdotool.isEmpty() || xvfb.isEmpty() || openbox.isEmpty())
            QSKIP("Needs Xvfb, openbox and xdotool (scripts/packages.d/gui.txt)");
        // Xvfb picks a free display itself and names it on standard output.
        m_display.start(xvfb, {"-displayfd", "1", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"});
        QVERIFY(m_display.waitForReadyRead(30000));
        const QString display = ":" + QString::fromLatin1(m_display.readAllStandardOutput()).trimmed();
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert("DISPLAY", display);
        m_environment.insert("QT_QPA_PLATFORM", "xcb");
        m_environment.insert("QT_LOGGING_RULES", "vantor.dialogue.debug=true");
        // The engine's sandbox cannot run as root, which is how the test machines run.
        m_environment.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
        // Windows mapped before the window manager runs are not its to activate.
        const QString ready = m_caseFolder.filePath("window manager ready");
        m_windowManager.setProcessEnvironment(m_environment);
        m_windowManager.start(openbox, {"--startup", "touch '" + ready + "'"});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ready), 30000);
    }

    void cleanupTestCase()
    {
        for (QProcess* process : {&m_windowManager, &m_display}) {
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
        }
    }

    // A private installation folder, laid out as the build tree's, and a site of two pages.
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/vantor window XXXXXX");
        m_install = QDir(m_tmp->path()).filePath("install");
        QVERIFY(QDir().mkpath(m_install));
        const QDir install(m_install);
        for (const char* file : {"vantor", "vantor-build", "blank.html"})
            QVERIFY(QFile::copy(kInstallDir + "/" + file, install.filePath(file)));
        QVERIFY(QFile::link(kInstallDir + "/plugintemplate", install.filePath("plugintemplate")));
        QVERIFY(QFile::link(kInstallDir + "/7za", install.filePath("7za")));
        m_folders = workspace::Folders::selfContained(m_install);
        m_site = QDir(m_tmp->path()).filePath("site");
        writeFile(sitePage(), textPage("Offer"));
        writeFile(QDir(m_site).filePath("download.html"), textPage("Thanks"));
    }

    // The second start touches nothing of the first window's and brings it to the front; the
    // command-line build works beside it, without the working folder.
    void aSecondStartBringsTheFirstWindowForward()
    {
        auto first = start();
        const QString main = window("Vantor! 2.6 ");
        QVERIFY(!main.isEmpty());
        loadAndEdit(*first, main);
        typeInPage(main, "#FRONT#");
        keys(main, {"ctrl+e"});
        const QString save = window("Save");
        QVERIFY(!save.isEmpty());
        keys(save, {"Return"}); // Yes
        QTRY_VERIFY_WITH_TIMEOUT(readFile(working("index.html")).contains("#FRONT#"), kStartTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(first->asked("Save").contains("This page was changed"), kStartTimeout);
        xdotool({"windowminimize", "--sync", main});
        QTRY_VERIFY(xdotool({"getactivewindow"}) != main);
        const auto before = fingerprint(m_install);

        auto second = start();
        QVERIFY(second->ended(kStartTimeout));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(!second->log().contains("asked"), second->log().constData());
        QCOMPARE(fingerprint(m_install), before);
        QTRY_COMPARE_WITH_TIMEOUT(xdotool({"getactivewindow"}), main, 10000);

        QProcess build;
        build.start(QDir(m_install).filePath("vantor-build"),
                    {m_site, "--front", "index.html", "--download", "download.html", "--output",
                     QDir(m_tmp->path()).filePath("plugins")});
        QVERIFY(build.waitForFinished(120000));
        QCOMPARE(build.exitCode(), 0);
        auto afterBuild = fingerprint(m_install);
        QCOMPARE(afterBuild, before);

        first->signal(SIGTERM); // the site folder was never written: the close asks first
        const QString changed = window("Changed Pages");
        QVERIFY(!changed.isEmpty());
        keys(changed, {"n"});
        QVERIFY(first->ended(kStartTimeout));
    }

    // At a scale factor of 2 the window still fits the 1600x1000 screen, title bar and all, and
    // the keyboard brings the controls that lie past the screen's edge into view.
    void atScaleTwoTheWindowFitsTheScreen()
    {
        QProcessEnvironment scaled = m_environment;
        scaled.insert("QT_SCALE_FACTOR", "2");
        Run run(QDir(m_install).filePath("vantor"), scaled);
        const QString main = window("Vantor! 2.6 ");
        QVERIFY(!main.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(xdotool({"getwindowgeometry", "--shell", main}).contains("WIDTH="),
                                 kStartTimeout);
        QMap<QString, int> at;
        for (const QString& line : xdotool({"getwindowgeometry", "--shell", main}).split('\n'))
            at[line.section('=', 0, 0)] = line.section('=', 1).toInt();
        // xdotool counts the frame into the position on some window managers, so the size is
        // what is checked: the client within the screen, with room left for the title bar.
        QVERIFY2(at["WIDTH"] > 0 && at["WIDTH"] <= 1600 && at["HEIGHT"] > 0 && at["HEIGHT"] < 1000,
                 qPrintable(xdotool({"getwindowgeometry", "--shell", main})));
        run.signal(SIGTERM);
        QVERIFY(run.ended(kStartTimeout));
    }

    // The first TERM asks; nobody answers, and a second one ends the program with the typing
    // kept, which the next start writes back when told so.
    void termWithNobodyAnsweringKeepsTheTyping()
    {
        auto run = start();
        const QString main = window("Vantor! 2.6 ");
        QVERIFY(!main.isEmpty());
        loadAndEdit(*run, main);
        typeInPage(main, "#FRONT#");
        QTest::qWait(500);
        run->signal(SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!run->asked("Save").isEmpty(), kStartTimeout);
        QVERIFY(typingKept("#FRONT#"));
        run->signal(SIGTERM);
        QVERIFY(run->ended(30000));
        QVERIFY(typingKept("#FRONT#"));
        QVERIFY(!readFile(sitePage()).contains("#FRONT#"));

        auto next = start();
        QTRY_VERIFY_WITH_TIMEOUT(!next->asked("Pages Not Written Back").isEmpty(), kStartTimeout);
        const QString offer = next->asked("Pages Not Written Back");
        QVERIFY2(
            offer.contains(QString("In the folder '%1':\n\u2022 index.html (with typing that was not saved)")
                               .arg(m_site)),
            qPrintable(offer));
        const QString box = window("Pages Not Written Back");
        keys(box, {"shift+Tab", "space"}); // from "Keep them for later" back to "Write them back"
        QTRY_VERIFY_WITH_TIMEOUT(readFile(sitePage()).contains("#FRONT#"), kStartTimeout);
        QVERIFY(readFile(sitePage()).startsWith("<!DOCTYPE html>\n"));
        keys(window("Done"), {"Return"});
        const QString main2 = window("Vantor! 2.6 ");
        QVERIFY(!main2.isEmpty());
        next->signal(SIGTERM);
        QVERIFY(next->ended(kStartTimeout));
    }

    // Killed after a save in edit mode: the next start offers the saved page; kept for later, it
    // is offered again, and then written back.
    void killedAfterASaveOffersTheSavedPage()
    {
        auto run = start();
        const QString main = window("Vantor! 2.6 ");
        QVERIFY(!main.isEmpty());
        loadAndEdit(*run, main);
        typeInPage(main, "#FRONT#");
        keys(main, {"ctrl+e"});
        const QString save = window("Save");
        QVERIFY(!save.isEmpty());
        keys(save, {"Return"});
        QTRY_VERIFY_WITH_TIMEOUT(readFile(working("index.html")).contains("#FRONT#"), kStartTimeout);
        run->signal(SIGKILL);
        QVERIFY(run->ended(30000));

        auto next = start();
        QTRY_VERIFY_WITH_TIMEOUT(!next->asked("Pages Not Written Back").isEmpty(), kStartTimeout);
        QVERIFY2(next->asked("Pages Not Written Back")
                     .contains(QString("In the folder '%1':\n\u2022 index.html\n").arg(m_site)),
                 qPrintable(next->asked("Pages Not Written Back")));
        keys(window("Pages Not Written Back"), {"Return"}); // keeps them
        QVERIFY(!window("Vantor! 2.6 ").isEmpty());
        QCOMPARE(entries(m_folders.workingFolder), QStringList());
        QVERIFY(!readFile(sitePage()).contains("#FRONT#"));
        next->signal(SIGTERM);
        QVERIFY(next->ended(kStartTimeout));

        auto last = start();
        QTRY_VERIFY_WITH_TIMEOUT(!last->asked("Pages Not Written Back").isEmpty(), kStartTimeout);
        QVERIFY(last->asked("Pages Not Written Back")
                    .contains("index.html (kept for later at an earlier start)"));
        keys(window("Pages Not Written Back"), {"shift+Tab", "space"});
        QTRY_VERIFY_WITH_TIMEOUT(readFile(sitePage()).contains("#FRONT#"), kStartTimeout);
        keys(window("Done"), {"Return"});
        QVERIFY(!window("Vantor! 2.6 ").isEmpty());
        last->signal(SIGTERM);
        QVERIFY(last->ended(kStartTimeout));
    }
};

QTEST_GUILESS_MAIN(WindowProgramTest)

#include "window_program_test.moc"

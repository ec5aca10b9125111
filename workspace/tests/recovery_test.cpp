// What the workspace does so that edits survive a second window, an unexpected end and a changed
// site folder: the lock of the working folder, the record of the load, the copies of typing, and
// the start's offer of what an earlier run left.

#include "support/mortar_file.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/test_files.h"
#include "workspace/page_workspace.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace workspace;

namespace {

const QByteArray kDoctypePage =
    "<!DOCTYPE html>\n<html><head><title>Offer</title></head><body><p>Buy</p></body></html>\n";
const QString kEditedRoot =
    QStringLiteral("<html><head><title>Offer</title></head><body><p>Buy#FRONT#</p></body></html>");
const QString kOfferTitle = QStringLiteral("Pages Not Written Back");

enum Option
{
    WriteBack,
    Keep,
    Discard
};

} // namespace

class RecoveryTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_tmp;
    Folders m_folders;
    ScriptedPrompter m_prompter;
    std::unique_ptr<PageWorkspace> m_ws;

    QString tmpPath(const QString& rel) const { return QDir(m_tmp->path()).filePath(rel); }
    QString working(const QString& name) const { return QDir(m_folders.workingFolder).filePath(name); }
    QString typedFolder() const { return QDir(m_folders.recoveryFolder).filePath("typed"); }
    QString keptFolder() const { return QDir(m_folders.recoveryFolder).filePath("kept"); }

    QString makeSite(const QString& name)
    {
        const QString site = tmpPath(name);
        writeFile(QDir(site).filePath("index.html"), kDoctypePage);
        writeFile(QDir(site).filePath("download.html"), "<html><body>Thanks</body></html>");
        writeFile(QDir(site).filePath("images/cover.png"), "png");
        return site;
    }

    void loadTyped(const QString& folder)
    {
        m_prompter.textAnswers.push_back(folder);
        m_ws->loadUsingLocation();
        m_ws->refreshPageList();
    }

    // Saves markup into the page through edit mode and the alternative save, as the editor does.
    void saveEdited(const QString& name, const QString& markup)
    {
        writeFile(m_folders.saveMarker, "Text1");
        m_ws->setCurrentText(working(name));
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->toggleEditMode();
        m_prompter.yesNoAnswers.push_back(true);
        m_ws->toggleEditMode();
        m_ws->saveEditedMarkup(markup);
        QVERIFY(QFile::remove(m_folders.saveMarker));
        QVERIFY(readFile(working(name)).contains(markup.toUtf8()));
        m_prompter.exchanges.clear();
    }

    // A started workspace with the site loaded and "#FRONT#" saved into its index page.
    QString startAndEditIndex(const QString& name = "site")
    {
        const QString site = makeSite(name);
        [&] {
            QVERIFY(m_ws->start());
            loadTyped(site);
            saveEdited("index.html", kEditedRoot);
        }();
        return site;
    }

    // The program ends without its close: killed, or the power went.
    void endUnexpectedly() { m_ws.reset(); }

    // The next start, with these answers queued; false when it would not go on.
    bool restart(std::deque<int> options = {}, std::deque<bool> yesNo = {})
    {
        m_ws = std::make_unique<PageWorkspace>(m_folders, m_prompter);
        m_prompter.exchanges.clear();
        m_prompter.optionAnswers = std::move(options);
        m_prompter.yesNoAnswers = std::move(yesNo);
        return m_ws->start();
    }

    QStringList titles() const
    {
        QStringList list;
        for (const auto& exchange : m_prompter.exchanges)
            list << exchange.title;
        return list;
    }

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/vantor recovery XXXXXX");
        QDir().mkpath(tmpPath("install"));
        m_folders = Folders::selfContained(tmpPath("install"));
        m_prompter = {};
        m_ws = std::make_unique<PageWorkspace>(m_folders, m_prompter);
    }

    void cleanup() { m_ws.reset(); }

    // A second window finds the working folder taken: it touches nothing, and the first one goes
    // on writing its own site back.
    void aSecondStartTouchesNothing()
    {
        const QString site = startAndEditIndex();
        const auto before = fingerprint(m_folders.dataFolder);
        ScriptedPrompter secondPrompter;
        PageWorkspace second(m_folders, secondPrompter);
        QSignalSpy taken(&second, &PageWorkspace::workingFolderTaken);
        QVERIFY(!second.start());
        QVERIFY(second.runningElsewhere());
        QCOMPARE(taken.count(), 0);
        QVERIFY(secondPrompter.exchanges.isEmpty());
        QCOMPARE(fingerprint(m_folders.dataFolder), before);

        second.tellRunningElsewhere();
        QCOMPARE(secondPrompter.exchanges.size(), 1);
        QVERIFY(secondPrompter.exchanges[0].text.startsWith("Vantor is already running."));

        m_prompter.choiceAnswers.push_back(Answer::Yes);
        QVERIFY(m_ws->keepEditedPages(PageWorkspace::Ending::Close));
        QVERIFY(readFile(QDir(site).filePath("index.html")).contains("Buy#FRONT#"));
    }

    void aLockLeftByADeadRunIsTakenOver()
    {
        QProcess gone;
        qint64 pid = 0;
        connect(&gone, &QProcess::started, this, [&] { pid = gone.processId(); });
        gone.start("true", {});
        QVERIFY(gone.waitForFinished());
        QVERIFY(pid > 0);
        writeFile(m_folders.workingLock,
                  QByteArray::number(pid) + "\nvantor\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        QVERIFY(m_ws->start());
        QVERIFY(!m_ws->runningElsewhere());
    }

    void nothingToRecoverAsksNothing_data()
    {
        QTest::addColumn<QString>("left");
        QTest::newRow("a first start") << "nothing";
        QTest::newRow("pages from before without a record") << "pages";
        QTest::newRow("a load that was never edited") << "unedited";
        QTest::newRow("a run that closed") << "closed";
    }

    // Exactly the start as it was: the working folder emptied, nothing asked.
    void nothingToRecoverAsksNothing()
    {
        QFETCH(QString, left);
        if (left == "pages") {
            writeFile(working("index.html"), "<p>from an older run</p>");
        } else if (left != "nothing") {
            QVERIFY(m_ws->start());
            loadTyped(makeSite("site"));
            if (left == "closed") {
                saveEdited("index.html", kEditedRoot);
                m_prompter.choiceAnswers.push_back(Answer::No); // discards them
                QVERIFY(m_ws->keepEditedPages(PageWorkspace::Ending::Close));
                m_ws->closed();
            }
            endUnexpectedly();
        }
        QVERIFY(restart());
        QVERIFY(m_prompter.exchanges.isEmpty());
        QCOMPARE(entries(m_folders.workingFolder), QStringList());
        QVERIFY(!QFileInfo::exists(RecoveredWork::recordFile(m_folders)));
    }

    void savedPagesAreOfferedAtTheNextStart_data()
    {
        QTest::addColumn<int>("answer"); // -1: nothing chosen, as Enter or Escape
        QTest::newRow("Write them back") << int(WriteBack);
        QTest::newRow("Keep them for later") << int(Keep);
        QTest::newRow("Enter keeps them") << -1;
        QTest::newRow("Discard") << int(Discard);
    }

    // A page saved in edit mode, never written back, and a run that ended without its close.
    void savedPagesAreOfferedAtTheNextStart()
    {
        QFETCH(int, answer);
        const QString site = startAndEditIndex();
        const QString sitePage = QDir(site).filePath("index.html");
        const QByteArray edited = readFile(working("index.html"));
        endUnexpectedly();

        QVERIFY(restart(answer < 0 ? std::deque<int>{} : std::deque<int>{answer}));
        const auto offer = m_prompter.exchanges.value(0);
        QCOMPARE(offer.kind, QString("options"));
        QCOMPARE(offer.title, kOfferTitle);
        QCOMPARE(offer.options, (QStringList{"Write them back", "Keep them for later", "Discard"}));
        QCOMPARE(offer.defaultOption, int(Keep));
        QVERIFY2(offer.text.contains(QString("In the folder '%1':\n\u2022 index.html\n").arg(site)) &&
                     !offer.text.contains("download.html"),
                 qPrintable(offer.text));
        // Only then does the start go on as before.
        QCOMPARE(entries(m_folders.workingFolder), QStringList());

        const int chosen = answer < 0 ? int(Keep) : answer;
        QCOMPARE(readFile(sitePage), chosen == WriteBack ? edited : kDoctypePage);
        if (chosen == WriteBack)
            QCOMPARE(m_prompter.exchanges.value(1).text,
                     "These pages were written back:\n\u2022 " + sitePage);
        QVERIFY(restart({Discard}));
        if (chosen == Keep) {
            QCOMPARE(titles(), QStringList{kOfferTitle});
            QVERIFY2(m_prompter.exchanges[0].text.contains("index.html (kept for later at an earlier start)"),
                     qPrintable(m_prompter.exchanges[0].text));
            QVERIFY(restart());
        }
        QVERIFY(m_prompter.exchanges.isEmpty());
        QCOMPARE(entries(keptFolder()), QStringList());
        QCOMPARE(readFile(sitePage), chosen == WriteBack ? edited : kDoctypePage);
    }

    // The typing on screen is kept beside the saved pages, and comes back with them.
    void typingIsOfferedWithTheSavedPages()
    {
        const QString site = makeSite("site");
        QVERIFY(m_ws->start());
        loadTyped(site);
        saveEdited("download.html", "<html><body>Thanks #BACK#</body></html>");
        m_ws->setCurrentText(working("index.html"));
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->toggleEditMode();
        QVERIFY(m_ws->editing());
        m_ws->keepTyping(m_ws->typingTicket(), working("index.html"), kEditedRoot);
        QCOMPARE(entries(typedFolder()).size(), 1);
        endUnexpectedly();

        QVERIFY(restart({WriteBack}));
        QVERIFY2(m_prompter.exchanges[0].text.contains(
                     QString("In the folder '%1':\n\u2022 index.html (with typing that was not saved)\n"
                             "\u2022 download.html\n")
                         .arg(site)),
                 qPrintable(m_prompter.exchanges[0].text));
        // The page as the browser hands it back, in the file's own prolog.
        const QByteArray page = readFile(QDir(site).filePath("index.html"));
        QVERIFY2(page.startsWith("<!DOCTYPE html>\n<html><head>") && page.contains("Buy#FRONT#"),
                 page.constData());
        QVERIFY(readFile(QDir(site).filePath("download.html")).contains("Thanks #BACK#"));
        QCOMPARE(entries(typedFolder()), QStringList());
    }

    // The copy follows the page on screen: it goes once the page was saved or discarded, and an
    // answer about a document that is gone is dropped. A Cancel, or an end with nobody to answer,
    // leaves it.
    void typingFollowsTheEditing()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        const QString page = working("index.html");
        m_ws->setCurrentText(page);
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->keepTyping(m_ws->typingTicket(), page, kEditedRoot);
        QCOMPARE(entries(typedFolder()).size(), 0); // not editing
        m_ws->toggleEditMode();
        quint64 ticket = m_ws->typingTicket();
        m_ws->keepTyping(ticket, working("download.html"), kEditedRoot);
        QCOMPARE(entries(typedFolder()).size(), 0); // not the page being edited
        m_ws->keepTyping(ticket, page, kEditedRoot);
        QCOMPARE(entries(typedFolder()).size(), 1);
        m_ws->keepTyping(ticket, page, QString()); // the typing was undone
        QCOMPARE(entries(typedFolder()).size(), 0);
        m_ws->keepTyping(ticket, page, kEditedRoot);

        // Leaving to close, Cancel: still there.
        m_ws->leaveEditModeThen(PageWorkspace::AfterEditing::Close);
        m_ws->pageLeft(false);
        QVERIFY(m_ws->editing());
        QCOMPARE(entries(typedFolder()).size(), 1);

        // The view saved or discarded the document: gone, and a late answer about it is dropped.
        ticket = m_ws->typingTicket();
        m_ws->toggleEditMode();
        m_ws->pageLeft(true);
        QCOMPARE(entries(typedFolder()).size(), 0);
        m_ws->toggleEditMode();
        m_ws->keepTyping(ticket, page, kEditedRoot);
        QCOMPARE(entries(typedFolder()).size(), 0);

        // Nobody answers any more: nothing the window still does takes the copy or the record away.
        m_ws->keepTyping(m_ws->typingTicket(), page, kEditedRoot);
        m_ws->holdForNextStart();
        m_ws->toggleEditMode();
        m_ws->pageLeft(true);
        QVERIFY(!m_ws->keepEditedPages(PageWorkspace::Ending::Close));
        m_ws->closed();
        QCOMPARE(entries(typedFolder()).size(), 1);
        QVERIFY(QFileInfo::exists(RecoveredWork::recordFile(m_folders)));
    }

    // Another window once loaded its own site into the same working folder. The pages there are
    // now that site's, and the first window's write-back must not put them into its own site.
    void aWriteBackNeverWritesAnotherSitesPage()
    {
        const QString site = startAndEditIndex("first");
        const auto before = fingerprint(site);
        const QString second = makeSite("second");
        writeFile(QDir(second).filePath("index.html"), "<html><body>the second site</body></html>");
        support::MortarFile::CopyFolder(second, m_folders.workingFolder);
        EditedPages other;
        other.setRecordFile(RecoveredWork::recordFile(m_folders));
        other.reset(second, m_folders.workingFolder);

        m_prompter.choiceAnswers.push_back(Answer::Yes);
        QVERIFY(!m_ws->keepEditedPages(PageWorkspace::Ending::Close));
        QCOMPARE(titles(), (QStringList{"Changed Pages", "Error"}));
        QVERIFY2(m_prompter.exchanges[1].text.contains("another window of the program loaded a folder"),
                 qPrintable(m_prompter.exchanges[1].text));
        QCOMPARE(fingerprint(site), before);
    }

    void aPageChangedThereIsSavedBeside_data()
    {
        QTest::addColumn<bool>("atStart");
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("besideTaken");
        QTest::newRow("at the close, beside") << false << true << false;
        QTest::newRow("at the close, beside a taken name") << false << true << true;
        QTest::newRow("at the close, not beside") << false << false << false;
        QTest::newRow("at the start, beside") << true << true << false;
        QTest::newRow("at the start, not beside") << true << false << false;
    }

    // Someone else changed the site's page since the load: theirs stays, and the edited page goes
    // beside it if the user says so.
    void aPageChangedThereIsSavedBeside()
    {
        QFETCH(bool, atStart);
        QFETCH(bool, beside);
        QFETCH(bool, besideTaken);
        const QString site = startAndEditIndex();
        const QByteArray edited = readFile(working("index.html"));
        const QByteArray theirs = "<html><body>the author's own change</body></html>";
        writeFile(QDir(site).filePath("index.html"), theirs);
        if (besideTaken)
            writeFile(QDir(site).filePath("index.edited.html"), "an earlier copy");
        const QString besideName = besideTaken ? "index.edited-2.html" : "index.edited.html";
        const QString besidePath = QDir(site).filePath(besideName);

        if (atStart) {
            endUnexpectedly();
            QVERIFY(restart({WriteBack}, {beside}));
        } else {
            m_prompter.choiceAnswers.push_back(Answer::Yes);
            m_prompter.yesNoAnswers.push_back(beside);
            QCOMPARE(m_ws->keepEditedPages(PageWorkspace::Ending::Close), beside);
        }
        const auto question = m_prompter.exchanges.value(1);
        QCOMPARE(question.title, QString("Page Changed Elsewhere"));
        QVERIFY2(question.text.contains(QDir(site).filePath("index.html")) &&
                     question.text.contains("'" + besideName + "'"),
                 qPrintable(question.text));
        QCOMPARE(readFile(QDir(site).filePath("index.html")), theirs);
        QCOMPARE(readFile(besidePath), beside ? edited : QByteArray("<missing>"));
        const auto report = m_prompter.exchanges.value(2);
        if (beside) {
            QCOMPARE(report.title, QString("Done"));
            QVERIFY2(report.text.contains(
                         QString("%1, as %2 beside it")
                             .arg(atStart ? QDir(site).filePath("index.html") : "index.html", besideName)),
                     qPrintable(report.text));
        } else {
            QCOMPARE(report.title, atStart ? QString("Important") : QString("Error"));
            QVERIFY2(report.text.contains("changed by another program"), qPrintable(report.text));
        }

        // Given back beside, the page is not offered again; otherwise it is.
        if (atStart) {
            QVERIFY(restart({Discard}));
            QCOMPARE(titles(), beside ? QStringList() : QStringList{kOfferTitle});
        } else {
            m_prompter.exchanges.clear();
            m_prompter.choiceAnswers.push_back(Answer::Cancel);
            QCOMPARE(m_ws->keepEditedPages(PageWorkspace::Ending::Close), beside);
            QCOMPARE(titles(), beside ? QStringList() : QStringList{"Changed Pages"});
        }
    }
};

QTEST_GUILESS_MAIN(RecoveryTest)

#include "recovery_test.moc"

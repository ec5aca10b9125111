#include "tests/support/recording_opener.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/test_files.h"
#include "workspace/page_listing.h"
#include "workspace/page_workspace.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;
using namespace workspace;

namespace {

const QString kReminder =
    QStringLiteral("Please make sure that your folder also contains the delivery file (or "
                   "files), so it's included inside your plugin.");
const QString kNoHtml =
    QStringLiteral("We could not find .htm or .html files in this folder. Please try with another one.");
const QString kUnknownFront =
    QStringLiteral("Unknown. Please Select a Page From the Drop-Down and Set it as Your Front-End Page.");
const QString kUnknownDownload =
    QStringLiteral("Unknown. Please Select a Page From the Drop-Down and Set it as Your Download Page.");

const QByteArray kDoctypePage =
    "<!DOCTYPE html>\n<html><head><title>Offer</title></head><body><p>Buy</p></body></html>\n";
const QString kEditedRoot =
    QStringLiteral("<html><head><title>Offer</title></head><body><p>Buy#FRONT#</p></body></html>");

// What the model asks of the window and the view, in order.
QStringList* recordRequests(PageWorkspace& ws, QObject* context)
{
    auto* log = new QStringList;
    QObject::connect(&ws, &PageWorkspace::editingChanged, context,
                     [log](bool editing) { *log << (editing ? "editing" : "viewing"); });
    QObject::connect(&ws, &PageWorkspace::showPage, context,
                     [log](const QString& path) { *log << "show " + path; });
    QObject::connect(&ws, &PageWorkspace::rootMarkupWanted, context, [log] { *log << "markup"; });
    QObject::connect(&ws, &PageWorkspace::designModeEnded, context, [log] { *log << "design mode off"; });
    return log;
}

} // namespace

class PageWorkspaceTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_tmp;
    Folders m_folders;
    ScriptedPrompter m_prompter;
    RecordingOpener m_opener;
    std::unique_ptr<PageWorkspace> m_ws;

    QString tmpPath(const QString& rel) const { return QDir(m_tmp->path()).filePath(rel); }
    QString working(const QString& name) const { return QDir(m_folders.workingFolder).filePath(name); }

    // A site with two pages at its top level and an image below.
    QString makeSite(const QString& name, const QStringList& pages = {"index.html", "download.htm"})
    {
        const QString site = tmpPath(name);
        for (const QString& page : pages)
            writeFile(QDir(site).filePath(page));
        writeFile(QDir(site).filePath("images/cover.png"), "png");
        return site;
    }

    void loadTyped(const QString& folder)
    {
        m_prompter.textAnswers.push_back(folder);
        m_ws->loadUsingLocation();
        m_ws->refreshPageList();
    }

    // Saves markup into the page of the given name through edit mode and the alternative save,
    // as the editor does.
    void saveEdited(const QString& name, const QString& markup)
    {
        writeFile(m_folders.saveMarker, "Text1");
        m_ws->setCurrentText(working(name));
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->toggleEditMode();
        QVERIFY(m_ws->editing());
        m_prompter.yesNoAnswers.push_back(true);
        m_ws->toggleEditMode();
        m_ws->saveEditedMarkup(markup);
        QVERIFY(!m_ws->editing());
        QVERIFY(QFile::remove(m_folders.saveMarker));
        QVERIFY2(readFile(working(name)).contains(markup.toUtf8()), readFile(working(name)).constData());
        m_prompter.exchanges.clear();
    }

    // A site whose pages start with a doctype, loaded, with "#FRONT#" saved into its index page.
    QString loadSiteAndEditIndex()
    {
        const QString site = makeSite("site", {"index.html", "download.html"});
        writeFile(QDir(site).filePath("index.html"), kDoctypePage);
        [&] {
            QVERIFY(m_ws->start());
            loadTyped(site);
            saveEdited("index.html", kEditedRoot);
        }();
        return site;
    }

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/vantor ws XXXXXX");
        const QDir install(tmpPath("install"));
        QDir().mkpath(install.path());
        m_folders = Folders::selfContained(install.path());
        m_prompter = {};
        m_opener = {};
        m_ws = std::make_unique<PageWorkspace>(m_folders, m_prompter, m_opener);
    }

    void startEmptiesWorkingFolderAndMakesOutput()
    {
        writeFile(working("old/index.html"));
        writeFile(QDir(m_folders.outputFolder).filePath("earlier.zip"), "zip");
        QVERIFY(m_ws->start());
        QVERIFY(QFileInfo(m_folders.workingFolder).isDir());
        QCOMPARE(entries(m_folders.workingFolder), QStringList());
        QCOMPARE(entries(m_folders.outputFolder), QStringList{"earlier.zip"});
        QVERIFY(m_ws->pages().isEmpty());
        QVERIFY(!m_ws->pageListEnabled());
        QVERIFY(m_prompter.exchanges.isEmpty());
    }

    void startMakesMissingFolders()
    {
        QVERIFY(m_ws->start());
        QVERIFY(QFileInfo(m_folders.workingFolder).isDir());
        QVERIFY(QFileInfo(m_folders.outputFolder).isDir());
    }

    void startFailsWhenOutputCannotBeMade()
    {
        writeFile(m_folders.outputFolder, "a file where the folder belongs");
        QVERIFY(!m_ws->start());
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Error"));
        QVERIFY2(m_prompter.exchanges[0].text.contains(QDir::toNativeSeparators(m_folders.outputFolder)),
                 qPrintable(m_prompter.exchanges[0].text));
    }

    void loadByFolderSelector_data()
    {
        QTest::addColumn<QString>("answer"); // a site name below the temporary folder, or "" for Cancel
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QStringList>("expectedTexts");
        QTest::addColumn<bool>("loaded");
        const QString prompt = "Select a Folder with HTM/HTML Files";
        QTest::newRow("cancelled") << "" << QStringList() << QStringList{kReminder, prompt} << false;
        QTest::newRow("pages only in a subfolder")
            << "nested" << QStringList{"sub/index.html"} << QStringList{kReminder, prompt, kNoHtml} << false;
        QTest::newRow("other files only") << "other" << QStringList{"readme.txt", "page.html.bak"}
                                          << QStringList{kReminder, prompt, kNoHtml} << false;
        QTest::newRow("two pages") << "site" << QStringList{"index.html", "download.htm"}
                                   << QStringList{kReminder, prompt} << true;
        QTest::newRow("upper-case extension")
            << "upper" << QStringList{"INDEX.HTML"} << QStringList{kReminder, prompt} << true;
    }

    void loadByFolderSelector()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, pages);
        QFETCH(QStringList, expectedTexts);
        QFETCH(bool, loaded);
        QVERIFY(m_ws->start());
        writeFile(working("earlier.html"));
        m_prompter.folderAnswers.push_back(answer.isEmpty() ? QString() : makeSite(answer, pages));

        m_ws->loadUsingBrowser();

        QCOMPARE(m_prompter.texts(), expectedTexts);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Reminder"));
        if (expectedTexts.size() == 3)
            QCOMPARE(m_prompter.exchanges[2].title, QString("No HTML Files"));
        QCOMPARE(m_ws->pageListEnabled(), loaded);
        QStringList expectedEntries{"earlier.html"};
        if (loaded)
            expectedEntries = QStringList(pages) << "images";
        expectedEntries.sort(Qt::CaseInsensitive);
        QStringList actual = entries(m_folders.workingFolder);
        actual.sort(Qt::CaseInsensitive);
        QCOMPARE(actual, expectedEntries);
    }

    // A listing that fails goes on without the user hearing of it, so the log has it: once, not
    // at every poll.
    void aFailedListingIsLoggedOnce()
    {
        const QString gone = tmpPath("gone");
        const QRegularExpression said("^Page list incomplete: Cannot list the folder '" +
                                      QRegularExpression::escape(gone) + "': .+");
        QTest::ignoreMessage(QtWarningMsg, said);
        QCOMPARE(ListPages(gone), QStringList());
        QTest::failOnWarning(said);
        QCOMPARE(ListPages(gone), QStringList());
    }

    void loadFillsListAtNextRefresh()
    {
        QVERIFY(m_ws->start());
        QSignalSpy shown(m_ws.get(), &PageWorkspace::showPage);
        m_prompter.folderAnswers.push_back(makeSite("site", {"b.html", "a.htm", "c.txt"}));
        m_ws->loadUsingBrowser();
        QVERIFY(m_ws->pages().isEmpty()); // the refresh fills it, not the load
        QVERIFY(QFile::exists(working("images/cover.png")));

        m_ws->refreshPageList();
        QCOMPARE(m_ws->pages(), (QStringList{working("a.htm"), working("b.html")}));
        QCOMPARE(m_ws->currentText(), working("b.html"));
        QVERIFY(m_ws->editEnabled());
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0][0].toString(), working("b.html"));
    }

    void loadByTypedPath_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("noHtmlMessage");
        QTest::newRow("cancelled") << "" << false;
        QTest::newRow("not a folder") << "/no/such/folder" << true;
        QTest::newRow("a file") << "FILE" << true;
    }

    void loadByTypedPath()
    {
        QFETCH(QString, typed);
        QFETCH(bool, noHtmlMessage);
        QVERIFY(m_ws->start());
        loadTyped(makeSite("first"));
        const QStringList before = m_ws->pages();
        m_prompter.exchanges.clear();
        if (typed == "FILE")
            typed = working("index.html");

        loadTyped(typed);

        QCOMPARE(m_prompter.exchanges[0].title, QString("Reminder"));
        QCOMPARE(m_prompter.exchanges[1].title, QString("Enter Path"));
        QCOMPARE(m_prompter.exchanges[1].text,
                 QString("Please enter the full path (local) of an HTML folder"));
        QCOMPARE(m_prompter.exchanges.size(), noHtmlMessage ? 3 : 2);
        if (noHtmlMessage) {
            QCOMPARE(m_prompter.exchanges[2].title, QString("No HTML Files"));
            QCOMPARE(m_prompter.exchanges[2].text, kNoHtml);
        }
        QCOMPARE(m_ws->pages(), before);
        QVERIFY(QFile::exists(working("images/cover.png")));
    }

    // The folder selector reads a name that is not UTF-8 with U+FFFD in it: a path to nothing.
    void loadNamesAFolderWhoseNameIsNotUtf8()
    {
        QVERIFY(m_ws->start());
        const QByteArray raw = QFile::encodeName(m_tmp->path()) + "/caf\xe9";
        QCOMPARE(::mkdir(raw.constData(), 0755), 0);
        QCOMPARE(::close(::creat(raw + "/index.html", 0644)), 0);
        m_prompter.folderAnswers.push_back(QFile::decodeName(raw));

        m_ws->loadUsingBrowser();

        QCOMPARE(m_prompter.exchanges.size(), 3);
        QCOMPARE(m_prompter.exchanges[2].title, QString("Wrong Folder"));
        QCOMPARE(m_prompter.exchanges[2].text,
                 "The folder '" + QFile::decodeName(raw) +
                     "' cannot be read: its name is not valid UTF-8. Please rename it, then load it again.");
        QVERIFY(!m_ws->pageListEnabled());
        QCOMPARE(::unlink(raw + "/index.html") + ::rmdir(raw.constData()), 0); // Qt cannot name them
    }

    void loadRefusesFoldersOverlappingTheWorkingFolder_data()
    {
        QTest::addColumn<QString>("which");
        QTest::newRow("the working folder") << "working";
        QTest::newRow("inside the working folder") << "inside";
        QTest::newRow("the installation folder") << "install";
    }

    void loadRefusesFoldersOverlappingTheWorkingFolder()
    {
        QFETCH(QString, which);
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        writeFile(working("inside/page.html"));
        writeFile(QDir(m_folders.installFolder).filePath("page.html"));
        const QStringList before = entries(m_folders.workingFolder);
        m_prompter.exchanges.clear();
        const QString folder = which == "working"  ? m_folders.workingFolder + "/."
                               : which == "inside" ? working("inside")
                                                   : m_folders.installFolder;

        loadTyped(folder);

        QCOMPARE(m_prompter.exchanges.size(), 3);
        QCOMPARE(m_prompter.exchanges[2].title, QString("Wrong Folder"));
        QVERIFY(m_prompter.exchanges[2].text.contains("working folder"));
        QCOMPARE(entries(m_folders.workingFolder), before);
        QVERIFY(m_ws->pageListEnabled());
    }

    void failedCopyLeavesNothingLoaded()
    {
        // A destination path longer than the system allows, while the source path is not.
        const QString longName(200, QLatin1Char('d'));
        QString deep = tmpPath("s");
        writeFile(QDir(deep).filePath("index.html"));
        while (deep.size() < 3700)
            deep = QDir(deep).filePath(longName);
        writeFile(QDir(deep).filePath("x.txt"), "x");
        const QDir install(tmpPath(QString(250, QLatin1Char('i'))));
        QVERIFY(QDir().mkpath(install.path()));
        m_folders = Folders::selfContained(install.path());
        m_ws = std::make_unique<PageWorkspace>(m_folders, m_prompter, m_opener);
        QVERIFY(m_ws->start());
        loadTyped(makeSite("first"));
        m_ws->setRole(PageRoles::FrontEnd);
        m_prompter.exchanges.clear();
        m_ws->setLoadFeedback(0, 0);
        QSignalSpy busy(m_ws.get(), &PageWorkspace::loadBusyChanged);

        loadTyped(tmpPath("s"));

        // The busy state ends with the copy, however it ends.
        QCOMPARE(busy.size(), 2);
        QCOMPARE(busy[1][0].toBool(), false);
        QVERIFY(!m_ws->loading());

        QCOMPARE(m_prompter.exchanges.size(), 3);
        QCOMPARE(m_prompter.exchanges[2].title, QString("Error"));
        QVERIFY2(m_prompter.exchanges[2].text.contains("nothing was loaded") &&
                     m_prompter.exchanges[2].text.contains(longName),
                 qPrintable(m_prompter.exchanges[2].text.left(300)));
        QCOMPARE(entries(m_folders.workingFolder), QStringList());
        QVERIFY(!m_ws->pageListEnabled());
        QVERIFY(m_ws->pages().isEmpty());
        QVERIFY(!m_ws->roles().assigned(PageRoles::FrontEnd));
    }

    void everyLoadRefillsWhateverTheCount()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("a", {"one.html", "two.html"}));
        m_ws->setRole(PageRoles::FrontEnd);
        loadTyped(makeSite("b", {"three.html", "four.html"}));
        QCOMPARE(m_ws->pages(), (QStringList{working("four.html"), working("three.html")}));
        QVERIFY(!m_ws->roles().assigned(PageRoles::FrontEnd));
    }

    void periodicRefreshFollowsFolderAndCountOnly()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site", {"index.html", "download.html"}));
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->setRole(PageRoles::Download);
        QSignalSpy shown(m_ws.get(), &PageWorkspace::showPage);

        // Same count: a renamed page and a new file of another kind do not refill.
        QVERIFY(QFile::rename(working("index.html"), working("start.html")));
        writeFile(working("notes.txt"));
        m_ws->refreshPageList();
        QCOMPARE(m_ws->pages(), (QStringList{working("download.html"), working("index.html")}));
        QVERIFY(m_ws->roles().assigned(PageRoles::FrontEnd));
        QCOMPARE(shown.size(), 0);

        // Another count refills, shows the last page and clears both roles.
        writeFile(working("zeta.html"));
        m_ws->refreshPageList();
        QCOMPARE(m_ws->pages(),
                 (QStringList{working("download.html"), working("start.html"), working("zeta.html")}));
        QCOMPARE(m_ws->currentText(), working("zeta.html"));
        QCOMPARE(shown.size(), 1);
        QVERIFY(!m_ws->roles().assigned(PageRoles::FrontEnd));
        QVERIFY(!m_ws->roles().assigned(PageRoles::Download));
    }

    void deletingEveryPageDisablesButKeepsItems()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site", {"index.html", "download.html"}));
        const QStringList listed = m_ws->pages();
        QVERIFY(m_ws->pageListEnabled());
        QVERIFY(QFile::remove(working("index.html")));
        QVERIFY(QFile::remove(working("download.html")));

        m_ws->refreshPageList();
        QVERIFY(!m_ws->editEnabled());
        QVERIFY(!m_ws->pageListEnabled());
        QCOMPARE(m_ws->pages(), listed);

        // Pages back in another count: "Edit Page" returns and the list refills, still disabled.
        writeFile(working("new.html"));
        m_ws->refreshPageList();
        QVERIFY(m_ws->editEnabled());
        QVERIFY(!m_ws->pageListEnabled());
        QCOMPARE(m_ws->pages(), QStringList{working("new.html")});
    }

    void drops_data()
    {
        QTest::addColumn<bool>("onList");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("window, two files") << false << QStringList{"/x/a.html", "/y/b.txt"};
        QTest::newRow("list, two files") << true << QStringList{"/x/a.html", "/y/folder"};
        QTest::newRow("window, nothing") << false << QStringList();
    }

    void drops()
    {
        QFETCH(bool, onList);
        QFETCH(QStringList, paths);
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        m_ws->setRole(PageRoles::Download);
        QSignalSpy shown(m_ws.get(), &PageWorkspace::showPage);

        onList ? m_ws->dropOnPageList(paths) : m_ws->dropOnWindow(paths);

        QCOMPARE(m_ws->pages(), paths);
        const bool selects = !onList && !paths.isEmpty();
        QCOMPARE(m_ws->currentText(), selects ? paths.last() : QString());
        QCOMPARE(shown.size(), selects ? 1 : 0);
        QVERIFY(m_ws->roles().assigned(PageRoles::Download)); // a drop is no refill
        // Nor does the next tick refill: the working folder did not change.
        m_ws->refreshPageList();
        QCOMPARE(m_ws->pages(), paths);
    }

    void roles()
    {
        QSignalSpy status(m_ws.get(), &PageWorkspace::statusMessage);
        QVERIFY(m_ws->start());
        QCOMPARE(m_ws->roles().label(PageRoles::FrontEnd), kUnknownFront);
        QCOMPARE(m_ws->roles().label(PageRoles::Download), kUnknownDownload);

        // Nothing loaded: both set commands refuse.
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->setRole(PageRoles::Download);
        QCOMPARE(m_prompter.texts(), QStringList(2, "Please select a folder with HTML files."));
        QCOMPARE(m_prompter.exchanges[0].title, QString("Missing Info"));
        QVERIFY(!m_ws->roles().assigned(PageRoles::FrontEnd));
        QCOMPARE(status.size(), 0);

        loadTyped(makeSite("site"));
        const QString page = m_ws->currentText();
        m_ws->setRole(PageRoles::FrontEnd);
        QCOMPARE(status.takeLast()[0].toString(), QString("Page Set as Front-End Page."));
        m_ws->setRole(PageRoles::Download);
        QCOMPARE(status.takeLast()[0].toString(), QString("Page Set as Download Page."));
        for (auto slot : {PageRoles::FrontEnd, PageRoles::Download}) {
            QCOMPARE(m_ws->roles().label(slot), page);
            QVERIFY(m_ws->roles().removeEnabled(slot));
            QVERIFY(!m_ws->roles().setEnabled(slot));
        }

        // A typed text is taken as it stands.
        m_ws->removeRole(0);
        QCOMPARE(m_ws->roles().label(PageRoles::FrontEnd), kUnknownFront);
        QVERIFY(m_ws->roles().setEnabled(PageRoles::FrontEnd));
        QVERIFY(!m_ws->roles().removeEnabled(PageRoles::FrontEnd));
        m_ws->setCurrentText("typed by hand");
        m_ws->setRole(PageRoles::FrontEnd);
        QCOMPARE(m_ws->roles().path(PageRoles::FrontEnd), QString("typed by hand"));

        // Any index but 0 clears the download role.
        m_ws->removeRole(7);
        QCOMPARE(m_ws->roles().label(PageRoles::Download), kUnknownDownload);
        QVERIFY(m_ws->roles().assigned(PageRoles::FrontEnd));
    }

    void editPageChecks()
    {
        QVERIFY(m_ws->start());
        QVERIFY(!m_ws->editPageChecks());
        loadTyped(makeSite("site", {"a.html", "b.html"}));
        QVERIFY(!m_ws->editPageChecks());
        QCOMPARE(m_prompter.exchanges.last().title, QString("Missing Info"));
        m_ws->choosePage(0);
        m_ws->setRole(PageRoles::Download);
        QVERIFY(m_ws->editPageChecks());
        const QStringList texts = m_prompter.texts();
        QCOMPARE(texts.filter("Please add one or more web pages (.htm / .html files) to edit first.").size(),
                 1);
        QCOMPARE(
            texts.filter("Please set this page as your front-end page or your download page first.").size(),
            1);
    }

    void editModeControlStates_data()
    {
        QTest::addColumn<bool>("front");
        QTest::addColumn<bool>("download");
        QTest::newRow("front-end page") << true << false;
        QTest::newRow("download page") << false << true;
        QTest::newRow("both roles on one page") << true << true;
    }

    void editModeControlStates()
    {
        QFETCH(bool, front);
        QFETCH(bool, download);
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        const QString page = m_ws->currentText();
        if (front)
            m_ws->setRole(PageRoles::FrontEnd);
        if (download)
            m_ws->setRole(PageRoles::Download);
        m_prompter.exchanges.clear();
        QObject context;
        std::unique_ptr<QStringList> log(recordRequests(*m_ws, &context));

        m_ws->toggleEditMode();
        QVERIFY(m_ws->editing());
        QCOMPARE(m_ws->editCaption(), QString("Save / Discard Changes"));
        QVERIFY(!m_ws->loadEnabled());
        QVERIFY(!m_ws->pageListEnabled());
        QVERIFY(!m_ws->setRoleEnabled(PageRoles::FrontEnd));
        QVERIFY(!m_ws->setRoleEnabled(PageRoles::Download));
        QCOMPARE(m_ws->roles().removeEnabled(PageRoles::FrontEnd), front);
        // The view learns of edit mode before the load, so it loads the page for editing.
        QCOMPARE(*log, (QStringList{"editing", "show " + page}));

        log->clear();
        m_ws->toggleEditMode(); // no marker: the default method only loads the page again
        QVERIFY(!m_ws->editing());
        QCOMPARE(m_ws->editCaption(), QString("Edit Page"));
        QVERIFY(m_ws->loadEnabled());
        QVERIFY(m_ws->pageListEnabled());
        QCOMPARE(m_ws->setRoleEnabled(PageRoles::FrontEnd), !front);
        QCOMPARE(m_ws->setRoleEnabled(PageRoles::Download), !download);
        QCOMPARE(*log, (QStringList{"viewing", "show " + page}));
        QVERIFY(m_prompter.exchanges.isEmpty());
    }

    void editModeNeedsARolePageBothWays()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        m_ws->toggleEditMode();
        QVERIFY(!m_ws->editing());
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->toggleEditMode();
        QVERIFY(m_ws->editing());

        // Taking the role away frees its set button, and edit mode cannot be left without it.
        m_ws->removeRole(0);
        QVERIFY(m_ws->setRoleEnabled(PageRoles::FrontEnd));
        QVERIFY(!m_ws->setRoleEnabled(PageRoles::Download));
        m_prompter.exchanges.clear();
        m_ws->toggleEditMode();
        QVERIFY(m_ws->editing());
        QCOMPARE(m_prompter.texts(),
                 QStringList{"Please set this page as your front-end page or your download page first."});
        QCOMPARE(m_prompter.exchanges[0].title, QString("Missing Info"));
        m_ws->setRole(PageRoles::Download);
        m_ws->toggleEditMode();
        QVERIFY(!m_ws->editing());
        QVERIFY(m_ws->setRoleEnabled(PageRoles::FrontEnd));
        QVERIFY(!m_ws->setRoleEnabled(PageRoles::Download));
    }

    void alternativeSave_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes writes the markup") << true;
        QTest::newRow("No discards") << false;
    }

    void alternativeSave()
    {
        QFETCH(bool, yes);
        writeFile(m_folders.saveMarker, "Text1");
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        const QString page = m_ws->currentText();
        writeFile(page, kDoctypePage);
        m_ws->setRole(PageRoles::Download);
        m_ws->toggleEditMode();
        m_prompter.exchanges.clear();
        QObject context;
        std::unique_ptr<QStringList> log(recordRequests(*m_ws, &context));

        m_prompter.yesNoAnswers.push_back(yes);
        m_ws->toggleEditMode();
        QVERIFY(!m_ws->editing());
        QCOMPARE(m_prompter.exchanges[0].kind, QString("ask"));
        QCOMPARE(m_prompter.exchanges[0].title, QString("Save"));
        QCOMPARE(m_prompter.exchanges[0].text, QString("Save changes?"));
        QCOMPARE(m_prompter.exchanges[0].icon, MessageIcon::Question);
        if (yes) {
            // Nothing is loaded while the markup is on its way, not even by a refill.
            QCOMPARE(*log, (QStringList{"viewing", "markup"}));
            QVERIFY(m_ws->savingEdits());
            writeFile(working("zz-new.html"));
            m_ws->refreshPageList();
            QCOMPARE(m_ws->currentText(), page);
            m_ws->saveEditedMarkup(
                "<html><head><title>Offer</title></head><body><p>Buy#BACK#</p></body></html>");
        }
        QVERIFY(!m_ws->savingEdits());
        QCOMPARE(m_prompter.exchanges.size(), 2);
        QCOMPARE(m_prompter.exchanges[1].kind, QString("inform"));
        QCOMPARE(m_prompter.exchanges[1].title, QString("Done"));
        QCOMPARE(m_prompter.exchanges[1].text, QString("Done!"));
        QCOMPARE(log->mid(log->size() - 2), (QStringList{"design mode off", "show " + page}));
        const QByteArray onDisk = readFile(page);
        if (yes) {
            QVERIFY2(onDisk.startsWith("<!DOCTYPE html>\n<html><head>"), onDisk.constData());
            QVERIFY(onDisk.contains("<p>Buy#BACK#</p>"));
        } else {
            QCOMPARE(onDisk, kDoctypePage);
            QVERIFY(!log->contains("markup"));
        }
    }

    void alternativeSaveFailureKeepsTheEdits_data()
    {
        QTest::addColumn<bool>("vanish");
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("reason");
        const QString markup = "<html><body>Buy#FRONT#</body></html>";
        QTest::newRow("read-only") << false << markup << "read-only";
        QTest::newRow("vanished") << true << markup << "No such file";
        QTest::newRow("nothing came back") << false << QString() << "could not be read back";
    }

    void alternativeSaveFailureKeepsTheEdits()
    {
        QFETCH(bool, vanish);
        QFETCH(QString, markup);
        QFETCH(QString, reason);
        writeFile(m_folders.saveMarker, "Text1");
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        const QString page = m_ws->currentText();
        writeFile(page, kDoctypePage);
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->toggleEditMode();
        if (vanish)
            QVERIFY(QFile::remove(page));
        else
            QVERIFY(QFile::setPermissions(page, QFile::ReadOwner | QFile::ReadGroup));
        m_prompter.exchanges.clear();
        QObject context;
        std::unique_ptr<QStringList> log(recordRequests(*m_ws, &context));

        m_prompter.yesNoAnswers.push_back(true);
        m_ws->toggleEditMode();
        m_ws->saveEditedMarkup(markup);
        QCOMPARE(m_prompter.exchanges.size(), 2);
        const auto report = m_prompter.exchanges[1];
        QCOMPARE(report.title, QString("Error"));
        QCOMPARE(report.icon, MessageIcon::Critical);
        QVERIFY2(report.text.contains(reason), qPrintable(report.text));
        if (!markup.isEmpty())
            QVERIFY2(report.text.contains(page), qPrintable(report.text));
        // Back in edit mode with nothing loaded over the edits.
        QCOMPARE(*log, (QStringList{"viewing", "markup", "editing"}));
        QVERIFY(m_ws->editing());
        QVERIFY(!m_ws->loadEnabled());
        QVERIFY(!m_ws->savingEdits());
        QCOMPARE(QFileInfo::exists(page), !vanish);
        if (!vanish)
            QCOMPARE(readFile(page), kDoctypePage);

        // No now discards them.
        m_prompter.yesNoAnswers.push_back(false);
        m_ws->toggleEditMode();
        QVERIFY(!m_ws->editing());
        QCOMPARE(m_prompter.texts().last(), QString("Done!"));
        QCOMPARE(log->last(), "show " + page);
    }

    void conversionPreCheck_data()
    {
        QTest::addColumn<QByteArray>("front");
        QTest::addColumn<QByteArray>("download");
        QTest::addColumn<QString>("question"); // "" when none is to be asked
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("goesOn");
        const QString tail = ". Please read the user manual for more info. Go ahead without them?";
        const QString head = "The following tags are not present in your pages: ";
        QTest::newRow("both present")
            << QByteArray("<p>#FRONT#</p>") << QByteArray("<!-- #BACK# -->") << "" << false << true;
        QTest::newRow("front missing, yes") << QByteArray("<p>#Front#</p>") << QByteArray("#BACK#")
                                            << head + "#FRONT# " + tail << true << true;
        QTest::newRow("download missing, no")
            << QByteArray("#FRONT#") << QByteArray("#back#") << head + " #BACK# " + tail << false << false;
        QTest::newRow("both missing, no") << QByteArray("") << QByteArray("<a title=\"#BACK\">")
                                          << head + "#FRONT#  #BACK# " + tail << false << false;
    }

    void conversionPreCheck()
    {
        QFETCH(QByteArray, front);
        QFETCH(QByteArray, download);
        QFETCH(QString, question);
        QFETCH(bool, answer);
        QFETCH(bool, goesOn);
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site", {"a.html", "b.html"}));
        writeFile(working("a.html"), front);
        writeFile(working("b.html"), download);
        m_ws->choosePage(0);
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->choosePage(1);
        m_ws->setRole(PageRoles::Download);
        m_prompter.exchanges.clear();
        m_prompter.yesNoAnswers.push_back(answer);

        QCOMPARE(m_ws->conversionPreCheck(), goesOn);
        QCOMPARE(m_prompter.texts(), question.isEmpty() ? QStringList() : QStringList{question});
        if (!question.isEmpty()) {
            QCOMPARE(m_prompter.exchanges[0].kind, QString("ask"));
            QCOMPARE(m_prompter.exchanges[0].title, QString("Missing Info"));
            QVERIFY(!m_prompter.exchanges[0].defaultYes); // Enter does not build without the tags
        }
    }

    void changedPagesAreOfferedBeforeALoad_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("Yes writes them back") << Answer::Yes;
        QTest::newRow("No discards them") << Answer::No;
        QTest::newRow("Cancel keeps everything") << Answer::Cancel;
    }

    void changedPagesAreOfferedBeforeALoad()
    {
        QFETCH(Answer, answer);
        const QString site = loadSiteAndEditIndex();
        const auto siteBefore = fingerprint(site);
        const QByteArray edited = readFile(working("index.html"));
        const QString other = makeSite("other", {"one.html"});

        m_prompter.choiceAnswers.push_back(answer);
        loadTyped(other);

        QCOMPARE(m_prompter.exchanges[2].kind, QString("choose"));
        QCOMPARE(m_prompter.exchanges[2].title, QString("Changed Pages"));
        const QString question = m_prompter.exchanges[2].text;
        QVERIFY2(question.contains(QDir::toNativeSeparators(site)) &&
                     question.contains("\u2022 index.html") && !question.contains("download.html"),
                 qPrintable(question));
        auto siteAfter = fingerprint(site);
        if (answer == Answer::Yes) {
            // Only the changed page is touched, and it holds exactly the working copy's bytes.
            QCOMPARE(readFile(QDir(site).filePath("index.html")), edited);
            QVERIFY(edited.startsWith("<!DOCTYPE html>\n<html><head>"));
            siteAfter.remove("index.html");
            auto expected = siteBefore;
            expected.remove("index.html");
            QCOMPARE(siteAfter, expected);
            QCOMPARE(m_prompter.exchanges[3].title, QString("Done"));
            QVERIFY2(m_prompter.exchanges[3].text.contains("\u2022 index.html"),
                     qPrintable(m_prompter.exchanges[3].text));
        } else {
            QCOMPARE(siteAfter, siteBefore);
        }
        if (answer == Answer::Cancel) {
            QCOMPARE(m_prompter.exchanges.size(), 3);
            QCOMPARE(readFile(working("index.html")), edited);
            QCOMPARE(m_ws->pages(), (QStringList{working("download.html"), working("index.html")}));
            QVERIFY(m_ws->roles().assigned(PageRoles::FrontEnd));
            return;
        }
        QCOMPARE(m_ws->pages(), QStringList{working("one.html")});

        // The site loaded again shows the page as it was left: with the tag after Yes.
        m_prompter.exchanges.clear();
        loadTyped(site);
        QCOMPARE(m_prompter.exchanges.size(), 2); // nothing changed in "other", nothing asked
        QCOMPARE(readFile(working("index.html")).contains("Buy#FRONT#"), answer == Answer::Yes);
    }

    void failedWriteBackKeepsTheWorkingCopy_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only in the site") << "read-only"
                                               << "index.html: the file in the site folder is read-only";
        QTest::newRow("changed by another program")
            << "changed"
            << "index.html: the file in the site folder was changed by another program";
        QTest::newRow("gone from the site") << "removed"
                                            << "index.html: the file is no longer in the site folder";
    }

    void failedWriteBackKeepsTheWorkingCopy()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        const QString site = loadSiteAndEditIndex();
        // A second changed page that can be written back is, and the report names both.
        writeFile(working("download.html"), "<html><body>#BACK#</body></html>");
        const QString sitePage = QDir(site).filePath("index.html");
        if (fault == "read-only")
            QVERIFY(QFile::setPermissions(sitePage, QFile::ReadOwner | QFile::ReadGroup));
        else if (fault == "changed")
            writeFile(sitePage, "<html>the author's own change</html>");
        else
            QVERIFY(QFile::remove(sitePage));
        const auto siteBefore = fingerprint(site);
        const QByteArray edited = readFile(working("index.html"));
        const QStringList pages = m_ws->pages();

        m_prompter.choiceAnswers.push_back(Answer::Yes);
        loadTyped(makeSite("other", {"one.html"}));

        // A page changed there is offered to be saved beside it; nothing queued answers No.
        const bool changedThere = fault == "changed";
        QCOMPARE(m_prompter.exchanges.size(), changedThere ? 5 : 4);
        if (changedThere)
            QCOMPARE(m_prompter.exchanges[3].title, QString("Page Changed Elsewhere"));
        const auto report = m_prompter.exchanges.last();
        QCOMPARE(report.title, QString("Error"));
        QCOMPARE(report.icon, MessageIcon::Critical);
        QVERIFY2(report.text.contains(reason) &&
                     report.text.contains("These were written back:\n\u2022 download.html"),
                 qPrintable(report.text));
        // Nothing loaded, the working copy as it was, and in the site only the page that could go.
        QCOMPARE(m_ws->pages(), pages);
        QCOMPARE(readFile(working("index.html")), edited);
        auto siteAfter = fingerprint(site);
        QCOMPARE(readFile(QDir(site).filePath("download.html")),
                 QByteArray("<html><body>#BACK#</body></html>"));
        siteAfter.remove("download.html");
        auto expected = siteBefore;
        expected.remove("download.html");
        QCOMPARE(siteAfter, expected);

        // Asked again, only the page still to go is named; No then discards it and loads.
        m_prompter.exchanges.clear();
        m_prompter.choiceAnswers.push_back(Answer::No);
        loadTyped(makeSite("other", {"one.html"}));
        QVERIFY2(m_prompter.exchanges[2].text.contains("\u2022 index.html") &&
                     !m_prompter.exchanges[2].text.contains("download.html"),
                 qPrintable(m_prompter.exchanges[2].text));
        QCOMPARE(m_ws->pages(), QStringList{working("one.html")});
    }

    void closingOffersTheChangedPages()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("untouched"));
        QVERIFY(m_ws->keepEditedPages(PageWorkspace::Ending::Close)); // nothing changed: nothing asked
        QVERIFY(m_prompter.exchanges.size() == 2);

        const QString site = loadSiteAndEditIndex();
        QVERIFY(!m_ws->keepEditedPages(PageWorkspace::Ending::Close)); // nothing queued: Cancel
        QVERIFY(m_prompter.exchanges[0].text.contains("the program stays open"));
        m_prompter.choiceAnswers.push_back(Answer::Yes);
        QVERIFY(m_ws->keepEditedPages(PageWorkspace::Ending::Close));
        QVERIFY(readFile(QDir(site).filePath("index.html")).contains("Buy#FRONT#"));
        // Written back, the pages count as loaded: closing again asks nothing.
        m_prompter.exchanges.clear();
        QVERIFY(m_ws->keepEditedPages(PageWorkspace::Ending::Close));
        QVERIFY(m_prompter.exchanges.isEmpty());
    }

    // A page whose file in the site already holds the edit (the same change made there) is
    // neither written again nor offered again.
    void aPageTheSiteAlreadyHoldsIsNotOfferedAgain()
    {
        const QString site = loadSiteAndEditIndex();
        writeFile(QDir(site).filePath("index.html"), readFile(working("index.html")));
        const auto siteBefore = fingerprint(site);
        m_prompter.choiceAnswers.push_back(Answer::Yes);
        QVERIFY(m_ws->keepEditedPages(PageWorkspace::Ending::Close));
        QCOMPARE(m_prompter.exchanges.size(), 1); // the question, and no "Done": nothing was written
        QCOMPARE(fingerprint(site), siteBefore);

        m_prompter.exchanges.clear();
        loadTyped(makeSite("other", {"one.html"}));
        QCOMPARE(m_prompter.exchanges.size(), 2); // the reminder and the path: no question
        QCOMPARE(m_ws->pages(), QStringList{working("one.html")});
    }

    void leavingEditModeToCloseOrConvert_data()
    {
        QTest::addColumn<bool>("marker");
        QTest::newRow("the view's offer") << false;
        QTest::newRow("save.alt") << true;
    }

    // Closing or converting while editing offers the save of the active method with Cancel
    // besides; only a save or a discard lets the close or the conversion go on.
    void leavingEditModeToCloseOrConvert()
    {
        QFETCH(bool, marker);
        if (marker)
            writeFile(m_folders.saveMarker, "Text1");
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site", {"index.html", "download.html"}));
        writeFile(working("index.html"), kDoctypePage);
        writeFile(working("download.html"), "<html><body>#BACK#</body></html>");
        m_ws->choosePage(0);
        m_ws->setRole(PageRoles::Download);
        m_ws->choosePage(1);
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->toggleEditMode();
        m_prompter.exchanges.clear();
        QSignalSpy left(m_ws.get(), &PageWorkspace::leftEditingFor);
        QSignalSpy shown(m_ws.get(), &PageWorkspace::showPage);

        // Cancel keeps edit mode; with the view's offer it is the view that asks and answers.
        m_prompter.choiceAnswers.push_back(Answer::Cancel);
        m_ws->leaveEditModeThen(PageWorkspace::AfterEditing::Close);
        if (!marker) {
            QCOMPARE(shown.size(), 1);
            QVERIFY(!m_ws->editing());
            QCOMPARE(m_ws->afterEditing(), PageWorkspace::AfterEditing::Close);
            m_ws->pageLeft(false);
        } else {
            QCOMPARE(m_prompter.exchanges.last().kind, QString("choose"));
            QCOMPARE(m_prompter.exchanges.last().text, QString("Save changes?"));
        }
        QVERIFY(m_ws->editing());
        QCOMPARE(m_ws->afterEditing(), PageWorkspace::AfterEditing::Nothing);
        m_ws->pageLeft(true); // a later load of the view does not close
        QCOMPARE(left.size(), 0);

        // Yes saves, and only then does the conversion go on, finding the tag in the saved page.
        shown.clear();
        m_prompter.choiceAnswers.push_back(Answer::Yes);
        m_ws->leaveEditModeThen(PageWorkspace::AfterEditing::Convert);
        if (marker)
            m_ws->saveEditedMarkup(kEditedRoot);
        else
            writeFile(working("index.html"), kEditedRoot.toUtf8()); // the view's save
        QCOMPARE(shown.size(), 1);
        QCOMPARE(left.size(), 0);
        m_ws->pageLeft(true);
        QCOMPARE(left.size(), 1);
        QCOMPARE(left[0][0].value<PageWorkspace::AfterEditing>(), PageWorkspace::AfterEditing::Convert);
        QVERIFY(!m_ws->editing());
        m_prompter.exchanges.clear();
        QVERIFY(m_ws->conversionPreCheck());
        QVERIFY(m_prompter.exchanges.isEmpty());
    }

    // The sign beside each role says what the pre-check will find: it follows the roles, a save,
    // and changes on disk seen by the periodic refresh.
    void markerStatesFollowRolesSavesAndTheDisk()
    {
        using State = PageWorkspace::MarkerState;
        writeFile(m_folders.saveMarker, "Text1");
        const QString site = makeSite("site", {"download.html", "index.html"});
        writeFile(QDir(site).filePath("index.html"), "<p>Buy #FRONT# now</p>");
        writeFile(QDir(site).filePath("download.html"), "<p>Get it: #back#</p>"); // the check is exact
        QVERIFY(m_ws->start());
        loadTyped(site);
        QSignalSpy changed(m_ws.get(), &PageWorkspace::markersChanged);
        QCOMPARE(m_ws->markerState(PageRoles::FrontEnd), State::NoRole);

        m_ws->choosePage(1);
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->choosePage(0);
        m_ws->setRole(PageRoles::Download);
        QCOMPARE(m_ws->markerState(PageRoles::FrontEnd), State::Present);
        QCOMPARE(m_ws->markerState(PageRoles::Download), State::Missing);
        QCOMPARE(changed.size(), 2);

        // Saved with its marker: known at once, without waiting for a refresh.
        m_ws->toggleEditMode();
        m_prompter.yesNoAnswers.push_back(true);
        m_ws->toggleEditMode();
        m_ws->saveEditedMarkup("<html><body><p>Get it: #BACK#</p></body></html>");
        QCOMPARE(m_ws->markerState(PageRoles::Download), State::Present);

        // Changed and then removed outside the program: the next refresh sees it.
        writeFile(working("index.html"), "<p>Buy now</p>");
        m_ws->refreshPageList();
        QCOMPARE(m_ws->markerState(PageRoles::FrontEnd), State::Missing);
        QVERIFY(QFile::rename(working("index.html"), working("start.html"))); // the same count: no refill
        m_ws->refreshPageList();
        QCOMPARE(m_ws->markerState(PageRoles::FrontEnd), State::Unreadable);
        QVERIFY2(m_ws->markerProblem(PageRoles::FrontEnd).contains(working("index.html")),
                 qPrintable(m_ws->markerProblem(PageRoles::FrontEnd)));
        const qsizetype before = changed.size();
        m_ws->refreshPageList();
        QCOMPARE(changed.size(), before); // nothing new, nothing said

        // A refill takes the roles, and with them the signs.
        writeFile(working("other.html"));
        m_ws->refreshPageList();
        QCOMPARE(m_ws->markerState(PageRoles::FrontEnd), State::NoRole);
        QCOMPARE(m_ws->markerState(PageRoles::Download), State::NoRole);
    }

    // Links to pages of the list are the window's test; here, where every other link goes.
    void linksLeavingThePagesGoToTheDesktop_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("handedOut");  // given to the desktop's programs
        QTest::addColumn<QString>("refusal"); // part of the message, "" for none
        QTest::newRow("other file of the site") << "site:images/cover.png" << true << "";
        QTest::newRow("mail address") << "mailto:help@example.com" << true << "";
        QTest::newRow("file outside the site")
            << "outside:elsewhere.html" << false << "which is not part of the loaded site";
        QTest::newRow("other scheme") << "ftp://example.com/file" << false << "cannot be opened from here";
        QTest::newRow("no browser") << "https://example.com/" << true << "No program could be started";
    }

    void linksLeavingThePagesGoToTheDesktop()
    {
        QFETCH(QString, link);
        QFETCH(bool, handedOut);
        QFETCH(QString, refusal);
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        QUrl url(link);
        if (link.startsWith("site:"))
            url = QUrl::fromLocalFile(working(link.mid(5)));
        else if (link.startsWith("outside:"))
            url = QUrl::fromLocalFile(tmpPath(link.mid(8)));
        m_opener.fails = QTest::currentDataTag() == QLatin1String("no browser");
        m_prompter.exchanges.clear();

        m_ws->followLink(url);

        QCOMPARE(m_ws->currentText(), working("index.html"));
        QCOMPARE(m_opener.links, handedOut ? QList<QUrl>{url} : QList<QUrl>{});
        QCOMPARE(m_prompter.exchanges.size(), refusal.isEmpty() ? 0 : 1);
        if (!refusal.isEmpty()) {
            QCOMPARE(m_prompter.exchanges[0].title, QString("Link Not Opened"));
            QVERIFY2(m_prompter.exchanges[0].text.contains(refusal),
                     qPrintable(m_prompter.exchanges[0].text));
        }

        // While a page is being edited, links lead nowhere.
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->toggleEditMode();
        m_opener.links.clear();
        m_prompter.exchanges.clear();
        m_ws->followLink(url);
        QVERIFY(m_opener.links.isEmpty() && m_prompter.exchanges.isEmpty());
    }

    // A page the view went to by itself becomes the page list's text, as the list spells it.
    void theListFollowsThePageOnScreen()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        m_ws->pageShownByView(m_folders.workingFolder + "/images/../download.htm");
        QCOMPARE(m_ws->currentText(), working("download.htm"));
        m_ws->pageShownByView(working("images/cover.png"));
        QCOMPARE(m_ws->currentText(), working("images/cover.png"));
    }

    // A copy that takes a while reports how far it got, and nothing else touches the working
    // folder or the page list until it is done.
    void longCopyReportsProgressAndKeepsOthersOut()
    {
        const QString site = makeSite("site");
        for (int i = 0; i < 20; ++i)
            writeFile(QDir(site).filePath(QString("assets/file%1.txt").arg(i)), "x");
        QVERIFY(m_ws->start());
        m_ws->setLoadFeedback(0, 0);
        QList<qsizetype> counts;
        QList<bool> busy;
        connect(m_ws.get(), &PageWorkspace::loadBusyChanged, this, [&](bool b) { busy << b; });
        connect(m_ws.get(), &PageWorkspace::loadProgress, this, [&](qsizetype copied) {
            counts << copied;
            QVERIFY(m_ws->loading());
            // What the timer and a drop would do meanwhile.
            m_ws->refreshPageList();
            m_ws->dropOnWindow({"/x/dropped.html"});
            QVERIFY(m_ws->pages().isEmpty());
        });
        loadTyped(site);
        QCOMPARE(busy, (QList<bool>{true, false}));
        QCOMPARE(counts.size(), 23); // every file, two pages and the image included
        QCOMPARE(counts.first(), 0);
        QCOMPARE(counts.last(), 22);
        QVERIFY(!m_ws->loading());
        QCOMPARE(m_ws->pages(), (QStringList{working("download.htm"), working("index.html")}));

        // A copy shorter than the moment says nothing.
        busy.clear();
        m_ws->setLoadFeedback(60000, 0);
        loadTyped(site);
        QVERIFY(busy.isEmpty());
    }

    // One page may hold both roles: the check goes on, and says once that the download links
    // stand on the public page.
    void onePageWithBothRolesIsNotedOnce()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site", {"a.html", "b.html"}));
        writeFile(working("a.html"), "<p>#FRONT#</p><p>#BACK#</p>");
        m_ws->choosePage(0);
        m_ws->setRole(PageRoles::FrontEnd);
        m_ws->setRole(PageRoles::Download);
        m_prompter.exchanges.clear();
        QVERIFY(m_ws->conversionPreCheck());
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Important"));
        QVERIFY2(m_prompter.exchanges[0].text.contains("a.html") &&
                     m_prompter.exchanges[0].text.contains("as public as the sales page"),
                 qPrintable(m_prompter.exchanges[0].text));
        QVERIFY(m_ws->conversionPreCheck());
        QCOMPARE(m_prompter.exchanges.size(), 1);
    }

    void conversionPreCheckNeedsBothRoles()
    {
        QVERIFY(m_ws->start());
        loadTyped(makeSite("site"));
        m_ws->setRole(PageRoles::FrontEnd);
        QVERIFY(QFile::remove(m_ws->currentText())); // not read: the missing role stops first
        m_prompter.exchanges.clear();
        QVERIFY(!m_ws->conversionPreCheck());
        QCOMPARE(m_prompter.texts(),
                 QStringList{"Please select your Front-End page and your Download page."});

        m_ws->setRole(PageRoles::Download);
        m_prompter.exchanges.clear();
        QVERIFY(!m_ws->conversionPreCheck());
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Error"));
        QVERIFY(m_prompter.exchanges[0].text.contains(m_ws->currentText()));
    }
};

QTEST_GUILESS_MAIN(PageWorkspaceTest)
#include "page_workspace_test.moc"

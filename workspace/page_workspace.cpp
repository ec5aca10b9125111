#include "workspace/page_workspace.h"

#include "builder/tag_check.h"
#include "builder/work_folder.h"
#include "support/folder_deletion.h"
#include "support/io_error.h"
#include "support/mortar_file.h"
#include "support/mortar_tools.h"
#include "support/paths.h"
#include "workspace/folder_opener.h"
#include "workspace/logging.h"
#include "workspace/markup_save.h"
#include "workspace/page_listing.h"
#include "workspace/prompter.h"
#include "workspace/write_back.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QMap>
#include <QScopeGuard>

#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace workspace {
namespace {

const QString kNoHtmlTitle = QStringLiteral("No HTML Files");
const QString kNoHtmlText =
    QStringLiteral("We could not find .htm or .html files in this folder. Please try with another one.");
const QString kMissingInfo = QStringLiteral("Missing Info");
const QString kLinkNotOpened = QStringLiteral("Link Not Opened");

// "" when the folder exists or could be made; otherwise the system's reason.
QString makeFolder(const QString& folder)
{
    std::error_code ec;
    fs::create_directories(support::ToFsPath(folder), ec);
    if (!ec && QFileInfo(folder).isDir())
        return {};
    return ec ? QString::fromLocal8Bit(ec.message()) : QStringLiteral("a file of that name is in the way");
}

QString bulleted(const QStringList& lines)
{
    return QStringLiteral("\u2022 ") + lines.join(QStringLiteral("\n\u2022 "));
}

// The recovered pages by the folder they belong to, each with what the user should know of it.
QString recoveredList(const QList<RecoveredWork::Page>& pages)
{
    QMap<QString, QStringList> byFolder;
    for (const RecoveredWork::Page& page : pages) {
        const QFileInfo target(page.target);
        QStringList notes;
        if (page.unsaved)
            notes << QStringLiteral("with typing that was not saved");
        if (!page.keptIn.isEmpty())
            notes << QStringLiteral("kept for later at an earlier start");
        QString line = target.fileName();
        if (!notes.isEmpty())
            line += QStringLiteral(" (%1)").arg(notes.join(QStringLiteral(", ")));
        byFolder[QDir::toNativeSeparators(target.absolutePath())] << line;
    }
    QStringList parts;
    for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it)
        parts << QStringLiteral("In the folder '%1':\n%2").arg(it.key(), bulleted(it.value()));
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace

PageWorkspace::PageWorkspace(const Folders& folders, Prompter& prompter, FolderOpener& opener,
                             QObject* parent)
    : PageWorkspace(folders, prompter, parent)
{
    m_opener = &opener;
}

PageWorkspace::PageWorkspace(const Folders& folders, Prompter& prompter, QObject* parent)
    : QObject(parent), m_folders(folders), m_prompter(prompter), m_memory(folders.settingsFile)
{
    m_edited.setRecordFile(RecoveredWork::recordFile(folders));
}

PageWorkspace::~PageWorkspace() = default;

void PageWorkspace::setLoadFeedback(int afterMs, int everyMs)
{
    m_feedbackAfterMs = afterMs;
    m_feedbackEveryMs = everyMs;
}

bool PageWorkspace::start()
{
    const auto fail = [this](const QString& folder, const QString& why) {
        m_prompter.inform(
            QStringLiteral("Error"),
            QStringLiteral("The program cannot start: the folder '%1' cannot be prepared (%2). "
                           "Please make sure that you may write there and that the disk is not full.")
                .arg(QDir::toNativeSeparators(folder), why),
            MessageIcon::Critical);
        return false;
    };
    if (const QString problem = makeFolder(m_folders.dataFolder); !problem.isEmpty())
        return fail(m_folders.dataFolder, problem);
    if (!lockWorkingFolder()) {
        if (m_runningElsewhere)
            return false;
        return fail(m_folders.dataFolder, QStringLiteral("its lock file '%1' cannot be made")
                                              .arg(QDir::toNativeSeparators(m_folders.workingLock)));
    }
    emit workingFolderTaken();
    if (!offerRecoveredWork())
        return false;
    // Whatever the answer, the old copy's edits are written back, kept or discarded by now.
    m_edited.clear();
    RecoveredWork::dropTyping(m_folders);
    if (const QString problem = clearWorkingFolder(); !problem.isEmpty())
        return fail(m_folders.workingFolder, problem);
    // The first load would make it, but a folder that cannot be made is better found now.
    if (const QString problem = makeFolder(m_folders.workingFolder); !problem.isEmpty())
        return fail(m_folders.workingFolder, problem);
    if (!support::MortarTools::PathExists(m_folders.outputFolder, true)) {
        if (const QString problem = makeFolder(m_folders.outputFolder); !problem.isEmpty())
            return fail(m_folders.outputFolder, problem);
    }
    // What a killed build left behind; one that cannot go now is tried again by the next build,
    // which reports it.
    for (const QString& warning : builder::RemoveAbandonedWorkFolders(m_folders.outputFolder))
        qCWarning(lcWorkspace).noquote() << "At start:" << warning;
    return true;
}

bool PageWorkspace::lockWorkingFolder()
{
    m_lock = std::make_unique<QLockFile>(m_folders.workingLock);
    // Held for the whole run: only a dead holder makes a lock stale, never its age.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    m_runningElsewhere = m_lock->error() == QLockFile::LockFailedError;
    m_lock.reset();
    return false;
}

void PageWorkspace::tellRunningElsewhere()
{
    m_prompter.inform(QStringLiteral("Already Running"),
                      QStringLiteral("Vantor is already running. Please use its window: one window at a "
                                     "time works on the loaded site, so that no edits are lost."),
                      MessageIcon::Information);
}

bool PageWorkspace::offerRecoveredWork()
{
    RecoveredWork work(m_folders);
    work.gather();
    if (work.isEmpty())
        return true;
    const QStringList options{QStringLiteral("Write them back"), QStringLiteral("Keep them for later"),
                              QStringLiteral("Discard")};
    const int answer = m_prompter.askOptions(
        QStringLiteral("Pages Not Written Back"),
        QStringLiteral("Vantor ended without writing these edited pages back:\n\n%1\n\n"
                       "Write them back into their folder now, keep them for later (they are offered "
                       "again at the next start), or discard them?")
            .arg(recoveredList(work.pages())),
        options, 1, MessageIcon::Question);
    if (answer == 0)
        return writeBackRecovered(work);
    if (answer == 2) {
        work.forget(work.pages());
        return true;
    }
    return keepRecovered(work, work.pages());
}

bool PageWorkspace::keepRecovered(const RecoveredWork& work, const QList<RecoveredWork::Page>& pages)
{
    try {
        work.keep(pages);
        return true;
    } catch (const support::IoError& e) {
        m_prompter.inform(
            QStringLiteral("Error"),
            QStringLiteral("The edited pages could not be kept for later, so the program stops and leaves "
                           "everything as it is. %1\n\nPlease make room on the disk, then start the "
                           "program again.")
                .arg(e.description()),
            MessageIcon::Critical);
        return false;
    }
}

bool PageWorkspace::writeBackRecovered(const RecoveredWork& work)
{
    QList<RecoveredWork::Page> done, left;
    QStringList written, failed;
    for (const RecoveredWork::Page& page : work.pages()) {
        const QString shown = QDir::toNativeSeparators(page.target);
        QString why;
        switch (WriteBackPage(page.target, page.bytes, page.loadedHash, &why)) {
        case WriteBackOutcome::Written:
        case WriteBackOutcome::AlreadyThere:
            written << shown;
            done << page;
            continue;
        case WriteBackOutcome::ChangedThere: {
            const QString beside = BesideName(page.target, page.bytes);
            if (!offerBeside(page.target, beside)) {
                failed << shown + QStringLiteral(": changed by another program since it was loaded");
                break;
            }
            try {
                written << QStringLiteral("%1, as %2 beside it")
                               .arg(shown, QFileInfo(SaveBeside(page.target, page.bytes)).fileName());
                done << page;
                continue;
            } catch (const support::IoError& e) {
                why = e.description();
            }
            [[fallthrough]];
        }
        case WriteBackOutcome::Failed:
            failed << shown + QStringLiteral(": ") + why;
            break;
        }
        left << page;
    }
    if (!keepRecovered(work, left))
        return false;
    work.forget(done);
    QString text;
    if (!written.isEmpty())
        text = QStringLiteral("These pages were written back:\n") + bulleted(written);
    if (!failed.isEmpty()) {
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        text += QStringLiteral("These pages were not written back, and are kept for later (they are "
                               "offered again at the next start):\n") +
                bulleted(failed);
    }
    m_prompter.inform(failed.isEmpty() ? QStringLiteral("Done") : QStringLiteral("Important"), text,
                      failed.isEmpty() ? MessageIcon::Information : MessageIcon::Warning);
    return true;
}

bool PageWorkspace::offerBeside(const QString& siteFile, const QString& besideFile)
{
    return m_prompter.askYesNo(
        QStringLiteral("Page Changed Elsewhere"),
        QStringLiteral("The page '%1' was changed by another program since it was loaded, so your "
                       "edited page is not written over it.\n\nSave your edited page beside it, as "
                       "'%2'?")
            .arg(QDir::toNativeSeparators(siteFile), QFileInfo(besideFile).fileName()),
        MessageIcon::Warning);
}

QString PageWorkspace::clearWorkingFolder()
{
    QString problem;
    const QString& folder = m_folders.workingFolder;
    if (support::MortarTools::PathExists(folder, true)) {
        if (support::DeleteFolder(folder, &problem))
            problem = makeFolder(folder);
    }
    if (m_pageListEnabled) {
        m_pageListEnabled = false;
        emit pageListChanged();
    }
    return problem;
}

void PageWorkspace::loadUsingBrowser()
{
    m_prompter.inform(
        QStringLiteral("Reminder"),
        QStringLiteral("Please make sure that your folder also contains the delivery file (or files), "
                       "so it's included inside your plugin."));
    const QString folder =
        m_prompter.chooseFolder(QStringLiteral("Select a Folder with HTM/HTML Files"), m_memory.lastFolder());
    if (folder.isEmpty())
        return;
    m_memory.setLastFolder(folder);
    loadFolder(folder);
}

void PageWorkspace::loadRecentSite(const QString& folder)
{
    if (!QFileInfo(folder).isDir()) {
        if (m_prompter.askYesNo(
                QStringLiteral("Folder Not Found"),
                QStringLiteral("The folder '%1' is no longer there: it was moved, renamed or "
                               "deleted, or its drive is not attached.\n\nTake it off the list "
                               "of recent sites?")
                    .arg(QDir::toNativeSeparators(folder)),
                MessageIcon::Question, true)) {
            m_memory.forgetSite(folder);
            emit recentSitesChanged();
        }
        return;
    }
    loadFolder(folder);
}

void PageWorkspace::forgetGoneSites()
{
    for (const QString& site : m_memory.recentSites()) {
        if (!QFileInfo(site).isDir())
            m_memory.forgetSite(site);
    }
    emit recentSitesChanged();
}

void PageWorkspace::loadUsingLocation()
{
    m_prompter.inform(
        QStringLiteral("Reminder"),
        QStringLiteral("Please make sure that your folder also contains the delivery file (or files), "
                       "so it's included inside your plugin."));
    const QString folder = m_prompter.askText(
        QStringLiteral("Enter Path"), QStringLiteral("Please enter the full path (local) of an HTML folder"));
    if (folder.isEmpty())
        return;
    loadFolder(folder);
}

QString PageWorkspace::overlapProblem(const QString& folder) const
{
    const QString& working = m_folders.workingFolder;
    if (support::IsSameOrInside(folder, working)) {
        return QStringLiteral(
                   "The folder '%1' is the program's own working folder or lies inside it, and loading "
                   "empties that folder first. Please choose the folder where your site is kept.")
            .arg(QDir::toNativeSeparators(folder));
    }
    if (support::IsSameOrInside(working, folder)) {
        return QStringLiteral(
                   "The folder '%1' holds the program's own working folder '%2', so loading it would "
                   "copy the folder into itself. Please choose the folder where your site is kept.")
            .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(m_folders.workingFolder));
    }
    return {};
}

void PageWorkspace::loadFolder(const QString& folder)
{
    // Such a folder is there, but its name as text finds nothing: "no pages" would send the user
    // looking in the wrong place.
    if (support::NameNotUtf8(folder)) {
        m_prompter.inform(QStringLiteral("Wrong Folder"),
                          QStringLiteral("The folder '%1' cannot be read: its name is not valid UTF-8. "
                                         "Please rename it, then load it again.")
                              .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    if (!QFileInfo(folder).isDir() || ListPages(folder).isEmpty()) {
        m_prompter.inform(kNoHtmlTitle, kNoHtmlText);
        return;
    }
    if (const QString problem = overlapProblem(folder); !problem.isEmpty()) {
        m_prompter.inform(QStringLiteral("Wrong Folder"), problem);
        return;
    }

    if (!keepEditedPages(Ending::Load))
        return;

    // From here the old site is gone, so nothing may keep pointing at its pages.
    const QString clearProblem = clearWorkingFolder();
    m_edited.clear();
    setPages({}, {});
    clearRoles();
    m_lastFillFolder.clear();
    if (!clearProblem.isEmpty()) {
        emit showPage(m_folders.blankPage);
        m_prompter.inform(QStringLiteral("Error"),
                          QStringLiteral("The working folder could not be emptied, so nothing was loaded. %1")
                              .arg(clearProblem),
                          MessageIcon::Critical);
        return;
    }

    QStringList skipped;
    try {
        skipped = copyWithFeedback(folder);
    } catch (const support::IoError& e) {
        // A half copy would pass for the whole site: take it away again. The copy's failure is
        // what the user needs to hear; the next load empties the folder again anyway.
        if (const QString problem = clearWorkingFolder(); !problem.isEmpty())
            qCWarning(lcWorkspace).noquote()
                << "Working folder not emptied after the failed copy:" << problem;
        emit showPage(m_folders.blankPage);
        m_prompter.inform(
            QStringLiteral("Error"),
            QStringLiteral("The folder could not be copied, so nothing was loaded. %1").arg(e.description()),
            MessageIcon::Critical);
        return;
    }

    m_edited.reset(QFileInfo(folder).absoluteFilePath(), m_folders.workingFolder);
    m_memory.siteLoaded(folder);
    emit recentSitesChanged();
    m_pageListEnabled = true;
    emit pageListChanged();
    if (!skipped.isEmpty()) {
        m_prompter.inform(QStringLiteral("Important"),
                          QStringLiteral("The folder was loaded, but these entries were left out:\n") +
                              skipped.join(QLatin1Char('\n')),
                          MessageIcon::Warning);
    }
}

QStringList PageWorkspace::copyWithFeedback(const QString& folder)
{
    m_loading = true;
    bool busy = false;
    const auto done = qScopeGuard([&] {
        m_loading = false;
        if (busy)
            emit loadBusyChanged(false);
    });
    QElapsedTimer clock;
    clock.start();
    qint64 lastReport = 0;
    qsizetype copied = 0;
    return support::MortarFile::CopyFolder(folder, m_folders.workingFolder, [&] {
        const qint64 now = clock.elapsed();
        if (now >= m_feedbackAfterMs && (!busy || now - lastReport >= m_feedbackEveryMs)) {
            if (!busy) {
                busy = true;
                emit loadBusyChanged(true);
            }
            lastReport = now;
            emit loadProgress(copied);
        }
        ++copied;
    });
}

void PageWorkspace::refreshPageList()
{
    // A refill would load another page over the edits being saved; it can wait a tick. A copy
    // under way is not the site yet.
    if (m_savingEdits || m_loading)
        return;
    syncPageList();
    checkMarkers();
}

void PageWorkspace::syncPageList()
{
    const QString& folder = m_folders.workingFolder;
    if (!support::MortarTools::PathExists(folder, true))
        return;
    const QStringList names = ListPages(folder);
    if (names.isEmpty()) {
        if (m_editEnabled || m_pageListEnabled) {
            m_editEnabled = false;
            m_pageListEnabled = false;
            emit pageListChanged();
        }
        return;
    }
    const bool editWasEnabled = m_editEnabled;
    m_editEnabled = true;
    if (m_lastFillFolder == folder && m_lastFillCount == names.size()) {
        if (!editWasEnabled)
            emit pageListChanged();
        return;
    }
    m_lastFillFolder = folder;
    m_lastFillCount = names.size();
    QStringList pages;
    const QDir dir(folder);
    for (const QString& name : names)
        pages << dir.filePath(name);
    setPages(pages, pages.last());
    emit showPage(m_currentText);
    clearRoles();
}

void PageWorkspace::dropOnWindow(const QStringList& paths)
{
    if (m_loading)
        return;
    setPages(paths, paths.isEmpty() ? QString() : paths.last());
    if (!paths.isEmpty())
        emit showPage(m_currentText);
}

void PageWorkspace::dropOnPageList(const QStringList& paths)
{
    if (m_loading)
        return;
    setPages(paths, {});
}

void PageWorkspace::setCurrentText(const QString& text)
{
    if (text == m_currentText)
        return;
    m_currentText = text;
    emit pageListChanged();
}

void PageWorkspace::choosePage(int index)
{
    if (index < 0 || index >= m_pages.size())
        return;
    setCurrentText(m_pages.at(index));
    emit showPage(m_currentText);
}

void PageWorkspace::setPages(const QStringList& pages, const QString& currentText)
{
    m_pages = pages;
    m_currentText = currentText;
    emit pageListChanged();
}

void PageWorkspace::setRole(PageRoles::Slot slot)
{
    if (m_currentText.isEmpty()) {
        m_prompter.inform(kMissingInfo, QStringLiteral("Please select a folder with HTML files."));
        return;
    }
    m_roles.assign(slot, m_currentText);
    m_setRoleEnabled[slot] = false;
    // Read afresh: the user may have changed the page outside the program a moment ago.
    m_markers[slot] = {};
    emit rolesChanged();
    checkMarkers();
    emit statusMessage(PageRoles::assignedMessage(slot));
}

void PageWorkspace::removeRole(int index)
{
    const PageRoles::Slot slot = index == 0 ? PageRoles::FrontEnd : PageRoles::Download;
    m_roles.clear(slot);
    m_setRoleEnabled[slot] = true;
    emit rolesChanged();
    checkMarkers();
}

QString PageWorkspace::markerOf(PageRoles::Slot slot)
{
    return QString::fromUtf16(slot == PageRoles::FrontEnd ? builder::kFrontTag : builder::kBackTag);
}

void PageWorkspace::checkMarkers()
{
    bool changed = false;
    for (PageRoles::Slot slot : {PageRoles::FrontEnd, PageRoles::Download}) {
        MarkerCheck next;
        if (m_roles.assigned(slot)) {
            const QFileInfo info(m_roles.path(slot));
            next.path = m_roles.path(slot);
            next.modified = info.lastModified();
            next.size = info.exists() ? info.size() : -1;
            const MarkerCheck& last = m_markers[slot];
            if (last.state != MarkerState::NoRole && last.path == next.path &&
                last.modified == next.modified && last.size == next.size)
                continue;
            try {
                next.state = support::MortarFile::ReadTextFile(next.path).contains(markerOf(slot))
                                 ? MarkerState::Present
                                 : MarkerState::Missing;
            } catch (const support::IoError& e) {
                next.state = MarkerState::Unreadable;
                next.problem = e.description();
            }
        }
        changed = changed || next.state != m_markers[slot].state || next.problem != m_markers[slot].problem;
        m_markers[slot] = next;
    }
    if (changed)
        emit markersChanged();
}

void PageWorkspace::followLink(const QUrl& url)
{
    if (m_editing || m_savingEdits || m_loading)
        return;
    if (url.isLocalFile()) {
        const QString target = support::ResolvedPath(url.toLocalFile());
        for (qsizetype i = 0; i < m_pages.size(); ++i) {
            if (support::ResolvedPath(m_pages.at(i)) == target) {
                choosePage(int(i));
                return;
            }
        }
        // A page reaching out of the site has a broken link, and the view shows only the site.
        if (!support::IsSameOrInside(target, m_folders.workingFolder)) {
            m_prompter.inform(kLinkNotOpened,
                              QStringLiteral("This link leads to '%1', which is not part of the loaded "
                                             "site, so it is not opened.")
                                  .arg(QDir::toNativeSeparators(url.toLocalFile())));
            return;
        }
    } else {
        const QString scheme = url.scheme().toLower();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
            scheme != QLatin1String("mailto")) {
            m_prompter.inform(
                kLinkNotOpened,
                QStringLiteral("This link cannot be opened from here: '%1'.").arg(url.toDisplayString()));
            return;
        }
    }
    if (!m_opener || !m_opener->openLink(url)) {
        m_prompter.inform(
            kLinkNotOpened,
            QStringLiteral("No program could be started to open '%1'. Please open it in "
                           "your web browser yourself.")
                .arg(url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toDisplayString()),
            MessageIcon::Warning);
    }
}

void PageWorkspace::pageShownByView(const QString& path)
{
    if (m_editing || m_savingEdits || m_loading || path == m_currentText)
        return;
    const QString target = support::ResolvedPath(path);
    for (const QString& page : std::as_const(m_pages)) {
        if (support::ResolvedPath(page) == target) {
            setCurrentText(page);
            return;
        }
    }
    setCurrentText(path);
}

void PageWorkspace::clearRoles()
{
    removeRole(0);
    removeRole(1);
}

bool PageWorkspace::editPageChecks()
{
    if (m_currentText.isEmpty()) {
        m_prompter.inform(
            kMissingInfo,
            QStringLiteral("Please add one or more web pages (.htm / .html files) to edit first."));
        return false;
    }
    if (m_currentText != m_roles.label(PageRoles::FrontEnd) &&
        m_currentText != m_roles.label(PageRoles::Download)) {
        m_prompter.inform(
            kMissingInfo,
            QStringLiteral("Please set this page as your front-end page or your download page first."));
        return false;
    }
    return true;
}

void PageWorkspace::toggleEditMode()
{
    if (m_savingEdits || !editPageChecks())
        return;
    if (m_editing)
        leaveEditMode(false);
    else
        enterEditMode();
}

QString PageWorkspace::editCaption() const
{
    return m_editing ? saveCaption() : editPageCaption();
}

void PageWorkspace::setEditing(bool editing)
{
    m_editing = editing;
    ++m_typingTicket;
    m_pageListEnabled = !editing;
    for (PageRoles::Slot slot : {PageRoles::FrontEnd, PageRoles::Download})
        m_setRoleEnabled[slot] = !editing && !m_roles.assigned(slot);
    emit editingChanged(editing);
    emit pageListChanged();
    emit rolesChanged();
}

void PageWorkspace::enterEditMode()
{
    setEditing(true);
    // Loaded again, now for editing; the view switches design mode on once the load is done.
    emit showPage(m_currentText);
}

void PageWorkspace::leaveEditMode(bool cancellable)
{
    setEditing(false);
    if (!support::MortarTools::PathExists(m_folders.saveMarker, false)) {
        // The view offers to save the changed document before it loads the page again, and
        // answers with pageLeft.
        emit showPage(m_currentText);
        return;
    }
    m_savingEdits = true;
    m_savePath = m_currentText;
    const QString title = QStringLiteral("Save");
    const QString question = QStringLiteral("Save changes?");
    Answer answer = Answer::No;
    if (cancellable)
        answer = m_prompter.askYesNoCancel(title, question, MessageIcon::Question);
    else if (m_prompter.askYesNo(title, question, MessageIcon::Question))
        answer = Answer::Yes;
    if (answer == Answer::Cancel) {
        m_savingEdits = false;
        stayInEditMode();
        return;
    }
    if (answer == Answer::Yes) {
        emit rootMarkupWanted();
        return;
    }
    finishAlternativeSave();
}

void PageWorkspace::stayInEditMode()
{
    m_afterEditing = AfterEditing::Nothing;
    if (!m_editing)
        setEditing(true);
    emit editingResumed();
}

void PageWorkspace::leaveEditModeThen(AfterEditing then)
{
    if (!m_editing || m_savingEdits || !editPageChecks())
        return;
    m_afterEditing = then;
    leaveEditMode(true);
}

void PageWorkspace::pageLeft(bool left)
{
    if (!left) {
        // The edits are still on screen in design mode: the window says so again.
        stayInEditMode();
        return;
    }
    // The document on screen was saved or its edits discarded, and any typing with it.
    dropTyping();
    // The view may have saved a role page on the way.
    checkMarkers();
    const AfterEditing then = std::exchange(m_afterEditing, AfterEditing::Nothing);
    if (then != AfterEditing::Nothing && !m_editing && !m_savingEdits)
        emit leftEditingFor(then);
    else if (then != AfterEditing::Nothing)
        m_afterEditing = then;
}

bool PageWorkspace::keepEditedPages(Ending ending)
{
    if (m_heldForNextStart)
        return false;
    const QStringList changed = m_edited.changed();
    if (changed.isEmpty())
        return true;
    const QString site = QDir::toNativeSeparators(m_edited.siteFolder());
    const QString stop = ending == Ending::Load ? QStringLiteral("the other folder is not loaded")
                                                : QStringLiteral("the program stays open");
    const Answer answer = m_prompter.askYesNoCancel(
        QStringLiteral("Changed Pages"),
        QStringLiteral("These pages were changed since the folder '%1' was loaded:\n%2\n\n"
                       "Write them back into that folder? Yes replaces the pages there with the "
                       "changed ones, No discards the changes, Cancel keeps everything as it is "
                       "and %3.")
            .arg(site, bulleted(changed), stop),
        MessageIcon::Question);
    if (answer == Answer::No)
        return true;
    if (answer == Answer::Cancel)
        return false;
    EditedPages::WriteBack done = m_edited.writeBackChanged();
    for (const QString& name : std::as_const(done.changedThere)) {
        const QString reason = QStringLiteral(
            ": the file in the site folder was changed by another program since the folder was loaded");
        if (!offerBeside(QDir(m_edited.siteFolder()).filePath(name), m_edited.besideName(name))) {
            done.failures << name + reason;
            continue;
        }
        try {
            done.written << QStringLiteral("%1, as %2 beside it")
                                .arg(name, QFileInfo(m_edited.saveBeside(name)).fileName());
        } catch (const support::IoError& e) {
            done.failures << name + QStringLiteral(": ") + e.description();
        }
    }
    done.changedThere.clear();
    if (!done.ok()) {
        QString text = QStringLiteral("These pages could not be written back into '%1':\n%2")
                           .arg(site, bulleted(done.failures));
        if (!done.written.isEmpty())
            text += QStringLiteral("\n\nThese were written back:\n") + bulleted(done.written);
        text += QStringLiteral("\n\nThe changed pages stay in the working folder '%1' and %2. Copy "
                               "them by hand, or answer No next time to discard the changes.")
                    .arg(QDir::toNativeSeparators(m_folders.workingFolder), stop);
        m_prompter.inform(QStringLiteral("Error"), text, MessageIcon::Critical);
        return false;
    }
    if (!done.written.isEmpty()) {
        m_prompter.inform(
            QStringLiteral("Done"),
            QStringLiteral("These pages were written back into '%1':\n%2").arg(site, bulleted(done.written)),
            MessageIcon::Information);
    }
    return true;
}

void PageWorkspace::closed()
{
    if (m_heldForNextStart)
        return;
    m_edited.clear();
    dropTyping();
}

void PageWorkspace::keepTyping(quint64 ticket, const QString& page, const QString& rootMarkup)
{
    if (ticket != m_typingTicket || !m_editing || m_savingEdits || page != m_currentText)
        return;
    if (rootMarkup.isEmpty()) {
        // The typing was undone: the document is the same, its copy goes.
        m_lastTyping.clear();
        RecoveredWork::dropTyping(m_folders);
        return;
    }
    writeTyping(page, rootMarkup);
}

void PageWorkspace::keepTypingNow(const QString& page, const QString& rootMarkup)
{
    if (!rootMarkup.isEmpty() && !page.isEmpty())
        writeTyping(page, rootMarkup);
}

void PageWorkspace::writeTyping(const QString& page, const QString& rootMarkup)
{
    if (rootMarkup == m_lastTyping)
        return;
    try {
        const QByteArray original = support::MortarFile::ReadBinaryFile(page);
        RecoveredWork::Page typed;
        typed.bytes = PageBytesToSave(original, rootMarkup);
        typed.unsaved = true;
        // A page of the working copy belongs to the site folder; any other page to itself.
        const QFileInfo file(page);
        const QString name = file.fileName();
        if (support::ResolvedPath(file.absolutePath()) == support::ResolvedPath(m_folders.workingFolder) &&
            !m_edited.siteHash(name).isEmpty()) {
            typed.target = QDir(m_edited.siteFolder()).filePath(name);
            typed.loadedHash = m_edited.siteHash(name);
        } else {
            typed.target = file.absoluteFilePath();
            typed.loadedHash = ContentHash(original);
        }
        RecoveredWork::keepTyping(m_folders, page, typed);
        m_lastTyping = rootMarkup;
    } catch (const support::IoError& e) {
        qCWarning(lcWorkspace).noquote() << "Typing not kept:" << e.description();
    }
}

void PageWorkspace::dropTyping()
{
    if (m_heldForNextStart)
        return;
    ++m_typingTicket;
    m_lastTyping.clear();
    RecoveredWork::dropTyping(m_folders);
}

void PageWorkspace::holdForNextStart()
{
    m_heldForNextStart = true;
}

void PageWorkspace::saveEditedMarkup(const QString& rootMarkup)
{
    if (!m_savingEdits)
        return;
    QString problem;
    if (rootMarkup.isEmpty()) {
        // An empty answer means the document was gone, not that the user emptied it.
        problem = QStringLiteral("The edited page could not be read back from the view.");
    } else {
        try {
            SavePageMarkup(m_savePath, rootMarkup);
        } catch (const support::IoError& e) {
            problem = e.description();
        }
    }
    if (problem.isEmpty()) {
        finishAlternativeSave();
        return;
    }
    // The edits are still on screen in design mode: the window says so again, and nothing
    // reloads over them until the user saves or discards.
    m_savingEdits = false;
    stayInEditMode();
    m_prompter.inform(QStringLiteral("Error"),
                      QStringLiteral("The changes were not saved, so the page stays open with them in edit "
                                     "mode.\n\n%1")
                          .arg(problem),
                      MessageIcon::Critical);
}

void PageWorkspace::insertMarker(PageRoles::Slot slot)
{
    if (insertMarkerEnabled())
        emit markerInsertWanted(markerOf(slot));
}

void PageWorkspace::markerInsertAnswered(const QString& marker, bool inserted)
{
    if (inserted || !m_editing)
        return;
    m_prompter.inform(kMissingInfo, QStringLiteral("Please click in the page where %1 should go, then press "
                                                   "\"Insert %1\" again.")
                                        .arg(marker));
}

void PageWorkspace::finishAlternativeSave()
{
    m_prompter.inform(QStringLiteral("Done"), QStringLiteral("Done!"), MessageIcon::Information);
    m_savingEdits = false;
    dropTyping();
    checkMarkers();
    emit designModeEnded();
    // On No this discards the edits still shown.
    emit showPage(m_savePath);
}

bool PageWorkspace::conversionPreCheck()
{
    if (!m_roles.assigned(PageRoles::FrontEnd) || !m_roles.assigned(PageRoles::Download)) {
        m_prompter.inform(kMissingInfo,
                          QStringLiteral("Please select your Front-End page and your Download page."));
        return false;
    }
    QString front, download;
    try {
        front = support::MortarFile::ReadTextFile(m_roles.path(PageRoles::FrontEnd));
        download = support::MortarFile::ReadTextFile(m_roles.path(PageRoles::Download));
    } catch (const support::IoError& e) {
        m_prompter.inform(QStringLiteral("Error"),
                          QStringLiteral("A role page could not be read: %1 Please set the page again.")
                              .arg(e.description()),
                          MessageIcon::Critical);
        return false;
    }
    // One page may hold both roles; its owner hears once what that means for the files.
    const QString samePage = QFileInfo(m_roles.path(PageRoles::FrontEnd)).canonicalFilePath();
    if (samePage == QFileInfo(m_roles.path(PageRoles::Download)).canonicalFilePath() &&
        samePage != m_samePageNoted) {
        m_samePageNoted = samePage;
        m_prompter.inform(QStringLiteral("Important"),
                          QStringLiteral("The front-end page and the download page are the same page (%1). "
                                         "Its download links will be as public as the sales page: everyone "
                                         "who opens the sales page sees them. Choose another page as the "
                                         "download page to keep the files for buyers.")
                              .arg(QFileInfo(samePage).fileName()),
                          MessageIcon::Warning);
    }
    const QString missing = builder::MissingTags(front, download);
    if (missing.isEmpty())
        return true;
    // Enter must not build a plugin without its buy button or its download links.
    return m_prompter.askYesNo(kMissingInfo, builder::MissingTagsMessage(missing, true),
                               MessageIcon::Information, false);
}

} // namespace workspace

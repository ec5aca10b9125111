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

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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

} // namespace

PageWorkspace::PageWorkspace(const Folders& folders, Prompter& prompter, FolderOpener& opener,
                             QObject* parent)
    : QObject(parent), m_folders(folders), m_prompter(prompter), m_opener(&opener)
{
}

PageWorkspace::PageWorkspace(const Folders& folders, Prompter& prompter, QObject* parent)
    : QObject(parent), m_folders(folders), m_prompter(prompter)
{
}

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
    const QString folder = m_prompter.chooseFolder(QStringLiteral("Select a Folder with HTM/HTML Files"));
    if (folder.isEmpty())
        return;
    loadFolder(folder);
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
    const QStringList changed = m_edited.changed();
    if (changed.isEmpty())
        return true;
    const QString site = QDir::toNativeSeparators(m_edited.siteFolder());
    const auto bullets = [](const QStringList& lines) {
        return QStringLiteral("\u2022 ") + lines.join(QStringLiteral("\n\u2022 "));
    };
    const QString stop = ending == Ending::Load ? QStringLiteral("the other folder is not loaded")
                                                : QStringLiteral("the program stays open");
    const Answer answer = m_prompter.askYesNoCancel(
        QStringLiteral("Changed Pages"),
        QStringLiteral("These pages were changed since the folder '%1' was loaded:\n%2\n\n"
                       "Write them back into that folder? Yes replaces the pages there with the "
                       "changed ones, No discards the changes, Cancel keeps everything as it is "
                       "and %3.")
            .arg(site, bullets(changed), stop),
        MessageIcon::Question);
    if (answer == Answer::No)
        return true;
    if (answer == Answer::Cancel)
        return false;
    const EditedPages::WriteBack done = m_edited.writeBackChanged();
    if (!done.ok()) {
        QString text = QStringLiteral("These pages could not be written back into '%1':\n%2")
                           .arg(site, bullets(done.failures));
        if (!done.written.isEmpty())
            text += QStringLiteral("\n\nThese were written back:\n") + bullets(done.written);
        text += QStringLiteral("\n\nThe changed pages stay in the working folder '%1' and %2. Copy "
                               "them by hand, or answer No next time to discard the changes.")
                    .arg(QDir::toNativeSeparators(m_folders.workingFolder), stop);
        m_prompter.inform(QStringLiteral("Error"), text, MessageIcon::Critical);
        return false;
    }
    if (!done.written.isEmpty()) {
        m_prompter.inform(
            QStringLiteral("Done"),
            QStringLiteral("These pages were written back into '%1':\n%2").arg(site, bullets(done.written)),
            MessageIcon::Information);
    }
    return true;
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
    const QString missing = builder::MissingTags(front, download);
    if (missing.isEmpty())
        return true;
    // Enter must not build a plugin without its buy button or its download links.
    return m_prompter.askYesNo(kMissingInfo, builder::MissingTagsMessage(missing, true),
                               MessageIcon::Information, false);
}

} // namespace workspace

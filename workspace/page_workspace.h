#pragma once

#include "workspace/edited_pages.h"
#include "workspace/folders.h"
#include "workspace/page_roles.h"
#include "workspace/recovered_work.h"
#include "workspace/user_memory.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <array>
#include <memory>

class QLockFile;

namespace workspace {

class FolderOpener;
class Prompter;

// The session behind the main window: the working folder and the page list that follows it,
// the two page roles, edit mode with its two save methods, and the checks before editing and
// converting. Holds no widgets; the window mirrors its state and forwards the user's actions.
class PageWorkspace final : public QObject
{
    Q_OBJECT
public:
    // What follows when edit mode was left for something other than the button.
    enum class AfterEditing
    {
        Nothing,
        Close,
        Convert
    };
    // What is about to empty the working folder.
    enum class Ending
    {
        Load,
        Close
    };

    // Whether a role page holds its marker, as the conversion pre-check will find it on disk.
    enum class MarkerState
    {
        NoRole,
        Present,
        Missing,
        Unreadable
    };

    // The opener takes the links that leave the site's pages.
    PageWorkspace(const Folders& folders, Prompter& prompter, FolderOpener& opener,
                  QObject* parent = nullptr);
    // Without an opener, such links are refused with a word why.
    PageWorkspace(const Folders& folders, Prompter& prompter, QObject* parent = nullptr);
    ~PageWorkspace() override;

    const Folders& folders() const { return m_folders; }

    // Takes the working folder for this window, offers the edits an earlier run left without
    // writing them back, then empties the working folder (making it when missing) and makes the
    // output folder. On failure tells the user which folder and why, and returns false: the
    // program cannot work. False without a word when another window holds the working folder
    // (runningElsewhere): nothing is touched then.
    bool start();
    bool runningElsewhere() const { return m_runningElsewhere; }
    // Says that the program is running already, for when its window could not be brought forward.
    void tellRunningElsewhere();
    // Empties the working folder when it exists and disables the page list. Returns "" or what
    // went wrong, naming the file and the reason.
    QString clearWorkingFolder();

    // The two load commands, from the moment their menu item was chosen.
    void loadUsingBrowser();
    void loadUsingLocation();
    // Loads one of the sites loaded lately; one whose folder is gone is offered for removal from
    // the list instead.
    void loadRecentSite(const QString& folder);
    // The sites loaded lately, the latest first (recentSitesChanged says when they change).
    QStringList recentSites() const { return m_memory.recentSites(); }
    // Takes the sites whose folders are gone off the list.
    void forgetGoneSites();
    // The loaded site's own folder; empty while none is loaded.
    QString siteFolder() const { return m_edited.siteFolder(); }
    UserMemory& memory() { return m_memory; }
    // Keeps the page list in step with the working folder, and the marker states with the role
    // pages on disk; run five times a second.
    void refreshPageList();
    // True while a load copies the folder. The copy lets the window repaint, so nothing else may
    // touch the working folder or the page list meanwhile.
    bool loading() const { return m_loading; }
    // A copy that runs longer than afterMs reports its progress (loadBusyChanged, then
    // loadProgress at most every everyMs).
    void setLoadFeedback(int afterMs, int everyMs);
    // Files dropped on the window (the last one is shown) or on the page list (none is).
    void dropOnWindow(const QStringList& paths);
    void dropOnPageList(const QStringList& paths);

    const QStringList& pages() const { return m_pages; }
    // The page list's text: the current page.
    const QString& currentText() const { return m_currentText; }
    bool pageListEnabled() const { return m_pageListEnabled; }
    bool editEnabled() const { return m_editEnabled; }
    // The user typed into the page list.
    void setCurrentText(const QString& text);
    // The user picked an entry of the page list: it becomes the text and is shown.
    void choosePage(int index);

    const PageRoles& roles() const { return m_roles; }
    // Whether a role's set button is usable: while viewing exactly when the role is free; entering
    // edit mode locks both, and a removal during edit mode frees its own again.
    bool setRoleEnabled(PageRoles::Slot slot) const { return m_setRoleEnabled[slot]; }
    // "Set as Front-End Page" / "Set as Download Page": the page list's text takes the role.
    void setRole(PageRoles::Slot slot);
    // "Remove": index 0 clears the front-end role, any other the download role.
    void removeRole(int index);
    // The marker a role's page must hold: #FRONT# on the front-end page, #BACK# on the download page.
    static QString markerOf(PageRoles::Slot slot);
    MarkerState markerState(PageRoles::Slot slot) const { return m_markers[slot].state; }
    // Why the role page could not be read (Unreadable only).
    QString markerProblem(PageRoles::Slot slot) const { return m_markers[slot].problem; }

    // A link clicked in the page view: a page of the page list is chosen and shown; another file
    // of the site, a web or a mail address goes to the desktop's programs; anything else is
    // refused, saying why. Nothing while editing or saving.
    void followLink(const QUrl& url);
    // The view went to another file by itself (a refresh tag): the page list's text follows it,
    // so the commands act on the page on screen.
    void pageShownByView(const QString& path);

    // The checks before entering or leaving edit mode; false after telling the user what is missing.
    bool editPageChecks();
    // "Edit Page" / "Save / Discard Changes": after the checks, enters edit mode or leaves it by
    // the save method the marker selects.
    void toggleEditMode();
    bool editing() const { return m_editing; }
    // The caption of the edit button, which names the mode.
    QString editCaption() const;
    // The "+" button that opens the load menu; locked while editing.
    bool loadEnabled() const { return !m_editing; }
    // True from the question of the alternative save until the page is loaded again: nothing
    // else may load a page over the edits meanwhile.
    bool savingEdits() const { return m_savingEdits; }
    // The answer to rootMarkupWanted: the shown document's root element markup.
    void saveEditedMarkup(const QString& rootMarkup);
    // "Insert #FRONT#" / "Insert #BACK#": usable only while editing; asks the view to type the
    // slot's marker at the caret (markerInsertWanted), which answers with markerInsertAnswered.
    bool insertMarkerEnabled() const { return m_editing; }
    void insertMarker(PageRoles::Slot slot);
    // False when the page had no caret to type at: the user is told where to click.
    void markerInsertAnswered(const QString& marker, bool inserted);

    // The edit button's caption while viewing and while editing.
    static QString editPageCaption() { return QStringLiteral("Edit Page"); }
    static QString saveCaption() { return QStringLiteral("Save / Discard Changes"); }
    // Before the plugin details open: both roles set, and the tags present or the user goes on anyway.
    bool conversionPreCheck();

    // Closing the window or converting while a page is being edited: after the same checks, leaves
    // edit mode by the save method the marker selects, with Cancel offered besides Yes and No.
    // leftEditingFor(then) follows once the page was saved or its edits discarded; Cancel or a
    // failed save keeps edit mode and drops `then`.
    void leaveEditModeThen(AfterEditing then);
    AfterEditing afterEditing() const { return m_afterEditing; }
    // The view's word after it was asked to show a page: left is false when the document being
    // edited stays on screen with its edits (its save failed or the user cancelled).
    void pageLeft(bool left);

    // Before the working folder is emptied: when pages were saved with changes since the load,
    // asks whether to write them back into the site folder (Yes), discard them (No) or stop
    // (Cancel). A page whose site file someone else changed since the load is offered to be saved
    // beside it instead. False when the user cancelled or a page could not be written back: the
    // working folder must then stay as it is.
    bool keepEditedPages(Ending ending);
    const EditedPages& editedPages() const { return m_edited; }
    // The window closes, its edits written back or discarded: the next start has nothing to offer.
    void closed();

    // The typing on screen in the page being edited (its root element's markup), kept where the
    // next start finds it, should the program end before the user saves or discards it. Empty
    // markup: the page on screen holds no change. ticket is typingTicket() from when the markup
    // was asked for; an answer about a document saved or discarded since is dropped.
    void keepTyping(quint64 ticket, const QString& page, const QString& rootMarkup);
    quint64 typingTicket() const { return m_typingTicket; }
    // The same without the ticket, for the program ending and the question before a changed
    // page is left: markup the view says holds typing in page.
    void keepTypingNow(const QString& page, const QString& rootMarkup);
    // The program ends with nobody to answer: everything kept for the next start stays as it is,
    // and nothing more is written back, discarded or asked.
    void holdForNextStart();
    bool heldForNextStart() const { return m_heldForNextStart; }

signals:
    // A site was loaded, or the list of recent sites changed.
    void recentSitesChanged();
    // The items, the text or the enabled state of the page list or of "Edit Page" changed.
    void pageListChanged();
    void rolesChanged();
    // The state of a role page's marker changed.
    void markersChanged();
    // The view is to show this file.
    void showPage(const QString& path);
    // A short-lived status message for the header bar.
    void statusMessage(const QString& text);
    // Edit mode was entered or left. Sent before the load that follows, so the view knows how to
    // load it (pages being edited load without their scripts).
    void editingChanged(bool editing);
    // The alternative save needs the shown document's markup; answer with saveEditedMarkup.
    void rootMarkupWanted();
    // The view is to type the marker at the caret of the page being edited, as if keyed in.
    void markerInsertWanted(const QString& marker);
    // A load's copy has run longer than a moment (true) or is over (false).
    void loadBusyChanged(bool busy);
    // Files copied so far by the load, while it is busy.
    void loadProgress(qsizetype filesCopied);
    // The shown document is to leave design mode before the next load: its edits were saved or
    // refused already, so the view must not offer to save them a second time.
    void designModeEnded();
    // Edit mode was left as leaveEditModeThen asked; the window now goes on with `then`.
    void leftEditingFor(workspace::PageWorkspace::AfterEditing then);
    // The start took the working folder for this window; a second start may now find it.
    void workingFolderTaken();
    // Edit mode goes on after a question about leaving it (Cancel, or a save that failed): the
    // user goes on typing where the caret was.
    void editingResumed();

private:
    // The steps both load commands share once the folder is known.
    void loadFolder(const QString& folder);
    QString overlapProblem(const QString& folder) const;
    void setPages(const QStringList& pages, const QString& currentText);
    void clearRoles();
    void enterEditMode();
    void leaveEditMode(bool cancellable);
    void stayInEditMode();
    void setEditing(bool editing);
    void finishAlternativeSave();
    // Reads a role page again when it is another file than last time or changed on disk.
    void checkMarkers();
    QStringList copyWithFeedback(const QString& folder);
    void syncPageList();
    bool lockWorkingFolder();
    // The start's offer of what an earlier run left; false when the start must stop.
    bool offerRecoveredWork();
    bool writeBackRecovered(const RecoveredWork& work);
    bool keepRecovered(const RecoveredWork& work, const QList<RecoveredWork::Page>& pages);
    // A page whose site file changed since the load: saved beside it when the user says so.
    bool offerBeside(const QString& siteFile, const QString& besideFile);
    void dropTyping();
    void writeTyping(const QString& page, const QString& rootMarkup);

    // What the marker state was judged from, so an unchanged page is not read again.
    struct MarkerCheck
    {
        QString path;
        QDateTime modified;
        qint64 size = -1;
        MarkerState state = MarkerState::NoRole;
        QString problem;
    };

    Folders m_folders;
    Prompter& m_prompter;
    FolderOpener* m_opener = nullptr;
    QStringList m_pages;
    QString m_currentText;
    bool m_pageListEnabled = false;
    bool m_editEnabled = true;
    PageRoles m_roles;
    std::array<bool, 2> m_setRoleEnabled{true, true};
    bool m_editing = false;
    bool m_savingEdits = false;
    // The page the alternative save writes: the page list's text when edit mode was left.
    QString m_savePath;
    // The listing the page list was last filled from; an empty folder forces the next refill.
    QString m_lastFillFolder;
    qsizetype m_lastFillCount = -1;
    EditedPages m_edited;
    UserMemory m_memory;
    // The page holding both roles whose owner was told so.
    QString m_samePageNoted;
    AfterEditing m_afterEditing = AfterEditing::Nothing;
    std::array<MarkerCheck, 2> m_markers;
    bool m_loading = false;
    std::unique_ptr<QLockFile> m_lock;
    bool m_runningElsewhere = false;
    quint64 m_typingTicket = 0;
    QString m_lastTyping;
    bool m_heldForNextStart = false;
    int m_feedbackAfterMs = 300;
    int m_feedbackEveryMs = 100;
};

} // namespace workspace

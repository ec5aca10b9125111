#pragma once

#include "workspace/folders.h"
#include "workspace/page_roles.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace workspace {

class Prompter;

// The session behind the main window: the working folder and the page list that follows it,
// the two page roles and the checks before editing and converting. Holds no widgets; the window
// mirrors its state and forwards the user's actions.
class PageWorkspace final : public QObject
{
    Q_OBJECT
public:
    PageWorkspace(const Folders& folders, Prompter& prompter, QObject* parent = nullptr);

    const Folders& folders() const { return m_folders; }

    // Empties the working folder (making it when missing) and makes the output folder. On
    // failure tells the user which folder and why, and returns false: the program cannot work.
    bool Start();
    // Empties the working folder when it exists and disables the page list. Returns "" or what
    // went wrong, naming the file and the reason.
    QString ClearWorkingFolder();

    // The two load commands, from the moment their menu item was chosen.
    void LoadUsingBrowser();
    void LoadUsingLocation();
    // Keeps the page list in step with the working folder; run five times a second.
    void RefreshPageList();
    // Files dropped on the window (the last one is shown) or on the page list (none is).
    void DropOnWindow(const QStringList& paths);
    void DropOnPageList(const QStringList& paths);

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
    // "Set as Front-End Page" / "Set as Download Page": the page list's text takes the role.
    void SetRole(PageRoles::Slot slot);
    // "Remove": index 0 clears the front-end role, any other the download role.
    void RemoveRole(int index);

    // The checks before entering or leaving edit mode; false after telling the user what is missing.
    bool EditPageChecks();
    // Before the plugin details open: both roles set, and the tags present or the user goes on anyway.
    bool ConversionPreCheck();

signals:
    // The items, the text or the enabled state of the page list or of "Edit Page" changed.
    void pageListChanged();
    void rolesChanged();
    // The view is to show this file.
    void showPage(const QString& path);
    // A short-lived status message for the header bar.
    void statusMessage(const QString& text);

private:
    // The steps both load commands share once the folder is known.
    void loadFolder(const QString& folder);
    QString overlapProblem(const QString& folder) const;
    void setPages(const QStringList& pages, const QString& currentText);
    void clearRoles();

    Folders m_folders;
    Prompter& m_prompter;
    QStringList m_pages;
    QString m_currentText;
    bool m_pageListEnabled = false;
    bool m_editEnabled = true;
    PageRoles m_roles;
    // The listing the page list was last filled from; an empty folder forces the next refill.
    QString m_lastFillFolder;
    qsizetype m_lastFillCount = -1;
};

} // namespace workspace

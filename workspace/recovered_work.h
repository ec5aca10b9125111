#pragma once

#include "workspace/folders.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace workspace {

// Edits that an earlier run of the window left without writing them back: pages saved into the
// working copy, typing that was on screen (kept every few seconds while a page is edited), and
// pages kept for later at an earlier start. All of it lies in the recovery folder and the working
// folder; a start looks here before it empties the working folder.
class RecoveredWork final
{
public:
    struct Page
    {
        QString target;        // the file the edits belong to: the page in its site folder
        QByteArray bytes;      // the page as the user left it
        QByteArray loadedHash; // what target held when the edits began (ContentHash)
        bool unsaved = false;  // holds typing that was never saved
        QString keptIn;        // the kept copy that holds it; "" for one found in the working copy or typed
    };

    explicit RecoveredWork(const Folders& folders) : m_folders(folders) {}

    // Where the record of the working copy's load lies.
    static QString recordFile(const Folders& folders);

    // Looks for such edits; touches nothing.
    void gather();
    const QList<Page>& pages() const { return m_pages; }
    bool isEmpty() const { return m_pages.isEmpty(); }

    // Adds the pages not kept yet to the pages kept for later, each whole or not at all. Throws
    // support::IoError.
    void keep(const QList<Page>& pages) const;
    // Removes the kept copies of these pages.
    void forget(const QList<Page>& pages) const;

    // The copy of the typing on screen in editedFile, replaced each time. Throws support::IoError.
    static void keepTyping(const Folders& folders, const QString& editedFile, const Page& page);
    // The typing was saved or discarded: its copies go.
    static void dropTyping(const Folders& folders);

private:
    Folders m_folders;
    QList<Page> m_pages;
};

} // namespace workspace

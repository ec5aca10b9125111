#pragma once

#include <QString>

namespace workspace {

// The user's own folders that a program installed for everyone works in.
struct UserFolders
{
    QString appData;   // the application's private data folder (~/.local/share/vantor)
    QString documents; // the documents folder, whether it exists or not
    QString home;
};

// Where each thing the programs use lies; the factories below are the one place that works it
// out. A self-contained installation folder (the programs with blank.html and plugintemplate/
// beside them: the build tree, a copied folder) holds the working folder, the output folder and
// the save marker, as long as its user may write there. An installation for everyone (programs in
// bin/, the rest in share/vantor/) or a folder its user cannot write leaves them to the user's own
// folders, so that each user has their own.
struct Folders
{
    QString installFolder;  // holds the programs
    QString dataFolder;     // holds the working folder and the save marker
    QString workingFolder;  // the copy of the loaded site
    QString outputFolder;   // receives the plugins
    QString templateFolder; // the plugin template
    QString blankPage;      // shown at start
    QString archiver;       // the bundled 7za, or 7za from the PATH
    QString saveMarker;     // while it exists, leaving edit mode offers to save
    // Held by the window that works in the working folder, so that no second one touches it.
    QString workingLock;
    // What lets a later start find edits that were never written back: the record of the working
    // copy's load, copies of typing on screen, and pages kept for later. Beside the working folder,
    // never in it, so that no plugin carries it.
    QString recoveryFolder;
    // The name under which the running window listens for a second start, one per user and data
    // folder.
    QString windowChannel;
    // What the window remembers for its user: recent sites, the last folder, its place.
    QString settingsFile;

    // The folders of the program that is running, for its user.
    static Folders forRunningProgram();
    static Folders resolve(const QString& programFolder, bool programFolderWritable, const UserFolders& user);
    // Everything in one folder the user may write: a portable installation.
    static Folders selfContained(const QString& folder);
};

} // namespace workspace

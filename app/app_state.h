#pragma once

#include <QString>

namespace app {

inline constexpr char16_t kAppName[] = u"Vantor!";
inline constexpr char16_t kAppByLine[] = u" ";
// From the project's version in CMake, the one place it is set.
inline constexpr char kVersionText[] = VANTOR_VERSION;

// The user's own folders that a program installed for everyone works in.
struct UserFolders
{
    QString appData;   // the application's private data folder (~/.local/share/vantor)
    QString documents; // the documents folder, whether it exists or not
    QString home;
};

// Where each thing the programs use lies. A self-contained installation folder (the programs
// with blank.html and plugintemplate/ beside them: the build tree, a copied folder) holds the
// working folder, the output folder and the save marker, as long as its user may write there.
// An installation for everyone (programs in bin/, the rest in share/vantor/) or a folder its user
// cannot write leaves them to the user's own folders, so that each user has their own.
struct InstallPaths
{
    QString installFolder;  // holds the programs
    QString resourceFolder; // blank.html, plugintemplate/ and, when bundled, 7za
    QString dataFolder;     // the working folder and the save marker
    QString outputFolder;   // receives the plugins

    static InstallPaths ForRunningProgram();
    static InstallPaths Resolve(const QString& programFolder, bool programFolderWritable,
                                const UserFolders& user);

    QString workingFolder() const; // tmp
    QString templateFolder() const;
    QString blankPage() const;
    QString archiver() const; // the bundled 7za, or 7za from the PATH
    QString saveMarker() const;
};

} // namespace app

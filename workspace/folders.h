#pragma once

#include <QString>

namespace workspace {

// The folders and files that the desktop program works with.
struct Folders
{
    QString installFolder;
    QString workingFolder;  // the copy of the loaded site
    QString outputFolder;   // receives the plugins
    QString templateFolder; // the plugin template
    QString blankPage;      // shown at start
    QString archiver;       // 7za
    QString dataFolder{};   // holds the save marker; the installation folder when empty

    QString markerFolder() const { return dataFolder.isEmpty() ? installFolder : dataFolder; }
};

} // namespace workspace

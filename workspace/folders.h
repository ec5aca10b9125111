#pragma once

#include <QString>

namespace workspace {

// The folders and files below the installation folder that the desktop program works with.
struct Folders
{
    QString installFolder;
    QString workingFolder;  // the copy of the loaded site
    QString outputFolder;   // receives the plugins
    QString templateFolder; // the plugin template
    QString blankPage;      // shown at start
    QString archiver;       // 7za
};

} // namespace workspace

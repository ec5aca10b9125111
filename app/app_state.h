#pragma once

#include <QString>

namespace app {

inline constexpr char16_t kAppName[] = u"Vantor!";
inline constexpr char16_t kAppByLine[] = u" ";
inline constexpr char16_t kVersionText[] = u"2.6";

// Paths below the installation folder: the folder that holds the running program.
struct InstallPaths
{
    QString installFolder;

    static InstallPaths ForRunningProgram();
    QString workingFolder() const; // tmp
    QString outputFolder() const;  // output
    QString templateFolder() const;
    QString blankPage() const;
    QString archiver() const;
    QString saveMarker() const;
};

} // namespace app

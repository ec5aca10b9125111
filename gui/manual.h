#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace workspace {
class Prompter;
}

namespace gui {

// The sections of the user manual that the windows open, by their anchor in manual/index.html.
inline constexpr char16_t kManualSiteFolder[] = u"site-folder";
inline constexpr char16_t kManualRoles[] = u"roles";
inline constexpr char16_t kManualTags[] = u"tags";
inline constexpr char16_t kManualPluginDetails[] = u"plugin-details";
inline constexpr char16_t kManualInstalling[] = u"installing";
inline constexpr char16_t kManualMessages[] = u"messages";
inline constexpr char16_t kManualEditProblems[] = u"edit-problems";

// Every anchor above, for the check that the manual holds each one.
QStringList ManualSections();

// Where the manual may lie for a program in programFolder, most likely first: beside the program
// (the build tree, a self-contained folder) and in share/vantor beside bin/ (an installation for
// everyone, the Debian package).
QStringList ManualPlaces(const QString& programFolder);

// The manual of the program in programFolder, at the section when one is given; empty when it is
// in none of its places.
QUrl ManualUrlIn(const QString& programFolder, const QString& section = {});

// The manual of the running program.
QUrl ManualUrl(const QString& section = {});

// Opens the manual of the program in programFolder in the desktop's web browser. When it is
// missing or no browser starts, the prompter says where the manual should lie or which file to
// open by hand; false then.
bool OpenManualIn(const QString& programFolder, workspace::Prompter& prompter, const QString& section = {});
// The same for the running program.
bool OpenManual(workspace::Prompter& prompter, const QString& section = {});
// The same, with its message boxes over parent.
bool OpenManual(QWidget* parent, const QString& section = {});

} // namespace gui

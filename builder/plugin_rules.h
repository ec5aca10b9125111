#pragma once

#include "builder/plugin_details.h"

#include <QString>

namespace builder {

// The longest identifier WordPress accepts as a post type key.
inline constexpr int kMaxIdentifierLength = 20;

// Empty when the identifier can serve as folder name, PHP prefix, URL segment and post type key
// (a small letter, then small letters, digits or underscores, 20 at most); otherwise what is wrong
// with it. PHP does not tell P1_activate from p1_activate, so capitals would only hide a clash.
QString IdentifierProblem(const QString& identifier);

// The identifier with A to Z made small; every other character stays for the rule to judge.
QString LowerCaseIdentifier(const QString& identifier);

// The archive's base name: the plugin name without its blanks (and backslashes), in lower case.
QString ArchiveName(const QString& pluginName);

// Empty when the plugin name gives a usable archive name; otherwise what is wrong with it.
QString PluginNameProblem(const QString& pluginName);

// True for the characters a line reader may end a line at: LF, VT, FF, CR, NEL (U+0085) and
// the Unicode line and paragraph separators.
bool IsLineBreak(QChar c);

// Empty when no header value would break the header comment or spill onto a line of its own;
// otherwise which one would.
QString HeaderValuesProblem(const PluginDetails& details);

// The identifier, name and header rules in that order: empty when the details can make a plugin.
QString DetailsProblem(const PluginDetails& details);

// True when one of the seven header fields is the empty string (a text of blanks is not empty).
bool AnyFieldEmpty(const PluginDetails& details);

} // namespace builder

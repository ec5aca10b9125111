#pragma once

#include "builder/plugin_details.h"

#include <QString>

namespace builder {

// The longest identifier WordPress accepts as a post type key.
inline constexpr int kMaxIdentifierLength = 20;

// Empty when the identifier can serve as folder name, PHP prefix, URL segment and post type key
// (a letter, then letters, digits or underscores, 20 at most); otherwise what is wrong with it.
QString IdentifierProblem(const QString& identifier);

// The archive's base name: the plugin name without its blanks (and backslashes), in lower case.
QString ArchiveName(const QString& pluginName);

// Empty when the plugin name gives a usable archive name; otherwise what is wrong with it.
QString PluginNameProblem(const QString& pluginName);

// Empty when no header value would break the header comment; otherwise which one would.
QString HeaderValuesProblem(const PluginDetails& details);

// True when one of the seven header fields is the empty string (a text of blanks is not empty).
bool AnyFieldEmpty(const PluginDetails& details);

} // namespace builder

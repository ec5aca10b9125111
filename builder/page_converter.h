#pragma once

#include <QString>
#include <QStringList>

namespace builder {

enum class PageRole
{
    FrontEnd,
    Download
};

inline constexpr char16_t kFrontTagCode[] = u"<?php echo $front_tag;?>";
inline constexpr char16_t kBackTagCode[] = u"<?php echo $back_tag;?>";

// Turns a site page into its PHP page template: double-quoted references to the site's files
// point into the installed plugin, the role's marker tag (#FRONT#, #front#, #Front#, or the
// #BACK# forms) becomes the echo of its variable, and every "<?" that was already in the page
// is written so that PHP prints it literally: only the fragments added here run as PHP.
// The page is taken by value so that a caller that moves it in keeps no copy of a large page.
QString ConvertPage(QString page, const QStringList& files, const QString& identifier, PageRole role);

} // namespace builder

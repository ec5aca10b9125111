#pragma once

#include <QString>

namespace gui {

// The application's name, by-line and version as the windows show them.
struct AppTexts
{
    QString name;
    QString byLine;
    QString version;
};

} // namespace gui

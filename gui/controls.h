#pragma once

#include <QKeySequence>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace gui {

// The windows' design sizes are in twips; 15 twips make a pixel at 96 dots per inch.
constexpr int px(int twips)
{
    return twips / 15;
}

// A label or button with the object name the tests and the window's code know it by.
QLabel* namedLabel(const char* name, const QString& text, QWidget* parent);
QPushButton* namedButton(const char* name, const QString& text, QWidget* parent);

// A control's tooltip names the key that works it.
QString withKey(const QString& text, const QKeySequence& key);

// A widget that comes and goes keeps its place, so the rest of the window does not move.
void keepPlaceWhenHidden(QWidget* widget);

} // namespace gui

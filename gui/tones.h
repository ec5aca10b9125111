#pragma once

#include <QColor>

class QPalette;
class QWidget;

namespace gui {

// The colours that carry meaning in the windows' texts: the blue of hints, the dark green of
// notices, the green of a marker found and the red of a marker missing.
enum class Tone
{
    Hint,
    Notice,
    Good,
    Bad
};

// The tone's colour on the palette's window background: the windows' own colours on a light
// background, lighter counterparts on a dark one; never less than 4.5:1 against it.
QColor ToneColor(Tone tone, const QPalette& palette);

// The contrast ratio of two colours as WCAG defines it, from 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

// Gives the widget's text the tone, now and whenever its palette changes (ReTone does that).
void SetTone(QWidget* widget, Tone tone);
// Takes the tone off; the widget's text has the palette's colour again.
void ClearTone(QWidget* widget);
// Sets the colour of every toned widget under root again, for its palette now.
void ReTone(QWidget* root);

} // namespace gui

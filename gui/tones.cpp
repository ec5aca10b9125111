#include "gui/tones.h"

#include <QPalette>
#include <QVariant>
#include <QWidget>

#include <cmath>

namespace gui {
namespace {

constexpr char kToneProperty[] = "vantorTone";

double channel(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

QColor lightBackgroundColour(Tone tone)
{
    switch (tone) {
    case Tone::Hint:
        return QColor(0x00, 0x00, 0xc0);
    case Tone::Notice:
        return QColor(0x00, 0x40, 0x00);
    case Tone::Good:
        return QColor(0x00, 0x60, 0x00);
    case Tone::Bad:
        break;
    }
    return QColor(0xc0, 0x00, 0x00);
}

QColor darkBackgroundColour(Tone tone)
{
    switch (tone) {
    case Tone::Hint:
        return QColor(0x9c, 0xc4, 0xff);
    case Tone::Notice:
        return QColor(0xa8, 0xe0, 0xa8);
    case Tone::Good:
        return QColor(0x7c, 0xe8, 0x7c);
    case Tone::Bad:
        break;
    }
    return QColor(0xff, 0x8c, 0x8c);
}

void paint(QWidget* widget, Tone tone)
{
    QPalette palette = widget->palette();
    const QColor colour = ToneColor(tone, palette);
    if (palette.color(QPalette::WindowText) == colour && palette.color(QPalette::Text) == colour)
        return;
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b)
{
    double la = luminance(a), lb = luminance(b);
    if (la < lb)
        std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

QColor ToneColor(Tone tone, const QPalette& palette)
{
    const QColor background = palette.color(QPalette::Window);
    const bool dark = luminance(background) < 0.18;
    const QColor colour = dark ? darkBackgroundColour(tone) : lightBackgroundColour(tone);
    if (ContrastRatio(colour, background) >= 4.5)
        return colour;
    // A background of neither kind: the palette's own text colour reads on it, if anything does.
    const QColor text = palette.color(QPalette::WindowText);
    return ContrastRatio(text, background) >= ContrastRatio(colour, background) ? text : colour;
}

void SetTone(QWidget* widget, Tone tone)
{
    widget->setProperty(kToneProperty, static_cast<int>(tone));
    paint(widget, tone);
}

void ClearTone(QWidget* widget)
{
    if (!widget->property(kToneProperty).isValid())
        return;
    widget->setProperty(kToneProperty, QVariant());
    // Back to what the parent hands down.
    widget->setPalette(QPalette());
}

void ReTone(QWidget* root)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        const QVariant tone = widget->property(kToneProperty);
        if (tone.isValid())
            paint(widget, static_cast<Tone>(tone.toInt()));
    }
}

} // namespace gui

#pragma once

#include <QLabel>

namespace gui {

// A one-line label that shows its whole text where it fits and leaves out the middle where it does
// not, so both ends of a long path stay readable. text() stays the whole text.
class ElidedLabel final : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    // Where the text gives way: the middle for a path (the default), the end for a sentence.
    void setElideMode(Qt::TextElideMode mode);
    // What the label draws at its present width.
    QString shownText() const;
    // Narrow enough for any layout: the text gives way, not the window.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode m_mode = Qt::ElideMiddle;
};

} // namespace gui

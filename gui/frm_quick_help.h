#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QPushButton;

namespace workspace {
class Prompter;
}

namespace gui {

// The quick-help window: the workflow in fixed texts, and the one setting of the program, the
// save marker that switches the page editor to its alternative save method.
class frmQuickHelp final : public QDialog
{
    Q_OBJECT
public:
    frmQuickHelp(const QString& saveMarker, workspace::Prompter& prompter, QWidget* parent = nullptr);

public slots:
    // "Close": applies the check box to the marker, then closes. Closing any other way applies
    // nothing.
    void Command1_Click();

private:
    void buildLayout();
    void Form_Load();

    QString m_saveMarker;
    workspace::Prompter& m_prompter;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command1 = nullptr;
};

} // namespace gui

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

    // The program folder whose user manual the window opens: the running program's unless set.
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }

public slots:
    // "Close": applies the check box to the marker, then closes. Closing any other way applies
    // nothing.
    void Command1_Click();
    // "User Manual": the manual from its start; a link in the texts opens its own section.
    void cmdUserManual_Click();

private:
    void buildLayout();
    void Form_Load();
    void openManualAt(const QString& section);

    QString m_saveMarker;
    workspace::Prompter& m_prompter;
    QString m_programFolder;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmdUserManual = nullptr;
};

} // namespace gui

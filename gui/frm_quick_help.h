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
    frmQuickHelp(const QString& markerFolder, workspace::Prompter& prompter, QWidget* parent = nullptr);

    // The save marker in the installation folder; a folder given with a trailing separator
    // still gives one separator before the name.
    static QString MarkerPath(const QString& installFolder);

public slots:
    // "Close": applies the check box to the marker, then closes. Closing any other way applies
    // nothing.
    void Command1_Click();

private:
    void buildLayout();
    void Form_Load();

    QString m_installFolder;
    workspace::Prompter& m_prompter;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command1 = nullptr;
};

} // namespace gui

#pragma once

#include "gui/app_texts.h"
#include "workspace/folders.h"
#include "workspace/plugin_build.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace workspace {
class FolderOpener;
class Prompter;
} // namespace workspace

namespace gui {

// The plugin details window: the identifier and the seven header fields, and "Create Plugin",
// which builds the plugin from the working folder and the two role pages.
class frmConvert final : public QDialog
{
    Q_OBJECT
public:
    frmConvert(const AppTexts& app, const workspace::Folders& folders, const QString& frontPage,
               const QString& downloadPage, workspace::Prompter& prompter, workspace::FolderOpener& opener,
               QWidget* parent = nullptr);

    // The details as the fields hold them now.
    builder::PluginDetails details() const;

public slots:
    void cmdGenerateIdentifier_Click();
    void Command3_Click();
    void Command1_Click();
    // Stops the running build.
    void cmdCancel_Click();
    // After a good build: the output folder in the file manager, the plugin's path on the clipboard.
    void cmdOpenFolder_Click();
    void cmdCopyPath_Click();
    // While a build runs, closing the window (title bar, Escape) offers to stop the build first;
    // the window closes once it has stopped.
    void reject() override;

public:
    bool building() const { return m_build.busy(); }
    // The user agreed to stop the build to close the window, which closes once it has stopped.
    bool closesWhenStopped() const { return m_closeWhenIdle; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The window top to bottom: the identifier row, the details frame, the progress row, the
    // outcome row (where the plugin is) and the two buttons.
    void buildLayout();
    QHBoxLayout* buildIdentifierRow();
    QGroupBox* buildDetailsFrame();
    void buildDetailFields(QWidget* rows);
    QHBoxLayout* buildProgressRow();
    void buildOutcomeRow();
    QHBoxLayout* buildButtons();
    void Form_Load(const QString& appName);
    void setBusy(bool busy);
    void showProgress(int percent, const QString& step);
    // Back to the window as it opened: no progress, no plugin path.
    void clearOutcome();
    void offerToStop();

    workspace::Prompter& m_prompter;
    workspace::PluginBuild m_build;

    QLineEdit* txtPluginID = nullptr;
    QPushButton* cmdGenerateIdentifier = nullptr;
    QLineEdit* txtPlugin_Name = nullptr;
    QLineEdit* txtPlugin_Uri = nullptr;
    QPlainTextEdit* txtPlugin_Description = nullptr;
    QLineEdit* txtPlugin_Version = nullptr;
    QLineEdit* txtPlugin_Author = nullptr;
    QLineEdit* txtPlugin_AuthorUrl = nullptr;
    QLineEdit* txtPlugin_License = nullptr;
    QLineEdit* txtSiteUrl = nullptr;      // optional: the site's old web address
    QCheckBox* chkLeanDelivery = nullptr; // the files for buyers stay out of the ZIP
    QPushButton* Command3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmdCancel = nullptr;
    bool m_closeWhenIdle = false;
    QProgressBar* prgBuild = nullptr;
    QLabel* lblProgress = nullptr;
    // The plugin a good build made, with what to do with it.
    QWidget* frOutcome = nullptr;
    QLineEdit* txtArchivePath = nullptr;
    QPushButton* cmdOpenFolder = nullptr;
    QPushButton* cmdCopyPath = nullptr;
};

} // namespace gui

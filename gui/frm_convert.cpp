#include "gui/frm_convert.h"

#include "builder/plugin_details.h"
#include "builder/plugin_rules.h"
#include "gui/controls.h"
#include "workspace/prompter.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValidator>

#include <utility>

namespace gui {
namespace {

QLineEdit* lineEdit(const char* name, int widthTwips, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setFixedWidth(px(widthTwips));
    return e;
}

// PHP ignores letter case in the names a plugin defines, so the identifier takes small letters
// only: capitals become small as they are typed or pasted, and the rest is for the build to judge.
class LowerCaseIdentifierValidator final : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = builder::LowerCaseIdentifier(input);
        return Acceptable;
    }
};

} // namespace

frmConvert::frmConvert(const AppTexts& app, const workspace::Folders& folders, const QString& frontPage,
                       const QString& downloadPage, workspace::Prompter& prompter,
                       workspace::FolderOpener& opener, QWidget* parent)
    : QDialog(parent), m_prompter(prompter), m_build(folders, frontPage, downloadPage, prompter, opener)
{
    setObjectName(QStringLiteral("frmConvert"));
    setWindowTitle(QStringLiteral("Create Plugin"));
    setModal(true);
    buildLayout();
    connect(&m_build, &workspace::PluginBuild::busyChanged, this, &frmConvert::setBusy);
    connect(&m_build, &workspace::PluginBuild::progress, this, &frmConvert::showProgress);
    connect(&m_build, &workspace::PluginBuild::finished, this, [this] {
        if (std::exchange(m_closeWhenIdle, false))
            QDialog::reject();
    });
    Form_Load(app.name);
}

void frmConvert::buildLayout()
{
    QHBoxLayout* identifierRow = buildIdentifierRow();
    QGroupBox* detailsFrame = buildDetailsFrame();
    QHBoxLayout* progressRow = buildProgressRow();
    buildOutcomeRow();
    QHBoxLayout* buttons = buildButtons();

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(px(630) - 20, px(360), px(630) - 20, px(225));
    main->addLayout(identifierRow);
    main->addSpacing(px(250));
    main->addWidget(detailsFrame);
    main->addLayout(progressRow);
    main->addWidget(frOutcome);
    main->addLayout(buttons);

    setTabOrder(txtPluginID, Command3);
    setTabOrder(Command3, cmdGenerateIdentifier);
    setTabOrder(cmdGenerateIdentifier, txtPlugin_Name);
    setTabOrder(txtPlugin_Name, txtPlugin_Uri);
    setTabOrder(txtPlugin_Uri, txtPlugin_Description);
    setTabOrder(txtPlugin_Description, txtPlugin_Version);
    setTabOrder(txtPlugin_Version, txtPlugin_Author);
    setTabOrder(txtPlugin_Author, txtPlugin_AuthorUrl);
    setTabOrder(txtPlugin_AuthorUrl, txtPlugin_License);
    setTabOrder(txtPlugin_License, txtSiteUrl);
    setTabOrder(txtSiteUrl, chkLeanDelivery);
    setTabOrder(chkLeanDelivery, Command1);
    txtPluginID->setFocus();
}

QHBoxLayout* frmConvert::buildIdentifierRow()
{
    txtPluginID = lineEdit("txtPluginID", 1725, this);
    txtPluginID->setValidator(new LowerCaseIdentifierValidator(txtPluginID));
    cmdGenerateIdentifier = namedButton("cmdGenerateIdentifier", QStringLiteral("&Generate New"), this);
    cmdGenerateIdentifier->setMinimumWidth(px(1500));
    connect(cmdGenerateIdentifier, &QPushButton::clicked, this, &frmConvert::cmdGenerateIdentifier_Click);

    auto* row = new QHBoxLayout;
    row->addSpacing(px(675) - 11);
    QLabel* Label2 = namedLabel("Label2", QStringLiteral("Unique &Identifier"), this);
    Label2->setBuddy(txtPluginID);
    row->addWidget(Label2);
    row->addSpacing(px(200));
    row->addWidget(txtPluginID);
    row->addWidget(cmdGenerateIdentifier);
    row->addSpacing(px(120));
    row->addWidget(namedLabel(
        "Label3", QStringLiteral("This is a unique identifier for the internal use of the plugin."), this));
    row->addStretch(1);
    return row;
}

QGroupBox* frmConvert::buildDetailsFrame()
{
    auto* Frame2 = new QGroupBox(QStringLiteral(" Enter Your Plugin Details      "), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    QFont frameFont(QStringLiteral("Verdana"), 10);
    frameFont.setPointSizeF(9.75);
    frameFont.setBold(true);
    Frame2->setFont(frameFont);
    // The caption's font is the frame's; its rows keep the window's.
    QFont plain = font();
    plain.setBold(false);
    plain.setPointSizeF(font().pointSizeF());
    auto* rows = new QWidget(Frame2);
    rows->setFont(plain);
    buildDetailFields(rows);

    auto* frameLayout = new QVBoxLayout(Frame2);
    frameLayout->setContentsMargins(px(765) - 40, px(300), px(300), px(300));
    QLabel* Label17 =
        namedLabel("Label17", QStringLiteral("Enter the details of your plugin below:"), Frame2);
    Label17->setFont(plain);
    frameLayout->addWidget(Label17);
    frameLayout->addSpacing(px(200));
    frameLayout->addWidget(rows);
    return Frame2;
}

void frmConvert::buildDetailFields(QWidget* rows)
{
    txtPlugin_Name = lineEdit("txtPlugin_Name", 2040, rows);
    txtPlugin_Uri = lineEdit("txtPlugin_Uri", 3975, rows);
    txtPlugin_Description = new QPlainTextEdit(rows);
    txtPlugin_Description->setObjectName(QStringLiteral("txtPlugin_Description"));
    txtPlugin_Description->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtPlugin_Description->setTabChangesFocus(true);
    txtPlugin_Description->setFixedSize(px(9060), px(645) + 8);
    txtPlugin_Version = lineEdit("txtPlugin_Version", 915, rows);
    txtPlugin_Author = lineEdit("txtPlugin_Author", 3975, rows);
    txtPlugin_AuthorUrl = lineEdit("txtPlugin_AuthorUrl", 3975, rows);
    txtPlugin_License = lineEdit("txtPlugin_License", 960, rows);
    txtSiteUrl = lineEdit("txtSiteUrl", 3975, rows);
    txtSiteUrl->setPlaceholderText(QStringLiteral("optional, such as http://www.old-domain.com/"));
    txtSiteUrl->setToolTip(
        QStringLiteral("Where the site used to be on the web: links that name its files by "
                       "this address then point at the files inside the plugin."));

    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(px(1305 - 765), 0, 0, 0);
    grid->setHorizontalSpacing(px(255));
    grid->setColumnMinimumWidth(0, px(1185));
    grid->setColumnStretch(1, 1);
    const struct
    {
        const char* labelName;
        const char* text;
        QWidget* field;
    } fields[] = {
        // The credit fields are fixed, so their labels lead nowhere.
        {"Label16", "Plugin &Name:", txtPlugin_Name},       {"Label15", "Plugin &URI:", txtPlugin_Uri},
        {"Label14", "Description:", txtPlugin_Description}, {"Label13", "&Version:", txtPlugin_Version},
        {"Label12", "Author:", txtPlugin_Author},           {"Label11", "Author Url:", txtPlugin_AuthorUrl},
        {"Label10", "&License:", txtPlugin_License},        {"lblSiteUrl", "Old &Site Address:", txtSiteUrl},
    };
    int row = 0;
    for (const auto& f : fields) {
        QLabel* l = namedLabel(f.labelName, QString::fromLatin1(f.text), rows);
        l->setBuddy(f.field);
        const bool tall = f.field == txtPlugin_Description;
        grid->addWidget(l, row, 0, tall ? Qt::AlignTop : Qt::AlignVCenter);
        auto* line = new QHBoxLayout;
        line->addWidget(f.field);
        if (f.field == txtPlugin_Name) {
            line->addSpacing(px(165));
            line->addWidget(
                namedLabel("Label5",
                           QStringLiteral("Please Keep this Name as Short as Possible. Allowed characters: "
                                          "letters, numbers and spaces."),
                           rows));
        }
        line->addStretch(1);
        grid->addLayout(line, row, 1);
        ++row;
    }
    chkLeanDelivery = new QCheckBox(
        QStringLiteral("Leave the files for buyers out of the ZIP, to upload them on the funnel's screen"),
        rows);
    chkLeanDelivery->setObjectName(QStringLiteral("chkLeanDelivery"));
    chkLeanDelivery->setToolTip(
        QStringLiteral("For large files, or a host that takes only small uploads (2 MB unless raised): the "
                       "ZIP holds the pages, and WordPress takes each file for buyers in small pieces."));
    grid->addWidget(chkLeanDelivery, row, 1);
}

QHBoxLayout* frmConvert::buildProgressRow()
{
    prgBuild = new QProgressBar(this);
    prgBuild->setObjectName(QStringLiteral("prgBuild"));
    prgBuild->setRange(0, 100);
    lblProgress = namedLabel("lblProgress", QString(), this);
    cmdCancel = namedButton("cmdCancel", QStringLiteral("Cancel"), this);
    cmdCancel->setToolTip(withKey(QStringLiteral("Stop the build"), QKeySequence::Cancel));
    connect(cmdCancel, &QPushButton::clicked, this, &frmConvert::cmdCancel_Click);
    auto* row = new QHBoxLayout;
    row->addWidget(prgBuild, 2);
    row->addWidget(lblProgress, 1);
    row->addWidget(cmdCancel);
    for (QWidget* w : {static_cast<QWidget*>(prgBuild), static_cast<QWidget*>(lblProgress),
                       static_cast<QWidget*>(cmdCancel)}) {
        keepPlaceWhenHidden(w);
        w->hide();
    }
    return row;
}

void frmConvert::buildOutcomeRow()
{
    frOutcome = new QWidget(this);
    frOutcome->setObjectName(QStringLiteral("frOutcome"));
    txtArchivePath = new QLineEdit(frOutcome);
    txtArchivePath->setObjectName(QStringLiteral("txtArchivePath"));
    txtArchivePath->setReadOnly(true);
    QLabel* lblArchivePath = namedLabel("lblArchivePath", QStringLiteral("The &plugin:"), frOutcome);
    lblArchivePath->setBuddy(txtArchivePath);
    cmdOpenFolder = namedButton("cmdOpenFolder", QStringLiteral("&Open Folder"), frOutcome);
    cmdOpenFolder->setToolTip(QStringLiteral("Show the folder that holds the plugin in the file manager"));
    cmdCopyPath = namedButton("cmdCopyPath", QStringLiteral("Cop&y Path"), frOutcome);
    cmdCopyPath->setToolTip(QStringLiteral("Copy the plugin's full path, to paste it where you upload it"));
    connect(cmdOpenFolder, &QPushButton::clicked, this, &frmConvert::cmdOpenFolder_Click);
    connect(cmdCopyPath, &QPushButton::clicked, this, &frmConvert::cmdCopyPath_Click);
    auto* outcomeRow = new QHBoxLayout(frOutcome);
    outcomeRow->setContentsMargins(0, 0, 0, 0);
    outcomeRow->addWidget(lblArchivePath);
    outcomeRow->addWidget(txtArchivePath, 1);
    outcomeRow->addWidget(cmdOpenFolder);
    outcomeRow->addWidget(cmdCopyPath);
    keepPlaceWhenHidden(frOutcome);
    frOutcome->hide();
}

QHBoxLayout* frmConvert::buildButtons()
{
    // Enter in any field creates the plugin; Escape closes the window.
    Command3 = namedButton("Command3", QStringLiteral("&Create Plugin"), this);
    Command3->setDefault(true);
    Command3->setToolTip(QStringLiteral("Create Plugin (%1)")
                             .arg(QKeySequence(Qt::Key_Enter).toString(QKeySequence::NativeText)));
    Command1 = namedButton("Command1", QStringLiteral("Close &Window"), this);
    Command1->setToolTip(withKey(QStringLiteral("Close Window"), QKeySequence::Cancel));
    for (QPushButton* b : {Command3, Command1})
        b->setFixedSize(px(2805), px(645));
    connect(Command3, &QPushButton::clicked, this, &frmConvert::Command3_Click);
    connect(Command1, &QPushButton::clicked, this, &frmConvert::Command1_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command3);
    buttons->addSpacing(px(165));
    buttons->addWidget(Command1);
    buttons->addStretch(1);
    return buttons;
}

void frmConvert::Form_Load(const QString& appName)
{
    const builder::PluginDetails defaults = builder::PluginDetails::defaults(appName);
    cmdGenerateIdentifier_Click();
    txtPlugin_Name->setText(defaults.name);
    txtPlugin_Uri->setText(defaults.uri);
    txtPlugin_Version->setText(defaults.version);
    txtPlugin_License->setText(defaults.license);
    txtPlugin_Description->setPlainText(defaults.description);
    txtPlugin_Author->setText(defaults.author);
    txtPlugin_AuthorUrl->setText(defaults.authorUri);
    // The credit texts are fixed.
    txtPlugin_Description->setEnabled(false);
    txtPlugin_Author->setEnabled(false);
    txtPlugin_AuthorUrl->setEnabled(false);
}

builder::PluginDetails frmConvert::details() const
{
    builder::PluginDetails d;
    d.identifier = txtPluginID->text();
    d.name = txtPlugin_Name->text();
    d.uri = txtPlugin_Uri->text();
    d.description = txtPlugin_Description->toPlainText();
    d.version = txtPlugin_Version->text();
    d.author = txtPlugin_Author->text();
    d.authorUri = txtPlugin_AuthorUrl->text();
    d.license = txtPlugin_License->text();
    d.siteUrl = txtSiteUrl->text();
    d.leanDelivery = chkLeanDelivery->isChecked();
    return d;
}

void frmConvert::cmdGenerateIdentifier_Click()
{
    txtPluginID->setText(builder::GenerateIdentifier());
}

void frmConvert::Command3_Click()
{
    clearOutcome();
    if (m_build.create(details()))
        return;
    // The field the build asked for is where the user goes on typing.
    for (QLineEdit* field : {txtPlugin_Name, txtPlugin_Uri, txtPlugin_Version, txtPlugin_Author,
                             txtPlugin_AuthorUrl, txtPlugin_License}) {
        if (field->isEnabled() && field->text().isEmpty()) {
            field->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

void frmConvert::clearOutcome()
{
    prgBuild->setValue(0);
    prgBuild->hide();
    lblProgress->clear();
    lblProgress->hide();
    txtArchivePath->clear();
    frOutcome->hide();
}

void frmConvert::cmdOpenFolder_Click()
{
    m_build.openOutputFolder();
}

void frmConvert::cmdCopyPath_Click()
{
    QGuiApplication::clipboard()->setText(txtArchivePath->text());
    QToolTip::showText(cmdCopyPath->mapToGlobal(QPoint(0, cmdCopyPath->height())),
                       QStringLiteral("The path was copied."), cmdCopyPath);
}

void frmConvert::Command1_Click()
{
    if (!m_build.busy())
        accept();
}

void frmConvert::cmdCancel_Click()
{
    if (!m_build.busy())
        return;
    m_build.stop();
    cmdCancel->setEnabled(false);
    lblProgress->setText(QStringLiteral("Stopping\u2026"));
}

void frmConvert::offerToStop()
{
    if (m_build.stopping()) {
        m_closeWhenIdle = true;
        return;
    }
    if (m_prompter.askYesNo(QStringLiteral("Stop the Build?"),
                            QStringLiteral("The plugin is still being built. Stop the build and close this "
                                           "window? Nothing of the build is kept."),
                            workspace::MessageIcon::Question, false) &&
        m_build.busy()) {
        m_closeWhenIdle = true;
        cmdCancel_Click();
    }
}

void frmConvert::reject()
{
    if (m_build.busy())
        offerToStop();
    else
        QDialog::reject();
}

void frmConvert::closeEvent(QCloseEvent* event)
{
    if (m_build.busy()) {
        event->ignore();
        offerToStop();
    } else {
        QDialog::closeEvent(event);
    }
}

void frmConvert::setBusy(bool busy)
{
    Command3->setText(busy ? QStringLiteral("Please Wait...") : QStringLiteral("&Create Plugin"));
    for (QWidget* w : {static_cast<QWidget*>(Command3), static_cast<QWidget*>(txtPluginID),
                       static_cast<QWidget*>(cmdGenerateIdentifier), static_cast<QWidget*>(Command1)})
        w->setEnabled(!busy);
    cmdCancel->setEnabled(busy);
    cmdCancel->setVisible(busy);
    if (busy) {
        prgBuild->setValue(0);
        prgBuild->show();
        lblProgress->show();
        return;
    }
    // Shown before the outcome's message box, so the window behind it already says the same.
    const builder::BuildResult& result = m_build.lastResult();
    using Status = builder::BuildResult::Status;
    switch (result.status) {
    case Status::Done:
        txtArchivePath->setText(QDir::toNativeSeparators(result.archivePath));
        frOutcome->show();
        break;
    case Status::Stopped:
        prgBuild->setValue(0);
        lblProgress->setText(QStringLiteral("Stopped"));
        break;
    case Status::Failed:
        prgBuild->setValue(0);
        lblProgress->setText(QStringLiteral("Failed"));
        break;
    case Status::MissingFields:
    case Status::Refused:
        // Nothing was built, so nothing of a build is shown.
        clearOutcome();
        break;
    }
}

void frmConvert::showProgress(int percent, const QString& step)
{
    prgBuild->setValue(percent);
    if (!m_build.stopping())
        lblProgress->setText(step);
}

} // namespace gui

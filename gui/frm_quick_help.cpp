#include "gui/frm_quick_help.h"

#include "gui/controls.h"
#include "gui/manual.h"
#include "support/io_error.h"
#include "support/mortar_file.h"
#include "workspace/prompter.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace gui {
namespace {

// What the marker holds; only its existence is ever looked at.
const QString kMarkerText = QStringLiteral("Text1");

struct HelpText
{
    const char* name;
    bool heading;
    const char* text;
    // The manual's section that the words "user manual" in the text open; none when null.
    const char16_t* section = nullptr;
};

// From top to bottom, as the window shows them; the check box follows the last but one.
constexpr HelpText kTextsAbove[] = {
    {"Label2", true, "Software Requirements"},
    {"Label1", false,
     "To use this software your computer needs nothing else installed (the browser that shows and "
     "edits your pages is built into the software)."},
    {"Label4", true, "Using the Software"},
    {"Label11", false,
     "Using the software it's really easy: First, open a folder containing an HTML sales page (most of "
     "the PLR sellers provide a reseller website containing a sales page and a download page)."},
    {"Label16", false,
     "Make sure that the download files (like a .pdf file etc), are included in this folder so they're "
     "also added to the plugin."},
    {"Label17", true, "Telling the Software which is Your Front-End Page and which is your Download Page."},
    {"Label3", false,
     "After this, use the drop-down selector, select your front-end page (usually index.html or "
     "index.htm) and click the \"Set as Front-End Page\" button."},
    {"Label12", false,
     "Then, use the drop-down selector again, select your download page (the name of the page will "
     "usually start with \"download\" but it may have another name) and click the \"Set as Download "
     "Page\" button."},
    {"Label13", true, "Adding Tags to Your Front-End Page and to Your Sales Page."},
    {"Label7", false,
     "The software requires that you add the following text to your front-end page: #FRONT# "},
    {"Label14", false,
     "To do this, go to your front-end page, click the \"Edit Page\" button, click where you want to "
     "insert a \"Buy Button\" (or autoresponder form - if you're using a lead magnet page), enter the "
     "#FRONT# and save the page."},
    {"Label15", false,
     "We'll do the same with the download page but here we'll enter the #BACK# tag. Please read the "
     "user manual for more info.",
     kManualTags},
    {"Label5", false,
     "Some pages may look different in this browser than how you see them under Google Chrome or "
     "Firefox and it's ok."},
    {"Label6", false,
     "This software doesn't replace a web design tool. It's main goal is to help you to quickly prepara "
     "your pages to covert them to WordPress."},
    {"Label8", true, "Problems to Save Your Page?"},
    {"Label9", false,
     "If you click the \"Save / Discard Changes\" button and nothing happens, then please enable the "
     "following option and retry."},
};

constexpr HelpText kTextBelow = {
    "Label10", false,
    "Please >> Only enable this option if you click that button and nothing happens (the software "
    "doesn't give you an option to save or discard the changes)."};

QLabel* helpLabel(const HelpText& entry, QWidget* parent)
{
    const QString text = QString::fromUtf8(entry.text);
    QLabel* label = namedLabel(entry.name, text, parent);
    label->setWordWrap(true);
    if (entry.section) {
        const QString words = QStringLiteral("user manual");
        const QString link = QStringLiteral("<a href=\"%1\">%2</a>")
                                 .arg(QString::fromUtf16(entry.section).toHtmlEscaped(), words);
        label->setTextFormat(Qt::RichText);
        label->setText(text.toHtmlEscaped().replace(words, link));
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    }
    if (entry.heading) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

} // namespace

frmQuickHelp::frmQuickHelp(const QString& saveMarker, workspace::Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_saveMarker(saveMarker), m_prompter(prompter),
      m_programFolder(QCoreApplication::applicationDirPath())
{
    setObjectName(QStringLiteral("frmQuickHelp"));
    setWindowTitle(QStringLiteral("Quick Help"));
    setModal(true);
    buildLayout();
    Form_Load();
}

void frmQuickHelp::buildLayout()
{
    auto* layout = new QVBoxLayout(this);
    for (const HelpText& entry : kTextsAbove) {
        // Headings stand a little apart from the text above them.
        if (entry.heading && layout->count() > 0)
            layout->addSpacing(8);
        QLabel* label = helpLabel(entry, this);
        layout->addWidget(label);
        if (entry.section)
            connect(label, &QLabel::linkActivated, this, &frmQuickHelp::openManualAt);
    }
    Check1 = new QCheckBox(QStringLiteral("Yes, I'm Experiencing This."), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    layout->addWidget(Check1);
    layout->addWidget(helpLabel(kTextBelow, this));
    cmdUserManual = namedButton("cmdUserManual", QStringLiteral("&User Manual"), this);
    cmdUserManual->setToolTip(QStringLiteral("Opens the user manual in your web browser"));
    // Enter keeps closing the window, as before the button was there.
    cmdUserManual->setAutoDefault(false);
    Command1 = namedButton("Command1", QStringLiteral("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdUserManual);
    buttons->addWidget(Command1);
    buttons->addStretch(1);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    // Wrapped labels take their height from a known width; the window then fits them all.
    for (QLabel* label : findChildren<QLabel*>())
        label->setFixedWidth(540);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Command1, &QPushButton::clicked, this, &frmQuickHelp::Command1_Click);
    connect(cmdUserManual, &QPushButton::clicked, this, &frmQuickHelp::cmdUserManual_Click);
}

void frmQuickHelp::Form_Load()
{
    Check1->setChecked(QFileInfo(m_saveMarker).isFile());
}

void frmQuickHelp::cmdUserManual_Click()
{
    openManualAt({});
}

void frmQuickHelp::openManualAt(const QString& section)
{
    OpenManualIn(m_programFolder, m_prompter, section);
}

void frmQuickHelp::Command1_Click()
{
    QString problem;
    if (Check1->isChecked()) {
        try {
            support::MortarFile::WriteTextFile(kMarkerText, m_saveMarker);
        } catch (const support::IoError& error) {
            problem = error.description();
        }
    } else if (QFileInfo(m_saveMarker).isFile()) {
        QFile file(m_saveMarker);
        if (!file.remove())
            problem = QStringLiteral("Cannot delete '%1': %2").arg(m_saveMarker, file.errorString());
    }
    if (!problem.isEmpty()) {
        m_prompter.inform(QStringLiteral("Error"),
                          QStringLiteral("The save setting was not changed.\n\n%1").arg(problem),
                          workspace::MessageIcon::Critical);
    }
    accept();
}

} // namespace gui

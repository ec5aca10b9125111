#include "gui/form2.h"

#include "gui/controls.h"
#include "gui/elided_label.h"
#include "gui/frm_convert.h"
#include "gui/frm_quick_help.h"
#include "gui/manual.h"
#include "gui/page_view.h"
#include "gui/tones.h"
#include "gui/window_channel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace gui {
namespace {

using workspace::PageRoles;
using workspace::PageWorkspace;

QKeySequence loadKey()
{
    return QKeySequence(Qt::CTRL | Qt::Key_O);
}

QKeySequence editKey()
{
    return QKeySequence(Qt::CTRL | Qt::Key_E);
}

QKeySequence convertKey()
{
    return QKeySequence(Qt::CTRL | Qt::Key_B);
}

QKeySequence helpKey()
{
    return QKeySequence(Qt::Key_F1);
}

// Clicks the button when the key is pressed anywhere in its window, while the button is usable.
void clickOnKey(QPushButton* button, const QKeySequence& key)
{
    auto* shortcut = new QShortcut(key, button);
    QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::animateClick);
}

// The local files of a drop; empty when anything else is dropped.
QStringList droppedFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}

QFont weighted(const QFont& base, bool bold, qreal pointSize = 0)
{
    QFont f = base;
    f.setBold(bold);
    if (pointSize > 0)
        f.setPointSizeF(pointSize);
    return f;
}

} // namespace

Form2::Form2(const AppTexts& app, const workspace::Folders& folders, workspace::Prompter& prompter,
             workspace::FolderOpener& opener, QWidget* parent)
    : QWidget(parent), m_app(app), m_prompter(prompter), m_opener(opener),
      m_workspace(folders, prompter, opener)
{
    setObjectName(QStringLiteral("Form2"));
    setAcceptDrops(true);
    buildLayout();
    // One filter for the whole program: drops over the page view reach its inner widgets, which
    // come and go with the engine; the page list and the "Help" label are watched here too.
    qApp->installEventFilter(this);

    connect(&m_workspace, &workspace::PageWorkspace::pageListChanged, this, &Form2::showPageList);
    connect(&m_workspace, &workspace::PageWorkspace::recentSitesChanged, this, [this] {
        const QString site = QDir::toNativeSeparators(m_workspace.siteFolder());
        lblSiteFolder->setText(site);
        lblSiteFolder->setToolTip(site);
    });
    connect(&m_workspace, &workspace::PageWorkspace::rolesChanged, this, &Form2::showRoles);
    connect(&m_workspace, &workspace::PageWorkspace::markersChanged, this, &Form2::showRoles);
    connect(&m_workspace, &workspace::PageWorkspace::loadBusyChanged, this, &Form2::showLoadBusy);
    connect(&m_workspace, &workspace::PageWorkspace::loadProgress, this, &Form2::showLoadProgress);
    connect(&m_workspace, &workspace::PageWorkspace::statusMessage, this, &Form2::showStatusMessage);
    connect(&m_workspace, &workspace::PageWorkspace::editingChanged, this, &Form2::showEditMode);
    connect(&m_workspace, &workspace::PageWorkspace::showPage, WebBrowser1, &PageView::navigate);
    connect(&m_workspace, &workspace::PageWorkspace::designModeEnded, WebBrowser1,
            [this] { WebBrowser1->setDesignMode(false); });
    connect(&m_workspace, &workspace::PageWorkspace::rootMarkupWanted, this, [this] {
        QPointer<Form2> self(this);
        WebBrowser1->requestRootMarkup([self](const QString& markup) {
            if (self)
                self->m_workspace.saveEditedMarkup(markup);
        });
    });
    connect(&m_workspace, &workspace::PageWorkspace::markerInsertWanted, this, [this](const QString& marker) {
        QPointer<Form2> self(this);
        WebBrowser1->insertText(marker, [self, marker](bool inserted) {
            if (!self)
                return;
            self->m_workspace.markerInsertAnswered(marker, inserted);
            // Back into the page, to go on typing after the marker.
            if (inserted)
                self->WebBrowser1->setFocus(Qt::OtherFocusReason);
        });
    });
    connect(WebBrowser1, &PageView::loadComplete, this, &Form2::WebBrowser1_DownloadComplete);
    connect(WebBrowser1, &PageView::linkClicked, &m_workspace, &workspace::PageWorkspace::followLink);
    connect(WebBrowser1, &PageView::shownElsewhere, &m_workspace, &workspace::PageWorkspace::pageShownByView);
    connect(WebBrowser1, &PageView::pageLeft, &m_workspace, &workspace::PageWorkspace::pageLeft);
    connect(WebBrowser1, &PageView::changedDocumentLeaving, &m_workspace,
            &workspace::PageWorkspace::keepTypingNow);
    // Queued: the close or the conversion starts once the view's save answer has been handled.
    connect(&m_workspace, &workspace::PageWorkspace::leftEditingFor, this, &Form2::afterEditing,
            Qt::QueuedConnection);
    connect(&m_workspace, &workspace::PageWorkspace::editingResumed, WebBrowser1, &PageView::resumeEditing);

    m_channel = new WindowChannel(this);
    connect(m_channel, &WindowChannel::forwardWanted, this, &Form2::comeForward);
    connect(&m_workspace, &workspace::PageWorkspace::workingFolderTaken, this,
            [this] { m_channel->listen(m_workspace.folders().windowChannel); });

    tmrHTMLSourceMonitor = new QTimer(this);
    tmrHTMLSourceMonitor->setObjectName(QStringLiteral("tmrHTMLSourceMonitor"));
    tmrHTMLSourceMonitor->setInterval(200);
    connect(tmrHTMLSourceMonitor, &QTimer::timeout, this, &Form2::tmrHTMLSourceMonitor_Timer);
    tmrRemoveMsgs = new QTimer(this);
    tmrRemoveMsgs->setObjectName(QStringLiteral("tmrRemoveMsgs"));
    tmrRemoveMsgs->setInterval(1800);
    connect(tmrRemoveMsgs, &QTimer::timeout, this, &Form2::tmrRemoveMsgs_Timer);
    tmrKeepTyping = new QTimer(this);
    tmrKeepTyping->setObjectName(QStringLiteral("tmrKeepTyping"));
    tmrKeepTyping->setInterval(3000);
    connect(tmrKeepTyping, &QTimer::timeout, this, &Form2::tmrKeepTyping_Timer);

    showPageList();
    showRoles();
    showEditMode(m_workspace.editing());
}

void Form2::buildLayout()
{
    QWidget* header = buildHeader();
    QHBoxLayout* pageRow = buildPageRow();
    buildView();
    buildRolesFrame();
    buildConvertButton();
    QGroupBox* shortcuts = buildShortcutsFrame();

    // The roles frame with the way into the plugin details beside it.
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(px(165));
    bottom->addWidget(frSelected, 1);
    bottom->addWidget(Command3);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(px(405), px(75), px(405), px(150));
    body->setSpacing(px(105));
    body->addLayout(pageRow);
    body->addWidget(WebBrowser1, 1);
    body->addLayout(bottom);
    body->addWidget(shortcuts);

    // The window's content keeps its least size; a window made smaller than that on a small
    // screen, or at a large scale, scrolls it, and every control stays within reach.
    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setMinimumSize(kLeastContentSize);
    auto* main = new QVBoxLayout(m_content);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);
    main->addWidget(header);
    main->addLayout(body, 1);
    m_scroller = new QScrollArea(this);
    m_scroller->setObjectName(QStringLiteral("scroller"));
    m_scroller->setFrameShape(QFrame::NoFrame);
    m_scroller->setFocusPolicy(Qt::NoFocus);
    m_scroller->setWidgetResizable(true);
    m_scroller->setWidget(m_content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_scroller);

    setMinimumSize(kLeastContentSize);
    resize(px(16395), px(10815));
    setReadingTabOrder();
}

QList<QWidget*> Form2::readingOrder() const
{
    return {Combo1,       Command5,     cmdSetasFE, cmdSetasDownloadPage, Command2,     lblHelp, WebBrowser1,
            cmdRemove[0], cmdRemove[1], Command3,   cmdInsertFront,       cmdInsertBack};
}

void Form2::setReadingTabOrder()
{
    const QList<QWidget*> order = readingOrder();
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

bool Form2::focusNextPrevChild(bool next)
{
    // The page view's engine makes its own widget when a page loads, last in the window's chain,
    // so the chain alone would lead from the view back to the top. The reading order decides.
    const QList<QWidget*> order = readingOrder();
    QWidget* focused = QApplication::focusWidget();
    qsizetype at = -1;
    for (qsizetype i = 0; i < order.size() && focused; ++i) {
        if (order[i] == focused || order[i]->isAncestorOf(focused))
            at = i;
    }
    if (at < 0)
        return QWidget::focusNextPrevChild(next);
    for (qsizetype step = 1; step < order.size(); ++step) {
        QWidget* candidate = order[(at + (next ? step : order.size() - step)) % order.size()];
        QWidget* taker = candidate;
        while (taker->focusProxy())
            taker = taker->focusProxy();
        if (candidate->isEnabled() && candidate->isVisible() && (taker->focusPolicy() & Qt::TabFocus)) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            if (m_scroller)
                m_scroller->ensureWidgetVisible(candidate);
            return true;
        }
    }
    return false;
}

QWidget* Form2::buildHeader()
{
    auto* Picture2 = new QWidget(this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setAutoFillBackground(true);
    QPalette headerPalette = Picture2->palette();
    headerPalette.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    Picture2->setPalette(headerPalette);
    Picture2->setFixedHeight(px(870));
    lblAppName = namedLabel("lblAppName", QString(), Picture2);
    QFont appFont(QStringLiteral("Trebuchet MS"));
    appFont.setPointSizeF(15.75);
    appFont.setBold(true);
    lblAppName->setFont(appFont);
    lblAppName->setStyleSheet(QStringLiteral("color: #ffffff;"));
    lblPageSelected =
        namedLabel("lblPageSelected", PageRoles::assignedMessage(PageRoles::FrontEnd), Picture2);
    lblPageSelected->setStyleSheet(QStringLiteral("color: #c0ffff;"));
    keepPlaceWhenHidden(lblPageSelected);
    lblPageSelected->hide();
    lblLoadProgress = namedLabel("lblLoadProgress", QString(), Picture2);
    lblLoadProgress->setStyleSheet(QStringLiteral("color: #c0ffff;"));
    lblLoadProgress->hide();
    // The loaded site's own folder, both ends in sight; the tooltip holds all of it.
    lblSiteFolder = new ElidedLabel(Picture2);
    lblSiteFolder->setObjectName(QStringLiteral("lblSiteFolder"));
    lblSiteFolder->setElideMode(Qt::ElideMiddle);
    lblSiteFolder->setStyleSheet(QStringLiteral("color: #ffffff;"));
    lblSiteFolder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* header = new QHBoxLayout(Picture2);
    header->setContentsMargins(px(495), 0, px(495), 0);
    header->addWidget(lblAppName);
    header->addSpacing(px(300));
    header->addWidget(lblSiteFolder, 3);
    header->addWidget(lblPageSelected);
    header->addSpacing(px(300));
    header->addWidget(lblLoadProgress);
    header->addStretch(1);
    return Picture2;
}

QHBoxLayout* Form2::buildPageRow()
{
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setAcceptDrops(true);
    Combo1->setMinimumHeight(px(420));
    connect(Combo1, &QComboBox::activated, &m_workspace, &workspace::PageWorkspace::choosePage);
    connect(Combo1, &QComboBox::editTextChanged, &m_workspace, &workspace::PageWorkspace::setCurrentText);

    buildLoadButton();

    cmdSetasFE = namedButton("cmdSetasFE", QStringLiteral("Set as &Front-End Page"), this);
    cmdSetasDownloadPage = namedButton("cmdSetasDownloadPage", QStringLiteral("Set as &Download Page"), this);
    Command2 = namedButton("Command2", QStringLiteral("Edit Page"), this);
    clickOnKey(Command2, editKey());
    cmdSetasFE->setMinimumSize(px(1950), px(420));
    cmdSetasDownloadPage->setMinimumSize(px(1995), px(420));
    Command2->setMinimumSize(px(2175), px(420));
    connect(cmdSetasFE, &QPushButton::clicked, this, &Form2::cmdSetasFE_Click);
    connect(cmdSetasDownloadPage, &QPushButton::clicked, this, &Form2::cmdSetasDownloadPage_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);

    lblHelp = namedLabel("lblHelp", QStringLiteral("Help"), this);
    QFont helpFont = weighted(font(), true);
    helpFont.setUnderline(true);
    lblHelp->setFont(helpFont);
    lblHelp->setCursor(Qt::PointingHandCursor);
    lblHelp->setToolTip(withKey(QStringLiteral("Help"), helpKey()));
    // Reached by Tab like a button, and opened by Enter or Space; the frame shows the focus.
    lblHelp->setFocusPolicy(Qt::StrongFocus);
    lblHelp->setStyleSheet(QStringLiteral("QLabel { border: 1px solid transparent; padding: 1px; }"
                                          " QLabel:focus { border: 1px dotted palette(text); }"));
    auto* helpShortcut = new QShortcut(helpKey(), lblHelp);
    connect(helpShortcut, &QShortcut::activated, this, &Form2::lblHelp_Click);

    auto* row = new QHBoxLayout;
    row->setSpacing(px(100) + 1);
    row->addWidget(Combo1);
    row->addWidget(Command5);
    row->addWidget(cmdSetasFE);
    row->addWidget(cmdSetasDownloadPage);
    row->addWidget(Command2);
    row->addWidget(lblHelp);
    row->addStretch(1);
    return row;
}

void Form2::buildLoadButton()
{
    Command5 = namedButton("Command5", QStringLiteral("+"), this);
    Command5->setToolTip(withKey(QStringLiteral("Load HTML Folder"), loadKey()));
    Command5->setFixedSize(px(465) + 4, px(420));
    mnuPopup = new QMenu(QStringLiteral("Popup"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuLoadUsingBrowser =
        mnuPopup->addAction(QStringLiteral("Load HTML Folder by Using the &Folder Selector"));
    mnuLoadUsingBrowser->setObjectName(QStringLiteral("mnuLoadUsingBrowser"));
    // The key works in the whole window, not only while the menu is open.
    mnuLoadUsingBrowser->setShortcut(loadKey());
    addAction(mnuLoadUsingBrowser);
    mnuLoadUsingLocation = mnuPopup->addAction(QStringLiteral("Load HTML Folder by Entering its &Path"));
    mnuLoadUsingLocation->setObjectName(QStringLiteral("mnuLoadUsingLocation"));
    mnuPopup->setToolTipsVisible(true);
    connect(mnuPopup, &QMenu::aboutToShow, this, &Form2::showRecentSites);
    connect(Command5, &QPushButton::clicked, this, &Form2::Command5_Click);
    connect(mnuLoadUsingBrowser, &QAction::triggered, this, &Form2::mnuLoadUsingBrowser_Click);
    connect(mnuLoadUsingLocation, &QAction::triggered, this, &Form2::mnuLoadUsingLocation_Click);
}

void Form2::buildView()
{
    WebBrowser1 = new PageView(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setPrompter(&m_prompter);
    WebBrowser1->setSiteFolder(m_workspace.folders().workingFolder);
    WebBrowser1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    WebBrowser1->setMinimumHeight(px(3000));
}

void Form2::buildRolesFrame()
{
    frSelected = new QGroupBox(QStringLiteral(" Pages"), this);
    frSelected->setObjectName(QStringLiteral("frSelected"));
    frSelected->setFont(weighted(font(), true));
    auto* roles = new QGridLayout(frSelected);
    roles->setContentsMargins(px(225), px(200), px(225), px(150));
    roles->setVerticalSpacing(px(60));
    roles->setHorizontalSpacing(px(120));
    const char* roleLabels[] = {"Label4", "Label5"};
    const char* roleTexts[] = {"Front-End Page:", "Download Page:"};
    const char* pageNames[] = {"lblSelectedPage_0", "lblSelectedPage_1"};
    const char* markerNames[] = {"lblMarkerState_0", "lblMarkerState_1"};
    const char* removeNames[] = {"cmdRemove_0", "cmdRemove_1"};
    const char* removeTexts[] = {"&Remove", "Re&move"};
    const char* removeTips[] = {"Takes the front-end page off its role",
                                "Takes the download page off its role"};
    for (int i = 0; i < 2; ++i) {
        QLabel* caption = namedLabel(roleLabels[i], QString::fromLatin1(roleTexts[i]), frSelected);
        caption->setFont(weighted(font(), true));
        // A long path keeps both ends in sight; the tooltip holds all of it.
        lblSelectedPage[i] = new ElidedLabel(frSelected);
        lblSelectedPage[i]->setObjectName(QLatin1String(pageNames[i]));
        lblSelectedPage[i]->setFont(weighted(font(), false));
        lblSelectedPage[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        lblMarkerState[i] = namedLabel(markerNames[i], QString(), frSelected);
        lblMarkerState[i]->setFont(weighted(font(), true));
        // As wide as its widest text, so the path beside it does not shift as the state changes.
        lblMarkerState[i]->setMinimumWidth(
            lblMarkerState[i]->fontMetrics().horizontalAdvance(QStringLiteral("\u2718 #FRONT# missing")) + 8);
        cmdRemove[i] = namedButton(removeNames[i], QString::fromLatin1(removeTexts[i]), frSelected);
        cmdRemove[i]->setToolTip(
            withKey(QString::fromLatin1(removeTips[i]), QKeySequence::mnemonic(cmdRemove[i]->text())));
        cmdRemove[i]->setFont(weighted(font(), false));
        cmdRemove[i]->setFixedWidth(px(1095) + 10);
        connect(cmdRemove[i], &QPushButton::clicked, this, [this, i] { cmdRemove_Click(i); });
        roles->addWidget(caption, i, 0);
        roles->addWidget(lblSelectedPage[i], i, 1);
        roles->addWidget(lblMarkerState[i], i, 2);
        roles->addWidget(cmdRemove[i], i, 3);
    }
    QLabel* Label9 =
        namedLabel("Label9",
                   QStringLiteral("Important: Your Front-End Page Needs to have the following tag: "
                                  "#FRONT#. Your download page needs to have this one: #BACK#."),
                   frSelected);
    SetTone(Label9, Tone::Hint);
    // "user manual" opens the manual at the section on the tags.
    QLabel* Label7 = namedLabel(
        "Label7",
        QStringLiteral("You can add these tags to your documents by using the &quot;Edit Page&quot; "
                       "button. Please read the <a href=\"%1\">user manual</a> for more details.")
            .arg(QString::fromUtf16(kManualTags)),
        frSelected);
    Label7->setTextFormat(Qt::RichText);
    Label7->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(Label7, &QLabel::linkActivated, this,
            [this](const QString& section) { OpenManual(m_prompter, section); });
    for (QLabel* l : {Label9, Label7}) {
        l->setFont(weighted(font(), false));
        l->setWordWrap(true);
        roles->addWidget(l, roles->rowCount(), 0, 1, 4);
    }
    roles->setColumnStretch(1, 1);
}

void Form2::buildConvertButton()
{
    Command3 = namedButton("Command3", QStringLiteral("Convert to WordPress Plugin"), this);
    Command3->setFont(weighted(font(), true, 9.75));
    Command3->setMinimumWidth(px(4200));
    Command3->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    Command3->setToolTip(withKey(Command3->text(), convertKey()));
    clickOnKey(Command3, convertKey());
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
}

QGroupBox* Form2::buildShortcutsFrame()
{
    auto* frShortcuts =
        new QGroupBox(QStringLiteral("Shortcuts (Remember to click the \"Edit Page\" Button First)"), this);
    frShortcuts->setObjectName(QStringLiteral("frShortcuts"));
    QLabel* Label2 =
        namedLabel("Label2",
                   QStringLiteral("Notice: Some pages may look different in this browser than how you "
                                  "see them under Google Chrome or Firefox but it's ok."),
                   frShortcuts);
    SetTone(Label2, Tone::Notice);
    Label2->setWordWrap(true);
    // Alt+F and Alt+D set the roles while viewing; while editing, when those are off, Alt+F and
    // Alt+B type the markers.
    cmdInsertFront = namedButton("cmdInsertFront", QStringLiteral("Insert #&FRONT#"), frShortcuts);
    cmdInsertBack = namedButton("cmdInsertBack", QStringLiteral("Insert #&BACK#"), frShortcuts);
    for (PageRoles::Slot slot : {PageRoles::FrontEnd, PageRoles::Download}) {
        QPushButton* insert = slot == PageRoles::FrontEnd ? cmdInsertFront : cmdInsertBack;
        insert->setToolTip(
            withKey(QStringLiteral("Types %1 at the caret in the page being edited, in place of any "
                                   "selected text")
                        .arg(PageWorkspace::markerOf(slot)),
                    QKeySequence::mnemonic(insert->text())));
    }
    connect(cmdInsertFront, &QPushButton::clicked, this, &Form2::cmdInsertFront_Click);
    connect(cmdInsertBack, &QPushButton::clicked, this, &Form2::cmdInsertBack_Click);
    auto* shortcuts = new QHBoxLayout(frShortcuts);
    shortcuts->setContentsMargins(px(360), px(120), px(360), px(120));
    shortcuts->setSpacing(px(120));
    shortcuts->addWidget(cmdInsertFront);
    shortcuts->addWidget(cmdInsertBack);
    shortcuts->addSpacing(px(240));
    shortcuts->addWidget(Label2, 1);
    return frShortcuts;
}

bool Form2::Form_Load()
{
    if (!m_workspace.start()) {
        if (m_workspace.runningElsewhere() &&
            !WindowChannel::callForward(m_workspace.folders().windowChannel))
            m_workspace.tellRunningElsewhere();
        return false;
    }
    WebBrowser1->navigate(m_workspace.folders().blankPage);
    setWindowTitle(m_app.name + QLatin1Char(' ') + m_app.version + m_app.byLine);
    lblAppName->setText(m_app.name);
    showPageList();
    tmrHTMLSourceMonitor->start();
    tmrRemoveMsgs->start();
    tmrKeepTyping->start();
    return true;
}

void Form2::resizeEvent(QResizeEvent* event)
{
    // The page list keeps a third of the window's width; the controls after it follow it.
    Combo1->setFixedWidth(std::max(width(), kLeastContentSize.width()) / 3);
    QWidget::resizeEvent(event);
    fitFrameOnScreen();
}

void Form2::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    fitFrameOnScreen();
}

void Form2::fitFrameOnScreen()
{
    // The window manager adds its frame after the window was placed: once it is known, a window
    // that now passes its screen is made to fit, title bar and all. Only the first time: later
    // the user decides.
    const QSize frame = frameGeometry().size() - geometry().size();
    if (m_frameFitted || !m_placed || frame.isEmpty() || isMaximized() || isFullScreen())
        return;
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    m_frameFitted = true;
    fitMinimumToScreen();
    const QRect area = shownOn->availableGeometry();
    if (area.contains(frameGeometry()))
        return;
    resize(size().boundedTo(area.size() - frame).expandedTo(minimumSize()));
    // A window's position is that of its frame.
    const QRect outer(frameGeometry().topLeft(), size() + frame);
    move(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
         std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
}

void Form2::showEvent(QShowEvent* event)
{
    // Placed once; later shows leave the window where the user put it.
    if (!m_placed && !event->spontaneous()) {
        m_placed = true;
        placeWindow();
    }
    QWidget::showEvent(event);
}

void Form2::fitMinimumToScreen()
{
    if (const QScreen* shownOn = screen()) {
        // The frame counts where the platform knows it already; a window manager adds its own later.
        const QSize frame = frameGeometry().size() - geometry().size();
        setMinimumSize(kLeastContentSize.boundedTo(shownOn->availableGeometry().size() - frame));
    }
}

void Form2::placeWindow()
{
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    fitMinimumToScreen();
    if (QWindow* window = windowHandle())
        connect(window, &QWindow::screenChanged, this, &Form2::fitMinimumToScreen, Qt::UniqueConnection);
    const workspace::UserMemory::Placement last = m_workspace.memory().placement();
    QList<QRect> areas;
    for (const QScreen* attached : QGuiApplication::screens())
        areas << attached->availableGeometry();
    if (const QRect kept = workspace::PlaceOnScreens(last.geometry, areas); kept.isValid()) {
        setGeometry(kept);
        if (last.maximized)
            setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    // Centred on its screen, made to fit a smaller one with its title bar on it.
    const QRect area = shownOn->availableGeometry();
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(size().boundedTo(area.size() - frame).expandedTo(minimumSize()));
    const QSize outer = size() + frame;
    const QRect centred = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, outer, area);
    move(std::max(centred.left(), area.left()), std::max(centred.top(), area.top()));
}

void Form2::rememberPlace()
{
    if (m_placed)
        m_workspace.memory().setPlacement({normalGeometry(), isMaximized()});
}

void Form2::changeEvent(QEvent* event)
{
    // Coming back from another program is no activation of the program's own: the page stays.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_activatePending) {
        m_activatePending = false;
        Form_Activate();
    }
    // A desktop switched to a dark palette (or back) gets the meaning colours that read on it.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        // Once every widget below has its new palette.
        QTimer::singleShot(0, this, [this] { ReTone(this); });
    }
    QWidget::changeEvent(event);
}

void Form2::Form_Activate()
{
    raise();
    // Coming back from a window shown over this one reloads the page, but never while editing,
    // nor while the closing of a save question hands the focus back before that save is done.
    if (Command2->text() == workspace::PageWorkspace::editPageCaption() && Combo1->count() > 0 &&
        !m_workspace.currentText().isEmpty() && !m_workspace.savingEdits())
        WebBrowser1->navigate(m_workspace.currentText());
}

void Form2::showPageList()
{
    const QSignalBlocker blocker(Combo1);
    const QStringList& pages = m_workspace.pages();
    QStringList shown;
    for (int i = 0; i < Combo1->count(); ++i)
        shown << Combo1->itemText(i);
    if (shown != pages) {
        Combo1->clear();
        Combo1->addItems(pages);
    }
    const QString& text = m_workspace.currentText();
    if (Combo1->currentText() != text || (Combo1->currentIndex() < 0) != (pages.indexOf(text) < 0)) {
        const int index = pages.lastIndexOf(text);
        Combo1->setCurrentIndex(index);
        if (index < 0)
            Combo1->setEditText(text);
    }
    Combo1->setEnabled(m_workspace.pageListEnabled());
    Command2->setEnabled(m_workspace.editEnabled());
}

void Form2::showRoles()
{
    const PageRoles& roles = m_workspace.roles();
    for (PageRoles::Slot slot : {PageRoles::FrontEnd, PageRoles::Download}) {
        lblSelectedPage[slot]->setText(roles.label(slot));
        // A path keeps both its ends; the hint without a role reads from its start.
        lblSelectedPage[slot]->setElideMode(roles.assigned(slot) ? Qt::ElideMiddle : Qt::ElideRight);
        lblSelectedPage[slot]->setToolTip(roles.label(slot)); // the label may be too narrow for it
        cmdRemove[slot]->setEnabled(roles.removeEnabled(slot));

        // Words and colour both, so the sign reads without telling red from green.
        const QString marker = PageWorkspace::markerOf(slot);
        QString sign, tip;
        Tone tone = Tone::Bad;
        switch (m_workspace.markerState(slot)) {
        case PageWorkspace::MarkerState::NoRole:
            break;
        case PageWorkspace::MarkerState::Present:
            sign = QStringLiteral("\u2714 %1 found").arg(marker);
            tone = Tone::Good;
            tip = QStringLiteral("The page holds %1.").arg(marker);
            break;
        case PageWorkspace::MarkerState::Missing:
            sign = QStringLiteral("\u2718 %1 missing").arg(marker);
            tip = QStringLiteral("The page does not hold %1 yet: press \"Edit Page\", click where it goes, "
                                 "press \"Insert %1\", then save.")
                      .arg(marker);
            break;
        case PageWorkspace::MarkerState::Unreadable:
            sign = QStringLiteral("\u2718 cannot be read");
            tip = m_workspace.markerProblem(slot);
            break;
        }
        // Without a role there is nothing to say, and the page label gets the room.
        lblMarkerState[slot]->setVisible(!sign.isEmpty());
        lblMarkerState[slot]->setText(sign);
        if (sign.isEmpty())
            ClearTone(lblMarkerState[slot]);
        else
            SetTone(lblMarkerState[slot], tone);
        lblMarkerState[slot]->setToolTip(tip);
    }
    cmdSetasFE->setEnabled(m_workspace.setRoleEnabled(PageRoles::FrontEnd));
    cmdSetasDownloadPage->setEnabled(m_workspace.setRoleEnabled(PageRoles::Download));
}

void Form2::showEditMode(bool editing)
{
    // Before the load that follows: pages being edited load without their scripts, and a leave
    // for closing or converting may be cancelled.
    WebBrowser1->setEditing(editing);
    WebBrowser1->setCancelOffered(!editing && m_workspace.afterEditing() !=
                                                  workspace::PageWorkspace::AfterEditing::Nothing);
    Command2->setText(m_workspace.editCaption());
    Command2->setToolTip(withKey(Command2->text(), editKey()));
    Command5->setEnabled(m_workspace.loadEnabled());
    mnuLoadUsingBrowser->setEnabled(m_workspace.loadEnabled());
    mnuLoadUsingLocation->setEnabled(m_workspace.loadEnabled());
    cmdInsertFront->setEnabled(m_workspace.insertMarkerEnabled());
    cmdInsertBack->setEnabled(m_workspace.insertMarkerEnabled());
}

void Form2::showLoadBusy(bool busy)
{
    if (busy) {
        // Clicks and keys wait until the copy is done, which the cursor says.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        return;
    }
    QApplication::restoreOverrideCursor();
    lblLoadProgress->hide();
}

void Form2::showLoadProgress(qsizetype filesCopied)
{
    lblLoadProgress->setText(
        filesCopied == 1 ? QStringLiteral("Loading the folder\u2026 1 file copied")
                         : QStringLiteral("Loading the folder\u2026 %L1 files copied").arg(filesCopied));
    lblLoadProgress->show();
    // The copy runs inside the load command: the window repaints meanwhile, but takes no clicks
    // or keys until it is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Form2::showStatusMessage(const QString& text)
{
    lblPageSelected->setText(text);
    lblPageSelected->show();
}

void Form2::Command5_Click()
{
    // Under the button, where the keyboard's user looks as well as the mouse's.
    mnuPopup->popup(Command5->mapToGlobal(QPoint(0, Command5->height())));
}

void Form2::showRecentSites()
{
    // Built anew each time the menu opens, so that it shows what is on disk now.
    qDeleteAll(std::exchange(m_recentActions, {}));
    const QStringList sites = m_workspace.recentSites();
    if (sites.isEmpty())
        return;
    m_recentActions << mnuPopup->addSeparator();
    bool anyGone = false;
    for (int i = 0; i < sites.size(); ++i) {
        const QString& site = sites[i];
        const bool gone = !QFileInfo(site).isDir();
        anyGone = anyGone || gone;
        QString name = QFileInfo(site).fileName();
        if (name.isEmpty())
            name = QDir::toNativeSeparators(site);
        name.replace(QLatin1Char('&'), QStringLiteral("&&"));
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        QAction* action = mnuPopup->addAction(
            QStringLiteral("%1  %2%3")
                .arg(number, name, gone ? QStringLiteral(" (folder not found)") : QString()));
        action->setObjectName(QStringLiteral("mnuRecent_%1").arg(i));
        action->setToolTip(QDir::toNativeSeparators(site));
        action->setEnabled(!gone && m_workspace.loadEnabled());
        connect(action, &QAction::triggered, this, [this, site] { m_workspace.loadRecentSite(site); });
        m_recentActions << action;
    }
    if (anyGone) {
        QAction* forget = mnuPopup->addAction(QStringLiteral("Remove Folders That Are &Gone from This List"));
        forget->setObjectName(QStringLiteral("mnuForgetGone"));
        connect(forget, &QAction::triggered, &m_workspace, &PageWorkspace::forgetGoneSites);
        m_recentActions << forget;
    }
}

void Form2::mnuLoadUsingBrowser_Click()
{
    m_workspace.loadUsingBrowser();
}

void Form2::mnuLoadUsingLocation_Click()
{
    m_workspace.loadUsingLocation();
}

void Form2::cmdSetasFE_Click()
{
    m_workspace.setRole(PageRoles::FrontEnd);
}

void Form2::cmdSetasDownloadPage_Click()
{
    m_workspace.setRole(PageRoles::Download);
}

void Form2::cmdRemove_Click(int Index)
{
    m_workspace.removeRole(Index);
}

void Form2::Command2_Click()
{
    m_workspace.toggleEditMode();
}

void Form2::WebBrowser1_DownloadComplete()
{
    // Every load, also one the page list's refill starts while editing, follows the caption.
    WebBrowser1->setDesignMode(Command2->text() != workspace::PageWorkspace::editPageCaption());
}

void Form2::Command3_Click()
{
    // The check reads the pages on disk, so edits on screen are saved (or discarded) first.
    if (m_workspace.editing()) {
        m_workspace.leaveEditModeThen(workspace::PageWorkspace::AfterEditing::Convert);
        return;
    }
    if (m_workspace.savingEdits())
        return;
    if (!m_workspace.conversionPreCheck())
        return;
    const PageRoles& roles = m_workspace.roles();
    frmConvert details(m_app, m_workspace.folders(), roles.path(PageRoles::FrontEnd),
                       roles.path(PageRoles::Download), m_prompter, m_opener, this);
    m_details = &details;
    details.exec();
    m_details = nullptr;
    if (std::exchange(m_closeAfterDetails, false))
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void Form2::afterEditing(workspace::PageWorkspace::AfterEditing then)
{
    if (then == workspace::PageWorkspace::AfterEditing::Close)
        close();
    else if (then == workspace::PageWorkspace::AfterEditing::Convert)
        Command3_Click();
}

void Form2::closeEvent(QCloseEvent* event)
{
    // A folder being copied is finished first: the window takes no command meanwhile.
    if (m_workspace.loading()) {
        event->ignore();
        return;
    }
    // A build is stopped (after asking) before anything else; the window closes once the plugin
    // details have closed.
    if (m_details) {
        event->ignore();
        const bool closed = m_details->close();
        m_closeAfterDetails = closed || (m_details && m_details->closesWhenStopped());
        return;
    }
    if (m_workspace.editing()) {
        event->ignore();
        m_workspace.leaveEditModeThen(workspace::PageWorkspace::AfterEditing::Close);
        return;
    }
    if (m_workspace.savingEdits()) {
        event->ignore();
        return;
    }
    QPointer<QWidget> focused = QApplication::focusWidget();
    if (!m_workspace.keepEditedPages(workspace::PageWorkspace::Ending::Close)) {
        event->ignore();
        // The keys go where they went before the question.
        if (focused)
            focused->setFocus(Qt::OtherFocusReason);
        return;
    }
    rememberPlace();
    m_workspace.closed();
    QWidget::closeEvent(event);
}

void Form2::endRequested()
{
    if (m_endingUnattended)
        return;
    if (m_endRequested.isValid() && m_endRequested.elapsed() < kUnansweredMs) {
        endUnattended();
        return;
    }
    m_endRequested.start();
    // The view's question about the page being left is open, and the typing was kept as it
    // opened: the user answers it first.
    if (WebBrowser1->asking())
        return;
    keepTypingForNextStart([self = QPointer<Form2>(this)] {
        if (!self || self->m_endingUnattended)
            return;
        // A question open already waits for its answer; the close would ask over it.
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* help = qobject_cast<frmQuickHelp*>(modal)) {
            help->reject();
            modal = nullptr;
        }
        if (!modal || modal == self->m_details)
            QMetaObject::invokeMethod(self, &QWidget::close, Qt::QueuedConnection);
    });
}

void Form2::keepTypingForNextStart(std::function<void()> then)
{
    QPointer<Form2> self(this);
    const QString page = WebBrowser1->currentFile();
    WebBrowser1->requestTyping([self, page, then = std::move(then)](const QString& markup) {
        if (self && !markup.isEmpty())
            self->m_workspace.keepTypingNow(page, markup);
        if (then)
            then();
    });
}

void Form2::endUnattended()
{
    m_endingUnattended = true;
    tmrKeepTyping->stop();
    rememberPlace();
    m_workspace.holdForNextStart();
    // A page view that no longer answers must not keep the program from ending.
    auto emitted = std::make_shared<bool>(false);
    const auto end = [self = QPointer<Form2>(this), emitted] {
        if (self && !std::exchange(*emitted, true))
            emit self->endingUnattended();
    };
    if (WebBrowser1->asking()) { // kept as the question opened; no script answers meanwhile
        end();
        return;
    }
    QTimer::singleShot(2000, this, end);
    keepTypingForNextStart(end);
}

void Form2::tmrKeepTyping_Timer()
{
    if (!m_workspace.editing() || m_workspace.savingEdits())
        return;
    QPointer<Form2> self(this);
    const quint64 ticket = m_workspace.typingTicket();
    const QString page = WebBrowser1->currentFile();
    WebBrowser1->requestTyping([self, ticket, page](const QString& markup) {
        if (self)
            self->m_workspace.keepTyping(ticket, page, markup);
    });
}

void Form2::comeForward()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    // A question open over the window comes along, on top.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
}

void Form2::cmdInsertFront_Click()
{
    m_workspace.insertMarker(PageRoles::FrontEnd);
}

void Form2::cmdInsertBack_Click()
{
    m_workspace.insertMarker(PageRoles::Download);
}

void Form2::lblHelp_Click()
{
    frmQuickHelp help(m_workspace.folders().saveMarker, m_prompter, this);
    help.exec();
}

void Form2::tmrHTMLSourceMonitor_Timer()
{
    m_workspace.refreshPageList();
}

void Form2::tmrRemoveMsgs_Timer()
{
    lblPageSelected->hide();
}

void Form2::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form2::dropEvent(QDropEvent* event)
{
    const QStringList paths = droppedFiles(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    m_workspace.dropOnWindow(paths);
}

bool Form2::eventFilter(QObject* watched, QEvent* event)
{
    // The window's own keys win over a field that would take them: the page list's text field
    // reads Ctrl+E as "end of line" on X11, and a page being edited has keys of its own.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        if (widget && widget->window() == this &&
            (pressed == loadKey() || pressed == editKey() || pressed == convertKey() ||
             pressed == helpKey())) {
            event->ignore();
            return true;
        }
    }
    // A dialog of the program over this window closing makes the activation that follows its own.
    if (event->type() == QEvent::Hide && !isActiveWindow()) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        for (QWidget* owner = dialog && dialog->isWindow() ? dialog->parentWidget() : nullptr; owner;
             owner = owner->parentWidget()) {
            if (owner == this)
                m_activatePending = true;
        }
    }
    if (watched == lblHelp) {
        if (event->type() == QEvent::MouseButtonRelease)
            lblHelp_Click();
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                lblHelp_Click();
                return true;
            }
        }
        return false;
    }
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool onList = watched == Combo1 || watched == Combo1->lineEdit();
    // The page view would open a dropped file itself; over it a drop counts as one on the window.
    const bool onView = widget && (widget == WebBrowser1 || WebBrowser1->isAncestorOf(widget));
    if (!onList && !onView)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (onView) {
        // Text or an image moved inside the page, and text brought in from elsewhere, are edits
        // of the page being edited: the page takes them. Links could make the engine leave it.
        for (QObject* source = drop->source(); source; source = source->parent()) {
            if (source == WebBrowser1)
                return false;
        }
        if (!drop->mimeData() || !drop->mimeData()->hasUrls())
            return false;
    }
    // Only dropped files count, not even text into the page list's field.
    const QStringList paths = droppedFiles(drop->mimeData());
    if (paths.isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        if (onList)
            m_workspace.dropOnPageList(paths);
        else
            m_workspace.dropOnWindow(paths);
    }
    return true;
}

} // namespace gui

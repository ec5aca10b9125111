#pragma once

#include "gui/app_texts.h"
#include "workspace/page_workspace.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <functional>

#include <array>

class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QScrollArea;
class QTimer;

namespace workspace {
class FolderOpener;
class Prompter;
} // namespace workspace

namespace gui {

class ElidedLabel;

class PageView;
class WindowChannel;
class frmConvert;

// The main window: the page list and its load menu, the page view, the two page roles and the
// way into the plugin details. It mirrors the workspace model and forwards the user's actions.
class Form2 final : public QWidget
{
    Q_OBJECT
public:
    Form2(const AppTexts& app, const workspace::Folders& folders, workspace::Prompter& prompter,
          workspace::FolderOpener& opener, QWidget* parent = nullptr);

    // Start-up: takes the working folder, offers what an earlier run left unfinished, empties the
    // working folder, makes the output folder, shows the blank page and starts the timers. False
    // when the program cannot work (the user has been told why), or when another window holds
    // the working folder: that one is called forward instead (model().runningElsewhere()).
    bool Form_Load();

    workspace::PageWorkspace& model() { return m_workspace; }

    // The system asks the program to end (a signal, the session ending). The typing on screen is
    // kept for the next start at once; then the window closes as when its user closes it, asking
    // what it asks then. Asked again within kUnansweredMs, nobody is there to answer: everything
    // stays kept for the next start and endingUnattended follows, without a question.
    void endRequested();
    static constexpr int kUnansweredMs = 5000;
    // Keeps the typing on screen for the next start, then runs then.
    void keepTypingForNextStart(std::function<void()> then = {});

signals:
    // Everything is kept for the next start; the program is to end now, asking nothing more.
    void endingUnattended();

public slots:
    void Command5_Click();
    void mnuLoadUsingBrowser_Click();
    void mnuLoadUsingLocation_Click();
    void cmdSetasFE_Click();
    void cmdSetasDownloadPage_Click();
    void cmdRemove_Click(int Index);
    void Command2_Click();
    void WebBrowser1_DownloadComplete();
    void Command3_Click();
    void lblHelp_Click();
    // "Insert #FRONT#" / "Insert #BACK#" in the "Shortcuts" frame.
    void cmdInsertFront_Click();
    void cmdInsertBack_Click();
    void tmrHTMLSourceMonitor_Timer();
    void tmrRemoveMsgs_Timer();
    // Keeps a copy of the typing on screen every few seconds while a page is edited.
    void tmrKeepTyping_Timer();

protected:
    // Closing while a page is being edited leaves edit mode first; then changed pages are offered
    // for writing back into their site folder. Cancel on either keeps the window open.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // The window top to bottom: the header bar, the row of the page list and its buttons, the
    // page view, the " Pages" frame with the convert button beside it, the "Shortcuts" frame.
    void buildLayout();
    QWidget* buildHeader();
    QHBoxLayout* buildPageRow();
    // "+" and the load menu it opens.
    void buildLoadButton();
    // The sites loaded lately, under the load commands of the "+" menu.
    void showRecentSites();
    // Every control in the order a person reads the window: left to right, top to bottom.
    void setReadingTabOrder();
    QList<QWidget*> readingOrder() const;
    // Where the window stands and how large it is, as it was left last time if that still fits
    // on a screen; centred on its screen otherwise.
    void placeWindow();
    void rememberPlace();
    // The least size never passes the screen the window is on.
    void fitMinimumToScreen();
    void fitFrameOnScreen();
    void buildView();
    void buildRolesFrame();
    void buildConvertButton();
    QGroupBox* buildShortcutsFrame();
    void showPageList();
    void showRoles();
    void showEditMode(bool editing);
    void showLoadBusy(bool busy);
    void showLoadProgress(qsizetype filesCopied);
    void showStatusMessage(const QString& text);
    void Form_Activate();
    void afterEditing(workspace::PageWorkspace::AfterEditing then);
    // A second start asks for this window: it comes to the front, with the question it shows.
    void comeForward();
    void endUnattended();

    AppTexts m_app;
    workspace::Prompter& m_prompter;
    workspace::FolderOpener& m_opener;
    workspace::PageWorkspace m_workspace;

    QLabel* lblAppName = nullptr;
    QLabel* lblPageSelected = nullptr;
    QLabel* lblLoadProgress = nullptr;
    ElidedLabel* lblSiteFolder = nullptr;
    // Below this size the window's content scrolls.
    static constexpr QSize kLeastContentSize{960, 640};
    QWidget* m_content = nullptr;
    QScrollArea* m_scroller = nullptr;
    QList<QAction*> m_recentActions;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command5 = nullptr;
    QMenu* mnuPopup = nullptr;
    QAction* mnuLoadUsingBrowser = nullptr;
    QAction* mnuLoadUsingLocation = nullptr;
    QPushButton* cmdSetasFE = nullptr;
    QPushButton* cmdSetasDownloadPage = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* lblHelp = nullptr;
    PageView* WebBrowser1 = nullptr;
    QGroupBox* frSelected = nullptr;
    std::array<ElidedLabel*, 2> lblSelectedPage{};
    // Beside each role: whether its page holds its marker.
    std::array<QLabel*, 2> lblMarkerState{};
    std::array<QPushButton*, 2> cmdRemove{};
    QPushButton* cmdInsertFront = nullptr;
    QPushButton* cmdInsertBack = nullptr;
    QPushButton* Command3 = nullptr;
    QTimer* tmrHTMLSourceMonitor = nullptr;
    QTimer* tmrRemoveMsgs = nullptr;
    QTimer* tmrKeepTyping = nullptr;
    WindowChannel* m_channel = nullptr;
    QElapsedTimer m_endRequested;
    bool m_endingUnattended = false;
    // The plugin details while they are open, and whether the window closes once they are.
    QPointer<frmConvert> m_details;
    bool m_closeAfterDetails = false;

    // The next activation runs Form_Activate: the first one, and the one after a window of the
    // program shown over this one closed.
    bool m_activatePending = true;
    bool m_placed = false;
    bool m_frameFitted = false;
};

} // namespace gui

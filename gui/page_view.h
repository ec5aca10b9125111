#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;

namespace workspace {
class Prompter;
}

namespace gui {

class SilentPage;
class SiteRequestFilter;

// The embedded page view: one facade over QWebEngineView/QWebEnginePage. Form2 names it "WebBrowser1".
class PageView final : public QWidget
{
    Q_OBJECT
public:
    explicit PageView(QWidget* parent = nullptr);
    ~PageView() override;

    // Where the save-or-discard question and write failures are asked/reported.
    void setPrompter(workspace::Prompter* prompter);
    // Loads a local file (full path). When the shown document was changed in design mode, first
    // asks "save or discard" through the prompter and on save writes it back, then loads. Async.
    // Only a document still in design mode is judged: switch design mode off first to leave
    // without the question (after saving by other means). A failed write is reported and the
    // load abandoned, so the edits stay on screen (no loadComplete then).
    void navigate(const QString& filePath);
    QString currentFile() const;
    // Whether the next loads are for editing: pages are then loaded with their JavaScript off.
    void setEditing(bool editing);
    // Whether the save-or-discard question also offers Cancel, which keeps the changed document
    // on screen (leaving edit mode to close the window or to convert).
    void setCancelOffered(bool offered);
    // Switches the current document's design mode on or off (async; errors are ignored).
    void setDesignMode(bool on);
    // Hands the root element's markup (documentElement.outerHTML) to done, asynchronously.
    void requestRootMarkup(std::function<void(const QString&)> done);
    // Types text at the caret of the document in design mode, replacing the selection, as the
    // keyboard would (the document's undo history keeps it). done(false) when there is no caret
    // in the document or it is not in design mode.
    void insertText(const QString& text, std::function<void(bool)> done);
    // True while the question whether to save the document being left is open. Script answers
    // (requestTyping's too) wait until it has its answer.
    bool asking() const { return m_asking; }
    // Hands done the root element's markup of the document on screen when the user changed it in
    // design mode since its load, and "" when not; for keeping the typing should the program end.
    void requestTyping(std::function<void(const QString&)> done);
    // Back to the document being edited after a question about leaving it: the keyboard goes to
    // the page again, and the caret is where it was.
    void resumeEditing();
    // A folder whose files the loaded pages may read besides their own folder tree (the working
    // folder); empty for none.
    void setSiteFolder(const QString& folder);

signals:
    // After each load has finished (ok false when it failed).
    void loadComplete(bool ok);
    // Once navigate() has judged the shown document: left is true when the next load went ahead
    // (the changes were saved or discarded, or there were none), false when the changed document
    // stays on screen (its save failed or the user cancelled).
    void pageLeft(bool left);
    // The user clicked a link to another document, or one that opens a new window; the view
    // stays on the shown page.
    void linkClicked(const QUrl& url);
    // The view went to another local file by itself (a refresh tag, a script): the file shown now.
    void shownElsewhere(const QString& filePath);
    // A document changed in design mode is about to be saved or discarded, after a question:
    // its markup as it stands.
    void changedDocumentLeaving(const QString& filePath, const QString& rootMarkup);

private:
    void onLoadFinished(bool ok);
    // Records the shown document's markup as the load's baseline once the document is there.
    void takeLoadedMarkup(quint64 load, int triesLeft);
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void decideAndLoad(const QString& markup, bool designModeOn);
    bool saveMarkup(const QString& markup);
    void load(const QString& filePath);

    workspace::Prompter* m_prompter = nullptr;
    QWebEngineProfile* m_profile = nullptr;
    SilentPage* m_page = nullptr;
    QWebEngineView* m_view = nullptr;
    SiteRequestFilter* m_filter = nullptr;
    QString m_currentFile;
    // Whether the load the program asked for last has started, and a load the page started
    // itself after it.
    bool m_ownLoadStarted = false;
    QUrl m_pageLoad;
    // The markup of the document as its load finished; the document counts as changed when its
    // markup differs from this.
    QString m_loadedMarkup;
    bool m_loadedMarkupKnown = false;
    // Counts loads, so that a late answer about an earlier document is dropped.
    quint64 m_loadSerial = 0;
    bool m_editing = false;
    bool m_cancelOffered = false;
    // The file the latest navigate() asked for while the save question for the shown one is open.
    QString m_pendingFile;
    bool m_leaving = false;
    bool m_asking = false;
};

} // namespace gui

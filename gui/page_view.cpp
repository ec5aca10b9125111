#include "gui/page_view.h"

#include "gui/silent_page.h"
#include "gui/site_request_filter.h"
#include "support/io_error.h"
#include "workspace/logging.h"
#include "workspace/markup_save.h"
#include "workspace/prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace gui {

namespace {

// Our own scripts run apart from the page's, so they work while the page's JavaScript is off
// and the page cannot tamper with them.
constexpr quint32 kOwnWorld = QWebEngineScript::ApplicationWorld;

// How long the baseline of a finished load is waited for while its document is not there yet.
constexpr int kLoadedMarkupTries = 40;
constexpr int kLoadedMarkupRetryMs = 50;

} // namespace

PageView::PageView(QWidget* parent) : QWidget(parent)
{
    // A profile of our own, kept in memory: nothing a page stores outlives the program.
    m_profile = new QWebEngineProfile(this);
    m_page = new SilentPage(m_profile, this);
    m_filter = new SiteRequestFilter(this);
    m_page->setUrlRequestInterceptor(m_filter);
    m_page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    // Reseller pages often pull style sheets, fonts and images from the web; they should look as
    // they do in a browser. Local files stay fenced in by the filter.
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);

    m_view = new QWebEngineView(this);
    m_view->setPage(m_page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    // Only editing actions: the engine's own menu would also offer reloading and going back,
    // which would throw the user's edits away without the save offer.
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        auto* menu = new QMenu(m_view);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (QWebEnginePage::WebAction action :
             {QWebEnginePage::Undo, QWebEnginePage::Redo, QWebEnginePage::Cut, QWebEnginePage::Copy,
              QWebEnginePage::Paste, QWebEnginePage::SelectAll}) {
            if (action == QWebEnginePage::Cut)
                menu->addSeparator();
            menu->addAction(m_page->action(action));
        }
        menu->popup(m_view->mapToGlobal(at));
    });

    connect(m_page, &QWebEnginePage::loadFinished, this, &PageView::onLoadFinished);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &PageView::onLoadingChanged);
    connect(m_page, &SilentPage::linkClicked, this, &PageView::linkClicked);
    // A link for a new window (target="_blank") goes where any other clicked link goes; windows
    // a script opens by itself go nowhere.
    connect(m_page, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest& request) {
        if (request.isUserInitiated() && !m_editing)
            emit linkClicked(request.requestedUrl());
    });
    // A renderer that dies takes pending script answers with it; do not wait for them forever.
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, [this] {
        m_loadedMarkupKnown = false;
        if (m_leaving) {
            m_leaving = false;
            load(m_pendingFile);
            emit pageLeft(true);
        }
    });
}

PageView::~PageView()
{
    // The page must go before the profile it was made with.
    delete m_view;
    delete m_page;
}

void PageView::setPrompter(workspace::Prompter* prompter)
{
    m_prompter = prompter;
}

void PageView::navigate(const QString& filePath)
{
    // While the shown document is being judged (or its save question is open) the latest request
    // simply replaces the earlier one.
    m_pendingFile = filePath;
    if (m_leaving)
        return;
    if (!m_loadedMarkupKnown) {
        load(filePath);
        emit pageLeft(true);
        return;
    }
    m_leaving = true;
    QPointer<PageView> self(this);
    // The caret is noted before the question, to be put back should the user stay.
    m_page->runJavaScript(
        QStringLiteral("window.caretBeforeQuestion = getSelection().rangeCount ?"
                       " getSelection().getRangeAt(0).cloneRange() : null;"
                       " [document.designMode,"
                       " document.documentElement ? document.documentElement.outerHTML : '']"),
        kOwnWorld, [self](const QVariant& result) {
            if (!self)
                return;
            const QVariantList values = result.toList();
            self->decideAndLoad(values.value(1).toString(),
                                values.value(0).toString() == QLatin1String("on"));
        });
}

QString PageView::currentFile() const
{
    return m_currentFile;
}

void PageView::setEditing(bool editing)
{
    m_editing = editing;
}

void PageView::setCancelOffered(bool offered)
{
    m_cancelOffered = offered;
}

void PageView::setDesignMode(bool on)
{
    // The script answers with the mode the document is in afterwards; when that is not the one
    // asked for (the page went away, or would not switch), the log says so.
    const QString wanted = on ? QStringLiteral("on") : QStringLiteral("off");
    m_page->runJavaScript(QStringLiteral("document.designMode = '%1'; document.designMode").arg(wanted),
                          kOwnWorld, [wanted, url = m_page->url()](const QVariant& result) {
                              if (result.toString() != wanted)
                                  qCWarning(lcWorkspace).noquote()
                                      << "Design mode not switched" << wanted << "in" << url.toString()
                                      << "- the page answered" << result.toString();
                          });
}

void PageView::requestRootMarkup(std::function<void(const QString&)> done)
{
    m_page->runJavaScript(
        QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''"), kOwnWorld,
        [done = std::move(done)](const QVariant& result) { done(result.toString()); });
}

void PageView::insertText(const QString& text, std::function<void(bool)> done)
{
    // The text goes in as a string of the script, never as script: it is handed over as JSON.
    const QString quoted =
        QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).chopped(1).mid(1));
    m_page->runJavaScript(
        QStringLiteral("(function(text) {"
                       " var s = getSelection();"
                       " if (document.designMode !== 'on' || !document.body || s.rangeCount === 0"
                       "     || !document.body.contains(s.getRangeAt(0).commonAncestorContainer))"
                       "  return false;"
                       " return document.execCommand('insertText', false, text); })(%1)")
            .arg(quoted),
        kOwnWorld, [done = std::move(done)](const QVariant& result) { done(result.toBool()); });
}

void PageView::requestTyping(std::function<void(const QString&)> done)
{
    QPointer<PageView> self(this);
    const quint64 load = m_loadSerial;
    m_page->runJavaScript(
        QStringLiteral("[document.designMode,"
                       " document.documentElement ? document.documentElement.outerHTML : '']"),
        kOwnWorld, [self, load, done = std::move(done)](const QVariant& result) {
            const QVariantList values = result.toList();
            const QString markup = values.value(1).toString();
            const bool changed = self && self->m_loadSerial == load && self->m_loadedMarkupKnown &&
                                 values.value(0).toString() == QLatin1String("on") && !markup.isEmpty() &&
                                 markup != self->m_loadedMarkup;
            done(changed ? markup : QString());
        });
}

void PageView::resumeEditing()
{
    m_view->setFocus(Qt::OtherFocusReason);
    // The selection the question found is put back, should the document have lost it; once, so
    // that a later question finds the caret of its own time.
    m_page->runJavaScript(QStringLiteral("(function() { var r = window.caretBeforeQuestion;"
                                         " window.caretBeforeQuestion = null;"
                                         " if (r && document.contains(r.startContainer)) {"
                                         "  var s = getSelection(); s.removeAllRanges(); s.addRange(r); }"
                                         " window.focus(); })()"),
                          kOwnWorld);
}

void PageView::setSiteFolder(const QString& folder)
{
    m_filter->setSiteFolder(folder);
}

void PageView::load(const QString& filePath)
{
    m_currentFile = filePath;
    m_ownLoadStarted = false;
    m_pageLoad.clear();
    m_loadedMarkupKnown = false;
    ++m_loadSerial;
    m_filter->setPageFolder(QFileInfo(filePath).absolutePath());
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, !m_editing);
    m_page->setStayPut(m_editing);
    m_page->load(QUrl::fromLocalFile(filePath));
}

void PageView::onLoadingChanged(const QWebEngineLoadingInfo& info)
{
    const QUrl url = info.url().adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery);
    const bool ours =
        url.isLocalFile() && QDir::cleanPath(url.toLocalFile()) == QDir::cleanPath(m_currentFile);
    // A load that starts after the program's own one is the page's doing (a refresh tag); one that
    // ends before it started is an earlier page's, late.
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        if (ours)
            m_ownLoadStarted = true;
        else if (m_ownLoadStarted)
            m_pageLoad = url;
        return;
    }
    if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus && !ours && url == m_pageLoad &&
        url.isLocalFile()) {
        // The page on screen is the one a save goes to.
        m_currentFile = url.toLocalFile();
        m_pageLoad.clear();
        emit shownElsewhere(m_currentFile);
    }
}

void PageView::onLoadFinished(bool ok)
{
    // Asked before loadComplete goes out, so the markup is taken before any handler of it can
    // switch design mode or change the document: scripts in one world run in order.
    takeLoadedMarkup(++m_loadSerial, kLoadedMarkupTries);
    emit loadComplete(ok);
}

void PageView::takeLoadedMarkup(quint64 load, int triesLeft)
{
    QPointer<PageView> self(this);
    requestRootMarkup([self, load, triesLeft](const QString& markup) {
        if (!self || self->m_loadSerial != load)
            return;
        // A load that cut another short can report its end while the new document is not there
        // yet, and the answer is empty. Every real document has its root element: ask again
        // shortly, or an empty baseline would make the untouched page count as changed.
        if (markup.isEmpty() && triesLeft > 1) {
            QTimer::singleShot(kLoadedMarkupRetryMs, self, [self, load, triesLeft] {
                if (self && self->m_loadSerial == load)
                    self->takeLoadedMarkup(load, triesLeft - 1);
            });
            return;
        }
        self->m_loadedMarkup = markup;
        self->m_loadedMarkupKnown = true;
    });
}

void PageView::decideAndLoad(const QString& markup, bool designModeOn)
{
    const bool changed = designModeOn && m_loadedMarkupKnown && markup != m_loadedMarkup;
    if (changed && m_prompter) {
        // The question may wait long for its answer, and script answers wait with it.
        emit changedDocumentLeaving(m_currentFile, markup);
        m_asking = true;
        const auto asked = qScopeGuard([this] { m_asking = false; });
        const QString title = QStringLiteral("Save");
        const QString file = QDir::toNativeSeparators(m_currentFile);
        workspace::Answer answer = workspace::Answer::No;
        if (m_cancelOffered) {
            answer = m_prompter->askYesNoCancel(
                title,
                QStringLiteral("This page was changed:\n%1\n\nSave the changes? No discards them, "
                               "Cancel goes back to editing.")
                    .arg(file),
                workspace::MessageIcon::Question);
        } else if (m_prompter->askYesNo(
                       title,
                       QStringLiteral("This page was changed:\n%1\n\nSave the changes? No discards them.")
                           .arg(file),
                       workspace::MessageIcon::Question)) {
            answer = workspace::Answer::Yes;
        }
        if (answer == workspace::Answer::Cancel ||
            (answer == workspace::Answer::Yes && !saveMarkup(markup))) {
            m_leaving = false;
            emit pageLeft(false);
            return;
        }
    }
    m_leaving = false;
    load(m_pendingFile);
    emit pageLeft(true);
}

bool PageView::saveMarkup(const QString& markup)
{
    try {
        workspace::SavePageMarkup(m_currentFile, markup);
        return true;
    } catch (const support::IoError& error) {
        if (m_prompter)
            m_prompter->inform(
                QStringLiteral("Error"),
                QStringLiteral("The page was not saved, so it stays open with your changes.\n\n%1")
                    .arg(error.description()),
                workspace::MessageIcon::Critical);
        return false;
    }
}

} // namespace gui

#include "gui/page_view.h"

#include "gui/site_request_filter.h"
#include "workspace/prompter.h"

#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
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

} // namespace

PageView::PageView(QWidget* parent)
    : QWidget(parent)
{
    // A profile of our own, kept in memory: nothing a page stores outlives the program.
    m_profile = new QWebEngineProfile(this);
    m_page = new QWebEnginePage(m_profile, this);
    m_filter = new SiteRequestFilter(this);
    m_page->setUrlRequestInterceptor(m_filter);
    m_page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);

    m_view = new QWebEngineView(this);
    m_view->setPage(m_page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    connect(m_page, &QWebEnginePage::loadFinished, this, &PageView::onLoadFinished);
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

void PageView::Navigate2(const QString& filePath)
{
    load(filePath);
}

QString PageView::currentFile() const
{
    return m_currentFile;
}

void PageView::setEditing(bool editing)
{
    m_editing = editing;
}

void PageView::setDesignMode(bool on)
{
    m_page->runJavaScript(on ? QStringLiteral("document.designMode = 'on';")
                             : QStringLiteral("document.designMode = 'off';"),
                          kOwnWorld);
}

void PageView::requestRootMarkup(std::function<void(const QString&)> done)
{
    m_page->runJavaScript(
        QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''"), kOwnWorld,
        [done = std::move(done)](const QVariant& result) { done(result.toString()); });
}

void PageView::setSiteFolder(const QString& folder)
{
    m_filter->setSiteFolder(folder);
}

void PageView::load(const QString& filePath)
{
    m_currentFile = filePath;
    m_loadedMarkupKnown = false;
    m_filter->setPageFolder(QFileInfo(filePath).absolutePath());
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, !m_editing);
    m_page->load(QUrl::fromLocalFile(filePath));
}

void PageView::onLoadFinished(bool ok)
{
    emit DownloadComplete(ok);
}

void PageView::decideAndLoad(const QString&, bool)
{
}

bool PageView::saveMarkup(const QString&)
{
    return false;
}

} // namespace gui

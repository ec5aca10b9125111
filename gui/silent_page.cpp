#include "gui/silent_page.h"

namespace gui {

SilentPage::SilentPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

void SilentPage::javaScriptAlert(const QUrl&, const QString&) {}

bool SilentPage::javaScriptConfirm(const QUrl&, const QString&)
{
    return true;
}

bool SilentPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*)
{
    return false;
}

void SilentPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&)
{
}

QStringList SilentPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&)
{
    return {};
}

void SilentPage::setStayPut(bool stayPut)
{
    m_stayPut = stayPut;
}

bool SilentPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame)
        return true;
    if (m_stayPut && type != NavigationTypeTyped)
        return false;
    // A jump within the shown page stays a jump.
    const bool sameDocument =
        url.hasFragment() && url.adjusted(QUrl::RemoveFragment) == this->url().adjusted(QUrl::RemoveFragment);
    if (type == NavigationTypeLinkClicked && !sameDocument) {
        // Queued: the receiver may load a page, which must not happen inside this decision.
        QMetaObject::invokeMethod(
            this, [this, url] { emit linkClicked(url); }, Qt::QueuedConnection);
        return false;
    }
    return url.isLocalFile();
}

} // namespace gui

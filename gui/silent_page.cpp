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
    return url.isLocalFile();
}

} // namespace gui

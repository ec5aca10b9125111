#include "gui/silent_page.h"

namespace gui {

SilentPage::SilentPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent)
{
}

void SilentPage::javaScriptAlert(const QUrl&, const QString&)
{
}

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

bool SilentPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame)
{
    return !isMainFrame || url.isLocalFile();
}

} // namespace gui

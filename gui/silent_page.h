#pragma once

#include <QWebEnginePage>

namespace gui {

// The page behind the page view: it shows no dialog boxes of its own about the loaded pages
// (script alerts, questions, file choosers, console noise) and keeps the view on local files.
class SilentPage final : public QWebEnginePage
{
    Q_OBJECT
public:
    explicit SilentPage(QWebEngineProfile* profile, QObject* parent = nullptr);

    // While a page is being edited it goes nowhere by itself (a refresh tag, a redirect): only a
    // load the program asks for leaves it, and that one passes the save offer first.
    void setStayPut(bool stayPut);

signals:
    // A link the user clicked leads to another document; the page stays where it is and the
    // program decides where the link goes.
    void linkClicked(const QUrl& url);

protected:
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    // Yes, so that a page asking "leave this page?" never holds up a load the program asked for.
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;
    // A link to a remote page is not followed: the view shows the site's files, and a save must
    // never write a remote page into one of them. A clicked link is handed on (linkClicked).
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    bool m_stayPut = false;
};

} // namespace gui

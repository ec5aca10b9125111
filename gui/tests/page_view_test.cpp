#include "gui/page_view.h"
#include "gui/site_request_filter.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/test_files.h"
#include "tests/support/web_engine_test_main.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>
#include <optional>

using gui::PageView;
using testsupport::readFile;
using testsupport::ScriptedPrompter;
using testsupport::writeFile;

namespace {

constexpr int kTimeout = 30000;

const QByteArray kPage = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Offer</title></head>\n"
                         "<body><p id=\"spot\">Buy now</p></body></html>\n";

// The page's script adds an element at load time; its id is put together so that the file's
// own text never holds it.
const QByteArray kScriptedPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body><p id=\"spot\">as written</p>"
    "<script>var d = document.createElement('div'); d.id = 'added-' + 'by-script';"
    " document.body.appendChild(d);</script></body></html>\n";

QWebEnginePage* pageOf(PageView& view)
{
    return view.findChild<QWebEngineView*>()->page();
}

// Runs a script in the view's document as the test's own probe and waits for its answer. The
// answer lands in storage that outlives a call that stopped waiting (a navigating page drops it).
std::optional<QVariant> evaluate(PageView& view, const QString& script)
{
    auto answer = std::make_shared<std::optional<QVariant>>();
    pageOf(view)->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                [answer](const QVariant& value) { *answer = value; });
    if (!QTest::qWaitFor([answer] { return answer->has_value(); }, kTimeout))
        return std::nullopt;
    return *answer;
}

// What a user does by clicking at the end of the paragraph and typing the text.
const QString kTypeAtSpot = QStringLiteral(
    "(function() { var p = document.getElementById('spot'); var r = document.createRange();"
    " r.selectNodeContents(p); r.collapse(false); var s = window.getSelection(); s.removeAllRanges();"
    " s.addRange(r); return document.execCommand('insertText', false, '#FRONT#'); })()");

} // namespace

class PageViewTest final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void designModeFollowsTheCalls();
    void rootMarkupComesBack();
    void leavingAnEditedPageOffersTheSave_data();
    void leavingAnEditedPageOffersTheSave();
    void typedKeysReachTheDocument();
    void pageScriptsRunOnlyOutsideEditing_data();
    void pageScriptsRunOnlyOutsideEditing();
    void refreshTagLeavesOnlyAViewedPage_data();
    void refreshTagLeavesOnlyAViewedPage();
    void failedWriteIsReportedAndKeepsTheEdits_data();
    void failedWriteIsReportedAndKeepsTheEdits();
    void fileRequestsStayInsideTheSite();
    void filterRules_data();
    void filterRules();

private:
    bool loadAndWait(PageView& view, const QString& path);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_site;
};

void PageViewTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_site = m_dir->filePath(QStringLiteral("site"));
    QVERIFY(QDir().mkpath(m_site));
    writeFile(QDir(m_site).filePath(QStringLiteral("index.html")), kPage);
    writeFile(QDir(m_site).filePath(QStringLiteral("download.html")), kPage);
}

bool PageViewTest::loadAndWait(PageView& view, const QString& path)
{
    QSignalSpy loaded(&view, &PageView::loadComplete);
    view.navigate(path);
    return QTest::qWaitFor([&loaded] { return loaded.count() > 0; }, kTimeout) &&
           loaded.first().first().toBool();
}

void PageViewTest::designModeFollowsTheCalls()
{
    PageView view;
    QVERIFY(loadAndWait(view, QDir(m_site).filePath(QStringLiteral("index.html"))));

    view.setDesignMode(true);
    QCOMPARE(evaluate(view, QStringLiteral("document.designMode")), QVariant(QStringLiteral("on")));
    view.setDesignMode(false);
    QCOMPARE(evaluate(view, QStringLiteral("document.designMode")), QVariant(QStringLiteral("off")));
}

void PageViewTest::rootMarkupComesBack()
{
    PageView view;
    QVERIFY(loadAndWait(view, QDir(m_site).filePath(QStringLiteral("index.html"))));
    view.setDesignMode(true);
    QVERIFY(evaluate(view, kTypeAtSpot).has_value());

    std::optional<QString> markup;
    view.requestRootMarkup([&markup](const QString& text) { markup = text; });
    QTRY_VERIFY_WITH_TIMEOUT(markup.has_value(), kTimeout);
    QVERIFY(markup->startsWith(QLatin1String("<html>")));
    QVERIFY(markup->contains(QLatin1String("<p id=\"spot\">Buy now#FRONT#</p>")));
}

void PageViewTest::leavingAnEditedPageOffersTheSave_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<bool>("designModeOffFirst");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("saved");

    QTest::newRow("edited, saved") << true << false << true << 1 << true;
    QTest::newRow("edited, discarded") << true << false << false << 1 << false;
    QTest::newRow("untouched, nothing asked") << false << false << true << 0 << false;
    QTest::newRow("design mode left first, nothing asked") << true << true << true << 0 << false;
}

void PageViewTest::leavingAnEditedPageOffersTheSave()
{
    QFETCH(bool, edit);
    QFETCH(bool, designModeOffFirst);
    QFETCH(bool, answer);
    QFETCH(int, questions);
    QFETCH(bool, saved);

    ScriptedPrompter prompter;
    prompter.yesNoAnswers.push_back(answer);
    PageView view;
    view.setPrompter(&prompter);
    const QString page = QDir(m_site).filePath(QStringLiteral("index.html"));
    const QString next = QDir(m_site).filePath(QStringLiteral("download.html"));
    view.setEditing(true);
    QVERIFY(loadAndWait(view, page));
    view.setDesignMode(true);
    if (edit)
        QCOMPARE(evaluate(view, kTypeAtSpot), QVariant(true));
    if (designModeOffFirst)
        view.setDesignMode(false);

    QSignalSpy loaded(&view, &PageView::loadComplete);
    view.navigate(next);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kTimeout);

    QCOMPARE(prompter.exchanges.size(), questions);
    if (questions > 0) {
        QCOMPARE(prompter.exchanges.first().kind, QStringLiteral("ask"));
        QCOMPARE(prompter.exchanges.first().title, QStringLiteral("Save"));
        QVERIFY(prompter.exchanges.first().text.contains(QDir::toNativeSeparators(page)));
    }
    QCOMPARE(view.currentFile(), next);
    const QByteArray onDisk = readFile(page);
    if (saved) {
        QVERIFY(onDisk.startsWith("<!DOCTYPE html>\n<html>"));
        QVERIFY(onDisk.contains("<p id=\"spot\">Buy now#FRONT#</p>"));
    } else {
        QCOMPARE(onDisk, kPage);
    }
}

void PageViewTest::typedKeysReachTheDocument()
{
    PageView view;
    view.resize(800, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(loadAndWait(view, QDir(m_site).filePath(QStringLiteral("index.html"))));
    view.setDesignMode(true);
    QVERIFY(evaluate(view, QStringLiteral("var r = document.createRange();"
                                          " r.selectNodeContents(document.getElementById('spot'));"
                                          " r.collapse(false); getSelection().removeAllRanges();"
                                          " getSelection().addRange(r); true"))
                .has_value());
    QWidget* input = view.findChild<QWebEngineView*>()->focusProxy();
    QVERIFY(input);
    input->setFocus();
    // Keys sent before the document has taken the focus go nowhere: wait for it, caret in place.
    QTRY_COMPARE_WITH_TIMEOUT(
        evaluate(view,
                 QStringLiteral("document.hasFocus() && getSelection().rangeCount > 0"
                                " && document.getElementById('spot').contains(getSelection().anchorNode)")),
        std::optional<QVariant>(true), kTimeout);
    QTest::keyClicks(input, QStringLiteral("#BACK#"));
    QTRY_COMPARE_WITH_TIMEOUT(evaluate(view, QStringLiteral("document.getElementById('spot').textContent")),
                              std::optional<QVariant>(QStringLiteral("Buy now#BACK#")), kTimeout);
}

void PageViewTest::pageScriptsRunOnlyOutsideEditing_data()
{
    QTest::addColumn<bool>("editing");
    QTest::newRow("editing: the page as written") << true;
    QTest::newRow("viewing: the page's script runs") << false;
}

void PageViewTest::pageScriptsRunOnlyOutsideEditing()
{
    QFETCH(bool, editing);

    const QString page = QDir(m_site).filePath(QStringLiteral("scripted.html"));
    writeFile(page, kScriptedPage);
    ScriptedPrompter prompter;
    prompter.yesNoAnswers.push_back(true);
    PageView view;
    view.setPrompter(&prompter);
    view.setEditing(editing);
    QVERIFY(loadAndWait(view, page));
    view.setDesignMode(true);
    QCOMPARE(evaluate(view, kTypeAtSpot), QVariant(true));
    QCOMPARE(evaluate(view, QStringLiteral("document.getElementById('added-by-script') !== null")),
             QVariant(!editing));

    QSignalSpy loaded(&view, &PageView::loadComplete);
    view.navigate(QDir(m_site).filePath(QStringLiteral("index.html")));
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kTimeout);
    const QByteArray onDisk = readFile(page);
    QVERIFY(onDisk.contains("as written#FRONT#"));
    QCOMPARE(onDisk.contains("added-by-script"), !editing);
}

void PageViewTest::refreshTagLeavesOnlyAViewedPage_data()
{
    QTest::addColumn<bool>("editing");
    QTest::newRow("editing: stays") << true;
    QTest::newRow("viewing: follows the tag") << false;
}

void PageViewTest::refreshTagLeavesOnlyAViewedPage()
{
    QFETCH(bool, editing);

    const QString page = QDir(m_site).filePath(QStringLiteral("moved.html"));
    const QString target = QDir(m_site).filePath(QStringLiteral("download.html"));
    writeFile(page,
              "<!DOCTYPE html><html><head><meta http-equiv=\"refresh\" content=\"0; url=download.html\">"
              "</head><body><p id=\"spot\">Moved</p></body></html>");
    PageView view;
    view.setEditing(editing);
    QSignalSpy elsewhere(&view, &PageView::shownElsewhere);
    QVERIFY(loadAndWait(view, page));
    // Waiting for what must not happen needs a bound, which the viewing row shows comes well
    // within it; what must happen is waited for as long as a load may take.
    const bool followed =
        QTest::qWaitFor([&] { return view.currentFile() == target; }, editing ? 5000 : kTimeout);
    QCOMPARE(followed, !editing);
    // The window learns where the view went, to keep its page list in step.
    QCOMPARE(elsewhere.size(), editing ? 0 : 1);
    if (!editing)
        QCOMPARE(elsewhere[0][0].toString(), target);
}

void PageViewTest::failedWriteIsReportedAndKeepsTheEdits_data()
{
    QTest::addColumn<bool>("vanish");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only") << false << QStringLiteral("read-only");
    QTest::newRow("vanished") << true << QStringLiteral("No such file");
}

void PageViewTest::failedWriteIsReportedAndKeepsTheEdits()
{
    QFETCH(bool, vanish);
    QFETCH(QString, reason);

    ScriptedPrompter prompter;
    prompter.yesNoAnswers.push_back(true);
    PageView view;
    view.setPrompter(&prompter);
    const QString page = QDir(m_site).filePath(QStringLiteral("index.html"));
    view.setEditing(true);
    QVERIFY(loadAndWait(view, page));
    view.setDesignMode(true);
    QCOMPARE(evaluate(view, kTypeAtSpot), QVariant(true));
    if (vanish)
        QVERIFY(QFile::remove(page));
    else
        QVERIFY(QFile::setPermissions(page, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    QSignalSpy loaded(&view, &PageView::loadComplete);
    view.navigate(QDir(m_site).filePath(QStringLiteral("download.html")));
    QTRY_COMPARE_WITH_TIMEOUT(prompter.exchanges.size(), 2, kTimeout);

    const ScriptedPrompter::Exchange report = prompter.exchanges.last();
    QCOMPARE(report.kind, QStringLiteral("inform"));
    QCOMPARE(report.title, QStringLiteral("Error"));
    QVERIFY2(report.text.contains(page), qPrintable(report.text));
    QVERIFY2(report.text.contains(reason), qPrintable(report.text));
    QCOMPARE(pageOf(view)->requestedUrl(), QUrl::fromLocalFile(page));
    QCOMPARE(view.currentFile(), page);
    QCOMPARE(evaluate(view, QStringLiteral("document.getElementById('spot').textContent")),
             QVariant(QStringLiteral("Buy now#FRONT#")));
    QCOMPARE(loaded.count(), 0);
    if (!vanish)
        QCOMPARE(readFile(page), kPage);
}

void PageViewTest::fileRequestsStayInsideTheSite()
{
    QImage pixel(3, 2, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    QVERIFY(QDir(m_site).mkpath(QStringLiteral("images")));
    QVERIFY(pixel.save(QDir(m_site).filePath(QStringLiteral("images/inside.png"))));
    const QString outside = m_dir->filePath(QStringLiteral("outside.png"));
    QVERIFY(pixel.save(outside));

    // A remote image, served from this machine.
    QByteArray png;
    {
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(pixel.save(&buffer, "PNG"));
    }
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, &server, [&server, png] {
        QTcpSocket* client = server.nextPendingConnection();
        connect(client, &QTcpSocket::readyRead, client, [client, png] {
            client->readAll();
            client->write(
                "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: " +
                QByteArray::number(png.size()) + "\r\n\r\n" + png);
            client->disconnectFromHost();
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    });
    const QByteArray remote = "http://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/remote.png";

    const QString page = QDir(m_site).filePath(QStringLiteral("pictures.html"));
    writeFile(page, "<!DOCTYPE html><html><body><img id=\"inside\" src=\"images/inside.png\">"
                    "<img id=\"outside\" src=\"" +
                        QUrl::fromLocalFile(outside).toEncoded() +
                        "\">"
                        "<img id=\"climbing\" src=\"../outside.png\"><img id=\"remote\" src=\"" +
                        remote + "\"></body></html>");

    PageView view;
    QVERIFY(loadAndWait(view, page));
    QTRY_COMPARE_WITH_TIMEOUT(
        evaluate(view, QStringLiteral("document.getElementById('remote').naturalWidth")),
        std::optional<QVariant>(3), kTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(
        evaluate(view, QStringLiteral("document.getElementById('inside').naturalWidth")),
        std::optional<QVariant>(3), kTimeout);
    QCOMPARE(evaluate(view, QStringLiteral("document.getElementById('outside').naturalWidth")), QVariant(0));
    QCOMPARE(evaluate(view, QStringLiteral("document.getElementById('climbing').naturalWidth")), QVariant(0));

    // The working folder given as the site lets the page reach the rest of it.
    view.setSiteFolder(m_dir->path());
    QVERIFY(loadAndWait(view, page));
    QTRY_COMPARE_WITH_TIMEOUT(
        evaluate(view, QStringLiteral("document.getElementById('outside').naturalWidth")),
        std::optional<QVariant>(3), kTimeout);
}

void PageViewTest::filterRules_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");

    const QString site = QStringLiteral("/srv/work/site");
    QTest::newRow("page folder file")
        << QUrl::fromLocalFile(site + QStringLiteral("/a.css")).toString() << true;
    QTest::newRow("page subfolder") << QUrl::fromLocalFile(site + QStringLiteral("/img/b.png")).toString()
                                    << true;
    QTest::newRow("dot-dot out") << QUrl::fromLocalFile(site + QStringLiteral("/../secret")).toString()
                                 << false;
    QTest::newRow("look-alike sibling")
        << QUrl::fromLocalFile(site + QStringLiteral("2/a.css")).toString() << false;
    QTest::newRow("system file") << QStringLiteral("file:///etc/passwd") << false;
    QTest::newRow("extra site folder") << QStringLiteral("file:///srv/extra/x.png") << true;
    QTest::newRow("remote style sheet") << QStringLiteral("https://example.com/s.css") << true;
    QTest::newRow("inline data") << QStringLiteral("data:image/png;base64,AAAA") << true;
}

void PageViewTest::filterRules()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);

    gui::SiteRequestFilter filter;
    filter.setPageFolder(QStringLiteral("/srv/work/site"));
    filter.setSiteFolder(QStringLiteral("/srv/extra"));
    QCOMPARE(filter.allows(QUrl(url)), allowed);
}

VANTOR_WEB_ENGINE_TEST_MAIN(PageViewTest)

#include "page_view_test.moc"

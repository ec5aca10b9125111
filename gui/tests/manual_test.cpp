#include "gui/manual.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/test_files.h"
#include "tests/support/url_recorder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using testsupport::readFile;
using testsupport::ScriptedPrompter;
using testsupport::writeFile;

namespace {

const QString kInstallDir = QStringLiteral(VANTOR_INSTALL_DIR);
const QString kSourceDir = QStringLiteral(VANTOR_SOURCE_DIR);

// The web addresses the manual may point to, each a reference the reader is sent to on purpose.
const QStringList kExternalReferences = {
    QStringLiteral("https://wordpress.org/documentation/article/manage-plugins/"),
    QStringLiteral("https://developer.paypal.com/api/nvp-soap/ipn/"),
    QStringLiteral("https://docs.stripe.com/webhooks"),
};

QString installedManual()
{
    return QDir(kInstallDir).filePath(QStringLiteral("manual/index.html"));
}

// Every value of the attribute in the page, in order.
QStringList attributeValues(const QString& html, const QString& attribute)
{
    QStringList values;
    const QRegularExpression pattern(QStringLiteral("\\s%1\\s*=\\s*\"([^\"]*)\"").arg(attribute),
                                     QRegularExpression::CaseInsensitiveOption);
    for (const QRegularExpressionMatch& m : pattern.globalMatch(html))
        values << m.captured(1);
    return values;
}

using testsupport::UrlRecorder;

} // namespace

class ManualTest final : public QObject
{
    Q_OBJECT

private slots:
    void manualIsFoundWhereTheProgramLies_data();
    void manualIsFoundWhereTheProgramLies();
    void everySectionTheProgramOpensIsInTheManual();
    void manualNeedsNothingOutsideItself();
    void openingShowsTheSectionInTheBrowser();
    void missingManualIsReportedWithItsPlaces();
    void browserThatDoesNotStartIsReportedWithTheFile();
};

void ManualTest::manualIsFoundWhereTheProgramLies_data()
{
    QTest::addColumn<QString>("programFolder"); // inside the temporary folder
    QTest::addColumn<QString>("manualFile");    // made there; "" for none
    QTest::addColumn<bool>("found");

    QTest::newRow("beside the program") << "portable"
                                        << "portable/manual/index.html" << true;
    QTest::newRow("installed for everyone") << "usr/bin"
                                            << "usr/share/vantor/manual/index.html" << true;
    QTest::newRow("no manual") << "portable"
                               << "" << false;
    QTest::newRow("another file of the manual only") << "portable"
                                                     << "portable/manual/style.css" << false;
    QTest::newRow("in the working folder, not the manual folder") << "portable"
                                                                  << "portable/index.html" << false;
}

void ManualTest::manualIsFoundWhereTheProgramLies()
{
    QFETCH(QString, programFolder);
    QFETCH(QString, manualFile);
    QFETCH(bool, found);

    QTemporaryDir root;
    const QDir dir(root.path());
    QVERIFY(dir.mkpath(programFolder));
    if (!manualFile.isEmpty())
        writeFile(dir.filePath(manualFile), "<!DOCTYPE html>");

    const QUrl plain = gui::ManualUrlIn(dir.filePath(programFolder));
    const QUrl atSection = gui::ManualUrlIn(dir.filePath(programFolder), QStringLiteral("tags"));
    QCOMPARE(!plain.isEmpty(), found);
    QCOMPARE(!atSection.isEmpty(), found);
    if (!found)
        return;
    QVERIFY(plain.isLocalFile());
    QCOMPARE(QFileInfo(plain.toLocalFile()).canonicalFilePath(),
             QFileInfo(dir.filePath(manualFile)).canonicalFilePath());
    QVERIFY(!plain.hasFragment());
    QCOMPARE(atSection.fragment(), QStringLiteral("tags"));
    QCOMPARE(atSection.toLocalFile(), plain.toLocalFile());
}

// The build tree's installation folder holds the manual, with an anchor for each section the
// windows open; the list of sections names every one the header declares.
void ManualTest::everySectionTheProgramOpensIsInTheManual()
{
    const QUrl url = gui::ManualUrlIn(kInstallDir);
    QVERIFY2(!url.isEmpty(), qPrintable(installedManual()));
    QCOMPARE(QFileInfo(url.toLocalFile()).canonicalFilePath(),
             QFileInfo(installedManual()).canonicalFilePath());

    const QString html = QString::fromUtf8(readFile(installedManual()));
    const QStringList ids = attributeValues(html, QStringLiteral("id"));
    QCOMPARE(QSet<QString>(ids.cbegin(), ids.cend()).size(), ids.size()); // no anchor twice

    const QString header = QString::fromUtf8(readFile(kSourceDir + QStringLiteral("/gui/manual.h")));
    QStringList declared;
    static const QRegularExpression constant(QStringLiteral("kManual\\w+\\[\\]\\s*=\\s*u\"([^\"]+)\""));
    for (const QRegularExpressionMatch& m : constant.globalMatch(header))
        declared << m.captured(1);
    QVERIFY(!declared.isEmpty());
    QStringList sections = gui::ManualSections();
    sections.sort();
    declared.sort();
    QCOMPARE(sections, declared);
    for (const QString& section : std::as_const(sections))
        QVERIFY2(ids.contains(section),
                 qPrintable(QStringLiteral("no id=\"%1\" in the manual").arg(section)));

    // The windows name a section by the constants above only, never by a text of their own.
    static const QRegularExpression call(QStringLiteral("OpenManual(In)?\\(([^;]*)\\)\\s*;"));
    int calls = 0;
    for (const char* folder : {"gui", "app"}) {
        const QDir sources(kSourceDir + QLatin1Char('/') + QLatin1String(folder));
        for (const QString& file : sources.entryList({QStringLiteral("*.cpp")}, QDir::Files)) {
            const QString code = QString::fromUtf8(readFile(sources.filePath(file)));
            for (const QRegularExpressionMatch& m : call.globalMatch(code)) {
                ++calls;
                QVERIFY2(!m.captured(2).contains(QLatin1Char('"')),
                         qPrintable(file + QStringLiteral(": ") + m.captured(0)));
            }
        }
    }
    QVERIFY(calls > 0);
}

// Every picture is there, every link leads to a part of the manual or to one of the references it
// names on purpose, and nothing is fetched from elsewhere or run.
void ManualTest::manualNeedsNothingOutsideItself()
{
    const QDir manual = QFileInfo(installedManual()).dir();
    const QStringList pages = manual.entryList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY(pages.contains(QStringLiteral("index.html")));
    for (const QString& page : pages) {
        const QString html = QString::fromUtf8(readFile(manual.filePath(page)));
        QVERIFY2(!html.contains(QLatin1String("<script"), Qt::CaseInsensitive), qPrintable(page));
        const QStringList ids = attributeValues(html, QStringLiteral("id"));

        const QStringList images = attributeValues(html, QStringLiteral("src"));
        QVERIFY2(!images.isEmpty(), qPrintable(page));
        for (const QString& src : images) {
            QVERIFY2(!src.contains(QLatin1Char(':')) && !src.startsWith(QLatin1Char('/')) &&
                         !src.contains(QLatin1String("..")),
                     qPrintable(src));
            QVERIFY2(QFileInfo(manual.filePath(src)).isFile(), qPrintable(page + QStringLiteral(": ") + src));
        }
        for (const QString& href : attributeValues(html, QStringLiteral("href"))) {
            const QString where = page + QStringLiteral(": ") + href;
            if (href.startsWith(QLatin1String("https://")) || href.startsWith(QLatin1String("http://"))) {
                QVERIFY2(kExternalReferences.contains(href), qPrintable(where));
                continue;
            }
            QVERIFY2(!href.contains(QLatin1Char(':')) && !href.startsWith(QLatin1Char('/')) &&
                         !href.contains(QLatin1String("..")),
                     qPrintable(where));
            const QString file = href.section(QLatin1Char('#'), 0, 0);
            const QString fragment = href.section(QLatin1Char('#'), 1);
            QVERIFY2(file.isEmpty() || QFileInfo(manual.filePath(file)).isFile(), qPrintable(where));
            if (!fragment.isEmpty() && (file.isEmpty() || file == page))
                QVERIFY2(ids.contains(fragment), qPrintable(where));
        }
    }
    // The manual stays small enough to ship with every installation.
    qint64 bytes = 0;
    for (const QFileInfo& image : QDir(manual.filePath(QStringLiteral("images"))).entryInfoList(QDir::Files))
        bytes += image.size();
    QVERIFY2(bytes < 600 * 1024, qPrintable(QString::number(bytes)));
}

void ManualTest::openingShowsTheSectionInTheBrowser()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    ScriptedPrompter prompter;
    const bool opened = gui::OpenManualIn(kInstallDir, prompter, QString::fromUtf16(gui::kManualTags));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    QVERIFY(opened);
    QVERIFY(prompter.exchanges.isEmpty());
    QCOMPARE(recorder.opened.size(), 1);
    QCOMPARE(recorder.opened.first().fragment(), QStringLiteral("tags"));
    QCOMPARE(QFileInfo(recorder.opened.first().toLocalFile()).canonicalFilePath(),
             QFileInfo(installedManual()).canonicalFilePath());
}

void ManualTest::missingManualIsReportedWithItsPlaces()
{
    QTemporaryDir root;
    const QString program = QDir(root.path()).filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(program));
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    ScriptedPrompter prompter;
    const bool opened = gui::OpenManualIn(program, prompter);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    QVERIFY(!opened);
    QVERIFY(recorder.opened.isEmpty());
    QCOMPARE(prompter.exchanges.size(), 1);
    const QString text = prompter.exchanges.first().text;
    QCOMPARE(prompter.exchanges.first().title, QStringLiteral("User Manual"));
    for (const QString& place : gui::ManualPlaces(program))
        QVERIFY2(text.contains(QDir::toNativeSeparators(place)), qPrintable(text));
    QVERIFY2(text.contains(QDir(root.path()).filePath(QStringLiteral("share/vantor/manual/index.html"))),
             qPrintable(text));
}

// Without a desktop to start a browser (the offscreen platform has none), the user is told which
// file to open.
void ManualTest::browserThatDoesNotStartIsReportedWithTheFile()
{
    ScriptedPrompter prompter;
    QVERIFY(!gui::OpenManualIn(kInstallDir, prompter, QString::fromUtf16(gui::kManualMessages)));
    QCOMPARE(prompter.exchanges.size(), 1);
    const QString text = prompter.exchanges.first().text;
    QVERIFY2(text.contains(QStringLiteral("No web browser could be started")), qPrintable(text));
    QVERIFY2(text.contains(QDir::toNativeSeparators(QFileInfo(installedManual()).absoluteFilePath())),
             qPrintable(text));
}

QTEST_MAIN(ManualTest)

#include "manual_test.moc"

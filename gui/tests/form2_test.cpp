#include "gui/desktop_folder_opener.h"
#include "gui/elided_label.h"
#include "gui/form2.h"
#include "gui/frm_convert.h"
#include "gui/frm_quick_help.h"
#include "gui/page_view.h"
#include "gui/tones.h"
#include "support/mortar_file.h"
#include "support/termination_signals.h"
#include "tests/support/recording_opener.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/test_files.h"
#include "tests/support/web_engine_test_main.h"
#include "workspace/recovered_work.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <csignal>
#include <memory>
#include <optional>

using namespace gui;
using namespace testsupport;

namespace {

QStringList items(QComboBox* combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

void drop(QWidget* target, const QStringList& paths, const QString& text = {})
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    if (!urls.isEmpty())
        data.setUrls(urls);
    if (!text.isEmpty())
        data.setText(text);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropEvent);
}

constexpr int kLoadTimeout = 30000;
constexpr int kAnswerTimeout = 5000;

// The page's script adds an element while it loads; its id is put together so that the file's
// own text never holds it.
const QByteArray kScriptedPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body><h1>Offer</h1>"
    "<script>var d = document.createElement('div'); d.id = 'added-' + 'by-script';"
    " document.body.appendChild(d);</script></body></html>\n";

// Answers as the scripted prompter does, but shows a real modal box for each question first, so
// that the keyboard leaves the window as it does when a person answers.
class BoxShowingPrompter final : public workspace::Prompter
{
public:
    explicit BoxShowingPrompter(ScriptedPrompter& answers) : m_answers(answers) {}

    void inform(const QString& title, const QString& text, workspace::MessageIcon icon) override
    {
        showBox(title);
        m_answers.inform(title, text, icon);
    }
    bool askYesNo(const QString& title, const QString& text, workspace::MessageIcon icon,
                  bool defaultYes) override
    {
        showBox(title);
        return m_answers.askYesNo(title, text, icon, defaultYes);
    }
    workspace::Answer askYesNoCancel(const QString& title, const QString& text,
                                     workspace::MessageIcon icon) override
    {
        showBox(title);
        return m_answers.askYesNoCancel(title, text, icon);
    }
    int askOptions(const QString& title, const QString& text, const QStringList& options, int defaultOption,
                   workspace::MessageIcon icon) override
    {
        showBox(title);
        return m_answers.askOptions(title, text, options, defaultOption, icon);
    }
    QString askText(const QString& title, const QString& prompt) override
    {
        return m_answers.askText(title, prompt);
    }
    QString chooseFolder(const QString& prompt, const QString& startIn) override
    {
        return m_answers.chooseFolder(prompt, startIn);
    }

private:
    // The box takes the keyboard, and is answered once it has it. Then the window under it is
    // active again, as a window manager makes it; the test platform does not on its own.
    static void showBox(const QString& title)
    {
        QWidget* under = QApplication::activeWindow();
        const auto handBack = qScopeGuard([under] { QApplication::setActiveWindow(under); });
        QMessageBox box(QMessageBox::Question, title, title, QMessageBox::Ok, under);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, &box, [&box] {
            if (box.isActiveWindow() && QApplication::focusWidget() &&
                box.isAncestorOf(QApplication::focusWidget()))
                box.accept();
        });
        answer.start(20);
        QTimer::singleShot(kLoadTimeout, &box, &QMessageBox::reject);
        box.exec();
    }

    ScriptedPrompter& m_answers;
};

const QString kUnknownFront =
    QStringLiteral("Unknown. Please Select a Page From the Drop-Down and Set it as Your Front-End Page.");
const QString kUnknownDownload =
    QStringLiteral("Unknown. Please Select a Page From the Drop-Down and Set it as Your Download Page.");

} // namespace

class Form2Test : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_tmp;
    workspace::Folders m_folders;
    ScriptedPrompter m_prompter;
    RecordingOpener m_opener;
    std::unique_ptr<Form2> m_form;

    template <typename T = QWidget> T* child(const char* name) const
    {
        T* w = m_form->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }

    QString site() const { return QDir(m_tmp->path()).filePath("site"); }
    QString working(const QString& name) const { return QDir(m_folders.workingFolder).filePath(name); }

    void loadSite(int pages = 2)
    {
        m_prompter.folderAnswers.push_back(site());
        child<QAction>("mnuLoadUsingBrowser")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>("Combo1")->count(), pages, 3000);
        m_prompter.exchanges.clear();
    }

    PageView* view() const { return child<PageView>("WebBrowser1"); }

    // Runs a script in the shown document as the test's own probe and waits for its answer.
    // A page that navigates meanwhile drops the answer: the wait is short, so that a QTRY around it
    // asks again, and the answer lands in storage that outlives a call that stopped waiting.
    std::optional<QVariant> evaluate(const QString& script) const
    {
        auto answer = std::make_shared<std::optional<QVariant>>();
        view()->findChild<QWebEngineView*>()->page()->runJavaScript(
            script, QWebEngineScript::ApplicationWorld, [answer](const QVariant& value) { *answer = value; });
        if (!QTest::qWaitFor([answer] { return answer->has_value(); }, kAnswerTimeout))
            return std::nullopt;
        return *answer;
    }

    // The document's design mode and the file it shows, once it is that file.
    std::optional<QVariant> designModeOf(const QString& path) const
    {
        return evaluate(QStringLiteral("location.pathname === '%1' ? document.designMode : 'other page'")
                            .arg(QUrl::fromLocalFile(path).path()));
    }

    // "ready" once the document is laid out at the size the view shows it and has drawn a frame
    // at that size. Before that, a spot measured in the page is not where a click lands: a window
    // made anew is still being sized while its first page loads.
    std::optional<QVariant> inputReadiness() const
    {
        const QWidget* input = view()->findChild<QWebEngineView*>()->focusProxy();
        return evaluate(
            QStringLiteral("(function() { var size = innerWidth + 'x' + innerHeight;"
                           " if (size !== '%1x%2') return 'laid out at ' + size;"
                           " if (window.drawnAt === size) return 'ready';"
                           " if (window.drawnAt !== 'pending ' + size) {"
                           "  window.drawnAt = 'pending ' + size;"
                           "  requestAnimationFrame(function() { requestAnimationFrame(function() {"
                           "   if (innerWidth + 'x' + innerHeight === size) window.drawnAt = size;"
                           "  }); }); }"
                           " return 'waiting for a frame'; })()")
                .arg(input->width())
                .arg(input->height()));
    }

    QWidget* pageInput() const { return view()->findChild<QWebEngineView*>()->focusProxy(); }

    // Where the first element the selector finds is drawn, in the page's input widget, once the
    // page takes input there.
    QPoint centreOf(const QString& selector) const
    {
        if (!QTest::qWaitFor([this] { return inputReadiness() == std::optional<QVariant>("ready"); },
                             kLoadTimeout))
            return {};
        const std::optional<QVariant> at = evaluate(
            QStringLiteral("(function() { var b = document.querySelector('%1').getBoundingClientRect();"
                           " return [(b.left + b.right) / 2, (b.top + b.bottom) / 2]; })()")
                .arg(selector));
        const QVariantList xy = at.value_or(QVariant()).toList();
        return {qRound(xy.value(0).toDouble()), qRound(xy.value(1).toDouble())};
    }

    QString headingText() const
    {
        return evaluate("document.querySelector('h1').textContent").value_or(QVariant()).toString();
    }

    // Clicks behind the main heading's text, as a user would, and types there.
    void typeIntoHeading(const QString& text)
    {
        clickBehindHeading();
        QTest::keyClicks(pageInput(), text);
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(QStringLiteral("document.querySelector('h1').textContent.includes('%1')").arg(text)),
            std::optional<QVariant>(true), kLoadTimeout);
    }

    void clickBehindHeading()
    {
        QTRY_COMPARE_WITH_TIMEOUT(inputReadiness(), std::optional<QVariant>("ready"), kLoadTimeout);
        const std::optional<QVariant> at = evaluate(QStringLiteral(
            "(function() { var r = document.createRange(); "
            "r.selectNodeContents(document.querySelector('h1'));"
            " var b = r.getBoundingClientRect(); return [b.right, (b.top + b.bottom) / 2]; })()"));
        QVERIFY(at.has_value());
        const QVariantList xy = at->toList();
        QWidget* input = view()->findChild<QWebEngineView*>()->focusProxy();
        input->setFocus();
        QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier,
                          QPoint(qRound(xy.value(0).toDouble()) + 4, qRound(xy.value(1).toDouble())));
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(QStringLiteral("document.hasFocus() && getSelection().rangeCount > 0"
                                    " && document.querySelector('h1').contains(getSelection().anchorNode)")),
            std::optional<QVariant>(true), kLoadTimeout);
    }

    // Keys reach the window's shortcuts only while it is the active window.
    void activate()
    {
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    // Loads the site, gives its index page the front-end role and presses "Edit Page".
    void editIndexPage()
    {
        loadSite();
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        QCOMPARE(child<QLabel>("lblSelectedPage_0")->text(), working("index.html"));
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("on"),
                                  kLoadTimeout);
    }

    // Starts the window again over an installation folder given with a trailing separator.
    void restartWithTrailingSeparator()
    {
        m_form.reset();
        m_folders = workspace::Folders::selfContained(m_folders.installFolder + QLatin1Char('/'));
        m_form = std::make_unique<Form2>(AppTexts{"Vantor!", " ", "2.6"}, m_folders, m_prompter, m_opener);
        QVERIFY(m_form->Form_Load());
        m_form->show();
    }

private slots:
    void init()
    {
        // A private installation folder laid out like the build tree's.
        m_tmp = std::make_unique<QTemporaryDir>();
        const QDir install(QDir(m_tmp->path()).filePath("install"));
        QDir().mkpath(install.path());
        QVERIFY(
            QFile::copy(QStringLiteral(VANTOR_INSTALL_DIR "/blank.html"), install.filePath("blank.html")));
        QVERIFY(QFile::link(QStringLiteral(VANTOR_INSTALL_DIR "/plugintemplate"),
                            install.filePath("plugintemplate")));
        QVERIFY(QFile::link(QStringLiteral(VANTOR_INSTALL_DIR "/7za"), install.filePath("7za")));
        m_folders = workspace::Folders::selfContained(install.path());
        support::MortarFile::CopyFolder(QStringLiteral(VANTOR_SOURCE_DIR "/examples/reseller-site"), site());
        writeFile(working("left-over.html"));
        m_prompter = {};
        m_opener.opened.clear();
        m_form = std::make_unique<Form2>(AppTexts{"Vantor!", " ", "2.6"}, m_folders, m_prompter, m_opener);
        QVERIFY(m_form->Form_Load());
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void cleanup() { m_form.reset(); }

    void startUp()
    {
        QCOMPARE(m_form->windowTitle(), QString("Vantor! 2.6 "));
        QCOMPARE(child<QLabel>("lblAppName")->text(), QString("Vantor!"));
        QVERIFY(QFileInfo(m_folders.outputFolder).isDir());
        QVERIFY(QDir(m_folders.workingFolder).isEmpty());
        auto* combo = child<QComboBox>("Combo1");
        QCOMPARE(combo->count(), 0);
        QVERIFY(!combo->isEnabled());
        QCOMPARE(child<QLabel>("lblSelectedPage_0")->text(), kUnknownFront);
        QCOMPARE(child<QLabel>("lblSelectedPage_1")->text(), kUnknownDownload);
        QVERIFY(!child("cmdRemove_0")->isEnabled());
        QVERIFY(!child("cmdRemove_1")->isEnabled());
        QVERIFY(!child("lblPageSelected")->isVisible());
        QVERIFY(child("Command3")->isVisible());
        QTRY_COMPARE(child<PageView>("WebBrowser1")->currentFile(), m_folders.blankPage);
        // The page list keeps a third of the width.
        m_form->resize(1500, 800);
        QTRY_COMPARE(combo->width(), 500);
    }

    // What the window remembers comes back at the next start: the recent sites in the "+" menu
    // with their paths, the folder dialog opening where the last site came from, and the
    // window's place. A folder that is gone is shown greyed and can be taken off the list.
    void remembersAcrossStarts()
    {
        const QString other = QDir(m_tmp->path()).filePath("other site");
        support::MortarFile::CopyFolder(QStringLiteral(VANTOR_SOURCE_DIR "/examples/reseller-site"), other);
        loadSite();
        m_prompter.folderAnswers.push_back(other);
        child<QAction>("mnuLoadUsingBrowser")->trigger();
        QTRY_COMPARE(child<QLabel>("lblSiteFolder")->text(), QDir::toNativeSeparators(other));
        QCOMPARE(child<QLabel>("lblSiteFolder")->toolTip(), QDir::toNativeSeparators(other));
        m_form->setGeometry(QRect(2, 70, 796, 660));
        QVERIFY(m_form->close());

        m_prompter = {};
        m_form = std::make_unique<Form2>(AppTexts{"Vantor!", " ", "2.6"}, m_folders, m_prompter, m_opener);
        QVERIFY(m_form->Form_Load());
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QCOMPARE(m_form->geometry(), QRect(2, 70, 796, 660));
        auto* menu = child<QMenu>("mnuPopup");
        emit menu->aboutToShow();
        QCOMPARE(child<QAction>("mnuRecent_0")->toolTip(), QDir::toNativeSeparators(other));
        QCOMPARE(child<QAction>("mnuRecent_1")->toolTip(), QDir::toNativeSeparators(site()));
        QVERIFY(child<QAction>("mnuRecent_0")->text().contains("other site"));
        QCOMPARE(m_form->findChild<QAction*>("mnuForgetGone"), nullptr);
        m_prompter.folderAnswers.push_back(QString()); // the dialog is cancelled
        child<QAction>("mnuLoadUsingBrowser")->trigger();
        QCOMPARE(m_prompter.exchanges.last().startIn, QDir::cleanPath(other));

        // A recent site loads from the menu.
        child<QAction>("mnuRecent_1")->trigger();
        QTRY_COMPARE(child<QComboBox>("Combo1")->count(), 2);
        QCOMPARE(child<QLabel>("lblSiteFolder")->text(), QDir::toNativeSeparators(site()));

        QVERIFY(QDir(other).removeRecursively());
        emit menu->aboutToShow();
        QVERIFY(!child<QAction>("mnuRecent_1")->isEnabled());
        QVERIFY(child<QAction>("mnuRecent_1")->text().contains("not found"));
        child<QAction>("mnuForgetGone")->trigger();
        emit menu->aboutToShow();
        QCOMPARE(child<QAction>("mnuRecent_0")->toolTip(), QDir::toNativeSeparators(site()));
        QCOMPARE(m_form->findChild<QAction*>("mnuRecent_1"), nullptr);
    }

    // Tab goes through every enabled control in the order a person reads the window, the page
    // view and "Help" included, and comes back to the start.
    void tabReachesEveryControlInReadingOrder()
    {
        loadSite();
        auto* combo = child<QComboBox>("Combo1");
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);
        QTRY_VERIFY(child("cmdRemove_1")->isEnabled());
        activate();
        // Both role buttons are off now that both roles are set; the rest take the keyboard.
        const QStringList expected = {"Combo1",      "Command5",    "Command2",    "lblHelp",
                                      "WebBrowser1", "cmdRemove_0", "cmdRemove_1", "Command3"};
        // Tab is pressed where the keyboard is, as a user would; inside the page view it first goes
        // through the page's own links.
        QStringList reached;
        child("Combo1")->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(QApplication::focusWidget());
        for (int press = 0; press < 80 && reached.size() <= expected.size(); ++press) {
            QWidget* named = QApplication::focusWidget();
            while (named && !expected.contains(named->objectName()))
                named = named->parentWidget();
            const QString name = named ? named->objectName() : QApplication::focusWidget()->objectName();
            if (reached.isEmpty() || reached.last() != name)
                reached << name;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::qWait(30);
        }
        QCOMPARE(reached.mid(0, expected.size()), expected);
        QCOMPARE(reached.last(), QString("Combo1"));
        // The keys named in the tooltips work.
        QCOMPARE(child("cmdRemove_1")->toolTip(), QString("Takes the download page off its role (Alt+M)"));
        QTest::keyClick(m_form.get(), Qt::Key_M, Qt::AltModifier);
        QTRY_VERIFY(!child("cmdRemove_1")->isEnabled());
    }

    // Texts whose colour carries meaning read on any window background: the window's own colours
    // on a light one, counterparts of at least 4.5:1 on a dark one, switched as the palette
    // changes.
    void meaningColoursReadOnLightAndDarkPalettes()
    {
        const QList<QColor> backgrounds = {QColor("#efefef"), QColor("#ffffff"), QColor("#353535"),
                                           QColor("#202020"), QColor("#000000"), QColor("#5a5a5a")};
        for (const QColor& background : backgrounds) {
            QPalette palette;
            palette.setColor(QPalette::Window, background);
            palette.setColor(QPalette::WindowText, background.lightness() < 128 ? Qt::white : Qt::black);
            for (Tone tone : {Tone::Hint, Tone::Notice, Tone::Good, Tone::Bad}) {
                const QColor colour = ToneColor(tone, palette);
                QVERIFY2(ContrastRatio(colour, background) >= 4.5,
                         qPrintable(colour.name() + " on " + background.name()));
            }
        }
        QPalette light;
        light.setColor(QPalette::Window, QColor("#efefef"));
        QCOMPARE(ToneColor(Tone::Hint, light), QColor("#0000c0"));
        QCOMPARE(ToneColor(Tone::Notice, light), QColor("#004000"));
        QCOMPARE(ContrastRatio(Qt::black, Qt::white), 21.0);

        auto* hint = child<QLabel>("Label9");
        const QPalette before = QApplication::palette();
        QPalette dark = before;
        dark.setColor(QPalette::Window, QColor("#2b2b2b"));
        dark.setColor(QPalette::WindowText, QColor("#e0e0e0"));
        QApplication::setPalette(dark);
        QTRY_VERIFY(ContrastRatio(hint->palette().color(QPalette::WindowText), QColor("#2b2b2b")) >= 4.5);
        QApplication::setPalette(before);
        QTRY_COMPARE(hint->palette().color(QPalette::WindowText), QColor("#0000c0"));
    }

    // "Open Folder" hands off only where something will show the folder; elsewhere the window
    // says where the folder is (the launcher itself would report success and then fail).
    void aFolderHandlerIsLookedForBeforeHandingOff()
    {
        QTemporaryDir bin;
        const auto tool = [&bin](const char* name) {
            QFile file(QDir(bin.path()).filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        };
        QProcessEnvironment env;
        env.insert("PATH", bin.path());
        QStringList asked;
        QString defaultHandler;
        const ProgramOutput run = [&](const QString& program, const QStringList& arguments) {
            asked << program + ' ' + arguments.join(' ');
            return defaultHandler;
        };
        QVERIFY(!FolderHandlerExists(env, run)); // no launcher at all
        tool("xdg-open");
        QVERIFY(!FolderHandlerExists(env, run)); // a launcher with nothing to hand to
        QCOMPARE(asked.value(0), QString("xdg-mime query default inode/directory"));
        defaultHandler = "pcmanfm.desktop";
        QVERIFY(FolderHandlerExists(env, run));
        defaultHandler.clear();
        tool("x-www-browser");
        QVERIFY(FolderHandlerExists(env, run)); // the launcher's own fallback
        QFile::remove(QDir(bin.path()).filePath("x-www-browser"));
        env.insert("XDG_CURRENT_DESKTOP", "XFCE");
        QVERIFY(FolderHandlerExists(env, run));
    }

    // The window's words "user manual" open the manual at the tags; where the manual is not
    // beside the program (as for this test's program), the user is told where it should lie.
    void userManualLinkOpensTheManual()
    {
        auto* label = child<QLabel>("Label7");
        QVERIFY2(label->text().contains("<a href=\"tags\">user manual</a>"), qPrintable(label->text()));
        m_prompter.exchanges.clear();
        emit label->linkActivated("tags");
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QVERIFY2(m_prompter.exchanges[0].text.contains("manual"), qPrintable(m_prompter.exchanges[0].text));
    }

    void opensCentredOnTheScreen()
    {
        // The window never asks for more than its screen: on the test screen, narrower than the
        // window's content wants, it is as wide as the screen, centred from top to bottom, and its
        // content scrolls so that every control can be brought into view.
        const QRect area = m_form->screen()->availableGeometry();
        const QRect frame = m_form->frameGeometry();
        QVERIFY2(area.contains(frame), qPrintable(QString("%1x%2").arg(frame.width()).arg(frame.height())));
        QVERIFY(m_form->minimumWidth() <= area.width() && m_form->minimumHeight() <= area.height());
        QVERIFY2(std::abs(frame.center().y() - area.center().y()) <= 1,
                 qPrintable(QString("top %1 in %2").arg(frame.top()).arg(area.height())));
        auto* scroller = child<QScrollArea>("scroller");
        QVERIFY(scroller->horizontalScrollBar()->maximum() > 0);
        for (const char* name : {"Combo1", "lblHelp", "cmdRemove_1", "Command3", "cmdInsertBack"}) {
            QWidget* control = child(name);
            scroller->ensureWidgetVisible(control, 0, 0);
            const QRect shown(control->mapTo(scroller->viewport(), QPoint(0, 0)), control->size());
            QVERIFY2(scroller->viewport()->rect().contains(shown), name);
        }
    }

    // The page is shown anew when a window of the program over this one closes, not when the
    // user merely comes back from another program. The test's platform hands the activation back
    // to no window on its own, so the test does what a window manager would.
    void activationReloadsOnlyAfterTheProgramsOwnWindows()
    {
        QStringList shown;
        connect(view(), &PageView::loadComplete, this, [&] { shown << view()->currentFile(); });
        loadSite();
        QTRY_VERIFY_WITH_TIMEOUT(shown.contains(working("index.html")), kLoadTimeout);
        QCOMPARE(evaluate("window.probe = 'same document'"), std::optional<QVariant>("same document"));
        QSignalSpy loaded(view(), &PageView::loadComplete);

        // Another program takes the focus and gives it back.
        QApplication::setActiveWindow(nullptr);
        QVERIFY(!m_form->isActiveWindow());
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(m_form->isActiveWindow());
        QTest::qWait(1500); // a reload takes a fraction of this
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(evaluate("window.probe"), std::optional<QVariant>("same document"));

        // A message box of the program closes over it.
        QMessageBox box(QMessageBox::Information, "Reminder", "Shown over the window.", QMessageBox::Ok,
                        m_form.get());
        bool boxWasActive = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, &box, [&] {
            boxWasActive = box.isActiveWindow();
            if (boxWasActive)
                box.accept();
        });
        closer.start(20);
        QTimer::singleShot(kLoadTimeout, &box, &QMessageBox::reject);
        box.exec();
        QVERIFY(boxWasActive);
        QVERIFY(!m_form->isActiveWindow());
        QApplication::setActiveWindow(m_form.get());
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kLoadTimeout);
        QCOMPARE(evaluate("window.probe === undefined && location.pathname"),
                 std::optional<QVariant>(QUrl::fromLocalFile(working("index.html")).path()));
    }

    void startUpFailsOnAnOutputFolderThatCannotBeMade()
    {
        m_form.reset();
        QVERIFY(QDir(m_folders.outputFolder).removeRecursively());
        writeFile(m_folders.outputFolder, "in the way");
        m_form = std::make_unique<Form2>(AppTexts{"Vantor!", " ", "2.6"}, m_folders, m_prompter, m_opener);
        m_prompter.exchanges.clear();
        QVERIFY(!m_form->Form_Load());
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QVERIFY(m_prompter.exchanges[0].text.contains(m_folders.outputFolder));
    }

    void loadBothWays_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("folder selector") << "mnuLoadUsingBrowser";
        QTest::newRow("typed path") << "mnuLoadUsingLocation";
    }

    void loadBothWays()
    {
        QFETCH(QString, action);
        m_prompter.folderAnswers.push_back(site());
        m_prompter.textAnswers.push_back(site());
        child<QAction>(qPrintable(action))->trigger();

        auto* combo = child<QComboBox>("Combo1");
        QTRY_COMPARE_WITH_TIMEOUT(items(combo),
                                  (QStringList{working("download.html"), working("index.html")}), 3000);
        QVERIFY(combo->isEnabled());
        QCOMPARE(combo->currentText(), working("index.html"));
        QTRY_COMPARE(child<PageView>("WebBrowser1")->currentFile(), working("index.html"));
        QVERIFY(child("Command2")->isEnabled());
        QCOMPARE(m_prompter.exchanges[0].title, QString("Reminder"));
    }

    void noHtmlFiles_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("folder");
        QTest::newRow("pages only in a subfolder") << "mnuLoadUsingBrowser"
                                                   << "nested";
        QTest::newRow("typed path that is no folder") << "mnuLoadUsingLocation"
                                                      << "missing";
    }

    void noHtmlFiles()
    {
        QFETCH(QString, action);
        QFETCH(QString, folder);
        const QString path = QDir(m_tmp->path()).filePath(folder);
        if (folder == "nested")
            writeFile(QDir(path).filePath("pages/index.html"));
        m_prompter.folderAnswers.push_back(path);
        m_prompter.textAnswers.push_back(path);
        child<QAction>(qPrintable(action))->trigger();
        QCOMPARE(m_prompter.exchanges.last().title, QString("No HTML Files"));
        QCOMPARE(
            m_prompter.exchanges.last().text,
            QString("We could not find .htm or .html files in this folder. Please try with another one."));
        QVERIFY(!child("Combo1")->isEnabled());
    }

    void rolesThroughTheButtons()
    {
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        QCOMPARE(m_prompter.texts(), QStringList{"Please select a folder with HTML files."});
        QCOMPARE(m_prompter.exchanges[0].title, QString("Missing Info"));
        QCOMPARE(child<QLabel>("lblSelectedPage_0")->text(), kUnknownFront);

        loadSite();
        auto* combo = child<QComboBox>("Combo1");
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        QCOMPARE(child<QLabel>("lblSelectedPage_0")->text(), working("download.html"));
        QVERIFY(!child("cmdSetasFE")->isEnabled());
        QVERIFY(child("cmdRemove_0")->isEnabled());
        auto* status = child<QLabel>("lblPageSelected");
        QVERIFY(status->isVisible());
        QCOMPARE(status->text(), QString("Page Set as Front-End Page."));
        QTRY_VERIFY_WITH_TIMEOUT(!status->isVisible(), 2500);

        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);
        QCOMPARE(child<QLabel>("lblSelectedPage_1")->text(), working("download.html"));
        QCOMPARE(status->text(), QString("Page Set as Download Page."));

        QTest::mouseClick(child<QPushButton>("cmdRemove_0"), Qt::LeftButton);
        QCOMPARE(child<QLabel>("lblSelectedPage_0")->text(), kUnknownFront);
        QVERIFY(child("cmdSetasFE")->isEnabled());
        QVERIFY(!child("cmdRemove_0")->isEnabled());
        QVERIFY(child("cmdRemove_1")->isEnabled());
    }

    void editPageMissingInfo()
    {
        loadSite();
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);
        drop(child<QComboBox>("Combo1"), {QDir(site()).filePath("index.html")}); // leaves the text empty
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QCOMPARE(m_prompter.texts(),
                 (QStringList{"Please set this page as your front-end page or your download page first.",
                              "Please add one or more web pages (.htm / .html files) to edit first."}));
        QCOMPARE(m_prompter.exchanges[1].title, QString("Missing Info"));
        QCOMPARE(child<QPushButton>("Command2")->text(), QString("Edit Page"));
    }

    void editModeControlsAndDesignMode()
    {
        writeFile(QDir(site()).filePath("index.html"), kScriptedPage);
        loadSite();
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.getElementById('added-by-script') !== null"),
                                  std::optional<QVariant>(true), kLoadTimeout);
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);

        QCOMPARE(child<QPushButton>("Command2")->text(), QString("Save / Discard Changes"));
        for (const char* locked : {"Command5", "Combo1", "cmdSetasFE", "cmdSetasDownloadPage"})
            QVERIFY2(!child(locked)->isEnabled(), locked);
        for (const char* untouched : {"Command2", "Command3", "lblHelp", "cmdRemove_0"})
            QVERIFY2(child(untouched)->isEnabled(), untouched);
        QVERIFY(!child("cmdRemove_1")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("on"),
                                  kLoadTimeout);
        // Loaded for editing: the page as written, without what its script adds.
        QCOMPARE(evaluate("document.getElementById('added-by-script') === null"),
                 std::optional<QVariant>(true));

        // A refill while editing loads the new last page, and that one is put into design mode too.
        writeFile(working("zz-added.html"), "<!DOCTYPE html><html><body><h1>Added</h1></body></html>");
        QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>("Combo1")->currentText(), working("zz-added.html"), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("zz-added.html")), std::optional<QVariant>("on"),
                                  kLoadTimeout);
        QCOMPARE(child<QPushButton>("Command2")->text(), QString("Save / Discard Changes"));
        QVERIFY(!child("Combo1")->isEnabled());
        QVERIFY(child("cmdSetasFE")->isEnabled()); // the refill took the role away

        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);
        QSignalSpy loaded(view(), &PageView::loadComplete);
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QCOMPARE(child<QPushButton>("Command2")->text(), QString("Edit Page"));
        for (const char* freed : {"Command5", "Combo1", "cmdSetasFE", "cmdRemove_1"})
            QVERIFY2(child(freed)->isEnabled(), freed);
        QVERIFY(!child("cmdSetasDownloadPage")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, kLoadTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("zz-added.html")), std::optional<QVariant>("off"),
                                  kLoadTimeout);
        QVERIFY(m_prompter.exchanges.isEmpty()); // nothing was changed, so nothing was asked
    }

    void saveMethods_data()
    {
        QTest::addColumn<bool>("marker");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("view's offer, Yes") << false << true << QStringList{"Save"};
        QTest::newRow("view's offer, No") << false << false << QStringList{"Save"};
        QTest::newRow("save.alt, Yes") << true << true << QStringList{"Save", "Done"};
        QTest::newRow("save.alt, No") << true << false << QStringList{"Save", "Done"};
    }

    void saveMethods()
    {
        QFETCH(bool, marker);
        QFETCH(bool, yes);
        QFETCH(QStringList, titles);
        if (marker) {
            restartWithTrailingSeparator();
            writeFile(QDir(m_folders.installFolder).filePath("save.alt"), "Text1");
        }
        const QByteArray original = readFile(QDir(site()).filePath("index.html"));
        QVERIFY(original.startsWith("<!DOCTYPE html>\n<html lang=\"en\">"));
        editIndexPage();
        typeIntoHeading("#FRONT#");

        m_prompter.yesNoAnswers.push_back(yes);
        QSignalSpy loaded(view(), &PageView::loadComplete);
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, kLoadTimeout);
        QCOMPARE(child<QPushButton>("Command2")->text(), QString("Edit Page"));

        QStringList seen;
        for (const auto& exchange : m_prompter.exchanges)
            seen << exchange.title;
        QCOMPARE(seen, titles);
        QCOMPARE(m_prompter.exchanges[0].icon, workspace::MessageIcon::Question);
        if (marker) {
            QCOMPARE(m_prompter.texts(), (QStringList{"Save changes?", "Done!"}));
        }

        const QByteArray onDisk = readFile(working("index.html"));
        if (yes) {
            QVERIFY(onDisk.startsWith("<!DOCTYPE html>\n<html lang=\"en\">"));
            QVERIFY(onDisk.contains("#FRONT#</h1>"));
        } else {
            QCOMPARE(onDisk, original);
        }
        // The view shows the file again, out of design mode.
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("off"),
                                  kLoadTimeout);
        QCOMPARE(evaluate("document.querySelector('h1').textContent.includes('#FRONT#')"),
                 std::optional<QVariant>(yes));
    }

    void editsSurviveALoadThroughWriteBack_data()
    {
        QTest::addColumn<bool>("writeBack");
        QTest::newRow("Yes writes them back") << true;
        QTest::newRow("No discards them") << false;
    }

    // The tag typed and saved in the editor lives in the working copy; loading another folder
    // offers to write it back into the site, so the site loaded again still has it.
    void editsSurviveALoadThroughWriteBack()
    {
        QFETCH(bool, writeBack);
        const QString sitePage = QDir(site()).filePath("index.html");
        const QByteArray original = readFile(sitePage);
        editIndexPage();
        typeIntoHeading("#FRONT#");
        m_prompter.yesNoAnswers.push_back(true);
        QSignalSpy loaded(view(), &PageView::loadComplete);
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, kLoadTimeout);
        const QByteArray edited = readFile(working("index.html"));
        QVERIFY(edited.contains("#FRONT#</h1>"));

        const QString other = QDir(m_tmp->path()).filePath("other");
        writeFile(QDir(other).filePath("only.html"));
        m_prompter.exchanges.clear();
        m_prompter.choiceAnswers.push_back(writeBack ? workspace::Answer::Yes : workspace::Answer::No);
        m_prompter.folderAnswers.push_back(other);
        child<QAction>("mnuLoadUsingBrowser")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(items(child<QComboBox>("Combo1")), QStringList{working("only.html")}, 3000);
        // The other folder's page is shown before the site is loaded again: a page whose file goes
        // while it loads leaves the web engine slow to take the next one.
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(QStringLiteral("location.pathname === '%1' && document.readyState === 'complete'")
                         .arg(QUrl::fromLocalFile(working("only.html")).path())),
            std::optional<QVariant>(true), kLoadTimeout);
        QCOMPARE(m_prompter.exchanges.size(), writeBack ? 4 : 3); // reminder, folder, question, done
        QCOMPARE(m_prompter.exchanges[2].title, QString("Changed Pages"));
        QVERIFY(m_prompter.exchanges[2].text.contains(QString::fromUtf8("\u2022 index.html")));
        QCOMPARE(readFile(sitePage), writeBack ? edited : original);

        // The page shown before may be this same file, still on screen when the load of the
        // other folder's page was cut short: only a document loaded afresh counts.
        evaluate("window.shownBefore = true");
        loadSite();
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(QStringLiteral("location.pathname === '%1' && document.querySelector('h1') !== null"
                                    " && document.readyState === 'complete' && !window.shownBefore")
                         .arg(QUrl::fromLocalFile(working("index.html")).path())),
            std::optional<QVariant>(true), kLoadTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.querySelector('h1').textContent.includes('#FRONT#')"),
                                  std::optional<QVariant>(writeBack), kLoadTimeout);
    }

    void closingWhileEditingOffersTheSave()
    {
        editIndexPage();
        typeIntoHeading("#FRONT#");
        m_prompter.exchanges.clear();

        // Cancel: still editing, the edits on screen, the window open.
        m_prompter.choiceAnswers.push_back(workspace::Answer::Cancel);
        QVERIFY(!m_form->close());
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter.exchanges.size(), 1, kLoadTimeout);
        QCOMPARE(m_prompter.exchanges[0].kind, QString("choose"));
        QCOMPARE(m_prompter.exchanges[0].title, QString("Save"));
        QTRY_COMPARE(child<QPushButton>("Command2")->text(), QString("Save / Discard Changes"));
        QVERIFY(m_form->isVisible());
        QCOMPARE(designModeOf(working("index.html")), std::optional<QVariant>("on"));
        QCOMPARE(evaluate("document.querySelector('h1').textContent.includes('#FRONT#')"),
                 std::optional<QVariant>(true));

        // Yes saves the page, Yes writes it back into the site, and then the window closes.
        m_prompter.choiceAnswers = {workspace::Answer::Yes, workspace::Answer::Yes};
        QVERIFY(!m_form->close());
        QTRY_VERIFY_WITH_TIMEOUT(!m_form->isVisible(), kLoadTimeout);
        QStringList titles;
        for (const auto& exchange : m_prompter.exchanges)
            titles << exchange.title;
        QCOMPARE(titles, (QStringList{"Save", "Save", "Changed Pages", "Done"}));
        QVERIFY(readFile(QDir(site()).filePath("index.html")).contains("#FRONT#</h1>"));
    }

    // A second start leaves the working folder as it is and calls the first window forward; where
    // nothing answers the call, it says that the program is running.
    void aSecondStartCallsTheFirstWindowForward()
    {
        editIndexPage();
        typeIntoHeading("#FRONT#");
        m_prompter.yesNoAnswers.push_back(true);
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("off"),
                                  kLoadTimeout);
        // The user goes to another window.
        m_form->showMinimized();
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        const auto before = fingerprint(m_folders.dataFolder);

        ScriptedPrompter secondPrompter;
        RecordingOpener secondOpener;
        {
            Form2 second(AppTexts{"Vantor!", " ", "2.6"}, m_folders, secondPrompter, secondOpener);
            QVERIFY(!second.Form_Load());
            QVERIFY(second.model().runningElsewhere());
        }
        QVERIFY(secondPrompter.exchanges.isEmpty());
        QCOMPARE(fingerprint(m_folders.dataFolder), before);
        QTRY_VERIFY(!m_form->isMinimized());
        QTRY_VERIFY(m_form->isActiveWindow());

        // A window that holds the folder but cannot be called.
        m_form.reset();
        QLockFile held(m_folders.workingLock);
        QVERIFY(held.tryLock(0));
        {
            Form2 third(AppTexts{"Vantor!", " ", "2.6"}, m_folders, secondPrompter, secondOpener);
            QVERIFY(!third.Form_Load());
        }
        QCOMPARE(secondPrompter.exchanges.size(), 1);
        QCOMPARE(secondPrompter.exchanges[0].title, QString("Already Running"));
    }

    // TERM takes the close, with its question; a second one soon after finds nobody answering:
    // the typing is kept, and the next start offers it.
    void endRequestsKeepTheTypingForTheNextStart()
    {
        const QString sitePage = QDir(site()).filePath("index.html");
        editIndexPage();
        typeIntoHeading("Typed1");
        support::TerminationSignals termination;
        connect(&termination, &support::TerminationSignals::received, m_form.get(), &Form2::endRequested);
        QSignalSpy ending(m_form.get(), &Form2::endingUnattended);
        m_prompter.exchanges.clear();

        QCOMPARE(std::raise(SIGTERM), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter.exchanges.size(), 1, kLoadTimeout); // Cancel: nobody said yes
        QCOMPARE(m_prompter.exchanges[0].kind, QString("choose"));
        QCOMPARE(m_prompter.exchanges[0].title, QString("Save"));
        QTRY_COMPARE(child<QPushButton>("Command2")->text(), QString("Save / Discard Changes"));
        QVERIFY(m_form->isVisible());
        workspace::RecoveredWork typed(m_folders);
        typed.gather();
        QCOMPARE(typed.pages().size(), 1);
        QVERIFY(typed.pages()[0].unsaved && typed.pages()[0].bytes.contains("Typed1</h1>"));

        typeIntoHeading("Typed2");
        QCOMPARE(std::raise(SIGTERM), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ending.count(), 1, kLoadTimeout);
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QVERIFY(m_form->isVisible());

        // The program ends there; the next start offers the page, typing and all.
        m_form.reset();
        QCOMPARE(readFile(sitePage).contains("Typed1"), false);
        m_prompter.exchanges.clear();
        m_prompter.optionAnswers.push_back(0);
        m_form = std::make_unique<Form2>(AppTexts{"Vantor!", " ", "2.6"}, m_folders, m_prompter, m_opener);
        QVERIFY(m_form->Form_Load());
        QCOMPARE(m_prompter.exchanges.value(0).title, QString("Pages Not Written Back"));
        QVERIFY2(m_prompter.exchanges[0].text.contains("index.html (with typing that was not saved)"),
                 qPrintable(m_prompter.exchanges[0].text));
        QVERIFY(readFile(sitePage).contains("Typed1Typed2</h1>"));
    }

    void typingIsKeptWhileEditing()
    {
        editIndexPage();
        typeIntoHeading("#FRONT#");
        const auto typed = [this] {
            workspace::RecoveredWork work(m_folders);
            work.gather();
            return work.pages().size() == 1 && work.pages()[0].unsaved &&
                   work.pages()[0].bytes.contains("#FRONT#");
        };
        QTRY_VERIFY_WITH_TIMEOUT(typed(), 8000);
        m_prompter.yesNoAnswers.push_back(true);
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("off"),
                                  kLoadTimeout);
        QCOMPARE(entries(QDir(m_folders.recoveryFolder).filePath("typed")), QStringList());
    }

    void cancelPutsTheCaretBack_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("closing, the view's question") << "close";
        QTest::newRow("closing, save.alt's question") << "close save.alt";
        QTest::newRow("converting, the view's question") << "convert";
        QTest::newRow("a save that failed") << "read-only save.alt";
    }

    // Cancel on the question about leaving edit mode gives the keyboard back to the page, with
    // the caret where it was.
    void cancelPutsTheCaretBack()
    {
        QFETCH(QString, how);
        m_form.reset();
        BoxShowingPrompter boxes(m_prompter);
        m_form = std::make_unique<Form2>(AppTexts{"Vantor!", " ", "2.6"}, m_folders, boxes, m_opener);
        QVERIFY(m_form->Form_Load());
        m_form->show();
        activate();
        if (how.contains("save.alt"))
            writeFile(m_folders.saveMarker, "Text1");
        editIndexPage();
        typeIntoHeading("AB");
        QTest::keyClick(pageInput(), Qt::Key_Left);
        // The page takes keys in its own time: the question must find the caret already moved.
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(QStringLiteral("(function() { var h = document.querySelector('h1');"
                                    " var s = getSelection(); if (!s.rangeCount) return -1;"
                                    " var r = document.createRange(); r.selectNodeContents(h);"
                                    " r.setEnd(s.anchorNode, s.anchorOffset);"
                                    " return h.textContent.length - r.toString().length === 1; })()")),
            std::optional<QVariant>(true), kLoadTimeout);
        if (how.startsWith("read-only")) {
            QVERIFY(QFile::setPermissions(working("index.html"), QFile::ReadOwner));
            m_prompter.yesNoAnswers.push_back(true);
            QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        } else if (how.startsWith("close")) {
            QVERIFY(!m_form->close());
        } else {
            QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter.exchanges.size(), how.startsWith("read-only") ? 2 : 1,
                                  kLoadTimeout);
        QTRY_COMPARE(child<QPushButton>("Command2")->text(), QString("Save / Discard Changes"));

        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), pageInput(), kLoadTimeout);
        QTest::keyClicks(pageInput(), "xy");
        QTRY_COMPARE_WITH_TIMEOUT(headingText(), QString("Little Green BalconyAxyB"), kLoadTimeout);
    }

    void convertWhileEditingSavesFirstThenFindsTheTag()
    {
        const QString sitePage = QDir(site()).filePath("index.html");
        writeFile(sitePage, readFile(sitePage).replace("#FRONT#", ""));
        loadSite();
        auto* combo = child<QComboBox>("Combo1");
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("on"),
                                  kLoadTimeout);
        typeIntoHeading("#FRONT#");
        m_prompter.exchanges.clear();
        m_prompter.choiceAnswers.push_back(workspace::Answer::Yes);

        bool opened = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto* details = m_form->findChild<frmConvert*>()) {
                opened = true;
                details->done(QDialog::Rejected);
            }
        });
        closer.start(20);
        QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(opened, kLoadTimeout);

        // Saved first, so the check found the tag and asked nothing about it.
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Save"));
        QVERIFY(readFile(working("index.html")).contains("#FRONT#</h1>"));
        QCOMPARE(child<QPushButton>("Command2")->text(), QString("Edit Page"));
    }

    void readOnlyPageThroughTheAlternativeSave()
    {
        writeFile(QDir(m_folders.installFolder).filePath("save.alt"), "Text1");
        editIndexPage();
        typeIntoHeading("#FRONT#");
        const QString page = working("index.html");
        const QByteArray before = readFile(page);
        QVERIFY(QFile::setPermissions(page, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

        m_prompter.yesNoAnswers.push_back(true);
        QSignalSpy loaded(view(), &PageView::loadComplete);
        QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter.exchanges.size(), 2, kLoadTimeout);
        const auto report = m_prompter.exchanges[1];
        QCOMPARE(report.title, QString("Error"));
        QVERIFY2(report.text.contains(page) && report.text.contains("read-only"), qPrintable(report.text));

        // Still editing, the edits still on screen in design mode, and nothing loaded over them.
        QCOMPARE(child<QPushButton>("Command2")->text(), QString("Save / Discard Changes"));
        QVERIFY(!child("Combo1")->isEnabled());
        QCOMPARE(designModeOf(page), std::optional<QVariant>("on"));
        QCOMPARE(evaluate("document.querySelector('h1').textContent.includes('#FRONT#')"),
                 std::optional<QVariant>(true));
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(readFile(page), before);
    }

    void textDropsIntoThePageWhileEditing()
    {
        editIndexPage();
        QTRY_COMPARE_WITH_TIMEOUT(inputReadiness(), std::optional<QVariant>("ready"), kLoadTimeout);
        const std::optional<QVariant> at = evaluate(
            QStringLiteral("(function() { var b = document.querySelector('h1').getBoundingClientRect();"
                           " return [b.left + 4, (b.top + b.bottom) / 2]; })()"));
        QVERIFY(at.has_value());
        const QPoint point(qRound(at->toList().value(0).toDouble()),
                           qRound(at->toList().value(1).toDouble()));
        QWidget* input = view()->findChild<QWebEngineView*>()->focusProxy();
        QMimeData data;
        data.setText("#BACK#");
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(input, &enter);
        QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(input, &move);
        QDropEvent dropEvent(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(input, &dropEvent);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.querySelector('h1').textContent.includes('#BACK#')"),
                                  std::optional<QVariant>(true), kLoadTimeout);
        QVERIFY(items(child<QComboBox>("Combo1")).contains(working("index.html")));
    }

    void deletingEveryPageDisablesEditAndList()
    {
        loadSite();
        const QStringList listed = items(child<QComboBox>("Combo1"));
        QVERIFY(QFile::remove(working("index.html")));
        QVERIFY(QFile::remove(working("download.html")));
        QTRY_VERIFY_WITH_TIMEOUT(!child("Command2")->isEnabled(), 3000);
        QVERIFY(!child("Combo1")->isEnabled());
        QCOMPARE(items(child<QComboBox>("Combo1")), listed);
    }

    void drops()
    {
        loadSite();
        auto* combo = child<QComboBox>("Combo1");
        const QStringList files{QDir(site()).filePath("index.html"),
                                QDir(site()).filePath("images/cover.png")};

        drop(m_form.get(), files);
        QCOMPARE(items(combo), files);
        QCOMPARE(combo->currentText(), files.last());

        drop(combo, QStringList(files.first()));
        QCOMPARE(items(combo), QStringList(files.first()));
        QCOMPARE(combo->currentText(), QString());

        // Over the page view a drop is one on the window.
        drop(child("WebBrowser1"), files);
        QCOMPARE(items(combo), files);
        QCOMPARE(combo->currentText(), files.last());
        drop(combo, QStringList(files.first()));

        // Text is no file: neither the window nor the list takes it.
        drop(m_form.get(), {}, "some text");
        drop(combo, {}, "some text");
        QCOMPARE(items(combo), QStringList(files.first()));
        QCOMPARE(combo->currentText(), QString());
    }

    // The marker buttons type at the caret, or over the selection, as keys would; the save writes
    // what they typed, and the sign beside the role follows.
    void markerButtonsTypeAtTheCaretAndTheSaveWritesIt()
    {
        const QString sitePage = QDir(site()).filePath("index.html");
        writeFile(sitePage, readFile(sitePage).replace("#FRONT#", ""));
        auto* insertFront = child<QPushButton>("cmdInsertFront");
        auto* insertBack = child<QPushButton>("cmdInsertBack");
        QVERIFY(!insertFront->isEnabled() && !insertBack->isEnabled());
        editIndexPage();
        activate();
        auto* sign = child<QLabel>("lblMarkerState_0");
        QCOMPARE(sign->text(), QString("\u2718 #FRONT# missing"));
        QVERIFY(insertFront->isEnabled() && insertBack->isEnabled());

        clickBehindHeading();
        QTest::mouseClick(insertFront, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(headingText(), QString("Little Green Balcony#FRONT#"), kLoadTimeout);

        // The keys are the page's again: select "Balcony" with them, and Alt+B types over it.
        QWidget* input = pageInput();
        QTRY_COMPARE(QApplication::focusWidget(), input);
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(input, Qt::Key_Left);
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(input, Qt::Key_Left, Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("getSelection().toString()"), std::optional<QVariant>("Balcony"),
                                  kLoadTimeout);
        QTest::keyClick(input, Qt::Key_B, Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(headingText(), QString("Little Green #BACK##FRONT#"), kLoadTimeout);
        QVERIFY(m_prompter.exchanges.isEmpty());

        // Ctrl+E from inside the page saves; Yes writes the markers into the file.
        m_prompter.yesNoAnswers.push_back(true);
        QSignalSpy loaded(view(), &PageView::loadComplete);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, kLoadTimeout);
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Save"));
        QVERIFY(readFile(working("index.html")).contains("<h1>Little Green #BACK##FRONT#</h1>"));
        QCOMPARE(sign->text(), QString("\u2714 #FRONT# found"));
        QVERIFY(!insertFront->isEnabled() && !insertBack->isEnabled());
    }

    void markerButtonWithoutACaretSaysWhereToClick()
    {
        editIndexPage();
        // The page has not had the keyboard yet, so it has no caret.
        QCOMPARE(evaluate("getSelection().rangeCount"), std::optional<QVariant>(0));
        QTest::mouseClick(child<QPushButton>("cmdInsertBack"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter.exchanges.size(), 1, kLoadTimeout);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Missing Info"));
        QVERIFY(m_prompter.exchanges[0].text.contains("click in the page where #BACK# should go"));
        QCOMPARE(evaluate("document.body.textContent.includes('#BACK#')"), std::optional<QVariant>(false));
    }

    // The signs beside the roles follow the roles, and the pages on disk through the refresh.
    void markerSignsFollowRolesAndTheDisk()
    {
        loadSite();
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);
        auto* front = child<QLabel>("lblMarkerState_0");
        auto* download = child<QLabel>("lblMarkerState_1");
        QCOMPARE(front->text(), QString("\u2714 #FRONT# found"));
        QCOMPARE(front->toolTip(), QString("The page holds #FRONT#."));
        QCOMPARE(download->text(), QString("\u2718 #BACK# missing"));
        QVERIFY(download->toolTip().contains("\"Insert #BACK#\""));

        writeFile(working("index.html"), readFile(working("index.html")).replace("#FRONT#", "#BACK#"));
        QTRY_COMPARE_WITH_TIMEOUT(download->text(), QString("\u2714 #BACK# found"), 3000);
        QCOMPARE(front->text(), QString("\u2718 #FRONT# missing"));

        QTest::mouseClick(child<QPushButton>("cmdRemove_0"), Qt::LeftButton);
        QCOMPARE(front->text(), QString());
        QVERIFY(!front->isVisible()); // the page label gets its room
        writeFile(working("zz-added.html"));
        QTRY_COMPARE_WITH_TIMEOUT(download->text(), QString(), 3000);
    }

    // A role label shows the whole path where it fits and both ends of it where it does not; the
    // tooltip always holds all of it.
    void roleLabelsKeepBothEndsOfALongPath()
    {
        const QString longName = "offer-" + QString(200, QLatin1Char('x')) + ".html";
        writeFile(QDir(site()).filePath(longName));
        m_form->resize(1800, 900);
        loadSite(3); // the long one is the last page, so it is shown
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        auto* label = child<ElidedLabel>("lblSelectedPage_0");
        QCOMPARE(label->text(), working(longName));
        QCOMPARE(label->toolTip(), working(longName));
        const QString shown = label->shownText();
        QVERIFY2(working(longName).startsWith(shown.section(QChar(0x2026), 0, 0) + "xxx") &&
                     shown.endsWith("xxx.html") &&
                     label->fontMetrics().horizontalAdvance(shown) <= label->contentsRect().width(),
                 qPrintable(shown));

        auto* combo = child<QComboBox>("Combo1");
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);
        QCOMPARE(child<ElidedLabel>("lblSelectedPage_1")->shownText(), working("index.html"));

        // The hint shown without a role reads from its start where the window is narrow.
        QTest::mouseClick(child<QPushButton>("cmdRemove_1"), Qt::LeftButton);
        m_form->resize(m_form->minimumSize());
        auto* hint = child<ElidedLabel>("lblSelectedPage_1");
        QTRY_VERIFY(hint->shownText() != hint->text());
        QVERIFY2(hint->shownText().endsWith(QChar(0x2026)) &&
                     hint->text().startsWith(hint->shownText().chopped(1)),
                 qPrintable(hint->shownText()));
    }

    // A link to another page of the site moves the page list with it, so the commands act on the
    // page on screen; other links go to the desktop's programs and the view stays.
    void clickedLinksKeepTheListInStep()
    {
        writeFile(QDir(site()).filePath("index.html"),
                  "<!DOCTYPE html><html><body style='margin:0'><h1 id='top'>Offer</h1>"
                  "<p><a id='out' href='https://example.com/offer'>Out</a></p>"
                  "<p><a id='blank' href='https://example.com/new' target='_blank'>New window</a></p>"
                  "<p><a id='jump' href='#top'>Top</a></p>"
                  "<p><a id='next' href='download.html'>Download</a></p></body></html>");
        loadSite();
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("document.getElementById('next') !== null"),
                                  std::optional<QVariant>(true), kLoadTimeout);
        QCOMPARE(evaluate("window.probe = 'same document'"), std::optional<QVariant>("same document"));
        QWidget* input = pageInput();

        QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier, centreOf("#out"));
        QTRY_COMPARE_WITH_TIMEOUT(m_opener.links, QList<QUrl>{QUrl("https://example.com/offer")},
                                  kLoadTimeout);
        QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier, centreOf("#blank"));
        QTRY_COMPARE_WITH_TIMEOUT(m_opener.links.size(), 2, kLoadTimeout);
        QCOMPARE(m_opener.links[1], QUrl("https://example.com/new"));
        // A jump inside the page stays a jump.
        QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier, centreOf("#jump"));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate("location.hash"), std::optional<QVariant>("#top"), kLoadTimeout);
        QCOMPARE(evaluate("window.probe"), std::optional<QVariant>("same document"));
        QCOMPARE(child<QComboBox>("Combo1")->currentText(), working("index.html"));
        QCOMPARE(m_opener.links.size(), 2);
        QVERIFY(m_prompter.exchanges.isEmpty());

        QTest::mouseClick(input, Qt::LeftButton, Qt::NoModifier, centreOf("#next"));
        QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>("Combo1")->currentText(), working("download.html"),
                                  kLoadTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(view()->currentFile(), working("download.html"), kLoadTimeout);
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        QCOMPARE(child<QLabel>("lblSelectedPage_0")->text(), working("download.html"));
    }

    // Every command the issue gives a key works by that key, and its tooltip names it.
    void keysWorkTheirCommands()
    {
        QCOMPARE(child("Command5")->toolTip(), QString("Load HTML Folder (Ctrl+O)"));
        QCOMPARE(child("Command2")->toolTip(), QString("Edit Page (Ctrl+E)"));
        QCOMPARE(child("Command3")->toolTip(), QString("Convert to WordPress Plugin (Ctrl+B)"));
        QCOMPARE(child("lblHelp")->toolTip(), QString("Help (F1)"));
        activate();

        bool helpShown = false;
        QTimer::singleShot(0, this, [&] {
            if (auto* help = m_form->findChild<frmQuickHelp*>()) {
                helpShown = help->isModal() && help->isVisible();
                help->done(QDialog::Rejected);
            }
        });
        QTest::keyClick(m_form.get(), Qt::Key_F1);
        QVERIFY(helpShown);
        activate();

        QTest::keyClick(m_form.get(), Qt::Key_B, Qt::ControlModifier);
        QTRY_COMPARE(m_prompter.texts(),
                     QStringList{"Please select your Front-End page and your Download page."});

        m_prompter.exchanges.clear();
        m_prompter.folderAnswers.push_back(site());
        QTest::keyClick(m_form.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(m_prompter.exchanges.size(), 2);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Reminder"));
        QCOMPARE(m_prompter.exchanges[1].kind, QString("folder"));
        QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>("Combo1")->count(), 2, 3000);

        // Alt+F sets the role while viewing; Ctrl+E enters edit mode also from the page list's
        // field, which would take it for "end of line", and leaves it from inside the page.
        // While editing Ctrl+O loads nothing, and Ctrl+B is no "bold" in the page.
        QTest::keyClick(m_form.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_COMPARE(child<QLabel>("lblSelectedPage_0")->text(), working("index.html"));
        auto* list = child<QComboBox>("Combo1");
        QTest::mouseClick(list->lineEdit(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), list);
        QTest::keyClick(list, Qt::Key_E, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("on"),
                                  kLoadTimeout);
        QCOMPARE(child("Command2")->toolTip(), QString("Save / Discard Changes (Ctrl+E)"));
        m_prompter.exchanges.clear();
        QTest::keyClick(m_form.get(), Qt::Key_O, Qt::ControlModifier);
        QVERIFY(m_prompter.exchanges.isEmpty());
        clickBehindHeading();
        QTest::keyClick(pageInput(), Qt::Key_E, Qt::ControlModifier);
        QTRY_COMPARE(child<QPushButton>("Command2")->text(), QString("Edit Page"));
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("off"),
                                  kLoadTimeout);
        QVERIFY(m_prompter.exchanges.isEmpty()); // nothing was changed, so nothing was asked

        QTest::keyClick(pageInput(), Qt::Key_E, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(designModeOf(working("index.html")), std::optional<QVariant>("on"),
                                  kLoadTimeout);
        clickBehindHeading();
        QTest::keyClick(pageInput(), Qt::Key_B, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter.texts(),
                                  QStringList{"Please select your Front-End page and your Download page."},
                                  kLoadTimeout);
        QCOMPARE(evaluate("document.querySelector('h1 b') === null"), std::optional<QVariant>(true));
    }

    // A copy that takes a while shows the busy cursor and how far it got, and the window paints
    // meanwhile.
    void longLoadShowsItsProgress()
    {
        for (int i = 0; i < 30; ++i)
            writeFile(QDir(site()).filePath(QString("assets/file%1.txt").arg(i)), "x");
        m_form->model().setLoadFeedback(0, 0);
        auto* progress = child<QLabel>("lblLoadProgress");
        // Paints of the progress line while the copy runs.
        struct PaintCounter final : QObject
        {
            const workspace::PageWorkspace* model = nullptr;
            int paints = 0;
            bool eventFilter(QObject*, QEvent* event) override
            {
                paints += event->type() == QEvent::Paint && model->loading();
                return false;
            }
        } counter;
        counter.model = &m_form->model();
        progress->installEventFilter(&counter);
        QStringList seen;
        connect(&m_form->model(), &workspace::PageWorkspace::loadProgress, this, [&] {
            const QCursor* cursor = QApplication::overrideCursor();
            seen << QString("%1|%2|%3")
                        .arg(cursor ? int(cursor->shape()) : -1)
                        .arg(progress->isVisible())
                        .arg(progress->text());
        });

        loadSite();
        QCOMPARE(seen.size(), 38); // the example's eight files and the thirty
        QCOMPARE(seen.first(),
                 QString("%1|1|Loading the folder\u2026 0 files copied").arg(int(Qt::WaitCursor)));
        QCOMPARE(seen[1], QString("%1|1|Loading the folder\u2026 1 file copied").arg(int(Qt::WaitCursor)));
        QCOMPARE(seen.last(),
                 QString("%1|1|Loading the folder\u2026 37 files copied").arg(int(Qt::WaitCursor)));
        QVERIFY(counter.paints > 0);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QVERIFY(!progress->isVisible());
    }

    void convertAsksAboutMissingTagsAndNoStops()
    {
        loadSite();
        writeFile(working("index.html"), "<p>no tag here</p>");
        QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
        QCOMPARE(m_prompter.texts(),
                 QStringList{"Please select your Front-End page and your Download page."});

        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);
        m_prompter.exchanges.clear();
        m_prompter.yesNoAnswers.push_back(false);
        bool opened = false;
        QTimer::singleShot(0, this, [&] {
            if (auto* details = m_form->findChild<frmConvert*>()) {
                opened = true;
                details->done(QDialog::Rejected);
            }
        });
        QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
        // The page holds both roles, which is said first.
        QCOMPARE(m_prompter.texts().size(), 2);
        QVERIFY(m_prompter.texts()[0].contains("as public as the sales page"));
        QCOMPARE(
            m_prompter.texts()[1],
            QString("The following tags are not present in your pages: #FRONT#  #BACK# . Please read the "
                    "user manual for more info. Go ahead without them?"));
        QVERIFY(!opened);
        QTest::qWait(10);
        QVERIFY(!opened);
    }

    void helpOpensQuickHelpModally()
    {
        bool wasModal = false;
        QTimer::singleShot(0, this, [&] {
            if (auto* help = m_form->findChild<frmQuickHelp*>()) {
                wasModal = help->isModal() && QApplication::activeModalWidget() == help;
                help->done(QDialog::Rejected);
            }
        });
        QTest::mouseClick(child("lblHelp"), Qt::LeftButton);
        QVERIFY(wasModal);
        QVERIFY(m_form->findChild<frmQuickHelp*>() == nullptr);
    }

    void wholeBuildFromTheWindow()
    {
        loadSite();
        auto* combo = child<QComboBox>("Combo1");
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        QTest::mouseClick(child<QPushButton>("cmdSetasFE"), Qt::LeftButton);
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        QTest::mouseClick(child<QPushButton>("cmdSetasDownloadPage"), Qt::LeftButton);

        QString identifier;
        QStringList seenDuringBuild;
        QTimer driver;
        int step = 0;
        connect(&driver, &QTimer::timeout, this, [&] {
            auto* details = m_form->findChild<frmConvert*>();
            if (!details)
                return;
            auto* create = details->findChild<QPushButton*>("Command3");
            if (step == 0) {
                identifier = details->details().identifier;
                details->findChild<QLineEdit*>("txtPlugin_Name")->setText("Little Green Balcony");
                QTest::mouseClick(create, Qt::LeftButton);
                seenDuringBuild << create->text();
                seenDuringBuild << QString::number(details->findChild<QPushButton*>("Command1")->isEnabled());
                step = 1;
            } else if (!m_opener.opened.isEmpty() && create->isEnabled()) {
                QTest::mouseClick(details->findChild<QPushButton*>("Command1"), Qt::LeftButton);
            }
        });
        driver.start(20);
        QTimer::singleShot(90000, this, [&] {
            if (auto* details = m_form->findChild<frmConvert*>())
                details->done(QDialog::Rejected); // a hung build must not hang the test
        });

        QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
        driver.stop();

        QVERIFY(identifier.startsWith('p'));
        QCOMPARE(seenDuringBuild, (QStringList{"Please Wait...", "0"}));
        QCOMPARE(
            m_prompter.texts().value(0),
            QString(
                "Done! Your plugin is ready. The software will now open the output window.\n\nThe plugin: ") +
                QDir(m_folders.outputFolder).filePath("littlegreenbalcony.zip"));
        QCOMPARE(m_prompter.exchanges[0].title, QString("Done"));
        // The example's e-book is for buyers only, and the window says so.
        QCOMPARE(m_prompter.exchanges.size(), 2);
        QCOMPARE(m_prompter.exchanges[1].title, QString("Important"));
        QVERIFY(m_prompter.exchanges[1].text.contains("files/little-green-balcony.pdf"));
        QCOMPARE(m_opener.opened, QStringList{m_folders.outputFolder});
        const QString zip = QDir(m_folders.outputFolder).filePath("littlegreenbalcony.zip");
        QVERIFY(QFileInfo(zip).size() > 1000);
        QVERIFY(m_form->findChild<frmConvert*>() == nullptr); // discarded when closed
    }
};

VANTOR_WEB_ENGINE_TEST_MAIN(Form2Test)

#include "form2_test.moc"

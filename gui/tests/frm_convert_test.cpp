#include "gui/frm_convert.h"
#include "gui/message_box_prompter.h"
#include "tests/support/example_request.h"
#include "tests/support/recording_opener.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/test_files.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace gui;
using namespace testsupport;

namespace {

const AppTexts kApp{"Vantor!", " ", "2.6"};

// A button's caption as shown: its mnemonic marker is no character on screen.
QString caption(const QPushButton* button)
{
    return QString(button->text()).remove(QLatin1Char('&'));
}

} // namespace

class FrmConvertTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_tmp;
    workspace::Folders m_folders;
    ScriptedPrompter m_prompter;
    RecordingOpener m_opener;

    std::unique_ptr<frmConvert> open()
    {
        const QDir working(m_folders.workingFolder);
        return std::make_unique<frmConvert>(kApp, m_folders, working.filePath("index.html"),
                                            working.filePath("download.html"), m_prompter, m_opener);
    }

    template <typename T> static T* child(QWidget* window, const char* name)
    {
        T* w = window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_folders = exampleBuildFolders(m_tmp->path());
        m_prompter = {};
        m_opener.opened.clear();
    }

    void opensWithDefaultsAndCredits()
    {
        auto window = open();
        QCOMPARE(window->windowTitle(), QString("Create Plugin"));
        QVERIFY(QRegularExpression("^p\\d{2,6}$")
                    .match(child<QLineEdit>(window.get(), "txtPluginID")->text())
                    .hasMatch());
        QCOMPARE(child<QLineEdit>(window.get(), "txtPlugin_Name")->text(), QString("My Plugin"));
        QCOMPARE(child<QLineEdit>(window.get(), "txtPlugin_Version")->text(), QString("1.0"));
        QCOMPARE(child<QLineEdit>(window.get(), "txtPlugin_License")->text(), QString("GPL"));
        QVERIFY(child<QLineEdit>(window.get(), "txtPlugin_Uri")->text().startsWith("https://"));
        auto* description = child<QPlainTextEdit>(window.get(), "txtPlugin_Description");
        auto* author = child<QLineEdit>(window.get(), "txtPlugin_Author");
        auto* authorUrl = child<QLineEdit>(window.get(), "txtPlugin_AuthorUrl");
        QCOMPARE(description->toPlainText(), "Plugin Created with Vantor! - " + authorUrl->text() + ".");
        QCOMPARE(author->text(), QString("Converted by Vantor!"));
        QVERIFY(authorUrl->text().startsWith("https://"));
        QVERIFY(!description->isEnabled());
        QVERIFY(!author->isEnabled());
        QVERIFY(!authorUrl->isEnabled());
        QVERIFY(!child<QProgressBar>(window.get(), "prgBuild")->isVisible());
    }

    void generateNewReplacesTheIdentifier()
    {
        auto window = open();
        auto* id = child<QLineEdit>(window.get(), "txtPluginID");
        const QRegularExpression form("^p(0|[1-9]\\d{0,2})(0|[1-9]\\d{0,2})$");
        QSet<QString> seen;
        for (int i = 0; i < 50; ++i) {
            id->setText("typed");
            QTest::mouseClick(child<QPushButton>(window.get(), "cmdGenerateIdentifier"), Qt::LeftButton);
            QVERIFY2(form.match(id->text()).hasMatch(), qPrintable(id->text()));
            seen << id->text();
        }
        QVERIFY(seen.size() > 1);
    }

    void typedCapitalsBecomeSmall()
    {
        auto window = open();
        window->show();
        auto* id = child<QLineEdit>(window.get(), "txtPluginID");
        id->clear();
        QTest::keyClicks(id, "Shop_B2");
        QCOMPARE(id->text(), QString("shop_b2"));
        // The caret stays where the capital went in.
        id->setCursorPosition(4);
        QTest::keyClicks(id, "X");
        QCOMPARE(id->text(), QString("shopx_b2"));
        QCOMPARE(id->cursorPosition(), 5);
        QCOMPARE(window->details().identifier, QString("shopx_b2"));
    }

    // The outcome's box as the user sees it: its title, and the information icon for each.
    void outcomeBoxesShowTheInformationIcon_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("title");
        QTest::newRow("failed build") << "no cpt.php"
                                      << "Error";
        QTest::newRow("refused build") << "bad identifier"
                                       << "Important";
        QTest::newRow("built") << ""
                               << "Done";
    }
    void outcomeBoxesShowTheInformationIcon()
    {
        QFETCH(QString, fault);
        QFETCH(QString, title);
        if (fault == "no cpt.php")
            QVERIFY(QFile::remove(QDir(m_folders.templateFolder).filePath("modules/cpt.php")));
        MessageBoxPrompter prompter;
        const QDir working(m_folders.workingFolder);
        frmConvert window(kApp, m_folders, working.filePath("index.html"), working.filePath("download.html"),
                          prompter, m_opener);
        prompter.setOwner(&window);
        window.show();
        if (fault == "bad identifier")
            child<QLineEdit>(&window, "txtPluginID")->setText("p-1");

        QStringList seen;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() << QString::number(box->icon());
                box->accept();
            }
        });
        closer.start(20);
        QTest::mouseClick(child<QPushButton>(&window, "Command3"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), 60000);
        // A good build may be followed by its report ("Important"), with the same icon.
        QCOMPARE(seen.mid(0, 2), (QStringList{title, QString::number(QMessageBox::Information)}));
        for (qsizetype i = 1; i < seen.size(); i += 2)
            QCOMPARE(seen[i], QString::number(QMessageBox::Information));
    }

    void tabOrder()
    {
        auto window = open();
        const QStringList expected{"txtPluginID",       "Command3",         "cmdGenerateIdentifier",
                                   "txtPlugin_Name",    "txtPlugin_Uri",    "txtPlugin_Description",
                                   "txtPlugin_Version", "txtPlugin_Author", "txtPlugin_AuthorUrl",
                                   "txtPlugin_License", "chkLeanDelivery",  "Command1"};
        QStringList chain;
        QWidget* w = child<QWidget>(window.get(), "txtPluginID");
        do {
            if (expected.contains(w->objectName()))
                chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w->objectName() != "txtPluginID");
        QCOMPARE(chain, expected);
    }

    void emptyFieldIsRefusedBlankPasses_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("refused");
        QTest::newRow("empty name") << "txtPlugin_Name"
                                    << "" << true;
        QTest::newRow("empty license") << "txtPlugin_License"
                                       << "" << true;
        QTest::newRow("empty version") << "txtPlugin_Version"
                                       << "" << true;
        QTest::newRow("blank license") << "txtPlugin_License"
                                       << "   " << false;
    }

    void emptyFieldIsRefusedBlankPasses()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, refused);
        auto window = open();
        child<QLineEdit>(window.get(), qPrintable(field))->setText(value);
        auto* create = child<QPushButton>(window.get(), "Command3");

        QTest::mouseClick(create, Qt::LeftButton);

        if (refused) {
            QCOMPARE(m_prompter.exchanges.size(), 1);
            QCOMPARE(m_prompter.exchanges[0].title, QString("Important"));
            QCOMPARE(m_prompter.exchanges[0].text, QString("All the fields are required."));
            QCOMPARE(caption(create), QString("Create Plugin"));
            QVERIFY(QDir(m_folders.outputFolder).isEmpty());
        } else {
            QCOMPARE(create->text(), QString("Please Wait..."));
            QTRY_VERIFY_WITH_TIMEOUT(!m_prompter.exchanges.isEmpty(), 60000);
            QCOMPARE(m_prompter.exchanges[0].title, QString("Done"));
            QVERIFY(QFile::exists(QDir(m_folders.outputFolder).filePath("myplugin.zip")));
        }
    }

    void cancelStopsTheBuild_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("closing the window, Yes") << true;
    }

    void cancelStopsTheBuild()
    {
        QFETCH(bool, byClosing);
        const QString archiver = QDir(m_folders.installFolder).filePath("sleeping-7za");
        QFile script(archiver);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho $$ > \"$0.pid\"\nexec sleep 600\n");
        script.close();
        QFile::setPermissions(archiver, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_folders.archiver = archiver;
        auto window = open();
        window->show();
        auto* cancel = child<QPushButton>(window.get(), "cmdCancel");
        QVERIFY(!cancel->isVisible());

        QTest::mouseClick(child<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
        QVERIFY(cancel->isVisible() && cancel->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(archiver + ".pid"), 60000);
        if (byClosing) {
            m_prompter.yesNoAnswers.push_back(true);
            QVERIFY(!window->close()); // closes once the build has stopped
            QCOMPARE(m_prompter.exchanges[0].title, QString("Stop the Build?"));
        } else {
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
        QVERIFY(!cancel->isEnabled());
        QCOMPARE(child<QLabel>(window.get(), "lblProgress")->text(), QStringLiteral("Stopping\u2026"));

        QTRY_VERIFY_WITH_TIMEOUT(m_prompter.exchanges.size() == (byClosing ? 2 : 1), 60000);
        QCOMPARE(m_prompter.exchanges.last().title, QString("Stopped"));
        QVERIFY(m_opener.opened.isEmpty());
        QCOMPARE(
            QDir(m_folders.outputFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
        if (byClosing) {
            QTRY_VERIFY(!window->isVisible());
            QCOMPARE(window->result(), int(QDialog::Rejected));
        } else {
            QVERIFY(window->isVisible());
            QVERIFY(!cancel->isVisible());
            QCOMPARE(child<QLabel>(window.get(), "lblProgress")->text(), QString("Stopped"));
            QVERIFY(child<QPushButton>(window.get(), "Command1")->isEnabled());
            QCOMPARE(caption(child<QPushButton>(window.get(), "Command3")), QString("Create Plugin"));
        }
    }

    void failedBuildShowsErrorAndReturnsToIdle()
    {
        QVERIFY(QFile::remove(QDir(m_folders.templateFolder).filePath("modules/cpt.php")));
        auto window = open();
        window->show();
        auto* create = child<QPushButton>(window.get(), "Command3");
        auto* close = child<QPushButton>(window.get(), "Command1");
        const QStringList busyControls{"Command3", "txtPluginID", "cmdGenerateIdentifier", "Command1"};

        QTest::mouseClick(create, Qt::LeftButton);

        QCOMPARE(create->text(), QString("Please Wait..."));
        for (const QString& name : busyControls)
            QVERIFY2(!child<QWidget>(window.get(), qPrintable(name))->isEnabled(), qPrintable(name));
        QVERIFY(child<QProgressBar>(window.get(), "prgBuild")->isVisible());
        // Escape offers to stop the build; No (the default) keeps it and the window.
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(window->isVisible());
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Stop the Build?"));
        QVERIFY(!m_prompter.exchanges[0].defaultYes);

        QTRY_VERIFY_WITH_TIMEOUT(m_prompter.exchanges.size() > 1, 60000);
        QCOMPARE(m_prompter.exchanges.size(), 2);
        QCOMPARE(m_prompter.exchanges[1].title, QString("Error"));
        QVERIFY2(m_prompter.exchanges[1].text.startsWith(
                     "Error during plugin creation. Error Number:53 Description:"),
                 qPrintable(m_prompter.exchanges[1].text));
        QCOMPARE(caption(create), QString("Create Plugin"));
        for (const QString& name : busyControls)
            QVERIFY2(child<QWidget>(window.get(), qPrintable(name))->isEnabled(), qPrintable(name));
        QVERIFY(m_opener.opened.isEmpty());

        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!window->isVisible());
        QCOMPARE(window->result(), int(QDialog::Accepted));
    }

    void pathLineNamesTheArchive_data()
    {
        QTest::addColumn<bool>("fileManager");
        QTest::newRow("file manager starts") << true;
        QTest::newRow("no file manager") << false;
    }

    // After a good build the window shows where the plugin is, and what to do with it.
    void pathLineNamesTheArchive()
    {
        QFETCH(bool, fileManager);
        m_opener.fails = !fileManager;
        auto window = open();
        window->show();
        auto* outcome = child<QWidget>(window.get(), "frOutcome");
        QVERIFY(!outcome->isVisible());

        QTest::mouseClick(child<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_opener.opened.isEmpty(), 60000);

        const QString zip = QDir::toNativeSeparators(QDir(m_folders.outputFolder).filePath("myplugin.zip"));
        QVERIFY(outcome->isVisible());
        QCOMPARE(child<QLineEdit>(window.get(), "txtArchivePath")->text(), zip);
        QVERIFY(QFileInfo(QDir::fromNativeSeparators(zip)).size() > 1000);
        QCOMPARE(m_prompter.exchanges.first().title, QString("Done"));
        // Without a file manager the user is told so, with the path.
        QCOMPARE(m_prompter.exchanges.last().title == "Output Folder", !fileManager);
        if (!fileManager)
            QVERIFY2(m_prompter.exchanges.last().text.contains(zip),
                     qPrintable(m_prompter.exchanges.last().text));

        QTest::mouseClick(child<QPushButton>(window.get(), "cmdCopyPath"), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), zip);
        const qsizetype said = m_prompter.exchanges.size();
        QTest::mouseClick(child<QPushButton>(window.get(), "cmdOpenFolder"), Qt::LeftButton);
        QCOMPARE(m_opener.opened, QStringList(2, m_folders.outputFolder));
        QCOMPARE(m_prompter.exchanges.size(), said + (fileManager ? 0 : 1));
    }

    // Ticked, the box leaves the files for buyers out of the ZIP, and the report after "Done" names
    // the list of them that the build laid beside it.
    void leanBoxLeavesTheFilesForBuyersOut()
    {
        auto window = open();
        window->show();
        child<QCheckBox>(window.get(), "chkLeanDelivery")->setChecked(true);
        QTest::mouseClick(child<QPushButton>(window.get(), "Command3"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_opener.opened.isEmpty(), 60000);

        const QString list = QDir(m_folders.outputFolder).filePath("myplugin-delivery.json");
        QVERIFY(QFileInfo::exists(list));
        QString report;
        for (const auto& exchange : m_prompter.exchanges)
            report += exchange.title + ": " + exchange.text + "\n";
        QVERIFY2(report.contains("Important: ") && report.contains("not in the ZIP") &&
                     report.contains(QDir::toNativeSeparators(list)),
                 qPrintable(report));
        const QString x = m_tmp->filePath("unpacked");
        QVERIFY(extract(QDir(m_folders.outputFolder).filePath("myplugin.zip"), x));
        const QDir store(x + "/" + window->details().identifier + "/modules/delivery-files");
        QCOMPARE(store.entryList(QDir::Files | QDir::Hidden), QStringList({".htaccess", "index.php"}));
    }

    // Enter creates the plugin, a refusal leaves no progress of an earlier build behind and puts
    // the caret into the empty field, and Escape closes the window.
    void keysAndRefusals()
    {
        auto window = open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* bar = child<QProgressBar>(window.get(), "prgBuild");
        auto* step = child<QLabel>(window.get(), "lblProgress");
        auto* outcome = child<QWidget>(window.get(), "frOutcome");
        auto* name = child<QLineEdit>(window.get(), "txtPlugin_Name");
        auto* uri = child<QLineEdit>(window.get(), "txtPlugin_Uri");
        auto* create = child<QPushButton>(window.get(), "Command3");
        QVERIFY(create->toolTip().contains("Enter"));
        QVERIFY(child<QPushButton>(window.get(), "Command1")->toolTip().contains("Esc"));

        QTest::keyClick(uri, Qt::Key_Return);
        QCOMPARE(caption(create), QString("Please Wait..."));
        QTRY_VERIFY_WITH_TIMEOUT(!m_prompter.exchanges.isEmpty(), 60000);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Done"));
        QCOMPARE(bar->value(), 100);
        QVERIFY(outcome->isVisible());

        name->clear();
        m_prompter.exchanges.clear();
        QTest::mouseClick(uri, Qt::LeftButton);
        QCOMPARE(window->focusWidget(), uri);
        QTest::keyClick(uri, Qt::Key_Return);
        QCOMPARE(m_prompter.texts(), QStringList{"All the fields are required."});
        QVERIFY(!bar->isVisible() && !step->isVisible() && !outcome->isVisible());
        QCOMPARE(window->focusWidget(), name);

        // Refused by the build itself, after it showed "0% Starting".
        QTest::keyClicks(name, "Herb Guide");
        child<QLineEdit>(window.get(), "txtPluginID")->setText("p-1");
        m_prompter.exchanges.clear();
        QTest::keyClick(name, Qt::Key_Enter);
        QTRY_VERIFY_WITH_TIMEOUT(!m_prompter.exchanges.isEmpty(), 60000);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Important"));
        QVERIFY(!bar->isVisible() && !step->isVisible() && !outcome->isVisible());

        QTest::keyClick(name, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(FrmConvertTest)
#include "frm_convert_test.moc"

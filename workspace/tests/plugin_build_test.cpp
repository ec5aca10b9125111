#include "tests/support/example_request.h"
#include "tests/support/recording_opener.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/test_files.h"
#include "workspace/plugin_build.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace workspace;

class PluginBuildTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_tmp;
    Folders m_folders;
    ScriptedPrompter m_prompter;
    RecordingOpener m_opener;

    std::unique_ptr<PluginBuild> makeBuild()
    {
        const QDir working(m_folders.workingFolder);
        return std::make_unique<PluginBuild>(m_folders, working.filePath("index.html"),
                                             working.filePath("download.html"), m_prompter, m_opener);
    }

    static builder::PluginDetails details()
    {
        builder::PluginDetails d = builder::PluginDetails::defaults("Vantor!");
        d.name = "Herb Guide";
        return d;
    }

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_folders = exampleBuildFolders(m_tmp->path());
        m_prompter = {};
        m_opener.opened.clear();
    }

    void emptyFieldStopsBeforeAnything_data()
    {
        QTest::addColumn<int>("field");
        const char* names[] = {"name", "uri", "description", "version", "author", "author uri", "license"};
        for (int i = 0; i < 7; ++i)
            QTest::newRow(names[i]) << i;
    }

    void emptyFieldStopsBeforeAnything()
    {
        QFETCH(int, field);
        builder::PluginDetails d = details();
        QString* fields[] = {&d.name,   &d.uri,       &d.description, &d.version,
                             &d.author, &d.authorUri, &d.license};
        fields[field]->clear();
        auto build = makeBuild();
        QSignalSpy busy(build.get(), &PluginBuild::busyChanged);

        QVERIFY(!build->create(d));

        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Important"));
        QCOMPARE(m_prompter.exchanges[0].text, QString("All the fields are required."));
        QCOMPARE(busy.size(), 0);
        QVERIFY(QDir(m_folders.outputFolder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    void buildWithBlankFieldSucceeds()
    {
        builder::PluginDetails d = details();
        d.license = " ";
        auto build = makeBuild();
        QSignalSpy busy(build.get(), &PluginBuild::busyChanged);
        QSignalSpy progress(build.get(), &PluginBuild::progress);
        QSignalSpy finished(build.get(), &PluginBuild::finished);

        QVERIFY(build->create(d));
        QVERIFY(build->busy());
        QVERIFY(!build->create(d)); // a second build cannot start meanwhile
        QVERIFY(finished.wait(120000));

        QCOMPARE(finished[0][0].toBool(), true);
        QCOMPARE(busy.size(), 2);
        QCOMPARE(busy[1][0].toBool(), false);
        QVERIFY(progress.size() >= 3);
        int last = -1;
        for (const auto& report : progress) {
            QVERIFY(report[0].toInt() >= last);
            last = report[0].toInt();
        }
        QCOMPARE(last, 100);
        QCOMPARE(m_prompter.exchanges.size(), 2);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Done"));
        QCOMPARE(m_prompter.exchanges[0].text,
                 QString("Done! Your plugin is ready. The software will now open the output window.\n\n"
                         "The plugin: ") +
                     QDir(m_folders.outputFolder).filePath("herbguide.zip"));
        // The e-book only the download page links to is held back for buyers, and the user is told
        // that every funnel will hand it out. The small ZIP fits the usual upload limit.
        QCOMPARE(m_prompter.exchanges[1].title, QString("Important"));
        QVERIFY2(m_prompter.exchanges[1].text.contains("every funnel of this plugin hands it out") &&
                     m_prompter.exchanges[1].text.contains("\u2022 files/little-green-balcony.pdf") &&
                     !m_prompter.exchanges[1].text.contains("upload_max_filesize"),
                 qPrintable(m_prompter.exchanges[1].text));
        // Over a lower limit, the report says so and gives the other way in.
        const QString overLimit = BuildReport(build->lastResult(), 1024);
        QVERIFY2(overLimit.contains("The plugin ZIP is ") && overLimit.contains("taken as 1 KB") &&
                     overLimit.contains("wp-content/plugins/") &&
                     overLimit.indexOf("upload_max_filesize") > overLimit.indexOf("little-green-balcony.pdf"),
                 qPrintable(overLimit));
        QVERIFY(QFileInfo(QDir(m_folders.outputFolder).filePath("herbguide.zip")).size() > 0);
        QCOMPARE(m_opener.opened, QStringList{m_folders.outputFolder});
    }

    // After "Done", and before the output folder opens, the user learns which references will
    // not work: a missing file and one matched only by ignoring letter case.
    void referencesThatWillNotWorkAreListedAfterDone()
    {
        const QString index = QDir(m_folders.workingFolder).filePath("index.html");
        QFile page(index);
        QVERIFY(page.open(QIODevice::Append));
        page.write("\n<img src=\"images/spacer.gif\"><img src='IMAGES/cover.png'>\n");
        page.close();
        auto build = makeBuild();
        QSignalSpy finished(build.get(), &PluginBuild::finished);
        QVERIFY(build->create(details()));
        QVERIFY(finished.wait(120000));

        QCOMPARE(m_prompter.exchanges.size(), 2);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Done"));
        QCOMPARE(m_prompter.exchanges[1].title, QString("Important"));
        const QString text = m_prompter.exchanges[1].text;
        QVERIFY2(text.contains("index.html line ") && text.contains("\"images/spacer.gif\" names no file") &&
                     text.contains("\"IMAGES/cover.png\" is taken to mean \"images/cover.png\""),
                 qPrintable(text));
        QCOMPARE(m_opener.opened, QStringList{m_folders.outputFolder});

        QVERIFY(text.indexOf("spacer.gif") < text.indexOf("only by ignoring letter case"));

        // Many are counted, not listed, and a long list of broken ones leaves room for the others.
        builder::BuildResult many;
        many.references.resize(30);
        many.references.back().kind = builder::ReferenceNote::Kind::CaseOnly;
        const QString report = BuildReport(many);
        QCOMPARE(report.count(QStringLiteral("\u2022 ")), 13);
        QVERIFY(report.contains(QStringLiteral("\u2026 and 17 more.")));
        QVERIFY(report.contains("only by ignoring letter case"));
    }

    // A host the pages use only to name the site's files is offered before the build, No by
    // default; the answer decides whether those references point into the plugin. A typed address
    // is taken without asking.
    void theSitesOldAddressIsOfferedBeforeTheBuild_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("madeLocal");
        QTest::newRow("Yes makes them local") << QString() << true << 2;
        QTest::newRow("No leaves them") << QString() << false << 0;
        QTest::newRow("typed in the details") << QString("http://127.0.0.1:4000/") << false << 2;
    }
    void theSitesOldAddressIsOfferedBeforeTheBuild()
    {
        QFETCH(QString, typed);
        QFETCH(bool, yes);
        QFETCH(int, madeLocal);
        QFile page(QDir(m_folders.workingFolder).filePath("index.html"));
        QVERIFY(page.open(QIODevice::Append));
        page.write("\n<img src=\"http://127.0.0.1:4000/images/cover.png\"><img "
                   "src='http://127.0.0.1:4000/images/check.png'>"
                   "\n");
        page.close();
        writeFile(QDir(m_folders.workingFolder).filePath("send.php"), "<?php mail(); ?>");
        auto build = makeBuild();
        QSignalSpy finished(build.get(), &PluginBuild::finished);
        m_prompter.yesNoAnswers.push_back(yes);
        builder::PluginDetails d = details();
        d.siteUrl = typed;
        QVERIFY(build->create(d));
        QVERIFY(finished.wait(120000));
        if (typed.isEmpty()) {
            QCOMPARE(m_prompter.exchanges[0].kind, QString("ask"));
            QCOMPARE(m_prompter.exchanges[0].title, QString("Site Address?"));
            QVERIFY2(m_prompter.exchanges[0].text.contains("http://127.0.0.1:4000/"),
                     qPrintable(m_prompter.exchanges[0].text));
            QVERIFY(!m_prompter.exchanges[0].defaultYes);
        } else {
            QCOMPARE(m_prompter.exchanges[0].title, QString("Done"));
        }
        QCOMPARE(build->lastResult().localAddresses, madeLocal);
        // The report after "Done" names what was left out and counts it all.
        const QString report = m_prompter.exchanges.last().text;
        QVERIFY2(
            report.contains("send.php: a web server would run it") &&
                report.contains(
                    QStringLiteral("1 left out, 0 script strings rewritten, %1 absolute addresses made local")
                        .arg(madeLocal)),
            qPrintable(report));
    }

    void anEarlierZipIsReplacedOnlyOnYes_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes builds") << true;
        QTest::newRow("No goes back with nothing touched") << false;
    }

    void anEarlierZipIsReplacedOnlyOnYes()
    {
        QFETCH(bool, yes);
        const QString zip = QDir(m_folders.outputFolder).filePath("herbguide.zip");
        writeFile(zip, "the earlier plugin");
        auto build = makeBuild();
        QSignalSpy busy(build.get(), &PluginBuild::busyChanged);
        QSignalSpy finished(build.get(), &PluginBuild::finished);

        m_prompter.yesNoAnswers.push_back(yes);
        QCOMPARE(build->create(details()), yes);

        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].kind, QString("ask"));
        QCOMPARE(m_prompter.exchanges[0].title, QString("Replace Plugin?"));
        QVERIFY2(m_prompter.exchanges[0].text.contains(zip), qPrintable(m_prompter.exchanges[0].text));
        QVERIFY(!m_prompter.exchanges[0].defaultYes);
        if (!yes) {
            QCOMPARE(m_prompter.exchanges.size(), 1);
            QCOMPARE(busy.size(), 0);
            QCOMPARE(entries(m_folders.outputFolder), QStringList{"herbguide.zip"});
            QCOMPARE(readFile(zip), QByteArray("the earlier plugin"));
            return;
        }
        QVERIFY(finished.wait(120000));
        QCOMPARE(finished[0][0].toBool(), true);
        QVERIFY(readFile(zip).startsWith("PK"));

        // Details the build refuses ask nothing about the earlier plugin: the build says what is wrong.
        for (const QString& identifier : {QStringLiteral("1abc"), QString(26, QLatin1Char('a'))}) {
            m_prompter.exchanges.clear();
            builder::PluginDetails bad = details();
            bad.identifier = identifier;
            QVERIFY(build->create(bad));
            QVERIFY(finished.wait(120000));
            QCOMPARE(finished.last()[0].toBool(), false);
            QVERIFY2(m_prompter.exchanges.size() >= 1 && m_prompter.exchanges[0].title != "Replace Plugin?",
                     qPrintable(m_prompter.exchanges.value(0).title));
            QVERIFY(readFile(zip).startsWith("PK"));
        }

        // Another name asks nothing.
        m_prompter.exchanges.clear();
        builder::PluginDetails other = details();
        other.name = "Herb Guide Two";
        QVERIFY(build->create(other));
        QVERIFY(finished.wait(120000));
        QCOMPARE(m_prompter.exchanges[0].title, QString("Done"));
    }

    void stoppedBuildSaysSoAndKeepsTheEarlierZip()
    {
        const QString zip = QDir(m_folders.outputFolder).filePath("herbguide.zip");
        writeFile(zip, "the earlier plugin");
        const QString archiver = QDir(m_folders.installFolder).filePath("sleeping-7za");
        writeFile(archiver, "#!/bin/sh\necho $$ > \"$0.pid\"\nexec sleep 600\n");
        QFile::setPermissions(archiver, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_folders.archiver = archiver;
        auto build = makeBuild();
        QSignalSpy busy(build.get(), &PluginBuild::busyChanged);
        QSignalSpy finished(build.get(), &PluginBuild::finished);

        m_prompter.yesNoAnswers.push_back(true);
        QVERIFY(build->create(details()));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(archiver + ".pid"), 60000);
        QVERIFY(!build->stopping());
        build->stop();
        QVERIFY(build->stopping());
        QVERIFY(finished.wait(60000));

        QCOMPARE(finished[0][0].toBool(), false);
        QVERIFY(!build->busy());
        QCOMPARE(busy.size(), 2);
        QCOMPARE(m_prompter.exchanges.size(), 2);
        QCOMPARE(m_prompter.exchanges[1].title, QString("Stopped"));
        QVERIFY(m_prompter.exchanges[1].text.startsWith("The build was stopped."));
        QVERIFY(m_opener.opened.isEmpty());
        QCOMPARE(entries(m_folders.outputFolder), QStringList{"herbguide.zip"});
        QCOMPARE(readFile(zip), QByteArray("the earlier plugin"));
    }

    // The window builds from the working copy into the output folder: where the output folder lies
    // in the copy, however it is reached, the build is refused and nothing is written; a copy
    // inside the output folder builds.
    void overlappingOutputAndWorkingFolders_data()
    {
        QTest::addColumn<QString>("output"); // below the working folder, or "<link>" beside it
        QTest::addColumn<QString>("linkTo"); // the link's target below the working folder
        QTest::addColumn<bool>("refused");
        QTest::newRow("output inside the copy") << "out"
                                                << "" << true;
        QTest::newRow("the same folder") << "."
                                         << "" << true;
        QTest::newRow("output a link into the copy") << "<link>"
                                                     << "plugins" << true;
        QTest::newRow("output a link to the copy") << "<link>"
                                                   << "." << true;
        QTest::newRow("copy inside the output") << ".."
                                                << "" << false;
    }
    void overlappingOutputAndWorkingFolders()
    {
        QFETCH(QString, output);
        QFETCH(QString, linkTo);
        QFETCH(bool, refused);
        const QDir working(m_folders.workingFolder);
        if (output == "<link>") {
            QVERIFY(working.mkpath(linkTo));
            m_folders.outputFolder = QDir(m_tmp->path()).filePath("output link");
            QVERIFY(QFile::link(QDir::cleanPath(working.filePath(linkTo)), m_folders.outputFolder));
        } else {
            m_folders.outputFolder = QDir::cleanPath(working.filePath(output));
            QVERIFY(QDir().mkpath(m_folders.outputFolder));
        }
        const auto before = fingerprint(m_tmp->path());
        auto build = makeBuild();
        QSignalSpy finished(build.get(), &PluginBuild::finished);

        QVERIFY(build->create(details()));
        QVERIFY(finished.wait(120000));

        QCOMPARE(finished[0][0].toBool(), !refused);
        auto after = fingerprint(m_tmp->path());
        if (refused) {
            QCOMPARE(m_prompter.exchanges.size(), 1);
            QCOMPARE(m_prompter.exchanges[0].title, QString("Important"));
            QVERIFY2(m_prompter.exchanges[0].text.contains("lies inside the site folder"),
                     qPrintable(m_prompter.exchanges[0].text));
            QVERIFY(m_opener.opened.isEmpty());
        } else {
            QCOMPARE(m_prompter.exchanges[0].title, QString("Done"));
            QVERIFY(after.remove(QDir(m_tmp->path()).relativeFilePath(build->lastResult().archivePath)) == 1);
        }
        QCOMPARE(after, before);
    }

    void failedBuildReportsAndReturnsToIdle()
    {
        QVERIFY(QFile::remove(QDir(m_folders.templateFolder).filePath("modules/cpt.php")));
        auto build = makeBuild();
        QSignalSpy busy(build.get(), &PluginBuild::busyChanged);
        QSignalSpy finished(build.get(), &PluginBuild::finished);

        QVERIFY(build->create(details()));
        QVERIFY(finished.wait(120000));

        QCOMPARE(finished[0][0].toBool(), false);
        QVERIFY(!build->busy());
        QCOMPARE(busy.size(), 2);
        QCOMPARE(m_prompter.exchanges.size(), 1);
        QCOMPARE(m_prompter.exchanges[0].title, QString("Error"));
        const QString text = m_prompter.exchanges[0].text;
        QVERIFY2(text.startsWith("Error during plugin creation. Error Number:53 Description:") &&
                     text.contains("modules/cpt.php"),
                 qPrintable(text));
        QVERIFY(m_opener.opened.isEmpty());
        QVERIFY(!QFile::exists(QDir(m_folders.outputFolder).filePath("herbguide.zip")));
    }
};

QTEST_GUILESS_MAIN(PluginBuildTest)
#include "plugin_build_test.moc"

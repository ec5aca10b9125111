#include "workspace/folders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using workspace::Folders;

class FoldersTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    workspace::UserFolders m_user;

    QString makeDir(const QString& rel)
    {
        const QString path = m_tmp.filePath(rel);
        QDir().mkpath(path);
        return path;
    }

private slots:
    void init()
    {
        m_user = {m_tmp.filePath("home/.local/share/vantor"), m_tmp.filePath("home/Documents"),
                  m_tmp.filePath("home")};
    }

    // A self-contained folder its user may write keeps everything, as it always has.
    void aWritableSelfContainedFolderHoldsEverything()
    {
        const QString program = makeDir("portable");
        makeDir("portable/plugintemplate");
        const Folders f = Folders::resolve(program, true, m_user);
        QCOMPARE(f.installFolder, program);
        QCOMPARE(f.dataFolder, program);
        QCOMPARE(f.workingFolder, program + "/tmp");
        QCOMPARE(f.outputFolder, program + "/output");
        QCOMPARE(f.saveMarker, program + "/save.alt");
        QCOMPARE(f.templateFolder, program + "/plugintemplate");
        QCOMPARE(f.blankPage, program + "/blank.html");
        // The same layout as a portable folder named directly, as the tests use it.
        const Folders direct = Folders::selfContained(program);
        QCOMPARE(direct.workingFolder, f.workingFolder);
        QCOMPARE(direct.outputFolder, f.outputFolder);
        QCOMPARE(direct.saveMarker, f.saveMarker);
        QCOMPARE(direct.templateFolder, f.templateFolder);
    }

    // Read-only for its user, or installed for everyone: the work goes to the user's own folders,
    // the plugins to a visible folder among the documents, or in the home folder without them.
    void otherwiseEachUserWorksInTheirOwnFolders()
    {
        const QString program = makeDir("opt/vantor");
        makeDir("opt/vantor/plugintemplate");
        Folders f = Folders::resolve(program, false, m_user);
        QCOMPARE(f.installFolder, program);
        QCOMPARE(f.templateFolder, program + "/plugintemplate");
        QCOMPARE(f.blankPage, program + "/blank.html");
        QCOMPARE(f.workingFolder, m_user.appData + "/tmp");
        QCOMPARE(f.saveMarker, m_user.appData + "/save.alt");
        QCOMPARE(f.outputFolder, m_user.home + "/Vantor Plugins");
        makeDir("home/Documents");
        f = Folders::resolve(program, false, m_user);
        QCOMPARE(f.outputFolder, m_user.documents + "/Vantor Plugins");

        // Programs in bin/, the rest in share/vantor/: even where root may write.
        const QString bin = makeDir("usr/bin");
        makeDir("usr/share/vantor/plugintemplate");
        f = Folders::resolve(bin, true, m_user);
        QCOMPARE(f.installFolder, bin);
        QCOMPARE(f.templateFolder, m_tmp.filePath("usr/share/vantor/plugintemplate"));
        QCOMPARE(f.blankPage, m_tmp.filePath("usr/share/vantor/blank.html"));
        QCOMPARE(f.workingFolder, m_user.appData + "/tmp");
        QCOMPARE(f.saveMarker, m_user.appData + "/save.alt");
        QCOMPARE(f.outputFolder, m_user.documents + "/Vantor Plugins");
    }

    // The archiver that comes with the folder, or the one on the PATH.
    void theBundledArchiverOrTheOneOnThePath()
    {
        const QString program = makeDir("with7za");
        makeDir("with7za/plugintemplate");
        QCOMPARE(Folders::resolve(program, true, m_user).archiver, QStringLiteral("7za"));
        QFile link(program + "/7za");
        QVERIFY(link.open(QIODevice::WriteOnly));
        link.close();
        QCOMPARE(Folders::resolve(program, true, m_user).archiver, program + "/7za");
        QCOMPARE(Folders::resolve(program, false, m_user).archiver, program + "/7za");
    }

    // The lock and what the next start recovers lie beside the working folder, never in it, where
    // a plugin would carry them; each data folder has its own way for a second start to call its
    // window, whichever way the folder is spelt.
    void eachDataFolderHasItsOwnLockAndChannel()
    {
        const Folders portable = Folders::selfContained("/opt/vantor");
        QCOMPARE(portable.workingLock, QString("/opt/vantor/tmp.lock"));
        QCOMPARE(portable.recoveryFolder, QString("/opt/vantor/recovery"));
        QCOMPARE(Folders::selfContained("/opt//vantor/").windowChannel, portable.windowChannel);
        QVERIFY(Folders::selfContained("/opt/vantor2").windowChannel != portable.windowChannel);
        const Folders user = Folders::resolve(makeDir("usr2/bin"), false, m_user);
        QCOMPARE(user.workingLock, m_user.appData + "/tmp.lock");
        QCOMPARE(user.recoveryFolder, m_user.appData + "/recovery");
        QVERIFY(user.windowChannel.startsWith("vantor-") && user.windowChannel != portable.windowChannel);
    }

    // However the folder was typed, every path has one separator before its name.
    void pathsHaveOneSeparator_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("working");
        QTest::newRow("plain") << "/opt/vantor"
                               << "/opt/vantor/save.alt"
                               << "/opt/vantor/tmp";
        QTest::newRow("trailing separator") << "/opt/vantor/"
                                            << "/opt/vantor/save.alt"
                                            << "/opt/vantor/tmp";
        QTest::newRow("doubled separators") << "/opt//vantor//"
                                            << "/opt/vantor/save.alt"
                                            << "/opt/vantor/tmp";
        QTest::newRow("root") << "/"
                              << "/save.alt"
                              << "/tmp";
    }

    void pathsHaveOneSeparator()
    {
        QFETCH(QString, folder);
        QFETCH(QString, marker);
        QFETCH(QString, working);
        const Folders f = Folders::selfContained(folder);
        QCOMPARE(f.saveMarker, marker);
        QCOMPARE(f.workingFolder, working);
    }
};

QTEST_GUILESS_MAIN(FoldersTest)
#include "folders_test.moc"

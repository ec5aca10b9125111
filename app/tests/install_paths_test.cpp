#include "app/app_state.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using app::InstallPaths;

class InstallPathsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    app::UserFolders m_user;

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
        const InstallPaths p = InstallPaths::Resolve(program, true, m_user);
        QCOMPARE(p.resourceFolder, program);
        QCOMPARE(p.workingFolder(), program + "/tmp");
        QCOMPARE(p.outputFolder, program + "/output");
        QCOMPARE(p.saveMarker(), program + "/save.alt");
        QCOMPARE(p.templateFolder(), program + "/plugintemplate");
        QCOMPARE(p.blankPage(), program + "/blank.html");
    }

    // Read-only for its user, or installed for everyone: the work goes to the user's own folders,
    // the plugins to a visible folder among the documents, or in the home folder without them.
    void otherwiseEachUserWorksInTheirOwnFolders()
    {
        const QString program = makeDir("opt/vantor");
        makeDir("opt/vantor/plugintemplate");
        InstallPaths p = InstallPaths::Resolve(program, false, m_user);
        QCOMPARE(p.resourceFolder, program);
        QCOMPARE(p.workingFolder(), m_user.appData + "/tmp");
        QCOMPARE(p.saveMarker(), m_user.appData + "/save.alt");
        QCOMPARE(p.outputFolder, m_user.home + "/Vantor Plugins");
        makeDir("home/Documents");
        p = InstallPaths::Resolve(program, false, m_user);
        QCOMPARE(p.outputFolder, m_user.documents + "/Vantor Plugins");

        // Programs in bin/, the rest in share/vantor/: even where root may write.
        const QString bin = makeDir("usr/bin");
        makeDir("usr/share/vantor/plugintemplate");
        p = InstallPaths::Resolve(bin, true, m_user);
        QCOMPARE(p.resourceFolder, m_tmp.filePath("usr/share/vantor"));
        QCOMPARE(p.templateFolder(), m_tmp.filePath("usr/share/vantor/plugintemplate"));
        QCOMPARE(p.workingFolder(), m_user.appData + "/tmp");
        QCOMPARE(p.outputFolder, m_user.documents + "/Vantor Plugins");
    }

    // The archiver that comes with the folder, or the one on the PATH.
    void theBundledArchiverOrTheOneOnThePath()
    {
        const QString program = makeDir("with7za");
        makeDir("with7za/plugintemplate");
        InstallPaths p = InstallPaths::Resolve(program, true, m_user);
        QCOMPARE(p.archiver(), QStringLiteral("7za"));
        QFile link(program + "/7za");
        QVERIFY(link.open(QIODevice::WriteOnly));
        link.close();
        QCOMPARE(p.archiver(), program + "/7za");
    }
};

QTEST_GUILESS_MAIN(InstallPathsTest)
#include "install_paths_test.moc"

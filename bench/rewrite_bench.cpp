// Benchmarks of the asset-path rewrite and of the file walk at the sizes the build has to handle.

#include "synthetic_site.h"

#include "builder/asset_rewrite.h"
#include "builder/file_walk.h"
#include "builder/page_converter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kPrefix =
    QStringLiteral("<?php bloginfo('wpurl'); ?>/wp-content/plugins/p4217/modules/template/");

} // namespace

class RewriteBench : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_files = bench::SiteFileNames(10'000);
        m_bigPage = bench::SyntheticPage(m_files, 5'000'000, 1, QStringLiteral("#FRONT#"));
        m_smallFiles = m_files.mid(0, 1'000);
        m_smallPage = bench::SyntheticPage(m_smallFiles, 500'000, 2, QStringLiteral("#FRONT#"));
        qInfo("5 MB page: %lld characters, %lld double quotes", qlonglong(m_bigPage.size()),
              qlonglong(m_bigPage.count(QLatin1Char('"'))));
        QVERIFY(m_bigPage.size() >= 5'000'000);
        // Same text as the literal rule on the small size, so the two figures compare like with like.
        QCOMPARE(builder::RewriteAssetPaths(m_smallPage, m_smallFiles, kPrefix),
                 builder::RewriteAssetPathsReference(m_smallPage, m_smallFiles, kPrefix));

        const QDir work(QStringLiteral(VANTOR_BENCH_WORK_DIR));
        QVERIFY(work.mkpath(QStringLiteral(".")));
        m_tree = std::make_unique<QTemporaryDir>(work.filePath(QStringLiteral("walk-XXXXXX")));
        QVERIFY(m_tree->isValid());
        for (const QString& name : m_files) {
            const QString path = QDir(m_tree->path()).filePath(name);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }

    void rewrite5MbPage10kFiles()
    {
        QString out;
        QBENCHMARK
        {
            out = builder::RewriteAssetPaths(m_bigPage, m_files, kPrefix);
        }
        QVERIFY(out.size() > m_bigPage.size());
    }

    void convertPage5Mb10kFiles()
    {
        const builder::SiteFiles files(m_files);
        QByteArray out;
        QBENCHMARK
        {
            out = builder::ConvertPage(m_bigPage, QStringLiteral("index.html"), files,
                                       {QStringLiteral("index.html"), QStringLiteral("download.html")},
                                       builder::PageRole::FrontEnd)
                      .text;
        }
        QVERIFY(out.size() > m_bigPage.size());
    }

    void rewrite500KbPage1kFiles()
    {
        QString out;
        QBENCHMARK
        {
            out = builder::RewriteAssetPaths(m_smallPage, m_smallFiles, kPrefix);
        }
        QVERIFY(out.size() > m_smallPage.size());
    }

    void literalRule500KbPage1kFiles()
    {
        QString out;
        QBENCHMARK
        {
            out = builder::RewriteAssetPathsReference(m_smallPage, m_smallFiles, kPrefix);
        }
        QVERIFY(out.size() > m_smallPage.size());
    }

    void fileWalk10kFiles()
    {
        QStringList list;
        QBENCHMARK
        {
            list = builder::ListWorkingFolderFiles(m_tree->path());
        }
        QCOMPARE(list.size(), m_files.size());
    }

private:
    QStringList m_files;
    QStringList m_smallFiles;
    QString m_bigPage;
    QString m_smallPage;
    std::unique_ptr<QTemporaryDir> m_tree;
};

QTEST_GUILESS_MAIN(RewriteBench)
#include "rewrite_bench.moc"

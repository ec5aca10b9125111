#include "builder/page_converter.h"
#include "builder/plugin_details.h"
#include "builder/plugin_header.h"
#include "builder/plugin_rules.h"
#include "builder/tag_check.h"

#include <QRegularExpression>
#include <QTest>

#include <set>

using namespace builder;

class RulesTest : public QObject
{
    Q_OBJECT

private slots:
    void headerBlockIsByteExact()
    {
        const QString header =
            BuildPluginHeader("My Plugin", "https://u", "Desc", "1.0", "Me", "https://a", "GPL");
        QCOMPARE(header.toUtf8(),
                 QByteArray("<?php\r\n/*\r\nPlugin Name: My Plugin\r\nPlugin URI: https://u\r\n"
                            "Description: Desc\r\nVersion: 1.0\r\nAuthor: Me\r\n"
                            "Author URI: https://a\r\nLicense: GPL\r\n*/\r\n?>"));
        // Values go in as they are: no trimming, empty stays empty.
        const QString loose = BuildPluginHeader(" a ", "", "", "", "", "", "");
        QVERIFY(loose.contains("\r\nPlugin Name:  a \r\n"));
        QVERIFY(loose.endsWith("\r\nLicense: \r\n*/\r\n?>"));
    }

    // The converted pages echo variables that the template's renderer must set before including them.
    void convertedPagesEchoWhatTheRendererSets()
    {
        QFile loader(
            QStringLiteral(VANTOR_SOURCE_DIR "/resources/plugintemplate/modules/cpt_template_loader.php"));
        QVERIFY(loader.open(QIODevice::ReadOnly));
        const QByteArray code = loader.readAll();
        const QRegularExpression echoed(QStringLiteral("^<\\?php echo \\$(\\w+)(\\[\\d+\\])?; \\?>$"));
        for (const QString& fragment : {GetAssetUrlPrefix(), QString::fromLatin1(kFunnelUrlCode),
                                        QString::fromLatin1(DeliveryUrlCode(3))}) {
            const QRegularExpressionMatch m = echoed.match(fragment);
            QVERIFY2(m.hasMatch(), qPrintable(fragment));
            const QRegularExpression set(QStringLiteral("\\$%1\\s+= ").arg(m.captured(1)));
            QVERIFY2(set.match(QString::fromUtf8(code)).hasMatch(), qPrintable(fragment));
        }
    }

    void identifierRules_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<bool>("usable");
        QTest::newRow("generated") << "p4217" << true;
        QTest::newRow("letters digits underscore") << "my_plugin2" << true;
        // PHP function names ignore case: P1_activate and p1_activate are one function.
        QTest::newRow("capital first") << "P1" << false;
        QTest::newRow("capital inside") << "shop_B2" << false;
        QTest::newRow("twenty") << "a1234567890123456789" << true;
        QTest::newRow("twenty-one") << "a12345678901234567890" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("digit first") << "4217" << false;
        QTest::newRow("underscore first") << "_p" << false;
        QTest::newRow("dash") << "p-1" << false;
        QTest::newRow("blank") << "p 1" << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("slash") << "p/x" << false;
        QTest::newRow("non-ascii letter") << QStringLiteral(u"p\u00E9") << false;
    }
    void identifierRules()
    {
        QFETCH(QString, identifier);
        QFETCH(bool, usable);
        QCOMPARE(IdentifierProblem(identifier).isEmpty(), usable);
    }

    void capitalsAreRefusedNamingTheSmallForm()
    {
        QVERIFY2(IdentifierProblem("P1").contains("\"p1\""), qPrintable(IdentifierProblem("P1")));
        QVERIFY(IdentifierProblem("Shop_B2").contains("\"shop_b2\""));
        // Only a form that small letters would make usable is offered.
        QVERIFY(!IdentifierProblem("P-1").contains("\"p-1\""));
        QVERIFY(!IdentifierProblem(QStringLiteral(u"P\u00C9")).contains(QStringLiteral(u"\"p\u00C9\"")));
    }

    void generatedIdentifiersAlwaysQualify()
    {
        const QRegularExpression form("^p(0|[1-9][0-9]{0,2})(0|[1-9][0-9]{0,2})$");
        std::set<QString> seen;
        for (int i = 0; i < 500; ++i) {
            const QString id = GenerateIdentifier();
            QVERIFY2(form.match(id).hasMatch(), qPrintable(id));
            QVERIFY(IdentifierProblem(id).isEmpty());
            seen.insert(id);
        }
        QVERIFY(seen.size() > 400); // fresh ones, not one fixed value
    }

    void archiveNameDropsBlanksAndLowersCase()
    {
        QCOMPARE(ArchiveName("My Plugin"), QStringLiteral("myplugin"));
        QCOMPARE(ArchiveName("My   New  Plugin"), QStringLiteral("mynewplugin"));
        QVERIFY(PluginNameProblem("My \"Best\" $Plugin\\ 2").isEmpty());
        QCOMPARE(ArchiveName("Tom's \"Quick\" $5 \\ Guide"), QStringLiteral("tom's\"quick\"$5guide"));
        QVERIFY(!PluginNameProblem(" \\ ").isEmpty());
        QVERIFY(!PluginNameProblem("   ").isEmpty());
        QVERIFY(!PluginNameProblem("a/b").isEmpty());
        QVERIFY(!PluginNameProblem("two\nlines").isEmpty());
        QVERIFY(!PluginNameProblem(". .").isEmpty());
        QVERIFY(!PluginNameProblem(QString(300, 'x')).isEmpty());
    }

    void headerValuesStayOnTheirLineInsideTheComment_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("usable");
        const QStringList fields{"plugin URI", "description", "version", "author", "author URI", "license"};
        const std::pair<const char*, QString> breaks[] = {
            {"LF", "\n"},
            {"CR", "\r"},
            {"CR LF", "\r\n"},
            {"vertical tab", "\v"},
            {"form feed", "\f"},
            {"next line U+0085", QStringLiteral(u"\u0085")},
            {"line separator", QStringLiteral(u"\u2028")},
            {"paragraph separator", QStringLiteral(u"\u2029")},
            {"comment end", "*/"},
        };
        for (const QString& field : fields) {
            for (const auto& [name, hostile] : breaks) {
                QTest::addRow("%s: %s", qPrintable(field), name)
                    << field << QStringLiteral("1.0") + hostile + QStringLiteral("Author: Someone Else")
                    << false;
            }
            QTest::addRow("%s: tab and lone marks", qPrintable(field)) << field << "a\tb * / c /* d" << true;
        }
        // The name has rules of its own: a line break is refused there as it would name the ZIP.
        QTest::newRow("plugin name: comment end") << "plugin name"
                                                  << "My */ Plugin" << false;
    }
    void headerValuesStayOnTheirLineInsideTheComment()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, usable);
        PluginDetails d = PluginDetails::defaults("Vantor!");
        QVERIFY(DetailsProblem(d).isEmpty());
        QString* target = field == "plugin name"   ? &d.name
                          : field == "plugin URI"  ? &d.uri
                          : field == "description" ? &d.description
                          : field == "version"     ? &d.version
                          : field == "author"      ? &d.author
                          : field == "author URI"  ? &d.authorUri
                                                   : &d.license;
        *target = value;
        const QString problem = DetailsProblem(d);
        QCOMPARE(problem.isEmpty(), usable);
        if (!usable)
            QVERIFY2(problem.startsWith("The " + field + " cannot hold"), qPrintable(problem));
    }

    void defaultsCarryTheCreditTexts()
    {
        const PluginDetails d = PluginDetails::defaults("Vantor!");
        QCOMPARE(d.name, QStringLiteral("My Plugin"));
        QCOMPARE(d.version, QStringLiteral("1.0"));
        QCOMPARE(d.license, QStringLiteral("GPL"));
        QCOMPARE(d.author, QStringLiteral("Converted by Vantor!"));
        QCOMPARE(d.description, QStringLiteral("Plugin Created with Vantor! - ") + d.authorUri + ".");
        QVERIFY(!AnyFieldEmpty(d));
        PluginDetails blanks = d;
        blanks.uri = " ";
        QVERIFY(!AnyFieldEmpty(blanks));
        blanks.license.clear();
        QVERIFY(AnyFieldEmpty(blanks));
    }

    void missingTagsTexts()
    {
        QCOMPARE(
            MissingTagsMessage(MissingTags("#Front#", "#BACK#"), true),
            QStringLiteral("The following tags are not present in your pages: #FRONT# . Please read the user "
                           "manual for more info. Go ahead without them?"));
        QCOMPARE(
            MissingTagsMessage(MissingTags("<!-- #FRONT# -->", "#back#"), true),
            QStringLiteral("The following tags are not present in your pages:  #BACK# . Please read the user "
                           "manual for more info. Go ahead without them?"));
        QCOMPARE(
            MissingTagsMessage(MissingTags("", ""), true),
            QStringLiteral("The following tags are not present in your pages: #FRONT#  #BACK# . Please read "
                           "the user manual for more info. Go ahead without them?"));
        QVERIFY(MissingTags("#FRONT# #BACK#", "#FRONT# #BACK#").isEmpty());
    }
};

QTEST_GUILESS_MAIN(RulesTest)
#include "rules_test.moc"

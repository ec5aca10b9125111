#include "gui/frm_quick_help.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/test_files.h"
#include "tests/support/url_recorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using gui::frmQuickHelp;
using testsupport::readFile;
using testsupport::ScriptedPrompter;
using testsupport::writeFile;

namespace {

using testsupport::UrlRecorder;

} // namespace

class FrmQuickHelpTest final : public QObject
{
    Q_OBJECT

private slots:
    void checkBoxShowsTheMarker_data();
    void checkBoxShowsTheMarker();
    void closeAppliesTheCheckBox_data();
    void closeAppliesTheCheckBox();
    void closingOtherwiseAppliesNothing_data();
    void closingOtherwiseAppliesNothing();
    void failedMarkerWriteIsReported();
    void userManualOpensFromTheButtonAndTheText();
    void missingUserManualIsReportedOverTheWindow();
};

void FrmQuickHelpTest::checkBoxShowsTheMarker_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("marker present") << true;
    QTest::newRow("marker absent") << false;
}

void FrmQuickHelpTest::checkBoxShowsTheMarker()
{
    QFETCH(bool, present);
    QTemporaryDir install;
    const QString marker = QDir(install.path()).filePath(QStringLiteral("save.alt"));
    if (present)
        writeFile(marker, "x");

    ScriptedPrompter prompter;
    frmQuickHelp help(marker, prompter);
    QCOMPARE(help.windowTitle(), QStringLiteral("Quick Help"));
    auto* check = help.findChild<QCheckBox*>(QStringLiteral("Check1"));
    QVERIFY(check);
    QCOMPARE(check->text(), QStringLiteral("Yes, I'm Experiencing This."));
    QCOMPARE(check->isChecked(), present);
}

void FrmQuickHelpTest::closeAppliesTheCheckBox_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<bool>("after");

    QTest::newRow("checked: created") << false << true << true;
    QTest::newRow("unchecked: deleted") << true << true << false;
    QTest::newRow("left checked: written again") << true << false << true;
    QTest::newRow("left unchecked: still absent") << false << false << false;
}

void FrmQuickHelpTest::closeAppliesTheCheckBox()
{
    QFETCH(bool, before);
    QFETCH(bool, toggle);
    QFETCH(bool, after);

    QTemporaryDir install;
    const QString marker = QDir(install.path()).filePath(QStringLiteral("save.alt"));
    if (before)
        writeFile(marker, "old");

    ScriptedPrompter prompter;
    frmQuickHelp help(marker, prompter);
    help.show();
    if (toggle)
        help.findChild<QCheckBox*>(QStringLiteral("Check1"))->click();
    auto* close = help.findChild<QPushButton*>(QStringLiteral("Command1"));
    QCOMPARE(close->text(), QStringLiteral("Close"));
    QTest::mouseClick(close, Qt::LeftButton);

    QCOMPARE(QFile::exists(marker), after);
    if (after)
        QCOMPARE(readFile(marker), QByteArray("Text1"));
    QVERIFY(!help.isVisible());
    QCOMPARE(help.result(), int(QDialog::Accepted));
    QVERIFY(prompter.exchanges.isEmpty());
}

void FrmQuickHelpTest::closingOtherwiseAppliesNothing_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("escape");

    QTest::newRow("checked, Escape") << false << true;
    QTest::newRow("checked, title bar") << false << false;
    QTest::newRow("unchecked, Escape") << true << true;
    QTest::newRow("unchecked, title bar") << true << false;
}

void FrmQuickHelpTest::closingOtherwiseAppliesNothing()
{
    QFETCH(bool, before);
    QFETCH(bool, escape);

    QTemporaryDir install;
    const QString marker = QDir(install.path()).filePath(QStringLiteral("save.alt"));
    if (before)
        writeFile(marker, "old");

    ScriptedPrompter prompter;
    frmQuickHelp help(marker, prompter);
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    help.findChild<QCheckBox*>(QStringLiteral("Check1"))->click();
    if (escape)
        QTest::keyClick(&help, Qt::Key_Escape);
    else
        help.close();

    QVERIFY(!help.isVisible());
    QCOMPARE(QFile::exists(marker), before);
    if (before)
        QCOMPARE(readFile(marker), QByteArray("old"));
}

void FrmQuickHelpTest::failedMarkerWriteIsReported()
{
    QTemporaryDir parent;
    const QString install = QDir(parent.path()).filePath(QStringLiteral("gone"));
    const QString marker = QDir(install).filePath(QStringLiteral("save.alt"));

    ScriptedPrompter prompter;
    frmQuickHelp help(marker, prompter);
    help.show();
    help.findChild<QCheckBox*>(QStringLiteral("Check1"))->click();
    help.Command1_Click();

    QCOMPARE(prompter.exchanges.size(), 1);
    QCOMPARE(prompter.exchanges.first().title, QStringLiteral("Error"));
    QVERIFY2(prompter.exchanges.first().text.contains(marker), qPrintable(prompter.exchanges.first().text));
    QVERIFY(!QFile::exists(marker));
    QVERIFY(!help.isVisible());
}

// The button opens the manual from its start, the words "user manual" in the text at the section
// on the tags; the window stays open and the marker untouched.
void FrmQuickHelpTest::userManualOpensFromTheButtonAndTheText()
{
    QTemporaryDir install;
    const QDir dir(install.path());
    writeFile(dir.filePath(QStringLiteral("manual/index.html")), "<!DOCTYPE html>");
    const QString marker = dir.filePath(QStringLiteral("save.alt"));
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    ScriptedPrompter prompter;
    frmQuickHelp help(marker, prompter);
    help.setProgramFolder(install.path());
    help.show();

    auto* button = help.findChild<QPushButton*>(QStringLiteral("cmdUserManual"));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("&User Manual"));
    QTest::mouseClick(button, Qt::LeftButton);
    auto* text = help.findChild<QLabel*>(QStringLiteral("Label15"));
    QVERIFY(text);
    const QRegularExpression link(QStringLiteral("<a href=\"([^\"]+)\">user manual</a>"));
    const QRegularExpressionMatch m = link.match(text->text());
    QVERIFY2(m.hasMatch(), qPrintable(text->text()));
    emit text->linkActivated(m.captured(1));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    QCOMPARE(recorder.opened.size(), 2);
    const QString manual = QFileInfo(dir.filePath(QStringLiteral("manual/index.html"))).canonicalFilePath();
    QCOMPARE(QFileInfo(recorder.opened[0].toLocalFile()).canonicalFilePath(), manual);
    QVERIFY(!recorder.opened[0].hasFragment());
    QCOMPARE(QFileInfo(recorder.opened[1].toLocalFile()).canonicalFilePath(), manual);
    QCOMPARE(recorder.opened[1].fragment(), QStringLiteral("tags"));
    QVERIFY(prompter.exchanges.isEmpty());
    QVERIFY(help.isVisible());
    QVERIFY(!QFile::exists(marker));
}

void FrmQuickHelpTest::missingUserManualIsReportedOverTheWindow()
{
    QTemporaryDir install;
    ScriptedPrompter prompter;
    frmQuickHelp help(QDir(install.path()).filePath(QStringLiteral("save.alt")), prompter);
    help.setProgramFolder(install.path());
    help.show();
    QTest::mouseClick(help.findChild<QPushButton*>(QStringLiteral("cmdUserManual")), Qt::LeftButton);

    QCOMPARE(prompter.exchanges.size(), 1);
    QCOMPARE(prompter.exchanges.first().title, QStringLiteral("User Manual"));
    QVERIFY2(
        prompter.exchanges.first().text.contains(QDir(install.path()).filePath(QStringLiteral("manual"))),
        qPrintable(prompter.exchanges.first().text));
    QVERIFY(help.isVisible());
}

QTEST_MAIN(FrmQuickHelpTest)

#include "frm_quick_help_test.moc"

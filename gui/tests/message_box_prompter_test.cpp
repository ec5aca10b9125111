// The running program's message boxes answer the keys as their questions promise: Enter gives
// the default answer, Escape the safe one.

#include "gui/message_box_prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace gui;
using workspace::Answer;
using workspace::MessageIcon;

class MessageBoxPrompterTest : public QObject
{
    Q_OBJECT

    // Presses key in the question box once it is open and has the focus, after `after` ticks.
    static void pressWhenShown(Qt::Key key, int after = 0)
    {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, timer, [timer, key, after]() mutable {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !QApplication::focusWidget() || after-- > 0)
                return;
            timer->deleteLater();
            QTest::keyClick(QApplication::focusWidget(), key);
        });
        timer->start(10);
    }

private slots:
    void yesNoKeys_data()
    {
        QTest::addColumn<bool>("defaultYes");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("answer");
        QTest::newRow("Enter, default Yes") << true << int(Qt::Key_Return) << true;
        QTest::newRow("Enter, default No") << false << int(Qt::Key_Return) << false;
        QTest::newRow("Escape, default Yes") << true << int(Qt::Key_Escape) << false;
    }

    void yesNoKeys()
    {
        QFETCH(bool, defaultYes);
        QFETCH(int, key);
        QFETCH(bool, answer);
        MessageBoxPrompter prompter;
        pressWhenShown(Qt::Key(key));
        QCOMPARE(
            prompter.askYesNo("Missing Info", "Go ahead without them?", MessageIcon::Information, defaultYes),
            answer);
    }

    void yesNoCancelKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("Enter") << int(Qt::Key_Return) << Answer::Yes;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << Answer::Cancel;
    }

    void yesNoCancelKeys()
    {
        QFETCH(int, key);
        QFETCH(Answer, answer);
        MessageBoxPrompter prompter;
        pressWhenShown(Qt::Key(key));
        QCOMPARE(prompter.askYesNoCancel("Changed Pages", "Write them back?", MessageIcon::Question), answer);
    }

    void optionKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("Enter") << int(Qt::Key_Return) << 1;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 1;
        QTest::newRow("Tab back, then Space") << int(Qt::Key_Backtab) << 0;
    }

    // The default option is the safe one: Enter and Escape both choose it.
    void optionKeys()
    {
        QFETCH(int, key);
        QFETCH(int, answer);
        MessageBoxPrompter prompter;
        pressWhenShown(Qt::Key(key));
        if (key == Qt::Key_Backtab)
            pressWhenShown(Qt::Key_Space, 2);
        QCOMPARE(prompter.askOptions("Pages Not Written Back", "Write them back?",
                                     {"Write them back", "Keep them for later", "Discard"}, 1,
                                     MessageIcon::Question),
                 answer);
    }

    // Nobody will answer: the question open closes with its Escape answer, and the next ones get
    // theirs without a box.
    void stopAskingAnswersAsEscapeWould()
    {
        MessageBoxPrompter prompter;
        QStringList answers;
        QTimer::singleShot(0, this, [&] {
            answers << QString::number(int(prompter.askYesNoCancel("Save", "Save?", MessageIcon::Question)));
        });
        QTimer::singleShot(50, this, [&] {
            QVERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
            prompter.stopAsking();
        });
        QTRY_COMPARE(answers.size(), 1);
        QCOMPARE(answers[0], QString::number(int(Answer::Cancel)));
        QVERIFY(!prompter.asking());
        QCOMPARE(prompter.askYesNo("Save", "Save?", MessageIcon::Question, true), false);
        QCOMPARE(prompter.askOptions("Pages", "Which?", {"A", "B"}, 1, MessageIcon::Question), 1);
        QCOMPARE(prompter.askText("Enter Path", "Path?"), QString());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(MessageBoxPrompterTest)
#include "message_box_prompter_test.moc"

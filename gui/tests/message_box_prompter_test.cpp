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

    // Presses key in the question box once it is open and has the focus.
    static void pressWhenShown(Qt::Key key)
    {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, timer, [timer, key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !QApplication::focusWidget())
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
};

QTEST_MAIN(MessageBoxPrompterTest)
#include "message_box_prompter_test.moc"

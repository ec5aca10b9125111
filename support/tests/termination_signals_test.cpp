#include "support/termination_signals.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>

using support::TerminationSignals;

namespace {

volatile std::sig_atomic_t g_seenBefore = 0;

void countBefore(int)
{
    g_seenBefore = g_seenBefore + 1;
}

} // namespace

class TerminationSignalsTest : public QObject
{
    Q_OBJECT

private slots:
    void eachSignalArrivesAsItsKind_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<TerminationSignals::Kind>("kind");
        QTest::newRow("SIGTERM") << SIGTERM << TerminationSignals::Kind::Terminate;
        QTest::newRow("SIGINT") << SIGINT << TerminationSignals::Kind::Interrupt;
        QTest::newRow("SIGHUP") << SIGHUP << TerminationSignals::Kind::HangUp;
    }

    // The process lives on, and the event loop hears of the signal.
    void eachSignalArrivesAsItsKind()
    {
        QFETCH(int, number);
        QFETCH(TerminationSignals::Kind, kind);
        TerminationSignals termination;
        QVERIFY(termination.active());
        QSignalSpy received(&termination, &TerminationSignals::received);
        QCOMPARE(std::raise(number), 0);
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received[0][0].value<TerminationSignals::Kind>(), kind);
    }

    // A receiver asking its user a question runs its own loop; a second signal arrives during it.
    void aSecondSignalArrivesWhileTheFirstIsBeingAnswered()
    {
        TerminationSignals termination;
        QList<TerminationSignals::Kind> seen;
        bool heardInsideTheQuestion = false;
        connect(&termination, &TerminationSignals::received, this, [&](TerminationSignals::Kind kind) {
            seen << kind;
            if (seen.size() != 1)
                return;
            QEventLoop question;
            QTimer::singleShot(0, &question, [] { std::raise(SIGINT); });
            QTimer::singleShot(5000, &question, &QEventLoop::quit);
            connect(&termination, &TerminationSignals::received, &question, [&] {
                heardInsideTheQuestion = true;
                question.quit();
            });
            question.exec();
        });
        std::raise(SIGTERM);
        QTRY_COMPARE(seen.size(), 2);
        QVERIFY(heardInsideTheQuestion);
        QCOMPARE(seen, (QList<TerminationSignals::Kind>{TerminationSignals::Kind::Terminate,
                                                        TerminationSignals::Kind::Interrupt}));
    }

    void theHandlingBeforeComesBack()
    {
        const auto before = std::signal(SIGHUP, countBefore);
        g_seenBefore = 0;
        {
            TerminationSignals termination;
            QSignalSpy received(&termination, &TerminationSignals::received);
            std::raise(SIGHUP);
            QTRY_COMPARE(received.count(), 1);
            QCOMPARE(int(g_seenBefore), 0);
        }
        std::raise(SIGHUP);
        QCOMPARE(int(g_seenBefore), 1);
        std::signal(SIGHUP, before);
    }
};

QTEST_GUILESS_MAIN(TerminationSignalsTest)

#include "termination_signals_test.moc"

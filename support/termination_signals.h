#pragma once

#include <QObject>

class QSocketNotifier;

namespace support {

// Turns the signals that ask a program to end (on POSIX SIGTERM, SIGINT and SIGHUP) into a Qt
// signal delivered by the event loop of the thread that made the object, so the program can end
// the way its user would: a signal handler itself may do next to nothing. One object at a time;
// destroying it puts the handling that was there before back.
class TerminationSignals final : public QObject
{
    Q_OBJECT
public:
    enum class Kind
    {
        Terminate, // kill, a session ending
        Interrupt, // Ctrl+C in the terminal that started the program
        HangUp     // that terminal went away
    };
    Q_ENUM(Kind)

    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the handlers could not be put in place; the signals then end the program as
    // they did before.
    bool active() const { return m_notifier != nullptr; }

signals:
    // Also while a receiver of an earlier one runs a loop of its own (a question to its user).
    void received(support::TerminationSignals::Kind kind);

private:
    void takeArrived();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace support

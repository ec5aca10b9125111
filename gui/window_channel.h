#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace gui {

// How a second start of the program reaches the window that is running already: a local socket
// under a name of the user and the data folder (Folders::windowChannel). The running window
// listens; a second start asks it to come forward, and ends.
class WindowChannel final : public QObject
{
    Q_OBJECT
public:
    explicit WindowChannel(QObject* parent = nullptr);

    // Listens under name; a channel left by a run that died is taken over. Only the holder of
    // the working folder's lock may listen. False when it cannot (the reason is logged).
    bool listen(const QString& name);
    // Asks the window listening under name to come forward; true once it answered that it did.
    // Waits at most timeoutMs, running the event loop meanwhile.
    static bool callForward(const QString& name, int timeoutMs = 3000);

signals:
    // A second start asks this window to come forward.
    void forwardWanted();

private:
    void answer();

    QLocalServer* m_server = nullptr;
};

} // namespace gui

#include "gui/window_channel.h"

#include "workspace/logging.h"

#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace gui {
namespace {

const QByteArray kForward = "forward\n";
const QByteArray kDone = "done\n";

} // namespace

WindowChannel::WindowChannel(QObject* parent) : QObject(parent)
{
    m_server = new QLocalServer(this);
    // Only the user who runs the window may call it forward.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &WindowChannel::answer);
}

bool WindowChannel::listen(const QString& name)
{
    // The caller holds the lock of the working folder, so a socket of that name is a dead run's.
    QLocalServer::removeServer(name);
    if (m_server->listen(name))
        return true;
    qCWarning(lcWorkspace).noquote() << "A second start cannot call this window forward:"
                                     << m_server->errorString();
    return false;
}

void WindowChannel::answer()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == kForward) {
                emit forwardWanted();
                socket->write(kDone);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool WindowChannel::callForward(const QString& name, int timeoutMs)
{
    QLocalSocket socket;
    QEventLoop loop;
    bool done = false;
    connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        if (!socket.canReadLine())
            return;
        done = socket.readLine() == kDone;
        loop.quit();
    });
    connect(&socket, &QLocalSocket::errorOccurred, &loop, &QEventLoop::quit);
    connect(&socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    socket.connectToServer(name);
    if (socket.state() == QLocalSocket::UnconnectedState)
        return false;
    socket.write(kForward);
    // The window may run in this very process (the tests): its answer needs this loop.
    loop.exec();
    return done;
}

} // namespace gui

#include "support/process_death.h"

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace support {

void EndWithThisProgram(QProcess& process)
{
#ifdef Q_OS_LINUX
    // The signal comes when the thread that started the child ends; the caller's thread waits for
    // the child to end, so the signal is sent only when the whole program dies.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // died before the signal was set
            ::_exit(127);
    });
#else
    Q_UNUSED(process);
#endif
}

} // namespace support

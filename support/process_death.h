#pragma once

#include <QProcess>

namespace support {

// Ties a process, before it is started, to this program's life: when the program dies, killed or
// crashed included, the system ends the process too, so that no child goes on working for nobody.
// Where the system offers no such tie, the process is started as it is. One implementation per
// system family (process_death_posix.cpp).
void EndWithThisProgram(QProcess& process);

} // namespace support

#pragma once

// File helpers shared by the tests that build sites and look into folders and archives.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace testsupport {

// Writes bytes (a plain page by default) to path, making its folder first; a failure fails the
// calling test.
void writeFile(const QString& path, const QByteArray& bytes = "<html><body>page</body></html>");

// The file's bytes, or "<missing>" when it cannot be read.
QByteArray readFile(const QString& path);

// The names in a folder, hidden and system entries too, sorted by name.
QStringList entries(const QString& folder);

// Every entry below a folder with its bytes' hash (or its kind and link target): a fingerprint
// that proves a folder untouched.
QMap<QString, QByteArray> fingerprint(const QString& folder);

// Bytes that do not deflate (as the inside of a compressed file), the same for the same seed.
QByteArray noise(qsizetype size, quint32 seed = 1);

// The 7za beside the programs in the build tree, else the one on the PATH; empty when there is
// none.
QString archiverPath();

// Unpacks a ZIP into a folder with archiverPath().
bool extract(const QString& zip, const QString& into);

// An archiver that never finishes: it writes its process id beside itself and sleeps.
QString writeSleepingArchiver(const QString& folder);

// The process id the sleeping archiver wrote once it runs, or 0.
qint64 archiverPid(const QString& script);

// False once the process is gone, or a zombie that nothing has reaped yet: either way it does
// no more work.
bool running(qint64 pid);

} // namespace testsupport

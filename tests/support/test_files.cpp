#include "tests/support/test_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

namespace testsupport {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QMap<QString, QByteArray> fingerprint(const QString& folder)
{
    QMap<QString, QByteArray> map;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        map.insert(QDir(folder).relativeFilePath(path),
                   info.isFile() ? QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha1)
                                 : QByteArray::number(int(info.isDir())) + info.symLinkTarget().toUtf8());
    }
    return map;
}

QByteArray noise(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.generate());
    return bytes;
}

QString archiverPath()
{
    const QString beside = QStringLiteral(VANTOR_INSTALL_DIR "/7za");
    return QFileInfo(beside).isExecutable() ? beside : QStandardPaths::findExecutable("7za");
}

bool extract(const QString& zip, const QString& into)
{
    QProcess p;
    p.start(archiverPath(), {"x", "-y", "-bd", "-o" + into, zip});
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

QString writeSleepingArchiver(const QString& folder)
{
    const QString script = QDir(folder).filePath("sleeping-7za");
    writeFile(script, "#!/bin/sh\necho $$ > \"$0.pid\"\nexec sleep 600\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(script + ".pid");
    return script;
}

qint64 archiverPid(const QString& script)
{
    return readFile(script + ".pid").trimmed().toLongLong();
}

bool running(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat != "<missing>" && !stat.contains(") Z ");
}

} // namespace testsupport

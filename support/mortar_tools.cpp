#include "support/mortar_tools.h"

#include <QFileInfo>
#include <QRandomGenerator>

namespace support {

bool MortarTools::PathExists(const QString& path, bool isFolder)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return isFolder ? info.isDir() : info.isFile();
}

int MortarTools::RandomNumber(int bound)
{
    if (bound <= 0)
        return 0;
    return int(QRandomGenerator::global()->bounded(quint32(bound) + 1));
}

} // namespace support

#pragma once

#include <QString>

namespace support {

class MortarTools final
{
public:
    // True when a folder (isFolder) or a file (!isFolder) exists at the path.
    static bool PathExists(const QString& path, bool isFolder);
    // Uniform over 0..bound (bound included); 0 for a negative bound.
    static int RandomNumber(int bound);
    // Kept as a named point in the build; it does not wait.
    static void Pause(int) {}
};

} // namespace support

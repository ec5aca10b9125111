#pragma once

#include <QByteArray>
#include <QString>

namespace workspace {

// The hash by which a page's bytes are recognised again later, as hex.
QByteArray ContentHash(const QByteArray& bytes);

// What became of an edited page offered back to the file it was loaded from.
enum class WriteBackOutcome
{
    Written,
    AlreadyThere, // the file holds these very bytes already
    ChangedThere, // someone else changed the file since the load: it was left alone
    Failed
};

// Writes bytes over target (whole or not at all) when target still holds what it held at the load,
// recognised by loadedHash. A target changed since is never written over. A target that is gone,
// cannot be read or is marked read-only fails, with the reason in *why.
WriteBackOutcome WriteBackPage(const QString& target, const QByteArray& bytes, const QByteArray& loadedHash,
                               QString* why);

// Where an edited page goes when the file it came from was changed by someone else: beside it,
// as "index.edited.html", else "index.edited-2.html" and so on; the first name that is free or
// holds these bytes already.
QString BesideName(const QString& target, const QByteArray& bytes);
// Writes the bytes there and returns that file's path. Throws support::IoError.
QString SaveBeside(const QString& target, const QByteArray& bytes);

} // namespace workspace

#include "builder/reference_resolver.h"

#include <QByteArray>
#include <QStringDecoder>

#include <array>
#include <optional>

namespace builder {
namespace {

bool isAsciiAlpha(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// "scheme:" as URLs begin it; a Windows drive letter reads the same way to a browser.
bool hasScheme(QStringView s)
{
    if (s.isEmpty() || !isAsciiAlpha(s[0]))
        return false;
    for (qsizetype i = 1; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u':')
            return true;
        if (!isAsciiAlpha(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return false;
}

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// %XX sequences decoded as UTF-8; nullopt when there are none or the bytes are not UTF-8.
std::optional<QString> percentDecoded(QStringView path)
{
    if (!path.contains(u'%'))
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(path.size() * 3);
    qsizetype copied = 0;
    for (qsizetype i = 0; i + 2 < path.size(); ++i) {
        if (path[i] != u'%' || hexValue(path[i + 1]) < 0 || hexValue(path[i + 2]) < 0)
            continue;
        bytes.append(path.sliced(copied, i - copied).toUtf8());
        bytes.append(char(hexValue(path[i + 1]) * 16 + hexValue(path[i + 2])));
        i += 2;
        copied = i + 1;
    }
    if (copied == 0)
        return std::nullopt;
    bytes.append(path.sliced(copied).toUtf8());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return decoded;
}

// base + "/" + path with "." and ".." applied; nullopt when it climbs above the top.
std::optional<QString> joined(const QString& base, QStringView path)
{
    QStringList parts;
    if (!base.isEmpty())
        parts = base.split(u'/', Qt::SkipEmptyParts);
    for (QStringView part : path.split(u'/')) {
        if (part.isEmpty() || part == u".")
            continue;
        if (part == u"..") {
            if (parts.isEmpty())
                return std::nullopt;
            parts.removeLast();
        } else {
            parts.append(part.toString());
        }
    }
    return parts.join(u'/');
}

// The file that path names exactly: itself, or the index page of the folder it names.
std::optional<QString> exactFile(const QString& path, const SiteFiles& files)
{
    if (!path.isEmpty() && files.contains(path))
        return path;
    if (files.isFolder(path)) {
        const QString folder = path.isEmpty() ? QString() : path + u'/';
        for (const QString& index : {QStringLiteral("index.html"), QStringLiteral("index.htm")}) {
            if (files.contains(folder + index))
                return folder + index;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<SiteAddress> ParseSiteAddress(QStringView url)
{
    qsizetype i = 0;
    bool https = false;
    if (url.startsWith(u"http://", Qt::CaseInsensitive)) {
        i = 7;
    } else if (url.startsWith(u"https://", Qt::CaseInsensitive)) {
        i = 8;
        https = true;
    } else if (url.startsWith(u"//")) {
        i = 2;
    } else {
        return std::nullopt;
    }
    qsizetype end = i;
    while (end < url.size() && url[end] != u'/' && url[end] != u'?' && url[end] != u'#' && url[end] != u'\\')
        ++end;
    QString origin = url.sliced(i, end - i).toString().toLower();
    if (const qsizetype at = origin.lastIndexOf(u'@'); at >= 0)
        origin = origin.mid(at + 1);
    if (origin.endsWith(u'.'))
        origin.chop(1);
    if (origin.endsWith(QLatin1String(":80")) && !https)
        origin.chop(3);
    else if (origin.endsWith(QLatin1String(":443")) && (https || i == 2))
        origin.chop(4);
    if (origin.isEmpty())
        return std::nullopt;
    SiteAddress a;
    a.origin = origin;
    qsizetype pathEnd = end;
    while (pathEnd < url.size() && url[pathEnd] != u'?' && url[pathEnd] != u'#')
        ++pathEnd;
    a.path = url.sliced(end, pathEnd - end).toString();
    if (!a.path.startsWith(u'/'))
        a.path.prepend(u'/');
    if (!a.path.endsWith(u'/'))
        a.path.append(u'/');
    return a;
}

std::optional<QString> PathUnderSiteAddress(QStringView reference, const QList<SiteAddress>& addresses)
{
    if (addresses.isEmpty())
        return std::nullopt;
    const std::optional<SiteAddress> here = ParseSiteAddress(reference);
    if (!here)
        return std::nullopt;
    // The reference's own path, query and fragment, as written.
    qsizetype rest = reference.indexOf(u"//") + 2;
    while (rest < reference.size() && reference[rest] != u'/' && reference[rest] != u'?' &&
           reference[rest] != u'#')
        ++rest;
    QString tail = reference.sliced(rest).toString();
    if (!tail.startsWith(u'/'))
        tail.prepend(u'/');
    for (const SiteAddress& a : addresses) {
        if (a.origin != here->origin)
            continue;
        if (tail.startsWith(a.path))
            return u'/' + tail.mid(a.path.size());
        if (tail == a.path.chopped(1)) // the address without its last "/"
            return QStringLiteral("/");
    }
    return std::nullopt;
}

Resolution ResolveReference(QStringView reference, const QString& pageFolder, const SiteFiles& files)
{
    Resolution r;
    if (reference.isEmpty() || reference[0] == u'#' || reference[0] == u'?' || hasScheme(reference))
        return r;
    qsizetype end = 0;
    while (end < reference.size() && reference[end] != u'?' && reference[end] != u'#')
        ++end;
    QString path = reference.first(end).toString();
    path.replace(u'\\', u'/');
    if (path.startsWith(u"//"))
        return r; // another host
    r.pathLength = end;

    // The path as written, then percent-decoded when that differs: a file may carry "%" in its name.
    std::array<QString, 2> spellings{path, QString()};
    if (std::optional<QString> decoded = percentDecoded(path))
        spellings = {*decoded, path};

    QStringList bases;
    if (!path.startsWith(u'/'))
        bases << pageFolder;
    if (bases.isEmpty() || !pageFolder.isEmpty())
        bases << QString();

    std::optional<QString> firstTry;
    QStringList tries;
    for (const QString& spelling : spellings) {
        if (spelling.isNull())
            continue;
        for (const QString& base : bases) {
            if (std::optional<QString> p = joined(base, spelling)) {
                if (!firstTry)
                    firstTry = *p;
                if (std::optional<QString> file = exactFile(*p, files)) {
                    r.kind = Resolution::Kind::Resolved;
                    r.folderIndex = *file != *p;
                    r.file = *file;
                    return r;
                }
                tries << *p;
            }
        }
    }
    for (const QString& p : std::as_const(tries)) {
        const QStringList same = files.equalIgnoringCase(p);
        if (same.size() == 1) {
            r.kind = Resolution::Kind::Resolved;
            r.file = same.first();
            r.caseOnly = true;
            return r;
        }
        if (same.size() > 1) {
            r.kind = Resolution::Kind::Ambiguous;
            r.file = p;
            r.candidates = same;
            return r;
        }
    }
    if (!firstTry) {
        r.kind = Resolution::Kind::OutsideSite;
        return r;
    }
    r.kind = Resolution::Kind::Missing;
    r.file = *firstTry;
    return r;
}

} // namespace builder

#include "builder/left_out_files.h"

#include <QLatin1StringView>

namespace builder {
namespace {

// Extensions a web server runs; Apache's AddHandler runs a PHP extension anywhere in the name
// ("shell.php.jpg"), so those count wherever they stand.
constexpr QLatin1StringView kPhpExtensions[] = {
    QLatin1StringView("php"),  QLatin1StringView("phtml"), QLatin1StringView("phar"),
    QLatin1StringView("pht"),  QLatin1StringView("php3"),  QLatin1StringView("php4"),
    QLatin1StringView("php5"), QLatin1StringView("php6"),  QLatin1StringView("php7"),
    QLatin1StringView("php8"),
};
constexpr QLatin1StringView kScriptExtensions[] = {
    QLatin1StringView("cgi"), QLatin1StringView("pl"),  QLatin1StringView("py"),   QLatin1StringView("rb"),
    QLatin1StringView("sh"),  QLatin1StringView("asp"), QLatin1StringView("aspx"), QLatin1StringView("jsp"),
};
constexpr QLatin1StringView kServerNames[] = {QLatin1StringView(".htaccess"), QLatin1StringView(".htpasswd"),
                                              QLatin1StringView(".user.ini"),
                                              QLatin1StringView("web.config")};
constexpr QLatin1StringView kSecretFolders[] = {QLatin1StringView(".git"), QLatin1StringView(".svn"),
                                                QLatin1StringView(".hg")};
constexpr QLatin1StringView kLitterFolders[] = {QLatin1StringView("_notes"), QLatin1StringView("hts-cache")};
constexpr QLatin1StringView kLitterNames[] = {QLatin1StringView(".ds_store"), QLatin1StringView("thumbs.db"),
                                              QLatin1StringView("desktop.ini"),
                                              QLatin1StringView("ws_ftp.log")};

template <std::size_t N> bool isOneOf(QStringView s, const QLatin1StringView (&list)[N])
{
    for (const QLatin1StringView item : list) {
        if (s.compare(item, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

LeftOutKind LeftOutKindOf(QStringView name, bool folder)
{
    if (folder) {
        if (isOneOf(name, kSecretFolders))
            return LeftOutKind::Secret;
        if (isOneOf(name, kLitterFolders))
            return LeftOutKind::Litter;
        return LeftOutKind::None;
    }
    if (isOneOf(name, kServerNames))
        return LeftOutKind::ServerFile;
    const qsizetype lastDot = name.lastIndexOf(u'.');
    const QStringView extension = lastDot < 0 ? QStringView() : name.sliced(lastDot + 1);
    if (lastDot > 0 && isOneOf(extension, kScriptExtensions))
        return LeftOutKind::ServerFile;
    // Every part after the first dot, the last one included.
    for (qsizetype dot = name.indexOf(u'.', 1); dot > 0; dot = name.indexOf(u'.', dot + 1)) {
        const qsizetype next = name.indexOf(u'.', dot + 1);
        const QStringView part = name.sliced(dot + 1, (next < 0 ? name.size() : next) - dot - 1);
        if (isOneOf(part, kPhpExtensions))
            return LeftOutKind::ServerFile;
    }
    if (name.startsWith(QLatin1StringView(".env"), Qt::CaseInsensitive) ||
        name.startsWith(QLatin1StringView("id_rsa"), Qt::CaseInsensitive) ||
        (lastDot > 0 && (extension.compare(QLatin1StringView("pem"), Qt::CaseInsensitive) == 0 ||
                         extension.compare(QLatin1StringView("key"), Qt::CaseInsensitive) == 0)))
        return LeftOutKind::Secret;
    if (isOneOf(name, kLitterNames) || name.endsWith(u'~') ||
        (lastDot > 0 && (extension.compare(QLatin1StringView("bak"), Qt::CaseInsensitive) == 0 ||
                         extension.compare(QLatin1StringView("swp"), Qt::CaseInsensitive) == 0)))
        return LeftOutKind::Litter;
    return LeftOutKind::None;
}

QString LeftOutReason(LeftOutKind kind)
{
    switch (kind) {
    case LeftOutKind::ServerFile:
        return QStringLiteral("a web server would run it or obey it, on the WordPress owner's server");
    case LeftOutKind::Secret:
        return QStringLiteral("it may hold secrets such as keys, passwords or version history");
    case LeftOutKind::Litter:
        return QStringLiteral("it is a backup or a file left by an editor or upload tool");
    case LeftOutKind::None:
        break;
    }
    return {};
}

} // namespace builder

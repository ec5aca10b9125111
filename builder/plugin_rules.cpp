#include "builder/plugin_rules.h"

#include <QFile>

#include <algorithm>

namespace builder {
namespace {

bool isSmallLetter(QChar c)
{
    return c >= u'a' && c <= u'z';
}

bool fitsIdentifierRule(const QString& identifier)
{
    if (identifier.isEmpty() || identifier.size() > kMaxIdentifierLength || !isSmallLetter(identifier[0]))
        return false;
    for (const QChar c : identifier) {
        if (!(isSmallLetter(c) || (c >= u'0' && c <= u'9') || c == u'_'))
            return false;
    }
    return true;
}

bool isFileNameUnsafe(QChar c)
{
    // Every control character (C0, DEL and C1) and the Unicode line breaks: the archive path is
    // printed alone on a line.
    if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator ||
        c == u'/')
        return true;
#ifdef Q_OS_WIN
    return QStringView(u"\\:*?\"<>|").contains(c);
#else
    return false;
#endif
}

bool hasLoneSurrogate(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

} // namespace

QString IdentifierProblem(const QString& identifier)
{
    if (fitsIdentifierRule(identifier))
        return {};
    const QString lower = LowerCaseIdentifier(identifier);
    if (fitsIdentifierRule(lower)) {
        return QStringLiteral(
                   "The unique identifier \"%1\" cannot be used: PHP ignores letter case in the names a "
                   "plugin defines, so it would clash with a plugin whose identifier is \"%2\". Please "
                   "use \"%2\" instead.")
            .arg(identifier, lower);
    }
    return QStringLiteral(
               "The unique identifier \"%1\" cannot be used. It must start with a small letter (a to z) "
               "and hold only small letters, digits and underscores, %2 characters at most (for "
               "example p4217).")
        .arg(identifier)
        .arg(kMaxIdentifierLength);
}

QString LowerCaseIdentifier(const QString& identifier)
{
    QString lower = identifier;
    for (QChar& c : lower) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return lower;
}

QString ArchiveName(const QString& pluginName)
{
    QString name = pluginName;
    name.remove(QLatin1Char(' '));
    // A backslash is a folder separator on other desktops, and WordPress cuts an uploaded file's
    // name at it: the name keeps it, the archive does not.
    name.remove(QLatin1Char('\\'));
    return name.toLower();
}

QString PluginNameProblem(const QString& pluginName)
{
    const QString archive = ArchiveName(pluginName);
    if (archive.isEmpty())
        return QStringLiteral(
            "The plugin name needs at least one character besides blanks: it names the plugin's ZIP file.");
    for (const QChar c : pluginName) {
        if (isFileNameUnsafe(c)) {
            return QStringLiteral(
                "The plugin name cannot hold \"/\", line breaks or other control characters: "
                "it names the plugin's ZIP file.");
        }
    }
    if (archive == QLatin1String(".") || archive == QLatin1String(".."))
        return QStringLiteral("The plugin name \"%1\" cannot name a ZIP file.").arg(pluginName);
    // A lone surrogate has no bytes of its own: the ZIP file and the header would bear another name.
    if (hasLoneSurrogate(pluginName))
        return QStringLiteral(
            "The plugin name holds a character that cannot be part of a file name: it names the "
            "plugin's ZIP file.");
    if (QFile::encodeName(archive + QStringLiteral(".zip")).size() > 255)
        return QStringLiteral("The plugin name is too long to name a ZIP file. Please use a shorter name.");
    return {};
}

bool IsLineBreak(QChar c)
{
    return (c >= u'\n' && c <= u'\r') || c == u'\u0085' || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

QString HeaderValuesProblem(const PluginDetails& d)
{
    const std::pair<const QString*, const char*> fields[] = {
        {&d.name, "plugin name"}, {&d.uri, "plugin URI"}, {&d.description, "description"},
        {&d.version, "version"},  {&d.author, "author"},  {&d.authorUri, "author URI"},
        {&d.license, "license"},
    };
    for (const auto& [value, label] : fields) {
        // WordPress reads each header field to the end of its line: what follows a break is lost
        // from the value or read as a field of its own.
        if (std::any_of(value->cbegin(), value->cend(), IsLineBreak)) {
            return QStringLiteral(
                       "The %1 cannot hold a line break: WordPress reads the plugin header line by line. "
                       "Please put it on one line.")
                .arg(QLatin1String(label));
        }
        if (value->contains(QLatin1String("*/"))) {
            return QStringLiteral("The %1 cannot hold \"*/\": it would end the plugin header early.")
                .arg(QLatin1String(label));
        }
    }
    return {};
}

QString DetailsProblem(const PluginDetails& details)
{
    if (QString p = IdentifierProblem(details.identifier); !p.isEmpty())
        return p;
    if (QString p = PluginNameProblem(details.name); !p.isEmpty())
        return p;
    return HeaderValuesProblem(details);
}

bool AnyFieldEmpty(const PluginDetails& d)
{
    return d.name.isEmpty() || d.author.isEmpty() || d.authorUri.isEmpty() || d.version.isEmpty() ||
           d.description.isEmpty() || d.uri.isEmpty() || d.license.isEmpty();
}

} // namespace builder

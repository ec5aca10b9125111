#include "workspace/markup_save.h"

#include "support/io_error.h"
#include "support/mortar_file.h"
#include "support/text_codec.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringEncoder>

namespace workspace {

namespace {

qsizetype skipSpace(const QString& text, qsizetype at)
{
    while (at < text.size() && text.at(at).isSpace())
        ++at;
    return at;
}

// Where the root element begins: past the doctype, XML declaration, processing instructions,
// comments and the blanks between them.
qsizetype prologEnd(const QString& text)
{
    qsizetype at = 0;
    for (;;) {
        at = skipSpace(text, at);
        qsizetype end = -1;
        if (text.mid(at, 4) == QLatin1String("<!--")) {
            end = text.indexOf(QLatin1String("-->"), at + 4);
            if (end >= 0)
                end += 3;
        } else if (text.mid(at, 2) == QLatin1String("<?")) {
            end = text.indexOf(QLatin1String("?>"), at + 2);
            if (end >= 0)
                end += 2;
        } else if (text.mid(at, 2) == QLatin1String("<!")) {
            end = text.indexOf(QLatin1Char('>'), at + 2);
            const qsizetype subset = text.indexOf(QLatin1Char('['), at + 2);
            if (subset >= 0 && end >= 0 && subset < end) {
                const qsizetype close = text.indexOf(QLatin1Char(']'), subset);
                end = close < 0 ? -1 : text.indexOf(QLatin1Char('>'), close);
            }
            if (end >= 0)
                end += 1;
        }
        if (end < 0)
            return at;
        at = end;
    }
}

bool onlySpaceAndComments(const QString& text)
{
    qsizetype at = 0;
    for (;;) {
        at = skipSpace(text, at);
        if (at == text.size())
            return true;
        if (text.mid(at, 4) != QLatin1String("<!--"))
            return false;
        const qsizetype end = text.indexOf(QLatin1String("-->"), at + 4);
        if (end < 0)
            return false;
        at = end + 3;
    }
}

// What follows the root element: comments there live outside documentElement, so the browser's
// markup lacks them; the file's closing line break is kept too.
QString epilogOf(const QString& text)
{
    const qsizetype close = text.lastIndexOf(QLatin1String("</html"), -1, Qt::CaseInsensitive);
    if (close >= 0) {
        const qsizetype end = text.indexOf(QLatin1Char('>'), close);
        if (end >= 0) {
            const QString tail = text.mid(end + 1);
            if (onlySpaceAndComments(tail))
                return tail;
        }
    }
    if (text.endsWith(QLatin1String("\r\n")))
        return QStringLiteral("\r\n");
    if (text.endsWith(QLatin1Char('\n')))
        return QStringLiteral("\n");
    return {};
}

const QRegularExpression& idAttribute()
{
    static const QRegularExpression id(
        QStringLiteral(R"re((<[A-Za-z][^<>]*?)\sid\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>"']+)))re"),
        QRegularExpression::CaseInsensitiveOption);
    return id;
}

QString idOf(const QRegularExpressionMatch& match)
{
    for (int group = 2; group <= 4; ++group)
        if (match.capturedStart(group) >= 0)
            return match.captured(group);
    return {};
}

// Pressing Enter in design mode splits a block into two that both carry its id; the copies past
// as many as the file had lose the id again.
QString withoutCopiedIds(const QString& markup, const QString& original)
{
    QHash<QString, int> allowed;
    for (const QRegularExpressionMatch& match : idAttribute().globalMatch(original))
        ++allowed[idOf(match)];

    QString result;
    qsizetype copied = 0;
    QHash<QString, int> seen;
    for (const QRegularExpressionMatch& match : idAttribute().globalMatch(markup)) {
        const QString id = idOf(match);
        if (++seen[id] <= allowed.value(id, 1))
            continue;
        result += markup.mid(copied, match.capturedEnd(1) - copied);
        copied = match.capturedEnd(0);
    }
    return result + markup.mid(copied);
}

// Markers the engine leaves in an edited document that were not in the file.
QString withoutEditingArtefacts(QString markup, const QString& original)
{
    markup = withoutCopiedIds(markup, original);
    if (!original.contains(QLatin1String("Apple-interchange-newline"))) {
        static const QRegularExpression newline(
            QStringLiteral(R"(<br\s+class="Apple-interchange-newline"\s*/?>)"),
            QRegularExpression::CaseInsensitiveOption);
        markup.remove(newline);
    }
    if (!original.contains(QLatin1String("Apple-converted-space"))) {
        static const QRegularExpression space(
            QStringLiteral(R"(<span\s+class="Apple-converted-space"\s*>(.*?)</span>)"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        markup.replace(space, QStringLiteral("\\1"));
    }
    if (!original.contains(QLatin1String("contenteditable"), Qt::CaseInsensitive)) {
        static const QRegularExpression editable(
            QStringLiteral(R"(\s+contenteditable(\s*=\s*("[^"]*"|'[^']*'|[^\s>]+))?(?=[\s/>]))"),
            QRegularExpression::CaseInsensitiveOption);
        markup.remove(editable);
    }
    return markup;
}

// Makes the page say it is UTF-8: every declared charset is rewritten, or one is added to <head>.
QString declaredUtf8(QString text)
{
    static const QRegularExpression meta(
        QStringLiteral(R"((<meta\b[^>]*?\bcharset\s*=\s*["']?)([A-Za-z0-9_:.\-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression xml(QStringLiteral(R"((<\?xml\b[^>]*?\bencoding\s*=\s*["'])([^"']*))"),
                                        QRegularExpression::CaseInsensitiveOption);
    const bool declared = text.contains(meta) || text.contains(xml);
    text.replace(meta, QStringLiteral("\\1utf-8"));
    text.replace(xml, QStringLiteral("\\1UTF-8"));
    if (!declared) {
        static const QRegularExpression head(QStringLiteral(R"(<head\b[^>]*>)"),
                                             QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = head.match(text);
        if (match.hasMatch())
            text.insert(match.capturedEnd(), QStringLiteral("<meta charset=\"utf-8\">"));
    }
    return text;
}

QByteArray encoded(const QString& text, QStringEncoder::Encoding encoding)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

} // namespace

QByteArray PageBytesToSave(const QByteArray& original, const QString& rootMarkup)
{
    const support::DecodedText decoded = support::DecodeText(original);
    const QString& source = decoded.text;
    const QString page =
        source.left(prologEnd(source)) + withoutEditingArtefacts(rootMarkup, source) + epilogOf(source);

    switch (decoded.encoding) {
    case support::TextEncoding::Utf8:
        return page.toUtf8();
    case support::TextEncoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + page.toUtf8();
    case support::TextEncoding::Utf16LE:
        return QByteArray("\xFF\xFE") + encoded(page, QStringEncoder::Utf16LE);
    case support::TextEncoding::Utf16BE:
        return QByteArray("\xFE\xFF") + encoded(page, QStringEncoder::Utf16BE);
    case support::TextEncoding::Windows1252: {
        bool fits = true;
        const QByteArray bytes = support::EncodeWindows1252(page, &fits);
        if (fits)
            return bytes;
        return declaredUtf8(page).toUtf8();
    }
    }
    return page.toUtf8();
}

void SavePageMarkup(const QString& path, const QString& rootMarkup)
{
    const QByteArray original = support::MortarFile::ReadBinaryFile(path);
    // The user bits say what this process may do, which for root is anything; the marks on the file count.
    const QFile::Permissions writable = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (!(QFileInfo(path).permissions() & writable))
        throw support::IoError(support::kPermissionDenied,
                               QStringLiteral("Cannot write '%1': the file is read-only").arg(path));
    support::MortarFile::WriteBinaryFile(PageBytesToSave(original, rootMarkup), path);
}

} // namespace workspace

#include "builder/page_references.h"

#include <gumbo.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace builder {
namespace {

using Kind = PageReference::Kind;

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool isAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool startsWithIgnoringCase(QByteArrayView s, std::string_view lower)
{
    if (s.size() < qsizetype(lower.size()))
        return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        char c = s[qsizetype(i)];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != lower[i])
            return false;
    }
    return true;
}

bool isCssSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

qsizetype skipCssSpace(QByteArrayView css, qsizetype j)
{
    while (j < css.size() && isCssSpace(css[j]))
        ++j;
    return j;
}

// The index of the quote that closes the CSS string opened at j, or -1 when a line break or the
// end comes first.
qsizetype cssStringClose(QByteArrayView css, qsizetype j)
{
    for (qsizetype k = j + 1; k < css.size(); ++k) {
        if (css[k] == '\\')
            ++k;
        else if (css[k] == css[j])
            return k;
        else if (css[k] == '\n')
            return -1;
    }
    return -1;
}

// Whether a "url(" starts at i, not as the end of a longer name.
bool startsCssUrl(QByteArrayView css, qsizetype i)
{
    const char c = css[i];
    return (c == 'u' || c == 'U') && startsWithIgnoringCase(css.sliced(i), "url(") &&
           (i == 0 || !(isAsciiAlnum(css[i - 1]) || css[i - 1] == '-' || css[i - 1] == '_' ||
                        static_cast<unsigned char>(css[i - 1]) >= 0x80));
}

void appendUtf8(QByteArray& out, char32_t u)
{
    if (u < 0x80) {
        out.append(char(u));
    } else if (u < 0x800) {
        out.append(char(0xC0 | (u >> 6)));
        out.append(char(0x80 | (u & 0x3F)));
    } else if (u < 0x10000) {
        out.append(char(0xE0 | (u >> 12)));
        out.append(char(0x80 | ((u >> 6) & 0x3F)));
        out.append(char(0x80 | (u & 0x3F)));
    } else {
        out.append(char(0xF0 | (u >> 18)));
        out.append(char(0x80 | ((u >> 12) & 0x3F)));
        out.append(char(0x80 | ((u >> 6) & 0x3F)));
        out.append(char(0x80 | (u & 0x3F)));
    }
}

// The named character references that occur in addresses. A value holding any other is read by
// the parser differently from here, fails the comparison in attributeValue() and is left out.
struct NamedReference
{
    std::string_view name;
    std::string_view text;
    bool withoutSemicolon; // also recognised without the ";", as old pages write it
};
constexpr NamedReference kNamedReferences[] = {
    {"amp", "&", true},         {"AMP", "&", true},     {"lt", "<", true},        {"LT", "<", true},
    {"gt", ">", true},          {"GT", ">", true},      {"quot", "\"", true},     {"QUOT", "\"", true},
    {"nbsp", "\xC2\xA0", true}, {"apos", "'", false},   {"sol", "/", false},      {"period", ".", false},
    {"colon", ":", false},      {"semi", ";", false},   {"comma", ",", false},    {"lpar", "(", false},
    {"rpar", ")", false},       {"num", "#", false},    {"quest", "?", false},    {"equals", "=", false},
    {"percnt", "%", false},     {"lowbar", "_", false}, {"excl", "!", false},     {"plus", "+", false},
    {"ast", "*", false},        {"commat", "@", false}, {"dollar", "$", false},   {"lsqb", "[", false},
    {"rsqb", "]", false},       {"lcub", "{", false},   {"rcub", "}", false},     {"verbar", "|", false},
    {"bsol", "\\", false},      {"Tab", "\t", false},   {"NewLine", "\n", false},
};

// Code points 0x80 to 0x9F in numeric references stand for what Windows-1252 puts there.
constexpr char16_t kWindows1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                       0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

// One attribute value as the parser reads it, with where each byte came from.
struct DecodedValue
{
    QByteArray value;
    std::vector<qsizetype> from; // empty when value is raw itself
    // Where character references written without their ";" end: what follows decides whether
    // they are read as one, so nothing may be put in front of what follows.
    std::vector<qsizetype> openEnds;
};

// Decodes the character references of raw (an attribute value as written, starting at page
// offset at) the way the HTML5 tokenizer does inside attribute values, with its line-break and
// NUL normalisation.
class AttributeDecoder
{
public:
    AttributeDecoder(QByteArrayView raw, qsizetype at) : m_raw(raw), m_at(at) {}

    DecodedValue decode()
    {
        const qsizetype n = m_raw.size();
        if (!m_raw.contains('&') && !m_raw.contains('\r') && !m_raw.contains('\0')) {
            m_d.value = QByteArray::fromRawData(m_raw.data(), n); // the page's own bytes, not copied
            return std::move(m_d);
        }
        m_d.value.reserve(n);
        m_d.from.reserve(std::size_t(n) + 1);
        qsizetype i = 0;
        while (i < n) {
            const char c = m_raw[i];
            if (c == '\r') {
                put("\n", i);
                i += (i + 1 < n && m_raw[i + 1] == '\n') ? 2 : 1;
            } else if (c == '\0') {
                put("\xEF\xBF\xBD", i);
                ++i;
            } else if (c != '&') {
                put(m_raw.sliced(i, 1), i);
                ++i;
            } else if (i + 1 < n && m_raw[i + 1] == '#') {
                i = numericReference(i);
            } else {
                i = namedReference(i);
            }
        }
        m_d.from.push_back(m_at + n);
        return std::move(m_d);
    }

private:
    QByteArrayView m_raw;
    qsizetype m_at;
    DecodedValue m_d;

    void put(QByteArrayView text, qsizetype source)
    {
        m_d.value.append(text);
        m_d.from.insert(m_d.from.end(), std::size_t(text.size()), m_at + source);
    }

    // The reference "&#..." at i; returns where reading goes on.
    qsizetype numericReference(qsizetype i)
    {
        const qsizetype n = m_raw.size();
        qsizetype j = i + 2;
        const bool hex = j < n && (m_raw[j] == 'x' || m_raw[j] == 'X');
        if (hex)
            ++j;
        const qsizetype digits = j;
        char32_t code = 0;
        bool overflow = false;
        while (j < n && (hex ? std::isxdigit(static_cast<unsigned char>(m_raw[j])) != 0
                             : (m_raw[j] >= '0' && m_raw[j] <= '9'))) {
            const char h = m_raw[j];
            const unsigned v = unsigned(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
            if (code > 0x10FFFF)
                overflow = true;
            else
                code = code * (hex ? 16 : 10) + v;
            ++j;
        }
        if (j == digits) { // "&#" with no digits is text
            put("&", i);
            return i + 1;
        }
        if (j < n && m_raw[j] == ';')
            ++j;
        else
            m_d.openEnds.push_back(m_at + j);
        if (overflow || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
        else if (code >= 0x80 && code <= 0x9F)
            code = kWindows1252[code - 0x80];
        QByteArray text;
        appendUtf8(text, code);
        put(text, i);
        return j;
    }

    // The longest known name after the "&" at i, with its ";" where it has one.
    const NamedReference* longestName(qsizetype i, bool& semicolonFollows) const
    {
        const qsizetype n = m_raw.size();
        const NamedReference* best = nullptr;
        for (const NamedReference& ref : kNamedReferences) {
            const qsizetype len = qsizetype(ref.name.size());
            if (i + 1 + len > n || m_raw.sliced(i + 1, len) != QByteArrayView(ref.name.data(), len))
                continue;
            const bool semicolon = i + 1 + len < n && m_raw[i + 1 + len] == ';';
            if (!semicolon && !ref.withoutSemicolon)
                continue;
            if (!best || len > qsizetype(best->name.size())) {
                best = &ref;
                semicolonFollows = semicolon;
            }
        }
        return best;
    }

    // The reference "&name" at i, or a plain "&"; returns where reading goes on.
    qsizetype namedReference(qsizetype i)
    {
        bool semicolon = false;
        const NamedReference* best = longestName(i, semicolon);
        if (!best) {
            put("&", i);
            return i + 1;
        }
        const qsizetype after = i + 1 + qsizetype(best->name.size());
        // In attribute values "&amp=" and "&ampx" stay as written, for old query strings.
        if (!semicolon && after < m_raw.size() && (m_raw[after] == '=' || isAsciiAlnum(m_raw[after]))) {
            put("&", i);
            return i + 1;
        }
        put(QByteArrayView(best->text.data(), qsizetype(best->text.size())), i);
        const qsizetype next = after + (semicolon ? 1 : 0);
        if (!semicolon)
            m_d.openEnds.push_back(m_at + next);
        return next;
    }
};

DecodedValue decodeAttribute(QByteArrayView raw, qsizetype at)
{
    return AttributeDecoder(raw, at).decode();
}

class Collector
{
public:
    explicit Collector(QByteArrayView page) : m_page(page) {}

    std::vector<PageReference> take() { return std::move(m_refs); }

    void element(const GumboElement& e)
    {
        for (unsigned i = 0; i < e.attributes.length; ++i)
            attribute(e, *static_cast<const GumboAttribute*>(e.attributes.data[i]));
    }

    // The text of a <style> element: raw text in HTML, no character references.
    void styleText(const GumboText& t)
    {
        if (!t.original_text.data || t.original_text.length == 0)
            return;
        const qsizetype at = t.original_text.data - m_page.data();
        const QByteArrayView css(t.original_text.data, qsizetype(t.original_text.length));
        if (css.contains('&') && css.contains(';'))
            return; // inside <svg>, where <style> text is read with character references
        DecodedValue d;
        d.value = QByteArray::fromRawData(css.data(), css.size());
        scanCss(d, at, Kind::Address);
    }

    // The text of an inline <script>: raw text in HTML, no character references.
    void scriptText(const GumboText& t)
    {
        if (!t.original_text.data || t.original_text.length == 0)
            return;
        const qsizetype at = t.original_text.data - m_page.data();
        const QByteArrayView js(t.original_text.data, qsizetype(t.original_text.length));
        if (js.contains('&') && js.contains(';'))
            return; // inside <svg>, where <script> text is read with character references
        DecodedValue d;
        d.value = QByteArray::fromRawData(js.data(), js.size());
        scanScript(d, at, 0);
    }

private:
    QByteArrayView m_page;
    std::vector<PageReference> m_refs;

    // The strings between single or double quotes, outside comments and template literals. A
    // string with an escape in it, or one a line break cuts, is left alone: only what is
    // written plainly is taken.
    void scanScript(const DecodedValue& d, qsizetype at, qsizetype from)
    {
        const QByteArray& js = d.value;
        const qsizetype n = js.size();
        qsizetype i = from;
        while (i < n) {
            const char c = js[i];
            if (c == '/' && i + 1 < n && js[i + 1] == '/') {
                const qsizetype end = js.indexOf('\n', i + 2);
                i = end < 0 ? n : end + 1;
            } else if (c == '/' && i + 1 < n && js[i + 1] == '*') {
                const qsizetype end = js.indexOf("*/", i + 2);
                i = end < 0 ? n : end + 2;
            } else if (c == '`') {
                qsizetype k = i + 1;
                while (k < n && js[k] != '`')
                    k += js[k] == '\\' ? 2 : 1;
                i = k + 1;
            } else if (c == '"' || c == '\'') {
                qsizetype k = i + 1;
                bool plain = true;
                while (k < n && js[k] != c && js[k] != '\n') {
                    if (js[k] == '\\') {
                        plain = false;
                        ++k;
                    }
                    ++k;
                }
                if (k >= n || js[k] != c) {
                    i = k;
                    continue;
                }
                if (plain && k > i + 1)
                    add(d, at, i + 1, k, Kind::InScript, false);
                i = k + 1;
            } else {
                ++i;
            }
        }
    }

    enum class Form
    {
        Script,
        Whole,
        Srcset,
        Css,
    };

    void attribute(const GumboElement& e, const GumboAttribute& a)
    {
        if (!a.original_value.data || a.original_value.length == 0)
            return;
        const std::string_view name(a.name);
        Form form = Form::Whole;
        Kind kind = Kind::Address;
        if (name.size() > 2 && name.starts_with("on")) {
            form = Form::Script;
        } else if (name == "src" || name == "poster" || name == "background" || name == "lowsrc" ||
                   name == "action" || name == "formaction") {
        } else if (name == "href") {
            if (e.tag == GUMBO_TAG_BASE)
                return;
        } else if (name == "data" && e.tag == GUMBO_TAG_OBJECT) {
        } else if (name == "srcset" || name == "imagesrcset") {
            form = Form::Srcset;
        } else if (name == "style") {
            form = Form::Css;
        } else if (name.starts_with("data-")) {
            kind = Kind::IfItNames;
            if (name.ends_with("srcset"))
                form = Form::Srcset;
        } else if (name == "charset" && e.tag == GUMBO_TAG_META) {
            kind = Kind::Charset;
        } else if ((name == "value" && e.tag == GUMBO_TAG_PARAM) ||
                   (name == "content" && e.tag == GUMBO_TAG_META)) {
            kind = Kind::IfItNames;
        } else {
            return;
        }

        // The value without its quotes.
        const char* raw = a.original_value.data;
        qsizetype length = qsizetype(a.original_value.length);
        if (raw[0] == '"' || raw[0] == '\'') {
            const bool closed = length >= 2 && raw[length - 1] == raw[0];
            ++raw;
            length -= closed ? 2 : 1;
        }
        const qsizetype at = raw - m_page.data();
        DecodedValue d = decodeAttribute(QByteArrayView(raw, length), at);
        if (d.value != QByteArrayView(a.value, qsizetype(std::strlen(a.value))))
            return;

        if (name == "content" && e.tag == GUMBO_TAG_META && isContentType(e)) {
            contentTypeCharset(d, at);
            return;
        }
        switch (form) {
        case Form::Script:
            scanScript(d, at, 0);
            break;
        case Form::Whole:
            if (const qsizetype code = javascriptCode(d.value); code >= 0) {
                scanScript(d, at, code);
                break;
            }
            add(d, at, 0, d.value.size(), kind, false,
                name == "href" && (e.tag == GUMBO_TAG_A || e.tag == GUMBO_TAG_AREA));
            break;
        case Form::Srcset:
            scanSrcset(d, at, kind);
            break;
        case Form::Css:
            scanCss(d, at, kind);
            break;
        }
    }

    // Where the code of a "javascript:" address starts, or -1.
    static qsizetype javascriptCode(const QByteArray& v)
    {
        qsizetype i = 0;
        while (i < v.size() && isHtmlSpace(v[i]))
            ++i;
        return startsWithIgnoringCase(QByteArrayView(v).sliced(i), "javascript:") ? i + 11 : -1;
    }

    static bool isContentType(const GumboElement& e)
    {
        const GumboAttribute* equiv = gumbo_get_attribute(&e.attributes, "http-equiv");
        return equiv && startsWithIgnoringCase(equiv->value, "content-type") &&
               std::strlen(equiv->value) == std::strlen("content-type");
    }

    // The encoding name after "charset=" in a Content-Type value, unquoted, as browsers read it.
    void contentTypeCharset(const DecodedValue& d, qsizetype at)
    {
        const QByteArray& v = d.value;
        for (qsizetype i = 0; i + 7 < v.size(); ++i) {
            if (!startsWithIgnoringCase(QByteArrayView(v).sliced(i), "charset"))
                continue;
            qsizetype j = i + 7;
            while (j < v.size() && isHtmlSpace(v[j]))
                ++j;
            if (j >= v.size() || v[j] != '=')
                continue;
            ++j;
            while (j < v.size() && isHtmlSpace(v[j]))
                ++j;
            if (j < v.size() && (v[j] == '"' || v[j] == '\''))
                ++j;
            qsizetype k = j;
            while (k < v.size() && !isHtmlSpace(v[k]) && v[k] != ';' && v[k] != '"' && v[k] != '\'')
                ++k;
            add(d, at, j, k, Kind::Charset, false);
            return;
        }
    }

    void add(const DecodedValue& d, qsizetype at, qsizetype b, qsizetype e, Kind kind, bool inCss,
             bool isLink = false)
    {
        while (b < e && isHtmlSpace(d.value[b]))
            ++b;
        while (e > b && isHtmlSpace(d.value[e - 1]))
            --e;
        if (b == e)
            return;
        PageReference r;
        r.kind = kind;
        r.inCss = inCss;
        r.isLink = isLink;
        if (d.from.empty()) {
            r.value = QByteArray::fromRawData(d.value.constData() + b, e - b);
            r.begin = at + b;
            r.end = at + e;
        } else {
            const auto clean = [&](qsizetype i) {
                return i == 0 || i == d.value.size() || d.from[std::size_t(i)] != d.from[std::size_t(i) - 1];
            };
            if (!clean(b) || !clean(e))
                return;
            r.value = d.value.sliced(b, e - b);
            r.begin = d.from[std::size_t(b)];
            if (std::binary_search(d.openEnds.begin(), d.openEnds.end(), r.begin))
                return;
            r.end = d.from[std::size_t(e)];
            // Unchanged bytes need no map.
            if (r.end - r.begin != e - b ||
                m_page.sliced(r.begin, r.end - r.begin) != QByteArrayView(r.value))
                r.from.assign(d.from.begin() + b, d.from.begin() + e + 1);
        }
        m_refs.push_back(std::move(r));
    }

    // Candidates of a srcset, split as browsers split them.
    void scanSrcset(const DecodedValue& d, qsizetype at, Kind kind)
    {
        const QByteArray& v = d.value;
        const qsizetype n = v.size();
        qsizetype p = 0;
        for (;;) {
            while (p < n && (isHtmlSpace(v[p]) || v[p] == ','))
                ++p;
            if (p >= n)
                break;
            const qsizetype start = p;
            while (p < n && !isHtmlSpace(v[p]))
                ++p;
            qsizetype end = p;
            if (v[end - 1] == ',') {
                while (end > start && v[end - 1] == ',')
                    --end;
                add(d, at, start, end, kind, false);
                continue;
            }
            int depth = 0;
            for (; p < n; ++p) {
                if (v[p] == '(') {
                    ++depth;
                } else if (v[p] == ')' && depth > 0) {
                    --depth;
                } else if (v[p] == ',' && depth == 0) {
                    ++p;
                    break;
                }
            }
            add(d, at, start, end, kind, false);
        }
    }

    // url(...) with any quoting and @import "...", outside comments and other strings. A URL
    // written with CSS escapes is left alone.
    void addUnescapedCss(const DecodedValue& d, qsizetype at, qsizetype b, qsizetype e, Kind kind)
    {
        if (!QByteArrayView(d.value).sliced(b, e - b).contains('\\'))
            add(d, at, b, e, kind, true);
    }

    void scanCss(const DecodedValue& d, qsizetype at, Kind kind)
    {
        const QByteArray& css = d.value;
        const qsizetype n = css.size();
        qsizetype i = 0;
        while (i < n) {
            const char c = css[i];
            if (c == '/' && i + 1 < n && css[i + 1] == '*') {
                const qsizetype close = css.indexOf("*/", i + 2);
                i = close < 0 ? n : close + 2;
            } else if (c == '"' || c == '\'') {
                const qsizetype close = cssStringClose(css, i);
                i = close < 0 ? i + 1 : close + 1;
            } else if (c == '\\') {
                i += 2;
            } else if (startsCssUrl(css, i)) {
                i = scanCssUrl(d, at, kind, i);
            } else if (c == '@' && startsWithIgnoringCase(QByteArrayView(css).sliced(i), "@import")) {
                i = scanCssImport(d, at, kind, i);
            } else {
                ++i;
            }
        }
    }

    // The "url(" at i; returns where scanning goes on.
    qsizetype scanCssUrl(const DecodedValue& d, qsizetype at, Kind kind, qsizetype i)
    {
        const QByteArray& css = d.value;
        const qsizetype n = css.size();
        const qsizetype j = skipCssSpace(css, i + 4);
        if (j < n && (css[j] == '"' || css[j] == '\'')) {
            const qsizetype close = cssStringClose(css, j);
            if (close < 0)
                return j + 1;
            addUnescapedCss(d, at, j + 1, close, kind);
            return close + 1;
        }
        qsizetype k = j;
        while (k < n && css[k] != ')' && !isCssSpace(css[k]) && css[k] != '"' && css[k] != '\'' &&
               css[k] != '(')
            ++k;
        const qsizetype after = skipCssSpace(css, k);
        if (k > j && after < n && css[after] == ')') {
            addUnescapedCss(d, at, j, k, kind);
            return after + 1;
        }
        return std::max(k, i + 4);
    }

    // The "@import" at i; returns where scanning goes on.
    qsizetype scanCssImport(const DecodedValue& d, qsizetype at, Kind kind, qsizetype i)
    {
        const QByteArray& css = d.value;
        const qsizetype j = skipCssSpace(css, i + 7);
        if (j < css.size() && (css[j] == '"' || css[j] == '\'')) {
            const qsizetype close = cssStringClose(css, j);
            if (close >= 0)
                addUnescapedCss(d, at, j + 1, close, kind);
            return close < 0 ? j + 1 : close + 1;
        }
        return j > i + 7 ? j : i + 7;
    }
};

struct OutputDeleter
{
    void operator()(GumboOutput* output) const { gumbo_destroy_output(&kGumboDefaultOptions, output); }
};

} // namespace

std::vector<PageReference> FindReferences(QByteArrayView page)
{
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // the parse errors are of no use here and cost memory on messy pages
    const std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, page.data(), std::size_t(page.size())));
    Collector collector(page);
    if (!output)
        return {};

    std::vector<const GumboNode*> stack{output->document};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        const GumboVector* children = nullptr;
        switch (node->type) {
        case GUMBO_NODE_DOCUMENT:
            children = &node->v.document.children;
            break;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            collector.element(node->v.element);
            children = &node->v.element.children;
            break;
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
            if (node->parent && node->parent->type == GUMBO_NODE_ELEMENT) {
                if (node->parent->v.element.tag == GUMBO_TAG_STYLE)
                    collector.styleText(node->v.text);
                else if (node->parent->v.element.tag == GUMBO_TAG_SCRIPT)
                    collector.scriptText(node->v.text);
            }
            break;
        default:
            break;
        }
        if (children) {
            for (unsigned i = children->length; i > 0; --i)
                stack.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
        }
    }

    std::vector<PageReference> refs = collector.take();
    // Elements the parser re-opens (misnested formatting tags) repeat the attributes of the
    // original tag: each place in the page counts once.
    std::stable_sort(refs.begin(), refs.end(),
                     [](const auto& a, const auto& b) { return a.begin < b.begin; });
    refs.erase(std::unique(refs.begin(), refs.end(),
                           [](const auto& a, const auto& b) { return a.begin == b.begin; }),
               refs.end());
    return refs;
}

} // namespace builder

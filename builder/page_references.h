#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace builder {

// A file reference written in a page's markup.
struct PageReference
{
    enum class Kind
    {
        Address,   // src, href, srcset candidates, url() and @import: an address whatever it names
        IfItNames, // data-* and the like: an address only when it names a file of the site
        Charset,   // not an address: the encoding a <meta> declares (charset, or http-equiv content)
        InScript,  // a quoted string in a script: an address only when it names a file exactly
    };

    qsizetype begin = 0; // the bytes of the page that hold the reference, without surrounding blanks
    qsizetype end = 0;
    // The reference as a browser reads it: character references decoded. Where that is the page's
    // own bytes it points into the page, which must outlive it.
    QByteArray value;
    // Where in the page each byte of value and the end of value come from; empty when value is
    // the page's own bytes from begin on.
    std::vector<qsizetype> from;
    Kind kind = Kind::Address;
    bool inCss = false;  // inside url() or @import
    bool isLink = false; // the href of <a> or <area>: followed by the visitor, not loaded by the page

    qsizetype pageOffset(qsizetype i) const { return from.empty() ? begin + i : from[std::size_t(i)]; }
    // Whether the bytes before value[i] and from value[i] on come from separate parts of the page,
    // so that the page can be cut there (not inside one character reference).
    bool cutsCleanly(qsizetype i) const
    {
        return from.empty() || i == 0 || i == qsizetype(value.size()) ||
               from[std::size_t(i)] != from[std::size_t(i) - 1];
    }
};

// The file references of a UTF-8 page, in page order, read with an HTML5 parser: attributes that
// carry addresses, each candidate of a srcset, url() in style attributes, url() and @import in
// <style> elements, and lazy-loading data-* attributes; besides, the encoding names <meta> tags
// declare (Kind::Charset), and the quoted strings of inline scripts, event-handler attributes and
// javascript: addresses (Kind::InScript). An
// attribute whose character references this reader cannot map back to the page is left out.
// The references may point into page: it must outlive them.
std::vector<PageReference> FindReferences(QByteArrayView page);

} // namespace builder

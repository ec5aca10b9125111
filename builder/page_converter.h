#pragma once

#include "builder/reference_resolver.h"
#include "builder/site_files.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

namespace builder {

enum class PageRole
{
    FrontEnd,
    Download
};

inline constexpr char16_t kFrontTagCode[] = u"<?php echo $front_tag;?>";
inline constexpr char16_t kBackTagCode[] = u"<?php echo $back_tag;?>";
// What a converted page prints in place of a link to one of the two funnel pages: a variable the
// plugin sets to the address of the funnel being shown before it includes the page.
inline constexpr char kFunnelUrlCode[] = "<?php echo $funnel_url; ?>";

// The two pages of the funnel, as paths relative to the site's top.
struct FunnelPages
{
    QString front;
    QString download;
};

// A reference in a funnel page that the plugin cannot point at the file it was meant for, or
// that it points at a file only by guessing.
struct ReferenceNote
{
    enum class Kind
    {
        Missing,     // names no file of the site
        OutsideSite, // climbs out of the site's folder
        Ambiguous,   // could be any of several files whose names differ only in letter case
        CaseOnly,    // taken to mean the one file whose name differs only in letter case
        LeftOut,     // names a file of the site folder that is not shipped (leftOutKind says why)
    };

    Kind kind = Kind::Missing;
    QString page; // relative to the site's top
    int line = 0;
    QString reference; // as the browser reads it
    QStringList files; // CaseOnly: the file taken; Ambiguous: the candidates; LeftOut: the file
    LeftOutKind leftOutKind = LeftOutKind::None;
};

// One line for a user: where the reference stands and what is wrong with it.
QString DescribeReferenceNote(const ReferenceNote& note);

// Which files a download page hands out only to buyers: the files it links to (<a>, <area>) and
// refers to no other way, that are not pages and that notDelivered does not hold (the front-end
// page's files and those the user keeps public); forced ones are delivered whatever, linked or not.
struct DeliveryRule
{
    QSet<QString> notDelivered;
    QSet<QString> forced;
};

// What the converted page prints where it links to the delivery file numbered n: the address
// with the key, from an array the plugin fills before it includes the page.
QByteArray DeliveryUrlCode(int n);

// How absolute references use one host: a host that several name, and only by paths that name
// files of the site, may be where the site used to live.
struct HostUse
{
    QString address; // "http://host:port/", the scheme as first seen
    int references = 0;
    bool allNameSiteFiles = true;
};

struct ConvertedPage
{
    QByteArray text; // UTF-8
    std::vector<ReferenceNote> notes;
    QSet<QString> referenced;      // the site files the page refers to
    QStringList delivered;         // its delivery files, in the order DeliveryUrlCode numbers them
    int scriptStrings = 0;         // strings in scripts and event handlers pointed at a site file
    int localAddresses = 0;        // absolute addresses under the site's own address pointed at a site file
    QHash<QString, HostUse> hosts; // without site addresses: the hosts absolute references name
};

// Turns a site page into its PHP page template. Every reference to a file of the site, wherever
// the page's markup and CSS hold one, points into the installed plugin, changing only the
// reference's own bytes; a link to a funnel page goes to the funnel's address (a link within the
// page itself stays within it); inside scripts only a path written whole between double quotes
// is taken for one. The role's marker tag (#FRONT#, #front#, #Front#, or the #BACK# forms)
// becomes the echo of its variable, and every "<?" that was already in the page is written so
// that PHP prints it literally: only the fragments added here run as PHP. pagePath is the page's
// place in the site. The page is taken by value so that a caller that moves it in keeps no copy.
// With a delivery rule, links to delivery files go to the funnel's keyed delivery address.
ConvertedPage ConvertPage(QString page, const QString& pagePath, const SiteFiles& files,
                          const FunnelPages& funnel, PageRole role, const DeliveryRule* delivery = nullptr,
                          const QList<SiteAddress>& siteAddresses = {});

// The one host that absolute references name several times, and only by paths that name files
// of the site: likely where the site used to live. Empty when there is no such host.
QString ProposedSiteAddress(const QList<QHash<QString, HostUse>>& pages);

} // namespace builder

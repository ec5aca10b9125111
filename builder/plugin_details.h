#pragma once

#include <QString>

namespace builder {

// The maker's address used in the credit texts, and the default plugin address.
inline constexpr char16_t kCreditAddress[] = u"https://vantor.dev";
inline constexpr char16_t kDefaultPluginUri[] = u"https://vantor.dev/plugins/my-plugin";

// What the user tells about the plugin: its identifier and the seven header fields.
struct PluginDetails
{
    QString identifier;
    QString name;
    QString uri;
    QString description;
    QString version;
    QString author;
    QString authorUri;
    QString license;
    // Optional, not part of the header: the site's old web address, whose absolute references
    // point at the site's own files.
    QString siteUrl;
    // Optional: the plugin lists the files for buyers but leaves their bytes out of the ZIP; the
    // owner uploads them on the funnel's screen.
    bool leanDelivery = false;

    // The details a new plugin starts from: a fresh identifier, "My Plugin", "1.0", "GPL" and
    // the credit texts naming the application.
    static PluginDetails defaults(const QString& appName);
};

// "p" followed by two random numbers from 0 to 999, unpadded: "p4217" for 42 and 17.
QString GenerateIdentifier();

} // namespace builder

#include "workspace/user_memory.h"

#include "workspace/logging.h"

#include <QDir>
#include <QSettings>

#include <utility>

namespace workspace {
namespace {

const QString kLastFolder = QStringLiteral("folders/last");
const QString kRecent = QStringLiteral("folders/recent");
const QString kGeometry = QStringLiteral("window/geometry");
const QString kMaximized = QStringLiteral("window/maximized");

QString cleaned(const QString& folder)
{
    return folder.isEmpty() ? QString() : QDir::cleanPath(QDir(folder).absolutePath());
}

void written(QSettings& settings)
{
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcWorkspace).noquote() << "The settings could not be written to" << settings.fileName();
}

} // namespace

UserMemory::UserMemory(QString settingsFile) : m_file(std::move(settingsFile)) {}

QString UserMemory::lastFolder() const
{
    if (m_file.isEmpty())
        return {};
    return QSettings(m_file, QSettings::IniFormat).value(kLastFolder).toString();
}

void UserMemory::setLastFolder(const QString& folder)
{
    if (m_file.isEmpty() || folder.isEmpty())
        return;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.setValue(kLastFolder, cleaned(folder));
    written(settings);
}

QStringList UserMemory::recentSites() const
{
    if (m_file.isEmpty())
        return {};
    QStringList sites;
    for (const QString& site : QSettings(m_file, QSettings::IniFormat).value(kRecent).toStringList()) {
        if (!site.isEmpty() && !sites.contains(site) && sites.size() < kRecentSites)
            sites << site;
    }
    return sites;
}

void UserMemory::siteLoaded(const QString& folder)
{
    if (m_file.isEmpty() || folder.isEmpty())
        return;
    const QString site = cleaned(folder);
    QStringList sites = recentSites();
    sites.removeAll(site);
    sites.prepend(site);
    while (sites.size() > kRecentSites)
        sites.removeLast();
    QSettings settings(m_file, QSettings::IniFormat);
    settings.setValue(kRecent, sites);
    settings.setValue(kLastFolder, site);
    written(settings);
}

void UserMemory::forgetSite(const QString& folder)
{
    if (m_file.isEmpty())
        return;
    QStringList sites = recentSites();
    if (sites.removeAll(cleaned(folder)) + sites.removeAll(folder) == 0)
        return;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.setValue(kRecent, sites);
    written(settings);
}

UserMemory::Placement UserMemory::placement() const
{
    if (m_file.isEmpty())
        return {};
    QSettings settings(m_file, QSettings::IniFormat);
    return {settings.value(kGeometry).toRect(), settings.value(kMaximized).toBool()};
}

void UserMemory::setPlacement(const Placement& placement)
{
    if (m_file.isEmpty() || !placement.geometry.isValid())
        return;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.setValue(kGeometry, placement.geometry);
    settings.setValue(kMaximized, placement.maximized);
    written(settings);
}

QRect PlaceOnScreens(const QRect& remembered, const QList<QRect>& availableAreas)
{
    if (!remembered.isValid())
        return {};
    for (const QRect& area : availableAreas) {
        if (area.contains(remembered))
            return remembered;
    }
    return {};
}

} // namespace workspace

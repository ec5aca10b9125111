#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

namespace workspace {

// What the window remembers for its user from one run to the next: where its folder dialog
// opened last, the sites loaded lately and where the window stood. Kept in a settings file of
// the user's data folder; a file that cannot be written loses nothing but the memory.
class UserMemory
{
public:
    explicit UserMemory(QString settingsFile);

    static constexpr int kRecentSites = 10;

    // The folder last chosen in the folder dialog or loaded; empty when none.
    QString lastFolder() const;
    void setLastFolder(const QString& folder);

    // The site folders loaded lately, the latest first, each once.
    QStringList recentSites() const;
    // A site was loaded from the folder: it heads the list, and the dialog opens there next.
    void siteLoaded(const QString& folder);
    void forgetSite(const QString& folder);

    // The window's place and size when it was last closed, unmaximized.
    struct Placement
    {
        QRect geometry;
        bool maximized = false;
    };
    Placement placement() const;
    void setPlacement(const Placement& placement);

private:
    QString m_file;
};

// Where a remembered place may be used again: the whole window lies on one screen's available
// area. Nothing remembered, or a place on a screen that is gone, gives an invalid rectangle.
QRect PlaceOnScreens(const QRect& remembered, const QList<QRect>& availableAreas);

} // namespace workspace

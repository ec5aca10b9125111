#pragma once

#include <QString>

#include <array>

namespace workspace {

// The two page roles: slot 0 the front-end page, slot 1 the download page. A slot holds the
// page path as the page list showed it when it was set, and whether it is set at all.
class PageRoles final
{
public:
    enum Slot
    {
        FrontEnd = 0,
        Download = 1
    };

    // What a slot's label shows while it is not set.
    static QString unassignedText(Slot slot);
    // The status message shown when a slot has been set.
    static QString assignedMessage(Slot slot);

    bool assigned(Slot slot) const { return m_slots[slot].assigned; }
    // The page path; empty while the slot is not set.
    QString path(Slot slot) const { return m_slots[slot].path; }
    // What the slot's label shows: the page path, or the unassigned text.
    QString label(Slot slot) const;

    // A slot's "Remove" button is usable exactly while the slot is set, its set button exactly
    // while it is not (outside edit mode).
    bool removeEnabled(Slot slot) const { return assigned(slot); }
    bool setEnabled(Slot slot) const { return !assigned(slot); }

    void assign(Slot slot, const QString& path);
    void clear(Slot slot);

private:
    struct RoleSlot
    {
        QString path;
        bool assigned = false;
    };
    std::array<RoleSlot, 2> m_slots;
};

} // namespace workspace

#include "workspace/page_roles.h"

namespace workspace {

QString PageRoles::unassignedText(Slot slot)
{
    return slot == FrontEnd
               ? QStringLiteral(
                     "Unknown. Please Select a Page From the Drop-Down and Set it as Your Front-End Page.")
               : QStringLiteral(
                     "Unknown. Please Select a Page From the Drop-Down and Set it as Your Download Page.");
}

QString PageRoles::assignedMessage(Slot slot)
{
    return slot == FrontEnd ? QStringLiteral("Page Set as Front-End Page.")
                            : QStringLiteral("Page Set as Download Page.");
}

QString PageRoles::label(Slot slot) const
{
    return assigned(slot) ? path(slot) : unassignedText(slot);
}

void PageRoles::assign(Slot slot, const QString& path)
{
    m_slots[slot] = {path, true};
}

void PageRoles::clear(Slot slot)
{
    m_slots[slot] = {};
}

} // namespace workspace

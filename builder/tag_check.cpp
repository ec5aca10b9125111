#include "builder/tag_check.h"

namespace builder {

QString MissingTags(const QString& frontPageText, const QString& downloadPageText)
{
    QString list;
    if (!frontPageText.contains(QString::fromUtf16(kFrontTag), Qt::CaseSensitive))
        list = QStringLiteral("#FRONT# ");
    if (!downloadPageText.contains(QString::fromUtf16(kBackTag), Qt::CaseSensitive))
        list += QStringLiteral(" #BACK# ");
    return list;
}

QString MissingTagsMessage(const QString& missingTags, bool withQuestion)
{
    QString text = QStringLiteral("The following tags are not present in your pages: ") + missingTags +
                   QStringLiteral(". Please read the user manual for more info.");
    if (withQuestion)
        text += QStringLiteral(" Go ahead without them?");
    return text;
}

} // namespace builder

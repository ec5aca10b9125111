#pragma once

#include <QString>

namespace builder {

inline constexpr char16_t kFrontTag[] = u"#FRONT#";
inline constexpr char16_t kBackTag[] = u"#BACK#";

// The missing-tags list of the pre-check: "#FRONT# " when the front-end page lacks #FRONT#,
// then " #BACK# " when the download page lacks #BACK# (exact, case-sensitive); empty when both are there.
QString MissingTags(const QString& frontPageText, const QString& downloadPageText);

// "The following tags are not present in your pages: <list>. Please read the user manual for more
// info." followed by the question when asked.
QString MissingTagsMessage(const QString& missingTags, bool withQuestion);

} // namespace builder

#pragma once

namespace app {

inline constexpr char16_t kAppName[] = u"Vantor!";
inline constexpr char16_t kAppByLine[] = u" ";
// From the project's version in CMake, the one place it is set.
inline constexpr char kVersionText[] = VANTOR_VERSION;

} // namespace app

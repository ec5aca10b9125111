#pragma once

#include <cstddef>

namespace support {

// Asks the system to back the whole huge pages inside [data, data + size) with huge pages: memory
// written once front to back then costs a few page faults instead of thousands. Only advice: where
// the system has none to take, nothing happens. One implementation per system family
// (memory_advice_posix.cpp).
void PreferHugePages(void* data, std::size_t size);

} // namespace support

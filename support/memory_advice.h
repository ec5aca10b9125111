#pragma once

#include <cstddef>

namespace support {

// Asks the system to back the whole huge pages inside [data, data + size) with huge pages: memory
// written once front to back then costs a few page faults instead of thousands. Only advice: where
// the system has none to take, nothing happens. One implementation per system family
// (memory_advice_posix.cpp).
void PreferHugePages(void* data, std::size_t size);

// Lets every thread allocate from the main thread's heap. The C library would else give each new
// thread a heap of its own, whose freed pieces stay with it: some 100 KB a thread for a program
// whose few threads mostly wait on files. Call it before the first thread starts.
void ShareOneHeap();

} // namespace support

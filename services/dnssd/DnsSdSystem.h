// What the DNS-SD service needs of the OS, one source per backend (win32/, posix/): loading
// the client library and finding its entries by name, and lowering the priority of the
// calling thread. The wait on the registration's socket is the platform seam's
// platform::selectReadable.
#pragma once

namespace services::dnssd::system {

using LibraryHandle = void*;

// The DNS-SD client library's file name on this system.
const char* defaultLibraryName();

// Loads a library (the default search order for a bare file name); null when it cannot.
LibraryHandle openLibrary(const char* path);

// An export by its exact name; null when the library has none of that name.
void* findEntry(LibraryHandle library, const char* name);

void closeLibrary(LibraryHandle library);

// Lowers the calling thread's priority to "lowest" (THREAD_PRIORITY_LOWEST on Windows, two
// steps of niceness on Linux). Failures are ignored: the thread only runs a little earlier.
void lowerCurrentThreadPriority();

} // namespace services::dnssd::system

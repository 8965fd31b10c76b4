#include <malloc.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <new>

#include "app/driver.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  // Before anything is opened: no file may take the number of a closed standard stream.
  if (!pv::PrepareProcess()) return 1;
  // A large board grows its record, recording and item storage many times over. Blocks the
  // allocator would otherwise map and unmap for every growth are kept and reused instead: a
  // third fewer page faults and a tenth less wall time on big boards, for a few MiB of peak.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  try {
    return pv::RunConversion(argc, argv);
  } catch (const std::bad_alloc&) {
    // Out of memory before the run could report anything itself: say so without allocating.
    static const char kText[] = "Plotvane: out of memory\n";
    [[maybe_unused]] ssize_t n = ::write(2, kText, sizeof kText - 1);
    return 1;
  } catch (const std::exception& e) {
    static const char kText[] = "Plotvane: ";
    [[maybe_unused]] ssize_t n = ::write(2, kText, sizeof kText - 1);
    n = ::write(2, e.what(), std::strlen(e.what()));
    n = ::write(2, "\n", 1);
    return 1;
  }
}

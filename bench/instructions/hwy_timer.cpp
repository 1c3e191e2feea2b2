// A stand-in for the timer probe of the SIMD library that FFmpeg's image
// codecs load: its start-up code measures the timer with RDTSCP, which
// valgrind 3.19 cannot run. bench_instructions preloads this library into
// the program it runs under valgrind only; nothing measured calls it.
#include <cstdint>

namespace hwy {
namespace platform {
uint64_t TimerResolution() { return 1; }
}  // namespace platform
}  // namespace hwy

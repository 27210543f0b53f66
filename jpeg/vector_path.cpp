// The choice of vector path for the inverse DCT, the colour conversion,
// the progressive grids' dequantisation and the refinement's bit deposit,
// made once per process: the widest the processor has, unless
// MARIVUE_JPEG_SIMD asks for a narrower one ("avx2", "sse2" or "none"; a
// request beyond the processor is held to what it has, anything else is
// ignored). Every path gives the same
// results; forcing one is how the tests check that, and how to compare them.
#include "jpeg/internal.h"

#include <cstdlib>
#include <cstring>

namespace marivue::jpeg::detail {

namespace {

VectorPath widest_available() {
#if MARIVUE_AVX2
    __builtin_cpu_init();  // in case this runs before the runtime's own set-up
    return __builtin_cpu_supports("avx2") ? VectorPath::avx2 : VectorPath::sse2;
#elif MARIVUE_SSE2
    return VectorPath::sse2;
#else
    return VectorPath::portable;
#endif
}

VectorPath choose() {
    VectorPath available = widest_available();
    const char* request = std::getenv("MARIVUE_JPEG_SIMD");
    if (request == nullptr) return available;
    VectorPath wanted = available;
    if (std::strcmp(request, "none") == 0)
        wanted = VectorPath::portable;
    else if (std::strcmp(request, "sse2") == 0)
        wanted = VectorPath::sse2;
    else if (std::strcmp(request, "avx2") == 0)
        wanted = VectorPath::avx2;
    return wanted < available ? wanted : available;
}

}  // namespace

VectorPath vector_path() {
    static const VectorPath path = choose();
    return path;
}

bool fast_bit_deposit() {
#if MARIVUE_AVX2 && defined(__x86_64__)
    static const bool fast = vector_path() == VectorPath::avx2 && __builtin_cpu_supports("bmi2") &&
                             !__builtin_cpu_is("amdfam15h") && !__builtin_cpu_is("amdfam17h");
    return fast;
#else
    return false;
#endif
}

}  // namespace marivue::jpeg::detail

# Cross build for i686 Windows with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVANE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Doubles in SSE2 registers, as on x64: the x87 unit that i686 code uses by
# default keeps 80-bit intermediates (MinGW leaves the FPU at extended
# precision), so decimal conversions and pacing arithmetic came out one ulp
# or one millisecond off. Every x86 CPU that runs a supported Windows has SSE2.
string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2 -mfpmath=sse")
string(APPEND CMAKE_C_FLAGS_INIT " -msse2 -mfpmath=sse")

# Compiler settings shared by the library, its tests and its tools.
#
# Results must be bit-identical between the generic and the SSE2 kernels and
# across builds, so every float operation is rounded to single precision on
# its own: no contraction into fused multiply-adds, no fast-math, and SSE
# arithmetic (never x87) on 32-bit x86.
add_library(lumdec_flags INTERFACE)
#
# An element record's spectrum buffer holds integers from the parser and then
# floats from the synthesis in the same words, so type-based alias analysis
# is turned off rather than trusted around that reuse.
target_compile_options(lumdec_flags INTERFACE
  -Wall -Wextra
  -ffp-contract=off -fno-fast-math -fno-strict-aliasing
  $<$<CXX_COMPILER_ID:GNU>:-fno-semantic-interposition>)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(lumdec_flags INTERFACE -msse2 -mfpmath=sse)
endif()

# On 32-bit Windows the C runtime's malloc aligns to 8 bytes only, while the
# compiler takes plain new to give 16: records declared alignas(16) must go
# through the aligned operator new there.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(lumdec_flags INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-faligned-new=8>)
endif()

# Checked builds keep the reason of every raise (which check refused a
# frame) and assert what callers promise the kernels.
if(LUMDEC_CHECKED)
  target_compile_definitions(lumdec_flags INTERFACE LUMDEC_CHECKED=1)
endif()

if(LUMDEC_WERROR)
  target_compile_options(lumdec_flags INTERFACE -Werror)
endif()

# Fuzzing instruments every object for coverage and always runs under the
# address and undefined-behaviour sanitizers.
if(LUMDEC_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LUMDEC_FUZZ needs clang (libFuzzer)")
  endif()
  if(NOT LUMDEC_SANITIZE)
    set(LUMDEC_SANITIZE address,undefined)
  endif()
  target_compile_options(lumdec_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

if(LUMDEC_SANITIZE)
  target_compile_options(lumdec_flags INTERFACE
    -fsanitize=${LUMDEC_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(lumdec_flags INTERFACE -fsanitize=${LUMDEC_SANITIZE})
endif()

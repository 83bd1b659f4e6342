# Every name that the static library defines for the linker is either one of
# the C exports declared in lumdec.h or lies in the library's namespace, so a
# host that links it beside other code meets no clash.  Mangled names of the
# namespace start _ZN6lumdec (functions, objects; _ZNK6lumdec for const
# member functions), _ZZN6lumdec (function-local
# statics), _ZTIN6lumdec / _ZTSN6lumdec (type information) and _ZGV (guards).
#   cmake -DNM=nm -DARCHIVE=liblumdec.a -DHEADER=lumdec.h -P static_names.cmake
cmake_minimum_required(VERSION 3.25)
file(READ "${HEADER}" header)
string(REGEX MATCHALL "AAC_CALL[ \t\n]+(aac_[a-z0-9_]+)[ \t]*\\(" calls "${header}")
set(exports "")
foreach(call IN LISTS calls)
  string(REGEX REPLACE "AAC_CALL[ \t\n]+(aac_[a-z0-9_]+).*" "\\1" name "${call}")
  list(APPEND exports "${name}")
endforeach()
execute_process(COMMAND "${NM}" --defined-only --extern-only "${ARCHIVE}"
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${ARCHIVE}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(stray "")
set(seen_exports 0)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^ ]+)$")
    continue()
  endif()
  set(kind "${CMAKE_MATCH_1}")
  set(symbol "${CMAKE_MATCH_2}")
  # Instances of the standard library's templates (std::find on an int
  # array, say), with their local statics and type information, are weak or
  # unique: every user's copy merges into one, so they can never clash with
  # a host's.
  if(kind MATCHES "^[WVu]$" AND symbol MATCHES "^_Z(Z|T[ISV])?N?K?(St|9__gnu_cxx)")
    continue()
  endif()
  # Sanitizer builds add a twin of each global (__odr_asan.NAME); code with
  # exception tables a hidden reference to the C++ runtime's personality
  # routine (DW.ref.NAME), clang a hidden helper that calls std::terminate,
  # and 32-bit x86 GCC its hidden PIC helpers (__x86.get_pc_thunk.REG):
  # none is a name of the library's.
  string(REGEX REPLACE "^__odr_asan(\\.|_gen_)" "" name "${symbol}")
  if(name MATCHES "^(DW\\.ref\\.|__clang_call_terminate$|__x86\\.get_pc_thunk\\.)")
    continue()
  endif()
  if(name IN_LIST exports)
    math(EXPR seen_exports "${seen_exports} + 1")
  elseif(NOT name MATCHES "^_Z(Z|GVZ|T[ISV])?NK?6lumdec")
    list(APPEND stray "${name}")
  endif()
endforeach()
if(stray)
  list(REMOVE_DUPLICATES stray)
  string(REPLACE ";" "\n  " stray "${stray}")
  message(FATAL_ERROR "names outside the C interface and namespace lumdec:\n  ${stray}")
endif()
if(seen_exports EQUAL 0)
  message(FATAL_ERROR "no export of lumdec.h found in ${ARCHIVE}")
endif()
message(STATUS "${seen_exports} exports; every other name is in namespace lumdec")

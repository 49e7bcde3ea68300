# What distributions build every package with: position-independent code,
# stack protection, read-only relocations bound at start-up, a stack that
# cannot be executed, fortified C library calls and checked standard library
# containers. The program reads wave headers from anywhere, so its own build
# carries all of it too.
#
# These flags stand before those from the environment (CXXFLAGS, LDFLAGS) on
# every command line, so that a distribution's own choice comes later and wins
# where the two differ.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)

set(hardening_compile -fPIE -fstack-protector-strong -D_GLIBCXX_ASSERTIONS)
# Not every target has these (-fcf-protection is x86's alone).
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "PELLORIN_HAS${flag}" has_flag)
  check_cxx_compiler_flag(${flag} ${has_flag})
  if(${has_flag})
    list(APPEND hardening_compile ${flag})
  endif()
endforeach()

set(hardening_link)
foreach(flag -z,relro -z,now -z,noexecstack)
  string(MAKE_C_IDENTIFIER "PELLORIN_LINKS${flag}" has_flag)
  check_linker_flag(CXX "LINKER:${flag}" ${has_flag})
  if(${has_flag})
    list(APPEND hardening_link "-Wl,${flag}")
  endif()
endforeach()

list(JOIN hardening_compile " " hardening_compile)
list(JOIN hardening_link " " hardening_link)
string(PREPEND CMAKE_CXX_FLAGS "${hardening_compile} ")
string(PREPEND CMAKE_EXE_LINKER_FLAGS "${hardening_link} ")

# Fortified calls in optimised builds, at the strictest level the compiler
# knows, unless the environment's flags choose one. Sanitizers check more
# than fortification does, and fortified calls hide them from their checks.
if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE" AND NOT PELLORIN_SANITIZE AND NOT PELLORIN_FUZZ)
  check_cxx_source_compiles(
    "int main(int, char** argv) { return __builtin_dynamic_object_size(argv[0], 0) == 0; }"
    PELLORIN_HAS_DYNAMIC_OBJECT_SIZE)
  if(PELLORIN_HAS_DYNAMIC_OBJECT_SIZE)
    set(fortify 3)
  else()
    set(fortify 2)
  endif()
  # Some compilers define it already; redefining it would warn.
  foreach(config RELEASE RELWITHDEBINFO MINSIZEREL)
    string(APPEND CMAKE_CXX_FLAGS_${config} " -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=${fortify}")
  endforeach()
endif()

# File sizes and times of 64 bits on 32-bit targets too: wave files over
# 2 GiB, and files dated after 2038. The C library takes 64-bit times from
# version 2.34 on.
add_compile_definitions(_FILE_OFFSET_BITS=64 _TIME_BITS=64)
check_cxx_source_compiles(
  "#include <features.h>\n#if !__GLIBC_PREREQ(2, 34)\n#error\n#endif\nint main() {}"
  PELLORIN_HAS_TIME_BITS)
if(NOT PELLORIN_HAS_TIME_BITS)
  message(STATUS "The C library is older than glibc 2.34: on a 32-bit target, "
                 "files dated after 2038 cannot be read or replaced")
endif()

# The build's own paths stay out of the binary, so that the same sources
# built anywhere give the same bytes. Of several maps that match, the
# compiler takes the last: the build directory, the more specific where it
# lies inside the sources, comes after the sources, and a distribution's own
# map, from CXXFLAGS, after both.
string(PREPEND CMAKE_CXX_FLAGS
       "'-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.' '-ffile-prefix-map=${CMAKE_BINARY_DIR}=.' ")

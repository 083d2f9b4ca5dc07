# SPDX-License-Identifier: GPL-3.0-or-later
# The hardening Debian builds its own packages with (dpkg-buildflags with
# hardening=+all; position-independent executables are the compiler's
# default there): fortified libc calls, a stack protector, and a global
# offset table made read-only once the program has started. Included by the
# top-level CMakeLists.txt before any target exists.
option(VELNO_HARDENING "Build with Debian's hardening flags (fortify, stack protector, relro, bindnow)" ON)

# Sanitizer builds are left as they are: fortified calls would hide
# accesses from AddressSanitizer, which checks them more closely anyway.
if(NOT VELNO_HARDENING OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" OR APPLE OR WIN32 OR VELNO_BUILD_FUZZ
   OR CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  return()
endif()

# Fortification needs an optimised build; a Debug build would only warn.
# Undefined first, in case the compiler already defines it.
add_compile_options(-fstack-protector-strong
                    "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
add_link_options(LINKER:-z,relro LINKER:-z,now)

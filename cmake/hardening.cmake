# The hardening Debian builds its own packages with (dpkg-buildflags, hardening=+all, Debian 12):
# fortified C library calls, a stack protector, read-only relocations bound at start-up, and a
# position-independent executable. The release preset, and so the packages, turn it on; the
# sanitizer and fuzz builds keep their own instrumentation. None of it touches floating-point
# code generation: the frame's numbers stay bit for bit the same.
option(DADADAZO_HARDEN "Build with Debian's hardening flags (release and package builds)" OFF)

if(DADADAZO_HARDEN)
  if(DADADAZO_SANITIZE OR DADADAZO_FUZZ OR WIN32 OR EMSCRIPTEN)
    message(FATAL_ERROR "DADADAZO_HARDEN is for Linux release builds, not with the sanitizers")
  endif()
  # _FORTIFY_SOURCE only takes effect in optimised code, which every release build is. Debian's
  # compiler makes position-independent executables by default; the flags say so for any other.
  add_compile_definitions(_FORTIFY_SOURCE=2)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security -fPIE)
  add_link_options(-pie -Wl,-z,relro -Wl,-z,now)
endif()

# Release builds: hardened the way Debian hardens its own packages, and reproducible (the same
# commit gives the same bytes in any folder, at any time). Both are on for the linux and windows
# presets; the sanitizer and fuzz builds go without (ASan brings its own stack checks, and
# _FORTIFY_SOURCE needs optimisation, which a Debug build has not).
if(ENABLE_SANITIZERS OR ENABLE_FUZZING)
  set(release_flags_by_default OFF)
else()
  set(release_flags_by_default ON)
endif()
option(ENABLE_HARDENING "Stack protector, _FORTIFY_SOURCE, format-security errors, full RELRO, PIE; ASLR and DEP on Windows"
       ${release_flags_by_default})
option(REPRODUCIBLE_BUILD "No build paths, dates or link times in the binaries" ${release_flags_by_default})

if(ENABLE_HARDENING)
  # What dpkg-buildflags gives a Debian package's C++ (with the fortify level it names).
  # (For the compilers only: the resource compiler takes none of it.)
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong;-Wformat;-Werror=format-security>")
  # _FORTIFY_SOURCE only works when optimising; -U first, for compilers that predefine it.
  add_compile_options(
    "$<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<CONFIG:Release,RelWithDebInfo,MinSizeRel>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  if(WIN32)
    # ASLR (with 64-bit entropy) and DEP. The flag at link time makes the driver add the stack
    # protector's runtime (libssp), linked statically like the rest: the .exe still needs no DLL
    # of ours.
    add_link_options(-fstack-protector-strong -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
    # Linked by LLVM's lld, which makes _load_config_used the image's load configuration (its
    # DependentLoadFlags keep the imports to System32; see shared/win32/load_config.cpp). GNU ld
    # 2.40 leaves that directory empty. gcc reaches lld through a collect2 stand-in made
    # from lld-as-collect2/collect2.in, given by -B; the flags above mean the same to both linkers.
    find_program(LLD_LINKER ld.lld)
    if(NOT LLD_LINKER)
      message(FATAL_ERROR "ld.lld not found: the hardened Windows build links with LLVM's lld (Debian package lld)")
    endif()
    configure_file(${CMAKE_CURRENT_LIST_DIR}/lld-as-collect2/collect2.in
                   ${CMAKE_BINARY_DIR}/lld-as-collect2/collect2 @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
    add_link_options(-B${CMAKE_BINARY_DIR}/lld-as-collect2/)
  else()
    # PIE, said outright (Debian's compiler makes it anyway). -fPIE for every object, libraries
    # too, since all of them end up in executables only: the POSITION_INDEPENDENT_CODE property
    # would give the static libraries -fPIC, whose calls go through the PLT for nothing.
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-fPIE>")
    add_link_options("$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-pie>")
    # Full RELRO: relocations resolved at start, then the GOT made read-only.
    add_link_options(-Wl,-z,relro -Wl,-z,now)
  endif()
endif()

if(REPRODUCIBLE_BUILD)
  # Source and build folders appear as "." and "build" wherever the tree was checked out; the
  # build folder is named last so that it wins when it lies inside the source folder.
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.;-ffile-prefix-map=${PROJECT_BINARY_DIR}=build;-Wdate-time>")
  if(WIN32)
    # A PE header carries the link time unless told not to.
    add_link_options(-Wl,--no-insert-timestamp)
  endif()
endif()

# The release: a portable folder per platform, in one archive.
#   cmake --build --preset windows --target package   ->  <build>/package/<name>-windows-x64.zip
#   cmake --build --preset linux --target package     ->  <build>/package/<name>-linux-x86_64.tar.gz
# The programs meet through coordinates.dat beside the executable, so everything lands at the
# archive's root (one top folder): the user unpacks it where they can write, and runs it there.
if(NOT TARGET Sightrel OR NOT TARGET Idlepress)
  return()
endif()

set(PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# write_if_changed(FILE TEXT): writes TEXT as it is (no @VAR@ replaced), leaving the file and its
# time alone when it already holds TEXT, so that nothing built from it is built again.
function(write_if_changed file text)
  if(EXISTS ${file})
    file(READ ${file} old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${file} "${text}")
endfunction()
set(release_programs Sightrel Idlepress)

if(PLATFORM_WINDOWS)
  # Version resources: the version comes from the repository (cmake/version.cmake); the .rc
  # files are added to the programs in clicker/ and capture/.
  configure_file(${PACKAGING_DIR}/windows/project_version.h.in
                 ${CMAKE_BINARY_DIR}/packaging/project_version.h @ONLY)
  foreach(program IN LISTS release_programs)
    target_include_directories(${program} PRIVATE ${CMAKE_BINARY_DIR}/packaging)
    # A release .exe carries no symbol table: it is a third of the size.
    target_link_options(${program} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
  endforeach()
  set_source_files_properties(
    ${PACKAGING_DIR}/windows/Sightrel.rc DIRECTORY ${PROJECT_SOURCE_DIR}/capture
    PROPERTIES OBJECT_DEPENDS
    "${PACKAGING_DIR}/icons/sightrel.ico;${PACKAGING_DIR}/windows/version_info.rc;${CMAKE_BINARY_DIR}/packaging/project_version.h")
  set_source_files_properties(
    ${PACKAGING_DIR}/windows/Idlepress.rc DIRECTORY ${PROJECT_SOURCE_DIR}/clicker
    PROPERTIES OBJECT_DEPENDS
    "${PACKAGING_DIR}/icons/idlepress.ico;${PACKAGING_DIR}/windows/version_info.rc;${CMAKE_BINARY_DIR}/packaging/project_version.h")
endif()

install(TARGETS ${release_programs} RUNTIME DESTINATION .)
# The user's guide: docs/user-guide-<platform>.md as plain text, headed by the version and the
# commit, so that the archive links to no picture or script it lacks. The zip's has Windows line
# ends.
find_program(PYTHON3 python3 REQUIRED)
set(user_guide ${CMAKE_BINARY_DIR}/packaging/README.txt)
if(PLATFORM_WINDOWS)
  set(user_guide_source ${PROJECT_SOURCE_DIR}/docs/user-guide-windows.md)
  set(user_guide_line_ends crlf)
else()
  set(user_guide_source ${PROJECT_SOURCE_DIR}/docs/user-guide-linux.md)
  set(user_guide_line_ends lf)
endif()
add_custom_command(OUTPUT ${user_guide}
  COMMAND ${PYTHON3} ${PACKAGING_DIR}/user_guide.py ${user_guide_source} ${user_guide}
          ${user_guide_line_ends} ${SOURCE_VERSION} ${SOURCE_COMMIT}
  DEPENDS ${user_guide_source} ${PACKAGING_DIR}/user_guide.py ${CMAKE_BINARY_DIR}/packaging/version.txt
  COMMENT "Writing the user's guide, README.txt"
  VERBATIM)
add_custom_target(user_guide ALL DEPENDS ${user_guide})
install(FILES ${user_guide} ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
if(NOT PLATFORM_WINDOWS)
  # FLTK is linked into the programs: its licence asks that they say so (NOTICE-FLTK.txt).
  file(STRINGS ${FLTK_INCLUDE_DIR}/FL/Enumerations.H fltk_version_lines
       REGEX "^#define FL_(MAJOR|MINOR|PATCH)_VERSION")
  string(REGEX REPLACE ".*MAJOR_VERSION[ \t]+([0-9]+).*MINOR_VERSION[ \t]+([0-9]+).*PATCH_VERSION[ \t]+([0-9]+).*"
                       "\\1.\\2.\\3" FLTK_VERSION "${fltk_version_lines}")
  execute_process(COMMAND dpkg-query -W -f=\${Version} libfltk1.3-dev OUTPUT_VARIABLE FLTK_DEBIAN_VERSION
                  RESULT_VARIABLE dpkg_status ERROR_QUIET)
  if(NOT dpkg_status EQUAL 0 OR FLTK_DEBIAN_VERSION STREQUAL "")
    message(FATAL_ERROR "dpkg-query does not know libfltk1.3-dev: the FLTK notice needs its version")
  endif()
  configure_file(${PACKAGING_DIR}/linux/NOTICE-FLTK.txt.in ${CMAKE_BINARY_DIR}/packaging/NOTICE-FLTK.txt @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/NOTICE-FLTK.txt DESTINATION .)
  # Desktop entries need the programs' absolute path, known once unpacked: add-to-menu.sh fills
  # it in and writes them to ~/.local/share/applications.
  # The entries' Comment names the version, which a menu shows without a command line.
  install(PROGRAMS ${PACKAGING_DIR}/linux/add-to-menu.sh DESTINATION .)
  foreach(name IN ITEMS sightrel idlepress)
    file(READ ${PACKAGING_DIR}/linux/${name}.desktop.in entry)
    string(REPLACE "@VERSION@" "${SOURCE_VERSION}" entry "${entry}")
    write_if_changed(${CMAKE_BINARY_DIR}/packaging/desktop/${name}.desktop.in "${entry}")
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${PACKAGING_DIR}/linux/${name}.desktop.in)
  endforeach()
  install(FILES ${CMAKE_BINARY_DIR}/packaging/desktop/sightrel.desktop.in
                ${CMAKE_BINARY_DIR}/packaging/desktop/idlepress.desktop.in
                ${PACKAGING_DIR}/icons/sightrel.png ${PACKAGING_DIR}/icons/idlepress.png
          DESTINATION desktop)
else()
  # Linked into each .exe: the MinGW-w64 runtime and winpthreads, whose licences ask that their
  # notices travel with the programs, and GCC's runtime libraries (libstdc++, libgcc, libssp).
  # The notices are Debian's copyright file of the package that holds them; the zip's text has
  # Windows line ends.
  set(mingw_copyright /usr/share/doc/mingw-w64-x86-64-dev/copyright)
  if(NOT EXISTS ${mingw_copyright})
    message(FATAL_ERROR "${mingw_copyright} is missing: the runtime notice needs it (package mingw-w64-x86-64-dev)")
  endif()
  execute_process(COMMAND dpkg-query -W -f=\${Version} mingw-w64-x86-64-dev OUTPUT_VARIABLE MINGW_DEBIAN_VERSION
                  RESULT_VARIABLE dpkg_status ERROR_QUIET)
  execute_process(COMMAND dpkg-query -W -f=\${Version} gcc-mingw-w64-x86-64-posix OUTPUT_VARIABLE GCC_MINGW_DEBIAN_VERSION
                  RESULT_VARIABLE gcc_dpkg_status ERROR_QUIET)
  if(NOT dpkg_status EQUAL 0 OR NOT gcc_dpkg_status EQUAL 0)
    message(FATAL_ERROR "dpkg-query does not know mingw-w64-x86-64-dev or gcc-mingw-w64-x86-64-posix: the runtime notice needs their versions")
  endif()
  file(READ ${mingw_copyright} MINGW_COPYRIGHT)
  configure_file(${PACKAGING_DIR}/windows/NOTICE-runtime.txt.in ${CMAKE_BINARY_DIR}/packaging/NOTICE-runtime.lf @ONLY)
  file(READ ${CMAKE_BINARY_DIR}/packaging/NOTICE-runtime.lf runtime_notice)
  string(REPLACE "\n" "\r\n" runtime_notice "${runtime_notice}")
  write_if_changed(${CMAKE_BINARY_DIR}/packaging/NOTICE-runtime.txt "${runtime_notice}")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/NOTICE-runtime.txt DESTINATION .)
endif()

# The archive is packed by pack.sh rather than CPack, so that it holds no build time, owner or
# file order of the machine that made it: the same commit gives the same bytes.
set(release_package_name SightrelIdlepress)
set(release_package_dir ${CMAKE_BINARY_DIR}/package)
if(PLATFORM_WINDOWS)
  set(release_name ${release_package_name}-${SOURCE_VERSION}-windows-x64)
  set(release_archive_suffix .zip)
else()
  set(release_name ${release_package_name}-${SOURCE_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(release_archive_suffix .tar.gz)
endif()
set(RELEASE_ARCHIVE ${release_package_dir}/${release_name}${release_archive_suffix})
# What scripts/release.sh reads: the version this build was configured with, and its archive.
write_if_changed(${CMAKE_BINARY_DIR}/packaging/version.txt "${SOURCE_VERSION} ${SOURCE_COMMIT}\n")
write_if_changed(${CMAKE_BINARY_DIR}/packaging/archive.txt "package/${release_name}${release_archive_suffix}\n")
# A build folder once configured with CPack keeps its configuration, and while that is there
# CMake refuses a target named "package".
file(REMOVE ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package
  COMMAND bash ${PACKAGING_DIR}/pack.sh ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${release_name} ${RELEASE_ARCHIVE}
  COMMENT "Packing ${release_name}${release_archive_suffix}"
  VERBATIM)
add_dependencies(package ${release_programs} user_guide)

if(PLATFORM_WINDOWS)
  set(release_platform windows)
else()
  set(release_platform linux)
endif()

# The hardening, read from the built programs and the compile commands.
if(BUILD_TESTING AND ENABLE_HARDENING)
  add_test(NAME release.${release_platform}.hardening
           COMMAND bash ${PACKAGING_DIR}/hardening_test.sh ${release_platform}
                   ${CMAKE_BINARY_DIR}/compile_commands.json ${PROJECT_SOURCE_DIR}
                   $<TARGET_FILE:Sightrel> $<TARGET_FILE:Idlepress>)
  set_tests_properties(release.${release_platform}.hardening PROPERTIES
    LABELS release SKIP_RETURN_CODE 77 ENVIRONMENT "HARDENING_OBJDUMP=${CMAKE_OBJDUMP}")
endif()

# This platform's programs and archive, built again from a copy of the sources in a scratch
# folder: the same bytes as this build's own. Each preset checks its own platform, so the test
# touches no other preset's build folder.
if(BUILD_TESTING AND REPRODUCIBLE_BUILD)
  add_test(NAME release.${release_platform}.reproducible
           COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/release.sh --verify --reuse-builds
                   ${release_platform})
  set_tests_properties(release.${release_platform}.reproducible PROPERTIES
    LABELS release TIMEOUT 1800 RUN_SERIAL ON ENVIRONMENT "SKIP_INSTALL=1")
endif()

# The archive, unpacked into a scratch folder and its programs run end to end.
if(BUILD_TESTING AND TARGET click_recorder)
  add_test(NAME release.${release_platform}.unpacked_programs
           COMMAND bash ${PACKAGING_DIR}/release_test.sh)
  set_tests_properties(release.${release_platform}.unpacked_programs PROPERTIES
    LABELS release
    SKIP_RETURN_CODE 77
    TIMEOUT 600
    # It builds the package in this build folder, and under Wine it ends the prefix's wineserver.
    RUN_SERIAL ON
    ENVIRONMENT
    "E2E_PLATFORM=${release_platform};E2E_RECORDER=$<TARGET_FILE:click_recorder>;E2E_WORK=${CMAKE_BINARY_DIR}/packaging/work;E2E_WINE_RUN=${PROJECT_SOURCE_DIR}/scripts/wine-run.sh;WINEPREFIX=${E2E_WINEPREFIX};RELEASE_BUILD_DIR=${CMAKE_BINARY_DIR};RELEASE_ARCHIVE=${RELEASE_ARCHIVE};RELEASE_NAME=${release_name};RELEASE_VERSION=${SOURCE_VERSION};RELEASE_COMMIT=${SOURCE_COMMIT}")
  if(PLATFORM_WINDOWS)
    set_tests_properties(release.${release_platform}.unpacked_programs PROPERTIES
                         FIXTURES_REQUIRED wine_prefix)
  endif()
endif()

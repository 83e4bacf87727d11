# The platform half of the shared library: the real pointer and the window builder (RunForm).
# Holds no rule; the programs link it beside shared_rules.
set(SHARED_PLATFORM_DIR ${CMAKE_CURRENT_SOURCE_DIR} CACHE INTERNAL "")
if(PLATFORM_WINDOWS)
  add_library(desktop_platform STATIC
    win32/win32_controls.cpp
    win32/win32_desktop.cpp
    win32/win32_dpi.cpp
    win32/win32_form_window.cpp
    win32/win32_input_box.cpp
    win32/win32_pointer.cpp
    win32/win32_report.cpp
    win32/win32_show_state.cpp
  )
  target_link_libraries(desktop_platform PUBLIC shared_rules user32 gdi32 comctl32
                        PRIVATE project_warnings)
else()
  find_package(X11 REQUIRED)
  # Found by hand: Debian's FLTK package config insists on the fluid designer being installed.
  find_path(FLTK_INCLUDE_DIR FL/Fl.H REQUIRED)
  find_library(FLTK_LIBRARY fltk REQUIRED)
  # sd-bus, for the desktop's idle time in a Wayland session.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBSYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
  # libpng, to read the program's icon: FLTK's own fonts already load it (through FreeType).
  find_package(PNG REQUIRED)
  add_library(desktop_platform STATIC
    linux/desktop_session_linux.cpp
    linux/x11_pointer.cpp
    linux/fltk_controls.cpp
    linux/fltk_desktop.cpp
    linux/fltk_dialogs.cpp
    linux/fltk_display.cpp
    linux/fltk_form_window.cpp
    linux/fltk_report.cpp
    linux/program_identity.cpp
    linux/x11_window_hints.cpp
  )
  target_include_directories(desktop_platform PRIVATE ${FLTK_INCLUDE_DIR})
  target_link_libraries(desktop_platform PUBLIC shared_rules ${FLTK_LIBRARY} X11::X11 X11::Xtst
                        PRIVATE PkgConfig::LIBSYSTEMD PNG::PNG project_warnings)
endif()
target_include_directories(desktop_platform PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

# add_desktop_program(<name> <sources>...): one of our GUI programs, linked with the platform.
# On Windows: a GUI-subsystem .exe with the shared manifest (DPI awareness, common controls 6).
function(add_desktop_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE desktop_platform project_warnings)
  if(PLATFORM_WINDOWS)
    set_target_properties(${name} PROPERTIES WIN32_EXECUTABLE ON)
    # Marked as programs for Windows Vista (6.0) and later, not MinGW's default of 5.2.
    target_link_options(${name} PRIVATE -Wl,--subsystem,windows:6.0 -Wl,--major-os-version,6
                        -Wl,--minor-os-version,0)
    # The load configuration is linked as an object of the program itself: the linker looks
    # for it by name and would not pull it out of a library.
    target_sources(${name} PRIVATE ${SHARED_PLATFORM_DIR}/win32/program.rc
                                   ${SHARED_PLATFORM_DIR}/win32/load_config.cpp)
    # program.rc embeds the manifest: rebuild it when the manifest changes.
    set_source_files_properties(${SHARED_PLATFORM_DIR}/win32/program.rc PROPERTIES
                                OBJECT_DEPENDS ${SHARED_PLATFORM_DIR}/win32/app.manifest)
  else()
    # Its icon, packaging/icons/<name>.png, as bytes in the program: made from the file's content
    # alone, so the build stays reproducible, and made again when the file changes.
    string(TOLOWER ${name} icon_name)
    set(ICON_SOURCE packaging/icons/${icon_name}.png)
    set(icon_file ${PROJECT_SOURCE_DIR}/${ICON_SOURCE})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${icon_file})
    file(READ ${icon_file} icon_hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," ICON_BYTES "${icon_hex}")
    string(REGEX REPLACE "((0x..,){16})" "\\1\n" ICON_BYTES "${ICON_BYTES}")
    configure_file(${SHARED_PLATFORM_DIR}/linux/program_icon.cpp.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${name}_icon.cpp @ONLY)
    target_sources(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${name}_icon.cpp)
  endif()
endfunction()

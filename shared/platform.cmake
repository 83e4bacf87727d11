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
  )
  target_link_libraries(desktop_platform PUBLIC shared_rules user32 gdi32 comctl32
                        PRIVATE project_warnings)
else()
  find_package(X11 REQUIRED)
  # Found by hand: Debian's FLTK package config insists on the fluid designer being installed.
  find_path(FLTK_INCLUDE_DIR FL/Fl.H REQUIRED)
  find_library(FLTK_LIBRARY fltk REQUIRED)
  # sd-bus, for the session's lock state and the desktop's idle time in a Wayland session: only
  # its header at build time; libsystemd.so.0 is loaded at run time, where it is installed.
  find_path(SD_BUS_INCLUDE_DIR systemd/sd-bus.h REQUIRED)
  add_library(desktop_platform STATIC
    linux/desktop_session_linux.cpp
    linux/local_bus.cpp
    linux/logind_session_lock.cpp
    linux/sd_bus_library.cpp
    linux/x11_pointer.cpp
    linux/fltk_controls.cpp
    linux/fltk_desktop.cpp
    linux/fltk_display.cpp
    linux/fltk_form_window.cpp
    linux/fltk_report.cpp
    linux/x11_window_hints.cpp
  )
  target_include_directories(desktop_platform PRIVATE ${FLTK_INCLUDE_DIR} ${SD_BUS_INCLUDE_DIR})
  target_link_libraries(desktop_platform PUBLIC shared_rules ${FLTK_LIBRARY} X11::X11 X11::Xtst
                        PRIVATE ${CMAKE_DL_LIBS} project_warnings)
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
    target_sources(${name} PRIVATE ${SHARED_PLATFORM_DIR}/win32/program.rc)
    # program.rc embeds the manifest: rebuild it when the manifest changes.
    set_source_files_properties(${SHARED_PLATFORM_DIR}/win32/program.rc PROPERTIES
                                OBJECT_DEPENDS ${SHARED_PLATFORM_DIR}/win32/app.manifest)
  endif()
endfunction()

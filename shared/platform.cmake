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
  # FLTK linked in (Debian ships libfltk.a), so that the programs need no FLTK on the user's
  # machine: distributions differ in which FLTK, if any, they ship. What libfltk.a calls comes
  # from the X11 libraries every desktop has (fltk-config --ldstaticflags); --as-needed on the
  # programs keeps only those they use.
  find_library(FLTK_STATIC_LIBRARY NAMES libfltk.a REQUIRED)
  find_package(Fontconfig REQUIRED)
  foreach(x11_part Xft Xrender Xfixes Xcursor Xinerama Xext)
    if(NOT X11_${x11_part}_FOUND)
      message(FATAL_ERROR "lib${x11_part} and its headers are missing (scripts/install-deps.sh installs them)")
    endif()
  endforeach()
  set(FLTK_LINK_LIBRARIES ${FLTK_STATIC_LIBRARY} X11::Xft X11::Xrender X11::Xfixes X11::Xcursor X11::Xinerama
                          X11::Xext Fontconfig::Fontconfig X11::X11 m)
  # sd-bus, for the session's lock state and the desktop's idle time in a Wayland session: only
  # its header at build time; libsystemd.so.0 is loaded at run time, where it is installed.
  find_path(SD_BUS_INCLUDE_DIR systemd/sd-bus.h REQUIRED)
  add_library(desktop_platform STATIC
    linux/desktop_session_linux.cpp
    linux/local_bus.cpp
    linux/logind_session_lock.cpp
    linux/mutter_idle_time.cpp
    linux/gnome/mutter_cast.cpp
    linux/gnome/pipewire_library.cpp
    linux/sd_bus_library.cpp
    linux/system_pointer_linux.cpp
    linux/x11_pointer.cpp
    linux/wayland/compositor_idle_time.cpp
    linux/wayland/native_pointer.cpp
    linux/wayland/overlay.cpp
    linux/wayland/wayland_connection.cpp
    linux/wayland/wayland_library.cpp
    linux/fltk_controls.cpp
    linux/fltk_desktop.cpp
    linux/fltk_dialogs.cpp
    linux/fltk_display.cpp
    linux/fltk_form_window.cpp
    linux/fltk_report.cpp
    linux/program_identity.cpp
    linux/x11_window_hints.cpp
  )
  target_include_directories(desktop_platform PRIVATE ${FLTK_INCLUDE_DIR} ${SD_BUS_INCLUDE_DIR})
  # The Wayland client, for native windows in a Wayland session: its headers and the protocol
  # glue at build time; libwayland-client.so.0 is loaded at run time, where it is installed.
  find_path(WAYLAND_CLIENT_INCLUDE_DIR wayland-client.h REQUIRED)
  include(${CMAKE_CURRENT_LIST_DIR}/linux/wayland/protocols.cmake)
  wayland_protocol_glue(desktop_platform)
  # PipeWire, for the pointer in GNOME's screen cast: headers at build time (system headers, for
  # their C idioms); libpipewire-0.3.so.0 is loaded at run time, where it is installed.
  find_path(PIPEWIRE_INCLUDE_DIR pipewire/pipewire.h PATH_SUFFIXES pipewire-0.3 REQUIRED)
  find_path(SPA_INCLUDE_DIR spa/pod/builder.h PATH_SUFFIXES spa-0.2 REQUIRED)
  target_include_directories(desktop_platform SYSTEM PRIVATE ${PIPEWIRE_INCLUDE_DIR} ${SPA_INCLUDE_DIR})
  target_link_libraries(desktop_platform PUBLIC shared_rules ${FLTK_LINK_LIBRARIES} X11::Xtst
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
    # The load configuration is linked as an object of the program itself: the linker looks
    # for it by name and would not pull it out of a library.
    target_sources(${name} PRIVATE ${SHARED_PLATFORM_DIR}/win32/program.rc
                                   ${SHARED_PLATFORM_DIR}/win32/load_config.cpp)
    # program.rc embeds the manifest: rebuild it when the manifest changes.
    set_source_files_properties(${SHARED_PLATFORM_DIR}/win32/program.rc PROPERTIES
                                OBJECT_DEPENDS ${SHARED_PLATFORM_DIR}/win32/app.manifest)
  else()
    # Its window icon, packaging/icons/<name>-<size>.rgba (make-icons.sh), as bytes in the
    # program: made from the files' content alone, so the build stays reproducible, and made
    # again when a file changes.
    string(TOLOWER ${name} ICON_NAME)
    set(ICON_ARRAYS "")
    set(icon_list "")
    foreach(size 64 32 16)
      set(icon_file ${PROJECT_SOURCE_DIR}/packaging/icons/${ICON_NAME}-${size}.rgba)
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${icon_file})
      file(SIZE ${icon_file} icon_file_size)
      math(EXPR rgba_size "${size} * ${size} * 4")
      if(NOT icon_file_size EQUAL rgba_size)
        message(FATAL_ERROR "${icon_file} holds ${icon_file_size} bytes, not the ${rgba_size} "
                            "of ${size} x ${size} RGBA pixels: run packaging/icons/make-icons.sh")
      endif()
      file(READ ${icon_file} icon_hex HEX)
      # 16 bytes a line (CMake's regular expressions count no repeats), then each as 0x...
      string(REGEX REPLACE "(................................)" "\\1\n" icon_bytes "${icon_hex}")
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," icon_bytes "${icon_bytes}")
      string(APPEND ICON_ARRAYS "constexpr unsigned char kIcon${size}[] = {\n${icon_bytes}};\n")
      list(APPEND icon_list "{${size}, kIcon${size}}")
    endforeach()
    list(JOIN icon_list ", " ICON_LIST)
    configure_file(${SHARED_PLATFORM_DIR}/linux/program_icon.cpp.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${name}_icon.cpp @ONLY)
    target_sources(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${name}_icon.cpp)
    # The C++ library linked in too, as the .exe files have it, whatever GCC (if any) the user's
    # distribution has; --gc-sections keeps only the parts of it that are called (a third of the
    # size). libgcc stays shared: libgcc_s.so.1 is on every glibc system (glibc loads it itself to
    # unwind a cancelled thread), whereas GCC 12's static unwinder calls _dl_find_object, which
    # would ask for glibc 2.35. --as-needed drops every library named above the program doesn't call.
    target_link_options(${name} PRIVATE -static-libstdc++ -Wl,--gc-sections -Wl,--as-needed)
  endif()
endfunction()

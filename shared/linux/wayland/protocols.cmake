# Protocol glue made at build time by wayland-scanner: a client header (the typed requests and
# listeners) and the interface tables for each protocol, from the XML Debian ships
# (libwayland-dev, wayland-protocols, plasma-wayland-protocols) and the two wlroots protocols kept
# in protocols/.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
set(WAYLAND_PROTOCOL_XML
  /usr/share/wayland/wayland.xml
  /usr/share/wayland-protocols/staging/ext-idle-notify/ext-idle-notify-v1.xml
  /usr/share/wayland-protocols/unstable/xdg-output/xdg-output-unstable-v1.xml
  /usr/share/plasma-wayland-protocols/fake-input.xml
  /usr/share/plasma-wayland-protocols/idle.xml
  ${CMAKE_CURRENT_LIST_DIR}/protocols/wlr-virtual-pointer-unstable-v1.xml
  ${CMAKE_CURRENT_LIST_DIR}/protocols/wlr-layer-shell-unstable-v1.xml
  CACHE INTERNAL "")

# wayland_protocol_glue(<target>): generates the glue of every protocol above into the build
# folder, compiles the interface tables into <target>, puts the headers on its include path and
# renames the library calls the glue makes (wayland_client.hpp says why).
function(wayland_protocol_glue target)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/wayland-glue)
  file(MAKE_DIRECTORY ${out})
  foreach(xml ${WAYLAND_PROTOCOL_XML})
    if(NOT EXISTS ${xml})
      message(FATAL_ERROR "${xml} is missing (scripts/install-deps.sh installs it)")
    endif()
    get_filename_component(name ${xml} NAME_WE)
    add_custom_command(
      OUTPUT ${out}/${name}-protocol.c
      COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${out}/${name}-protocol.c
      DEPENDS ${xml}
      VERBATIM)
    target_sources(${target} PRIVATE ${out}/${name}-protocol.c)
    # The core protocol's header comes with the library's own (<wayland-client.h>).
    if(NOT name STREQUAL "wayland")
      add_custom_command(
        OUTPUT ${out}/${name}-client.h
        COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${out}/${name}-client.h
        DEPENDS ${xml}
        VERBATIM)
      target_sources(${target} PRIVATE ${out}/${name}-client.h)
    endif()
  endforeach()
  target_include_directories(${target} PRIVATE ${out})
  # The proxy calls of the glue go to this program's forwarders (wayland_library.cpp).
  foreach(call marshal_flags add_listener destroy get_version set_user_data get_user_data)
    target_compile_definitions(${target} PRIVATE wl_proxy_${call}=shared_wl_proxy_${call})
  endforeach()
endfunction()

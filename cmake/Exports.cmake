# export_interface(<target> <name>...): the shared library exports these names
# and nothing else. On ELF a version script hides everything else, including
# the standard library's template instances; Windows builds use a .def file.
function(export_interface target)
  set(names ${ARGN})
  set_property(TARGET ${target} PROPERTY EXPORTED_NAMES ${names})
  if(WIN32)
    set(def ${CMAKE_CURRENT_SOURCE_DIR}/${target}.def)
    target_sources(${target} PRIVATE ${def})
  else()
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    list(JOIN names ";\n    " body)
    file(WRITE ${map} "{\n  global:\n    ${body};\n  local: *;\n};\n")
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${map} -Wl,--exclude-libs,ALL -Wl,--no-undefined)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
endfunction()

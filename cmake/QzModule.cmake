# qz_add_module(NAME SOURCES... [LIBS libs...])
# One plug-in: a shared library named exactly NAME (no prefix) in
# ${QZ_PLUGIN_DIR}, with hidden visibility, the two-symbol version script and
# -z defs, so that a missing symbol fails the link rather than the host.
set(QZ_EXPORTS_MAP ${CMAKE_SOURCE_DIR}/framework/exports.map)

# Stricter warnings for the framework and the modules. Each suppression
# would go here with its reason; there are none.
set(QZ_STRICT_WARNINGS -Wshadow -Wpedantic -Wconversion -Wsign-conversion -Wdouble-promotion -Wcast-qual)

if(NOT TARGET qz_plugins)
  add_custom_target(qz_plugins)
endif()

function(qz_add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  set(sources ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  add_library(${name} SHARED ${sources})
  target_link_libraries(${name} PRIVATE qz_framework ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${QZ_PLUGIN_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${QZ_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${QZ_EXPORTS_MAP})
  target_compile_options(${name} PRIVATE ${QZ_STRICT_WARNINGS})
  if(WIN32)
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  else()
    target_link_options(${name} PRIVATE -Wl,--version-script=${QZ_EXPORTS_MAP} -Wl,-z,defs)
  endif()
  add_dependencies(qz_plugins ${name})
  set_property(GLOBAL APPEND PROPERTY QZ_PLUGIN_NAMES ${name})
endfunction()

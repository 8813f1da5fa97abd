# Interposes the ELF loader's symbol binding; Windows binds imports per DLL,
# so the probe has nothing to stand in for there.
if(WIN32)
  set(qz_test_disabled ON)
  return()
endif()
# The lock probe and the allocator replacements must be the definitions the
# dlopened plug-ins bind to: export the test binary's symbols.
target_link_options(${test_name} PRIVATE -rdynamic)
target_link_libraries(${test_name} PRIVATE ${CMAKE_DL_LIBS})
# The development host's render loop is checked too, when it is built.
if(TARGET qz_host)
  target_link_libraries(${test_name} PRIVATE qz_host)
  target_compile_definitions(${test_name} PRIVATE QZ_HAVE_HOST=1)
endif()

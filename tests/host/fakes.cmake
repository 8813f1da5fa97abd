# The probe plug-in of the host tests, built once into tests/fakes.
if(NOT TARGET qz_fake_probe)
  add_library(qz_fake_probe SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_probe.cpp)
  target_include_directories(qz_fake_probe PRIVATE ${CMAKE_SOURCE_DIR}/framework)
  set_target_properties(qz_fake_probe PROPERTIES PREFIX "" OUTPUT_NAME QZ_FakeProbe
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/fakes CXX_VISIBILITY_PRESET hidden)
endif()
add_dependencies(${test_name} qz_fake_probe)
target_compile_definitions(${test_name} PRIVATE QZ_FAKE_DIR="${CMAKE_BINARY_DIR}/tests/fakes")
if(TARGET qz_host)
  target_link_libraries(${test_name} PRIVATE qz_host)
else()
  target_compile_definitions(${test_name} PRIVATE QZ_NO_HOST=1)
endif()

# The platform's own drawing calls exist only on Windows (run under wine here).
if(NOT WIN32)
  set(qz_test_disabled ON)
  return()
endif()
target_link_libraries(${test_name} PRIVATE gdi32)

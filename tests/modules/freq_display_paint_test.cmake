# Paints through our drawing layer's canvas; on Windows the platform's own
# calls are checked by freq_display_windows_test instead.
if(WIN32)
  set(qz_test_disabled ON)
  return()
endif()
target_link_libraries(${test_name} PRIVATE qz_gdi)

# The patch loader lives in the development host, built unless tools are off.
if(TARGET qz_host)
  target_link_libraries(${test_name} PRIVATE qz_host)
  target_compile_definitions(${test_name} PRIVATE QZ_HAVE_HOST=1)
endif()

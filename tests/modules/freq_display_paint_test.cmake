target_link_libraries(${test_name} PRIVATE qz_gdi)

if(QZ_ONLY STREQUAL "")
  # The whole tree is built: every deliverable must be there.
  target_compile_definitions(${test_name} PRIVATE QZ_FULL_BUILD=1)
endif()

if(TARGET qz_cli)
  target_link_libraries(${bench_name} PRIVATE qz_cli)
endif()

target_sources(${test_name} PRIVATE $<TARGET_OBJECTS:qz_abi_checks>)

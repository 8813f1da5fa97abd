include(${CMAKE_CURRENT_LIST_DIR}/fakes.cmake)

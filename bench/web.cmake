# The web benchmark serves its requests from the tests' local peer, in a child process.
if(NOT TARGET test_support)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/support ${CMAKE_CURRENT_BINARY_DIR}/test_support)
endif()
target_link_libraries(web_bench PRIVATE test_support text)

# The static library bcode_blockgen, made once whichever of tests/ and bench/
# asks for it first.
if(NOT TARGET bcode_blockgen)
  add_library(bcode_blockgen STATIC ${CMAKE_CURRENT_LIST_DIR}/blockgen.cpp)
  target_include_directories(bcode_blockgen PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(bcode_blockgen PUBLIC bcode::bcode)
endif()

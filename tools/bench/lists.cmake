if(TARGET tandravole_wire)
  add_executable(lists_bench ${CMAKE_CURRENT_LIST_DIR}/lists_bench.cpp)
  target_include_directories(lists_bench PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(lists_bench PRIVATE tandravole_library tandravole_wire tandravole::lz4
                        tandravole_warnings)
endif()

add_executable(simhost_bench ${CMAKE_CURRENT_LIST_DIR}/simhost_bench.cpp)
target_include_directories(simhost_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(simhost_bench PRIVATE tandravole_simhost tandravole_warnings)

# Protocol engine: status query round trip against a plain echo, and pipelined commands.
if(TARGET tandravole_engine)
  add_executable(engine_bench ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp)
  target_include_directories(engine_bench PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(engine_bench PRIVATE tandravole_engine tandravole_warnings)
endif()

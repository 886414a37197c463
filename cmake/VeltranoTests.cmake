# One test program per *_test.cpp file beside the code, labelled with its top
# folder so `ctest -L <folder>` runs one subsystem. RECURSE also takes the
# tests of the folder's subfolders (one per codec, say).
function(veltrano_add_tests label)
  cmake_parse_arguments(ARG "RECURSE" "" "LIBS" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  else()
    file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
                                             ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  endif()
  foreach(src IN LISTS test_sources)
    get_filename_component(name ${src} NAME_WE)
    set(target ${label}_${name})
    add_executable(${target} ${src})
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock veltrano_test_main)
    target_compile_definitions(${target} PRIVATE
      VELTRANO_TESTDATA_DIR="${VELTRANO_TESTDATA_DIR}"
      VELTRANO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES
      LABELS ${label}
      TIMEOUT 600
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
  endforeach()
endfunction()

# One benchmark program per bench_*.cpp file.
function(veltrano_add_benchmarks)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB bench_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/bench_*.cpp)
  foreach(src IN LISTS bench_sources)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
    target_compile_definitions(${name} PRIVATE VELTRANO_TESTDATA_DIR="${VELTRANO_TESTDATA_DIR}")
  endforeach()
endfunction()

# tesmer_add_test(<source> LIBS <libs...>) builds one test file as one executable
# and registers every GoogleTest case in it with ctest.
include(GoogleTest)
function(tesmer_add_test source)
  cmake_parse_arguments(T "" "" "LIBS;LABELS" ${ARGN})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tesmer_test_support GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${T_LABELS}")
endfunction()

# tesmer_add_library(<name> DEPS <libs...>) builds every .cpp file of the
# calling folder (and its internal/ subfolder) into one static library.
function(tesmer_add_library name)
  cmake_parse_arguments(L "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/internal/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${L_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${L_DEPS})
  endif()
endfunction()

# quirel_core_library(NAME [DEPS ...]): a Qt-free static library from every source in its folder.
function(quirel_core_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  quirel_pch(${name} core)
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
endfunction()

# quirel_pch(TARGET KIND): TARGET compiles with the precompiled headers of KIND (core, widgets, gtest,
# qttest) when they are on.
function(quirel_pch target kind)
  if(QUIREL_PCH AND TARGET quirel_pch_${kind})
    target_precompile_headers(${target} REUSE_FROM quirel_pch_${kind})
    target_compile_definitions(${target} PRIVATE ${QUIREL_PCH_DEFS_${kind}})
  endif()
endfunction()

# quirel_gtest(NAME SOURCES ... LIBS ...): one GoogleTest program, each case its own CTest test, labelled
# with its folder's name (tests/<area>/), so that an area's tests can be run alone (ctest -L '^area$').
function(quirel_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  quirel_pch(${name} gtest)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    QUIREL_RESOURCES_DIR="${QUIREL_RESOURCES_DIR}"
    QUIREL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  get_filename_component(area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30
                       PROPERTIES TIMEOUT 120 LABELS ${area})
endfunction()

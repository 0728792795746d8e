# Helpers shared by the folders' CMakeLists.

set(MLX_PLATFORM_LIBS "" CACHE INTERNAL "")

# mlx_platform_library(NAME sources... [LIBS libs...])
# A platform service library, linked into the engine.
function(mlx_platform_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${MLX_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  set(MLX_PLATFORM_LIBS ${MLX_PLATFORM_LIBS} ${name} CACHE INTERNAL "")
endfunction()

# mlx_test(NAME sources... LIBS libs...)
# A GoogleTest executable registered with CTest. Sources named *_posix_test.cc are built only on
# POSIX, *_win32_test.cc only on Windows: tests of what one system alone has.
function(mlx_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(WIN32)
    list(FILTER ARG_SOURCES EXCLUDE REGEX "_posix_test\\.cc$")
  else()
    list(FILTER ARG_SOURCES EXCLUDE REGEX "_win32_test\\.cc$")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(${name} PRIVATE ${MLX_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    # GoogleMock built from its sources carries its headers with its target.
    target_link_libraries(${name} PRIVATE GTest::gmock)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# Build rules shared by every folder of the tree.

find_program(KL40_CCACHE ccache)
if(KL40_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${KL40_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${KL40_CCACHE})
endif()

add_compile_options(-Wall -Wextra)

if(KL40_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(KL40_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT KL40_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KL40_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(KL40_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KL40_FUZZ needs Clang")
  endif()
  # Every library is instrumented for coverage; only the fuzz targets link the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Adds every direct subfolder of DIR that has a CMakeLists.txt, in name order. A subfolder named
# "ui" holds Qt code and is left out when the build has no Qt.
function(kl40_add_subdirs dir)
  file(GLOB children LIST_DIRECTORIES true "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    get_filename_component(leaf "${child}" NAME)
    if(leaf STREQUAL "ui" AND NOT KL40_WITH_QT)
      continue()
    endif()
    if(IS_DIRECTORY "${child}" AND EXISTS "${child}/CMakeLists.txt")
      add_subdirectory("${child}")
    endif()
  endforeach()
endfunction()

# kl40_test(NAME SOURCES src... LIBS lib... [LABELS label...] [TIMEOUT s])
# One GoogleTest executable registered as one CTest test. Label "telvor" marks tests of the
# communication library (run under both sanitizers), "qt" tests that need Qt (default build only).
function(kl40_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  find_package(GTest REQUIRED)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
    ENVIRONMENT "KL40_SOURCE_DIR=${PROJECT_SOURCE_DIR};KL40_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# kl40_fuzzer(NAME SOURCES src... LIBS lib...)  Seed corpus: fuzz/corpus/NAME/.
function(kl40_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY KL40_FUZZERS ${name})
endfunction()

# kl40_bench(NAME SOURCES src... LIBS lib...)  A Google Benchmark program in bench/.
function(kl40_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()

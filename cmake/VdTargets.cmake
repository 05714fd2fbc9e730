# Helpers that give every subsystem the same shape of targets in both presets.
#
#   vd_library(name SOURCES ... [DEPS ...] [LIBS ...] [INCLUDES ...] [WIN32_ONLY])
#       A static library. On the host it is built twice: `name` plainly (for
#       benchmarks) and `name_san` with the sanitizers and fuzzer coverage (for
#       tests and fuzzers). DEPS are other vd_library names only (their
#       sanitized twins are picked on the host); anything else goes in LIBS
#       (vd_client_headers for the client's interface in include/). A library
#       of the plug-in (a folder of src/) sees its own folder's headers as
#       "folder/name.h" and those of the libraries it links, nothing else: an
#       include of a folder it does not link, a wrong-way include among them,
#       does not compile. Libraries elsewhere see their INCLUDES.
#   vd_test(name SOURCES ... [DEPS ...] [LIBS ...])
#       A GoogleTest program; its cases are discovered and run by ctest (under
#       Wine in the win32 preset, sanitized on the host).
#   vd_fuzzer(name SOURCES ... [DEPS ...] CORPUS dir [REGRESSIONS dir]
#             [SECONDS n] [INPUT_SECONDS s] [MEMORY_MB m] [SEEDS target])
#       Host only: a libFuzzer target, plus a ctest case (label fuzz) that
#       replays its corpus and its regression inputs (default: the folder
#       regressions/<name> beside the corpus). n is its own fuzzing time for
#       `scripts/fuzz` (default 20 s); s (default 5) and m (default 2048) are
#       what one input may take, beyond which it is a finding. SEEDS: the
#       target that makes a corpus at build time.
#   vd_benchmark(name SOURCES ... [DEPS ...] [LIBS ...])
#       Host: a Google Benchmark program linked with the plain libraries.
#       `scripts/bench` runs every program named bench_*.

set(VD_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

if(VD_WIN32)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
else()
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
endif()

# The client's interface declarations (include/), for the libraries that
# implement or call it.
add_library(vd_client_headers INTERFACE)
target_include_directories(vd_client_headers INTERFACE ${CMAKE_SOURCE_DIR}/include)

# The include root of a folder of src/: a directory of the build tree that
# holds only a link named after the folder, so "folder/name.h" is found
# through it and nothing else of src/ is.
function(_vd_folder_root out)
  file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  if(relative MATCHES "^\\.\\." OR relative STREQUAL "" OR relative MATCHES "/")
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  set(root ${CMAKE_BINARY_DIR}/include-roots/${relative})
  if(NOT EXISTS ${root}/${relative})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${relative} SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

function(vd_library name)
  cmake_parse_arguments(A "WIN32_ONLY" "" "SOURCES;DEPS;LIBS;INCLUDES" ${ARGN})
  if(A_WIN32_ONLY AND NOT VD_WIN32)
    return()
  endif()
  _vd_folder_root(folder_root)
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${folder_root} ${A_INCLUDES})
  target_link_libraries(${name} PUBLIC ${A_DEPS} ${A_LIBS})
  if(VD_HOST)
    add_library(${name}_san STATIC ${A_SOURCES})
    target_include_directories(${name}_san PUBLIC ${folder_root} ${A_INCLUDES})
    target_compile_options(${name}_san PRIVATE ${VD_SANITIZE_FLAGS} -fsanitize=fuzzer-no-link)
    target_link_options(${name}_san INTERFACE ${VD_SANITIZE_FLAGS})
    _vd_san_names(san_deps ${A_DEPS})
    target_link_libraries(${name}_san PUBLIC ${san_deps} ${A_LIBS})
  endif()
endfunction()

# On the host, tests and fuzzers link the sanitized twin of every vd_library.
function(_vd_san_names out)
  set(result)
  foreach(d IN LISTS ARGN)
    if(VD_HOST)
      list(APPEND result ${d}_san)
    else()
      list(APPEND result ${d})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(vd_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;DEPS;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  _vd_san_names(deps ${A_DEPS})
  target_link_libraries(${name} PRIVATE ${deps} ${A_LIBS} GTest::gmock GTest::gtest_main)
  # What the test links decides which of src/ it sees.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/tests)
  if(VD_HOST)
    target_compile_options(${name} PRIVATE ${VD_SANITIZE_FLAGS})
    target_link_options(${name} PRIVATE ${VD_SANITIZE_FLAGS})
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${A_TIMEOUT} ${A_PROPERTIES})
endfunction()

function(vd_fuzzer name)
  cmake_parse_arguments(A "" "CORPUS;REGRESSIONS;SECONDS;INPUT_SECONDS;MEMORY_MB;SEEDS" "SOURCES;DEPS;LIBS" ${ARGN})
  if(NOT VD_HOST)
    return()
  endif()
  if(NOT A_SECONDS)
    set(A_SECONDS 20)
  endif()
  if(NOT A_INPUT_SECONDS)
    set(A_INPUT_SECONDS 5)
  endif()
  if(NOT A_MEMORY_MB)
    set(A_MEMORY_MB 2048)
  endif()
  if(NOT A_REGRESSIONS)
    get_filename_component(corpus_parent ${A_CORPUS} DIRECTORY)
    set(A_REGRESSIONS ${corpus_parent}/regressions/${name})
  endif()
  add_executable(${name} ${A_SOURCES})
  _vd_san_names(deps ${A_DEPS})
  target_link_libraries(${name} PRIVATE ${deps} ${A_LIBS})
  target_compile_options(${name} PRIVATE ${VD_SANITIZE_FLAGS} -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE ${VD_SANITIZE_FLAGS} -fsanitize=fuzzer)
  if(A_SEEDS)
    add_dependencies(${name} ${A_SEEDS})
  endif()
  # The fuzzer writes new inputs into its corpus directory, so it works on a
  # copy; the committed corpus stays as it is.
  add_test(NAME fuzz.${name}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/run-fuzzer $<TARGET_FILE:${name}> ${A_CORPUS} ${A_REGRESSIONS}
      ${A_SECONDS} ${A_INPUT_SECONDS} ${A_MEMORY_MB})
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()

function(vd_benchmark name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} ${A_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/bench)
  if(VD_HOST)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  endif()
endfunction()

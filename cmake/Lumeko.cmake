# Wrappers that make every library, test, benchmark and fuzz target of the project alike.
include(GenerateExportHeader)

# lumeko_include_root(<target> <folder>)
# Gives a library an include root of its own: build/roots/<target>/<folder> links to the source
# folder, so that "<folder>/x.h" is found there. A library sees its own folder and, through its
# public links, the folders of the libraries it depends on, and nothing else: an include against
# the direction of the dependencies does not compile.
function(lumeko_include_root target folder)
  set(root ${CMAKE_BINARY_DIR}/roots/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root} ${CMAKE_BINARY_DIR}/include)
endfunction()

# add_lumeko_library(<target> <folder/export_name> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A shared library with hidden visibility and an include root of its own; its export header is
# <folder>/<name>_export.h, generated into the build tree and giving the macro LUMEKO_<NAME>_EXPORT.
function(add_lumeko_library target export_path)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  get_filename_component(export_name ${export_path} NAME)
  string(TOUPPER "LUMEKO_${export_name}" macro_base)
  generate_export_header(${target}
    BASE_NAME ${macro_base}
    EXPORT_FILE_NAME ${CMAKE_BINARY_DIR}/include/${export_path}_export.h)
  get_filename_component(folder ${export_path} DIRECTORY)
  lumeko_include_root(${target} ${folder})
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# add_lumeko_subsystem(<target> SOURCES ...)
# The pages and dialogs of one subsystem folder (students/, exams/, ...): an object library built
# into the module LumekoAchieve, whose exports it adds; it sees the framework and the toolkit.
function(add_lumeko_subsystem target)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  add_library(${target} OBJECT ${ARG_SOURCES})
  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  lumeko_include_root(${target} ${folder})
  # The framework's headers: the module's own root.
  target_include_directories(${target} PUBLIC ${CMAKE_BINARY_DIR}/roots/LumekoAchieve)
  get_target_property(module_libs LumekoAchieve LINK_LIBRARIES)
  target_link_libraries(${target} PUBLIC ${module_libs})
  # Compiled as part of the module: its exports are the module's.
  target_compile_definitions(${target} PRIVATE LumekoAchieve_EXPORTS)
  target_link_libraries(LumekoAchieve PRIVATE ${target})
endfunction()

# add_lumeko_test(<name> SOURCES ... LIBS ...)
# One GoogleTest executable, registered with ctest; Qt runs on its offscreen platform so that
# widget tests need no display.
function(add_lumeko_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  # Tests may include anything of the project.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/include)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
    TIMEOUT 900)
endfunction()

# add_lumeko_bench(<name> SOURCES ... LIBS ...): a Google Benchmark executable.
function(add_lumeko_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/include)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()

# add_lumeko_fuzz(<name> SOURCES ... LIBS ...): a libFuzzer target (clang, LUMEKO_FUZZ=ON).
function(add_lumeko_fuzz name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/include)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

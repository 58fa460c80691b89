# One static library per source folder: every .cpp/.h of the folder belongs to it.
# vantorel_library(<name> [LINKS <targets>...])
function(vantorel_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_LINKS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
endfunction()

# One test program per tests/ folder, from the .cpp files of that folder.
# QT: the program runs under a QApplication (offscreen); otherwise GoogleTest's own main.
# vantorel_tests(<name> FOLDER <dir> [QT] [LINKS <targets>...])
function(vantorel_tests name)
  cmake_parse_arguments(ARG "QT" "FOLDER" "LINKS" ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_FOLDER})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_QT)
    set(entry testsupport_qtmain)
  else()
    set(entry GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE testsupport ${entry} ${ARG_LINKS} GTest::gtest GTest::gmock)
  add_dependencies(${name} vantorel_programs)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
endfunction()

# A program built into the shared output folder; tests depend on every such program.
# vantorel_program(<name> <sources>... [LINKS <targets>...])
function(vantorel_program name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  set_property(GLOBAL APPEND PROPERTY VANTOREL_PROGRAMS ${name})
endfunction()

# Helpers shared by every folder of the project.

# Every program resolves its symbols at start-up: the crash kit's signal
# handlers must never meet a lazy binding, which may allocate and take locks.
add_link_options(-Wl,-z,now)

# Warnings as errors on our own code only; Qt and Exiv2 come in as system headers
# through their imported targets.
# GCC 12's -Wrestrict misfires at -O2 and above on ordinary std::string
# concatenation inside libstdc++, so in optimised builds it stays a warning.
function(lumetta_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
    $<$<CXX_COMPILER_ID:GNU>:-Wno-error=restrict>)
endfunction()

# One static library per source folder, made from every source in it. Folders
# list the libraries they may use (only folders earlier in the layering order).
function(lumetta_folder_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  lumetta_warnings(${name})
endfunction()

# A test executable per test folder, with every *Test.cpp / *Tests.cpp in it.
# Each GoogleTest case is registered with CTest and labelled by folder.
function(lumetta_folder_tests name)
  cmake_parse_arguments(ARG "" "LABEL" "LINKS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  # The folder's harness/ holds programs the tests start (lumetta_test_program).
  list(FILTER sources EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/harness/")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} lumetta_test_support GTest::gtest GTest::gmock)
  lumetta_warnings(${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT 300
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# A program the tests of `tests` start as a child process, for what only a
# whole process shows (how it ends); the tests find it through the compile
# definition DEFINE.
function(lumetta_test_program tests name)
  cmake_parse_arguments(ARG "" "DEFINE" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  lumetta_warnings(${name})
  add_dependencies(${tests} ${name})
  target_compile_definitions(${tests} PRIVATE ${ARG_DEFINE}="$<TARGET_FILE:${name}>")
endfunction()

# A Qt-free test executable for the kit folders: every source of the folder
# except its harness/ subfolder, linked with the kit's own test main (private
# HOME and XDG folders, no QApplication). Executables carry a GNU build-id so
# that the kit can name the images it runs in.
function(lumetta_kit_tests name)
  cmake_parse_arguments(ARG "" "LABEL" "LINKS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources EXCLUDE REGEX "/harness/")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} lumetta_kit_test_support GTest::gtest GTest::gmock)
  target_link_options(${name} PRIVATE -Wl,--build-id=sha1)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF)
  lumetta_warnings(${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT 300
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

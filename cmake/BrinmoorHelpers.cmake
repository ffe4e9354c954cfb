# Shared build helpers.

# Warnings for our own code.
function(brinmoor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

# The environment every test runs in: no display, no real data folder, no real runtime folder,
# and a web service address that refuses at once (a window's launch task checks for updates). The
# offscreen screen is a desktop's (1920 × 1200, tests/support/offscreen-screen.json), not the
# plugin's 800 × 800, so that the window opens at its own size as on a desktop.
set(BRINMOOR_TEST_ENV
    "BRINMOOR_API=http://127.0.0.1:9"
    "QT_QPA_PLATFORM=offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/support/offscreen-screen.json"
    "QT_QUICK_BACKEND=software"
    "QT_LOGGING_RULES=qt.multimedia*=false")

# brinmoor_add_gtest(NAME <name> SOURCES <files...> LIBS <targets...>)
# One executable and one ctest entry per test file, named after its area.
function(brinmoor_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  # tests/support: what every Qt test shares.
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  brinmoor_warnings(${T_NAME})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
      ENVIRONMENT "${BRINMOOR_TEST_ENV}"
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      TIMEOUT 300)
endfunction()

# brinmoor_gtests_in_folder(PREFIX <prefix> LIBS <targets...>): one test executable and one ctest
# entry per test_*.cpp of the calling folder and of its feature folders (those without a
# CMakeLists.txt of their own), named <prefix><area>. Shared test helpers live in the folder's
# support/ and are compiled into every test of that folder; fixture files in data/.
function(brinmoor_gtests_in_folder)
  cmake_parse_arguments(T "" "PREFIX" "LIBS" ${ARGN})
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp)
  file(GLOB_RECURSE own_lists RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(sub IN LISTS own_lists)
    get_filename_component(subdir ${sub} DIRECTORY)
    list(FILTER tests EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${subdir}/")
  endforeach()
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/support/*.h)
  foreach(t IN LISTS tests)
    get_filename_component(base ${t} NAME_WE)
    string(REPLACE "test_" "${T_PREFIX}" name ${base})
    brinmoor_add_gtest(NAME ${name} SOURCES ${t} ${support} LIBS ${T_LIBS})
    get_filename_component(own_dir ${t} DIRECTORY)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${own_dir})
    target_compile_definitions(${name} PRIVATE
        BRINMOOR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
        BRINMOOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        BRINMOOR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  endforeach()
endfunction()

# brinmoor_qml_library(<target> URI <uri> [LIBS <targets...>] [DEPENDS <uris...>]
#                      [SINGLETONS <qml files...>] [EXTRA_SOURCES <files...>])
# A subsystem library that is also a QML module: every *.cpp/*.h of the calling folder, every
# *.qml/*.js below it, and every file under its assets/ folder. Types marked QML_ELEMENT in its
# C++ are registered with the module; its static plugin is <target>plugin.
function(brinmoor_qml_library target)
  cmake_parse_arguments(Q "" "URI" "LIBS;DEPENDS;SINGLETONS;EXTRA_SOURCES" ${ARGN})
  file(GLOB_RECURSE cpp RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  file(GLOB_RECURSE qml RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qml ${CMAKE_CURRENT_SOURCE_DIR}/*.js)
  file(GLOB_RECURSE res RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/assets/*)
  # A subfolder with its own CMakeLists.txt is a module of its own (src/app/entry): leave its files out.
  file(GLOB subdirs RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(sub IN LISTS subdirs)
    get_filename_component(subdir ${sub} DIRECTORY)
    list(FILTER qml EXCLUDE REGEX "^${subdir}/")
    list(FILTER cpp EXCLUDE REGEX "^${subdir}/")
  endforeach()
  # Feature folders hold their C++ beside their QML; each one holding headers is on the include path,
  # so an include names the header alone, wherever it lives in the subsystem.
  set(include_dirs ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(file IN LISTS cpp)
    get_filename_component(dir ${file} DIRECTORY)
    if(dir)
      list(APPEND include_dirs ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES include_dirs)
  if(Q_SINGLETONS)
    set_source_files_properties(${Q_SINGLETONS} PROPERTIES QT_QML_SINGLETON_TYPE TRUE)
  endif()
  qt_add_library(${target} STATIC)
  qt_add_qml_module(${target}
      URI ${Q_URI}
      VERSION 1.0
      DEPENDENCIES QtQuick ${Q_DEPENDS}
      SOURCES ${cpp} ${Q_EXTRA_SOURCES}
      QML_FILES ${qml}
      RESOURCES ${res})
  target_include_directories(${target} PUBLIC ${include_dirs})
  target_link_libraries(${target} PUBLIC ${Q_LIBS})
  brinmoor_warnings(${target})
endfunction()

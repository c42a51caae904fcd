# oxel_ui_tests(<folder> [DEPS <targets...>])
# The GoogleTest program tests_<folder> of an interface folder, from every .cpp in tests/<folder> and
# the interface test main: a QApplication on the offscreen platform (no X server needed), the
# interface fonts and palette, animations made instant. CTest runs it with a private runtime folder
# and no session bus; screenshots go to <build>/screenshots.
function(oxel_ui_tests folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(support ${PROJECT_SOURCE_DIR}/tests/support/ui)
  add_executable(tests_${folder} ${sources} ${support}/UITestMain.cpp ${support}/Screenshots.cpp)
  set_target_properties(tests_${folder} PROPERTIES AUTOMOC ON)
  target_include_directories(tests_${folder} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(tests_${folder} PRIVATE ${OXEL_WARNINGS})
  target_compile_definitions(tests_${folder} PRIVATE
    OXEL_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    OXEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    OXEL_BINARY_DIR="${PROJECT_BINARY_DIR}"
    OXEL_SCREENSHOT_DIR="${PROJECT_BINARY_DIR}/screenshots")
  target_link_libraries(tests_${folder} PRIVATE oxel_${folder} ${ARG_DEPS} Qt6::Test GTest::gtest GTest::gmock)
  oxel_precompile_headers(tests_${folder} ${folder} ${OXEL_PCH_TESTS} <QTest>)

  set(runtime ${PROJECT_BINARY_DIR}/ui-test-runtime)
  file(MAKE_DIRECTORY ${runtime})
  file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  gtest_discover_tests(tests_${folder} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${runtime};DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/oxel-ui-test-bus")
endfunction()

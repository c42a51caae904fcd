# oxel_secret_service_tests(<folder>)
# Runs the suites of tests_<folder> named "...WithSecretService" inside a private Secret Service,
# and those named "...WithoutSecretService" where no Secret Service can answer.
function(oxel_secret_service_tests folder)
  if(NOT TARGET tests_${folder})
    return()
  endif()
  add_test(NAME ${folder}_with_secret_service
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-secret-service.sh $<TARGET_FILE:tests_${folder}>
            --gtest_filter=*WithSecretService.*)
  add_test(NAME ${folder}_without_secret_service
    COMMAND tests_${folder} --gtest_filter=*WithoutSecretService.*)
  set_tests_properties(${folder}_with_secret_service PROPERTIES TIMEOUT 300)
  set_tests_properties(${folder}_without_secret_service PROPERTIES TIMEOUT 300
    ENVIRONMENT "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/oxel-test-bus;OXEL_TEST_NO_SECRET_SERVICE=1")
endfunction()

oxel_fuzzer(auth_callback_url ${CMAKE_CURRENT_LIST_DIR}/auth_callback_url.cpp DEPS oxel_backend)

oxel_fuzzer(backend_answers ${CMAKE_CURRENT_LIST_DIR}/backend_answers.cpp DEPS oxel_backend)

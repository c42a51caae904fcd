oxel_fuzzer(result_answer ${CMAKE_CURRENT_LIST_DIR}/result_answer.cpp DEPS oxel_library)

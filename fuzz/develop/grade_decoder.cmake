oxel_fuzzer(grade_decoder ${CMAKE_CURRENT_LIST_DIR}/grade_decoder.cpp DEPS oxel_develop)

oxel_fuzzer(picture_decoding ${CMAKE_CURRENT_LIST_DIR}/picture_decoding.cpp DEPS oxel_develop)

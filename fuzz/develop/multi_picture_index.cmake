oxel_fuzzer(multi_picture_index ${CMAKE_CURRENT_LIST_DIR}/multi_picture_index.cpp DEPS oxel_develop)

oxel_fuzzer(naming_texts ${CMAKE_CURRENT_LIST_DIR}/naming_texts.cpp DEPS oxel_ondevice)

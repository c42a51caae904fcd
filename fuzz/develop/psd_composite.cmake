oxel_fuzzer(psd_composite ${CMAKE_CURRENT_LIST_DIR}/psd_composite.cpp DEPS oxel_develop)

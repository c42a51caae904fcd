oxel_fuzzer(segmentation_model ${CMAKE_CURRENT_LIST_DIR}/segmentation_model.cpp DEPS oxel_develop)

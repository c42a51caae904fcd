oxel_fuzzer(instance_hand_off ${CMAKE_CURRENT_LIST_DIR}/instance_hand_off.cpp DEPS oxel_platform)

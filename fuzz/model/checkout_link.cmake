# Built from the link's own source: the rest of the model holds coroutines that this clang cannot
# compile with the sanitizers.
oxel_fuzzer(checkout_link ${CMAKE_CURRENT_LIST_DIR}/checkout_link.cpp DEPS oxel_backend)
target_sources(checkout_link PRIVATE ${PROJECT_SOURCE_DIR}/src/model/CheckoutLink.cpp)

# vthost: runs a program on a pseudo-terminal through LocalProcess and a Terminal, headless.
add_executable(vthost ${CMAKE_CURRENT_LIST_DIR}/vthost.cpp)
target_link_libraries(vthost PRIVATE termview termcore Qt6::Core)
brinmoor_warnings(vthost)

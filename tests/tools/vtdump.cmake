# vtdump: the engine's headless workbench (feed bytes, print screen, cursor and replies).
add_executable(vtdump ${CMAKE_CURRENT_LIST_DIR}/vtdump.cpp)
target_link_libraries(vtdump PRIVATE termcore)
brinmoor_warnings(vtdump)
set_target_properties(vtdump PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# A smoke run: text, a cursor move back, CR LF.
add_test(NAME tools_vtdump_smoke
         COMMAND sh -c "printf 'ab\\033[2Dc\\r\\n' | \"$<TARGET_FILE:vtdump>\" --cols 10 --rows 3")
set_tests_properties(tools_vtdump_smoke PROPERTIES
    PASS_REGULAR_EXPRESSION "  0\\|cb\n  1\\|\n  2\\|\ncursor col 0 row 1\n")

target_link_libraries(fuzz_script PRIVATE json)

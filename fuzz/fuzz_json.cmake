target_link_libraries(fuzz_json PRIVATE json)

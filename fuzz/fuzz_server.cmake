target_link_libraries(fuzz_server PRIVATE server Qt6::Widgets)

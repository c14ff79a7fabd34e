target_link_libraries(fuzz_backoffice PRIVATE backoffice Qt6::Widgets)

target_link_libraries(bench_printer PRIVATE printing core Qt6::Network Qt6::Widgets)

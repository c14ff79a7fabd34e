target_link_libraries(bench_ticket PRIVATE printing core Qt6::Network Qt6::Widgets)

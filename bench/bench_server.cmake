target_link_libraries(bench_server PRIVATE server Qt6::Widgets)
add_dependencies(bench_server tarvolin_servidor_pruebas)
target_compile_definitions(bench_server PRIVATE
    TARVOLIN_SERVIDOR_PRUEBAS="$<TARGET_FILE:tarvolin_servidor_pruebas>")

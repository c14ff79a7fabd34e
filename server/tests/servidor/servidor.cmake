# A test-only service for the subprocess tests (stop, restart) and the load benchmark: the core on a
# test database, the printer layer, and the request front, without the main window.
add_executable(tarvolin_servidor_pruebas ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tarvolin_servidor_pruebas PRIVATE server ui)
if(TARGET server_tests)
    add_dependencies(server_tests tarvolin_servidor_pruebas)
    target_compile_definitions(server_tests PRIVATE
        TARVOLIN_SERVIDOR_PRUEBAS="$<TARGET_FILE:tarvolin_servidor_pruebas>")
endif()

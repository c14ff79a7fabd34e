# A test-only service for the load benchmark: the core on a test database, the printer layer, and
# the request front, without the main window.
add_executable(tarvolin_servidor_pruebas ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tarvolin_servidor_pruebas PRIVATE server ui)

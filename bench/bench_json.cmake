find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(bench_json PRIVATE json nlohmann_json::nlohmann_json)

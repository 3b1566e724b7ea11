# The baseline of the JSON benchmark is a bare Duktape heap, so the benchmark sees Duktape's
# header as the json library itself does.
target_link_libraries(json_bench PRIVATE json_duktape)
add_dependencies(json_bench json_duktape_source)

# What `cmake --graphviz` draws (README.md, Layout): the layers of the program
# and the program itself; no system libraries, GoogleTest, tests, tools or
# link checks.
set(GRAPHVIZ_GRAPH_NAME "scourix_layers")
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS
  "_check$" "_tests$" "^gtest" "^gmock" "^forge$" "^scourix_forge$" "^scourix_report_sink$"
  "^spine-driver$" "^scan_bench$" "^scourix-test-service$" "^scourix-driver$"
  "^scourix_windows_test_support$")

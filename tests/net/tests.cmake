# Tests of the network code (paths relative to tests/). Every server they talk to runs on
# 127.0.0.1: cpp-httplib inside the test, or the reference service as a child process.
pkg_check_modules(NET_TEST_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
lumo_add_test(net_tests
    net/NetTestSupport.cpp
    net/HttpClientTest.cpp
    net/UpgradeTest.cpp
    net/DownloadTest.cpp
    net/FeedbackTest.cpp
)
target_link_libraries(net_tests PRIVATE PkgConfig::NET_TEST_HTTPLIB)
target_compile_definitions(net_tests PRIVATE LUMO_SERVICE_BINARY="$<TARGET_FILE:lumo-service>")
add_dependencies(net_tests lumo-service)

# The command-line program: its parts in process, and the real executable on real media
# (paths relative to tests/).
lumo_add_test(cli_tests
    cli/CliTestSupport.cpp
    cli/CliPartsTest.cpp
    cli/CliRunTest.cpp
    cli/CliStopTest.cpp
)
target_link_libraries(cli_tests PRIVATE lumo_cli)
add_dependencies(cli_tests lumocompress-cli)

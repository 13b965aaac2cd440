# SPDX-License-Identifier: GPL-3.0-or-later
# The command-line program over the engine library (paths relative to the source root). Its
# classes form a library of their own so the tests can link them.
add_library(lumo_cli STATIC
    ${CMAKE_SOURCE_DIR}/cli/BatchJob.cpp
    ${CMAKE_SOURCE_DIR}/cli/CliOptions.cpp
    ${CMAKE_SOURCE_DIR}/cli/ConsoleText.cpp
    ${CMAKE_SOURCE_DIR}/cli/ConsoleView.cpp
    ${CMAKE_SOURCE_DIR}/cli/SignalWatch.cpp
)
target_include_directories(lumo_cli PUBLIC ${CMAKE_SOURCE_DIR}/cli)
target_link_libraries(lumo_cli PUBLIC lumo_core)

add_executable(lumocompress-cli ${CMAKE_SOURCE_DIR}/cli/main.cpp)
target_link_libraries(lumocompress-cli PRIVATE lumo_cli)
target_compile_definitions(lumocompress-cli PRIVATE LUMO_VERSION="${PROJECT_VERSION}")
set_target_properties(lumocompress-cli PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
include(GNUInstallDirs)
install(TARGETS lumocompress-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT app)

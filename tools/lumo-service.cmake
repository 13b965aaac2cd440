# SPDX-License-Identifier: GPL-3.0-or-later
# The reference service: upgrade check, feedback, help page and installer files (paths relative
# to the source root).
if(NOT TARGET PkgConfig::SERVICE_HTTPLIB)
    pkg_check_modules(SERVICE_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
endif()
find_package(Threads REQUIRED)
add_executable(lumo-service
    ${CMAKE_SOURCE_DIR}/tools/lumo-service/main.cpp
    ${CMAKE_SOURCE_DIR}/tools/lumo-service/Downloads.cpp
    ${CMAKE_SOURCE_DIR}/tools/lumo-service/GuardedServer.cpp
    ${CMAKE_SOURCE_DIR}/tools/lumo-service/Service.cpp
    ${CMAKE_SOURCE_DIR}/tools/lumo-service/ServiceOptions.cpp
)
target_link_libraries(lumo-service PRIVATE PkgConfig::SERVICE_HTTPLIB PkgConfig::JSONCPP Qt6::Core
    Threads::Threads)
set_target_properties(lumo-service PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools
    AUTOMOC OFF)
# In a package of its own (see packaging/packaging.cmake).
include(GNUInstallDirs)
install(TARGETS lumo-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT service)

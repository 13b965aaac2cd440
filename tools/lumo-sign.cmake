# SPDX-License-Identifier: GPL-3.0-or-later
# lumo-sign: the key pair installers are signed with, and their detached signatures (paths
# relative to the source root). Links the signature part of the engine only.
add_executable(lumo-sign ${CMAKE_SOURCE_DIR}/tools/lumo-sign/main.cpp)
target_link_libraries(lumo-sign PRIVATE lumo_signature Qt6::Core)
set_target_properties(lumo-sign PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools
    AUTOMOC OFF)

# SPDX-License-Identifier: GPL-3.0-or-later
# Adding a folder of videos through the main window (paths relative to the source root).
add_executable(intake_bench ${CMAKE_SOURCE_DIR}/bench/IntakeBench.cpp)
target_link_libraries(intake_bench PRIVATE lumo_gui)
set_target_properties(intake_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(intake_bench lumo_skin)

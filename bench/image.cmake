# SPDX-License-Identifier: GPL-3.0-or-later
# The image pipeline against the equivalent `convert` command lines: wall-time ratio and the
# pipeline's peak memory. Run: build/image_bench [--repeat N]
add_executable(image_bench ${CMAKE_SOURCE_DIR}/bench/ImageBench.cpp)
target_link_libraries(image_bench PRIVATE lumo_core)
set_target_properties(image_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# SPDX-License-Identifier: GPL-3.0-or-later
# The video engine benchmark: a batch of clips through the engine against the same command lines
# run directly. Run: <build dir>/video_bench [clips] [seconds per clip] [rounds].
add_executable(video_bench ${CMAKE_SOURCE_DIR}/bench/VideoBench.cpp)
target_link_libraries(video_bench PRIVATE lumo_core)

# Sources of the video engine (paths relative to src/).
list(APPEND LUMO_EXTRA_CORE_SOURCES
    video/CompressParams.cpp
    video/FfmpegCommand.cpp
    video/FfmpegOutputParser.cpp
    video/FfmpegRunner.cpp
    video/OutputNameResolver.cpp
    video/VideoEngine.cpp
)
list(APPEND LUMO_EXTRA_GUI_SOURCES
    video/VideoRows.cpp
)

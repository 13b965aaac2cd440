# Sources of the video engine (paths relative to src/).
list(APPEND LUMO_EXTRA_CORE_SOURCES
    video/VideoEngine.cpp
)

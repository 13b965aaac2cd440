# Sources of the image engine (paths relative to src/).
list(APPEND LUMO_EXTRA_CORE_SOURCES
    image/ImageEngine.cpp
    image/ImagePipeline.cpp
    image/OutputFile.cpp
    image/SourceQuality.cpp
)
list(APPEND LUMO_EXTRA_GUI_SOURCES
    image/ImageRows.cpp
)

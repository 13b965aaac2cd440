# Sources of the image engine (paths relative to src/).
list(APPEND LUMO_IMAGE_CORE_SOURCES
)

# Sources of the network code (paths relative to src/).
list(APPEND LUMO_EXTRA_CORE_SOURCES
)
list(APPEND LUMO_EXTRA_GUI_SOURCES
)

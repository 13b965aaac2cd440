# The tray menu and the settings dialog (paths relative to src/).
list(APPEND LUMO_EXTRA_GUI_SOURCES
    app/MainTaskMenu.cpp
    app/SetingDialog.cpp
)

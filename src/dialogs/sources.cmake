# The parameter dialog and the rows' pop-up menus (paths relative to src/).
list(APPEND LUMO_EXTRA_GUI_SOURCES
    video/ParamDialog.cpp
    intake/RowMenu.cpp
)

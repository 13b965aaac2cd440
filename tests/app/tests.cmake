# Tests of the tray menu and the settings dialog (paths relative to tests/).
lumo_add_test(shell_ui_tests
    app/SetingDialogTest.cpp
    app/MainTaskMenuTest.cpp
)

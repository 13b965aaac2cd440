# Tests of the parameter dialog and the rows' pop-up menus (paths relative to tests/).
lumo_add_test(dialog_tests dialogs/ParamDialogTest.cpp dialogs/RowMenuTest.cpp)

# The rows of both lists driven through the main window with the real engines.
lumo_add_test(rows_tests
    rows/VideoRowsTest.cpp
    rows/ImageRowsTest.cpp
    rows/JourneyTest.cpp
)

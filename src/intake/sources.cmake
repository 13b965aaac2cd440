# Intake sources beyond the probe (paths relative to src/).
list(APPEND LUMO_EXTRA_CORE_SOURCES
    intake/MediaScan.cpp
)
list(APPEND LUMO_EXTRA_GUI_SOURCES
    intake/ImageIntake.cpp
    intake/MainPage.cpp
    intake/RowBuilder.cpp
    intake/VideoIntake.cpp
)

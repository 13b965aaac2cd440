# Sources of the network code (paths relative to src/).
list(APPEND LUMO_EXTRA_CORE_SOURCES
    net/HttpClient.cpp
    net/HttpDownload.cpp
    net/UpgradeCheck.cpp
)
list(APPEND LUMO_EXTRA_GUI_SOURCES
    net/DownloadDialog.cpp
    net/FeedbackDialog.cpp
    net/Upgrader.cpp
)
list(APPEND LUMO_EXTRA_CORE_LIBRARIES CURL::libcurl PkgConfig::GLOG)

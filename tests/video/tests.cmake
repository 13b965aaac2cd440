# Tests of the video engine (paths relative to tests/).
lumo_add_test(video_tests
    video/FfmpegCommandTest.cpp
    video/FfmpegOutputParserTest.cpp
    video/OutputNameResolverTest.cpp
    video/VideoEngineTest.cpp
)

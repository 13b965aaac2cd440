# Tests of the image engine (paths relative to tests/).
lumo_add_test(image_tests
    image/ImageTestSupport.cpp
    image/ImagePipelineTest.cpp
    image/SourceQualityTest.cpp
    image/OutputFileTest.cpp
    image/ImageEngineTest.cpp
)

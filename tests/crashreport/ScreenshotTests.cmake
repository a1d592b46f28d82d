# Screenshot tests: portable ones everywhere, libpng decoding on the host, the capture
# under Wine with a helper process whose window lies over the test's own.
set(screenshot_host_sources ScreenshotPngTest.cpp PngDecoder.cpp)
set(screenshot_host_libs)
if(VM_HOST_BUILD AND NOT VM_FUZZ)
  find_package(PNG REQUIRED)
  set(screenshot_host_libs PNG::PNG)
endif()
vm_test(screenshot_tests
  SOURCES ScreenshotBmpTest.cpp WuQuantizerTest.cpp ScreenshotSamples.cpp
  HOST_SOURCES ${screenshot_host_sources}
  LIBS vm_screenshot ${screenshot_host_libs})


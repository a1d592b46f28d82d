# Screenshot tests: portable ones everywhere, libpng decoding on the host, the capture
# under Wine with a helper process whose window lies over the test's own.
set(screenshot_host_libs)
if(VM_HOST_BUILD AND NOT VM_FUZZ)
  find_package(PNG REQUIRED)
  set(screenshot_host_libs PNG::PNG)
endif()
vm_test(screenshot_tests
  SOURCES ScreenshotBmpTest.cpp WuQuantizerTest.cpp ScreenshotSamples.cpp
  HOST_SOURCES ScreenshotPngTest.cpp PngDecoder.cpp
  WIN32_SOURCES ScreenCaptureTest_win32.cpp
  LIBS vm_screenshot ${screenshot_host_libs})

if(WIN32 AND NOT VM_FUZZ)
  add_executable(screenshot_overlay WIN32 ScreenshotOverlay_win32.cpp)
  vm_target_defaults(screenshot_overlay)
  target_link_libraries(screenshot_overlay PRIVATE gdi32 user32)
  add_dependencies(screenshot_tests screenshot_overlay)
endif()

vm_fuzzer(fuzz_bmp_loader SOURCES FuzzBmpLoader.cpp LIBS vm_screenshot
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/fuzz_bmp_loader)

if(VM_BENCH)
  find_package(PNG REQUIRED)
  vm_benchmark(bench-png SOURCES BenchPng.cpp ScreenshotSamples.cpp LIBS vm_screenshot PNG::PNG imagequant)
endif()

# The bmp2png tool, its PNGs read back with Python's zlib.
if(VM_HOST_BUILD AND NOT VM_FUZZ)
  add_test(NAME host.bmp2png COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/bmp2png_test.py $<TARGET_FILE:bmp2png>)
  set_tests_properties(host.bmp2png PROPERTIES LABELS host)
endif()

# screenshot_memory: what capture plus encoding adds to the process's memory (prints figures).
if(WIN32 AND NOT VM_FUZZ)
  add_executable(screenshot_memory ScreenshotMemory_win32.cpp ScreenshotSamples.cpp)
  vm_target_defaults(screenshot_memory)
  target_link_libraries(screenshot_memory PRIVATE vm_screenshot psapi)
endif()

# Exception capture tests. Included from tests/crashreport/CMakeLists.txt.
# The layouts, the frame walk, the symbol table and the file check on the host; the crash
# matrix for real under Wine: a program that fails in every way a user may meet, driven
# from outside by test_crash_matrix.py.
vm_test(capture_tests
  SOURCES capture/CaptureLayoutsTest.cpp capture/FrameWalkTest.cpp capture/CallFrameInfoTest.cpp capture/SymbolTableTest.cpp
          capture/FileCheckTest.cpp
  LIBS vm_capture ZLIB::ZLIB)

if(WIN32 AND NOT VM_FUZZ AND TARGET vm_crash_resource)
  add_executable(crashmatrix capture/CrashMatrix_win32.cpp)
  vm_target_defaults(crashmatrix)
  target_link_libraries(crashmatrix PRIVATE vm_capture vm_toolkit vm_crash_resource)
  # Every function of the matrix keeps its own frame (no inlining, no tail calls), so that
  # the tests can name them.
  target_compile_options(crashmatrix PRIVATE -fno-inline -fno-optimize-sibling-calls)
  vm_postlink(crashmatrix)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME wine.crash_matrix
    COMMAND ${Python3_EXECUTABLE} -m unittest -v test_crash_matrix
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/capture)
  vm_wine_test_properties(wine.crash_matrix e2e)
  set_property(TEST wine.crash_matrix APPEND PROPERTY ENVIRONMENT
    "VM_BUILD=${CMAKE_BINARY_DIR};VM_CRASHMATRIX=$<TARGET_FILE:crashmatrix>;PYTHONDONTWRITEBYTECODE=1")
  set_property(TEST wine.crash_matrix PROPERTY TIMEOUT 600)
endif()

# The program file as the reporter reads it at start, from the signing fixtures on.
vm_fuzzer(program_file_fuzzer SOURCES capture/ProgramFileFuzzer.cpp LIBS vm_capture
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/data/signed)

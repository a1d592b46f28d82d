# Bug-report tests. Included from tests/crashreport/CMakeLists.txt.
vm_test(report_tests
  SOURCES CrashExceptionTest.cpp ReportFormatTest.cpp BugReportReaderTest.cpp BugReportFileTest.cpp
          PendingReportTest.cpp
  HOST_SOURCES BugReportFileTest_posix.cpp
  WIN32_SOURCES BugReportFileTest_win32.cpp HeaderFactsTest_win32.cpp
  LIBS vm_crashreport)

vm_fuzzer(bugreport_reader_fuzzer
  SOURCES BugReportReaderFuzzer.cpp
  LIBS vm_crashreport
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/bugreport_reader_fuzzer)

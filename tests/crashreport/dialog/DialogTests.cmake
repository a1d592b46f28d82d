# Error dialog tests: the layout and the dialog's rules on the host. Included from
# tests/crashreport/CMakeLists.txt. The dialog itself is driven under Wine by the crash
# matrix and tests/e2e/test_crash_report.py.
vm_test(dialog_tests
  SOURCES dialog/DialogRulesTest.cpp
  LIBS vm_dialog)

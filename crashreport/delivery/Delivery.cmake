# Report delivery: vm_delivery. Included from crashreport/CMakeLists.txt; paths are
# relative to crashreport/.
vm_library(vm_delivery
  SOURCES delivery/Base64.cpp delivery/HttpUploadMessage.cpp delivery/HttpAnswer.cpp delivery/HttpUpload.cpp delivery/TlsStream.cpp
          delivery/MailMessage.cpp delivery/SmtpReply.cpp delivery/SmtpClient.cpp delivery/Mailto.cpp
          delivery/DeliverySystem.cpp delivery/DeliveryFiles.cpp delivery/ReportDelivery.cpp delivery/ZipArchive.cpp
  HOST_SOURCES delivery/Socket_posix.cpp delivery/TlsStream_posix.cpp delivery/DeliveryFiles_posix.cpp delivery/DeliverySystem_posix.cpp
  WIN32_SOURCES delivery/Socket_win32.cpp delivery/TlsStream_win32.cpp delivery/DeliveryFiles_win32.cpp delivery/DeliverySystem_win32.cpp
  LIBS vm_crashreport vm_crashsettings vm_screenshot ZLIB::ZLIB)
if(WIN32)
  target_link_libraries(vm_delivery PUBLIC ws2_32 secur32 crypt32 dnsapi shell32 user32 advapi32)
endif()

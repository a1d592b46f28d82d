// The Windows side of the delivery system: the proxy as the user's Internet options keep
// it in the registry, and a hidden send through the real system that shows nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include "crashreport/delivery/HttpUpload.h"
#include "crashreport/delivery/ReportDelivery.h"
#include "tests/crashreport/common/FakeCrashSystem.h"
#include "tests/crashreport/common/ShippedRecord.h"
#include "tests/crashreport/common/TestServer.h"

namespace vm {
namespace {

constexpr const char* kInternetSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Sets the user's proxy values for one test and puts the old ones back afterwards.
class TProxyValues {
public:
  TProxyValues() {
    RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FKey, nullptr);
    FHadEnable = Save("ProxyEnable", FEnable);
    FHadServer = Save("ProxyServer", FServer);
  }
  ~TProxyValues() {
    Restore("ProxyEnable", FHadEnable, FEnable);
    Restore("ProxyServer", FHadServer, FServer);
    RegCloseKey(FKey);
  }
  void Set(DWORD enable, const std::string& server) {
    RegSetValueExA(FKey, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
    RegSetValueExA(FKey, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                   DWORD(server.size() + 1));
  }

private:
  struct TValue {
    DWORD Type = 0;
    std::string Bytes;
  };
  bool Save(const char* name, TValue& v) {
    char buffer[1024];
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(FKey, name, nullptr, &v.Type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
      return false;
    v.Bytes.assign(buffer, size);
    return true;
  }
  void Restore(const char* name, bool had, const TValue& v) {
    if (had)
      RegSetValueExA(FKey, name, 0, v.Type, reinterpret_cast<const BYTE*>(v.Bytes.data()), DWORD(v.Bytes.size()));
    else
      RegDeleteValueA(FKey, name);
  }
  HKEY FKey = nullptr;
  TValue FEnable, FServer;
  bool FHadEnable = false, FHadServer = false;
};

TEST(DeliverySystemWin32, UploadGoesThroughTheUsersProxy) {
  test::TTestServer proxy("upload_server.py");
  TProxyValues values;
  const std::string setting = "http=127.0.0.1:" + std::to_string(proxy.Port()) + ";https=127.0.0.1:1";
  values.Set(0, setting);
  EXPECT_EQ(PlatformDeliverySystem().InternetProxy(), "") << "a proxy that is switched off is none";
  values.Set(1, setting);
  ASSERT_EQ(PlatformDeliverySystem().InternetProxy(), setting);

  THttpUploadJob job;
  job.Server = "http://crashreport.invalid/submit.php";
  job.Port = 80;
  job.ProxySetting = PlatformDeliverySystem().InternetProxy();
  THttpUploadResult result = UploadViaHttp(job);
  EXPECT_TRUE(result.Success) << result.Error;
  auto received = proxy.Read("request-1.bin");
  ASSERT_TRUE(received);
  EXPECT_EQ(received->substr(0, received->find("\r\n")), "POST /submit.php HTTP/1.1");
  EXPECT_NE(received->find("\r\nHost: crashreport.invalid:80\r\n"), std::string::npos);
}

// The failure box of a send: a dialog captioned "Error" in this process.
HWND FindFailureBox(int waitMs) {
  for (int waited = 0; waited <= waitMs; waited += 50) {
    HWND box = FindWindowA("#32770", "Error");
    DWORD process = 0;
    if (box) GetWindowThreadProcessId(box, &process);
    if (box && process == GetCurrentProcessId()) return box;
    Sleep(50);
  }
  return nullptr;
}

TEST(DeliverySystemWin32, FailureBoxOnlyWhenNotHidden) {
  // Through the real system, on a thread of its own, so that this test can look for the box.
  test::TTestServer server("upload_server.py", {"--answer", "500"});
  test::TFakeCrashSystem crash;
  crash.Modules[crash.Exe] = {"C:\\veilmark.exe", ShippedRecordBytes(), "1.0.0.0", {}};
  TICrashSettings settings(crash.Exe);
  settings.SetHttpServer("127.0.0.1/submit.php");
  settings.SetHttpPort(server.Port());
  settings.SetBugRepFile(server.File("bugreport.txt"));
  for (bool hidden : {true, false}) {
    SCOPED_TRACE(hidden ? "hidden" : "shown");
    TSendRequest request;
    request.BugReport = "exception message : boom\r\n";
    request.Settings = &settings;
    request.Hidden = hidden;
    request.Background = true;
    std::shared_ptr<TSendThread> thread;
    ASSERT_TRUE(SendBugReport(request, &thread));
    ASSERT_TRUE(thread && thread->NativeHandle());
    HWND box = FindFailureBox(hidden ? 0 : 10000);
    if (hidden) {
      // The caller waits on the thread's own handle; a box would keep the thread alive.
      EXPECT_EQ(WaitForSingleObject(HANDLE(thread->NativeHandle()), 10000), WAIT_OBJECT_0);
      EXPECT_FALSE(FindFailureBox(0));
    } else {
      ASSERT_TRUE(box) << "no failure box";
      char text[256] = {};
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      EXPECT_STREQ(text, "Sorry, sending the bug report didn't work.");
      EXPECT_NE(WaitForSingleObject(HANDLE(thread->NativeHandle()), 0), WAIT_OBJECT_0) << "the box waits for the user";
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      EXPECT_EQ(WaitForSingleObject(HANDLE(thread->NativeHandle()), 10000), WAIT_OBJECT_0);
    }
  }
  EXPECT_TRUE(server.Read("request-2.bin")) << "both uploads were tried";
}

}  // namespace
}  // namespace vm

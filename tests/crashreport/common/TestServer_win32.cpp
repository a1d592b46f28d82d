// Under Wine the servers run as Unix Python processes: Wine starts a Unix program named by
// its Unix path, and its "Z:" drive shows the Unix root, so both sides see one folder.
#include <winsock2.h>

#include <windows.h>

#include <atomic>

#include "tests/crashreport/common/TestServer.h"

namespace vm::test {

std::string NewServerFolder(std::string& unixFolder) {
  static std::atomic<int> counter{0};
  std::string name = "vm-delivery-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
  unixFolder = "/tmp/" + name + "/";
  std::string folder = "Z:\\tmp\\" + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
}

void StartPython(const std::string& script, const std::vector<std::string>& args) {
  std::string command = "/usr/bin/python3 \"" + script + "\"";
  for (const auto& a : args) command += " \"" + a + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    if (pi.hProcess) CloseHandle(pi.hProcess);
    if (pi.hThread) CloseHandle(pi.hThread);
  }
}

void RemoveServerFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name != "." && name != "..") DeleteFileA((folder + name).c_str());
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
}

int RefusedPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  closesocket(s);
  return ntohs(a.sin_port);
}

void SleepMs(int ms) { Sleep(DWORD(ms)); }

}  // namespace vm::test

namespace vm::test {
void MakeReadOnly(const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY); }
}  // namespace vm::test

// The host's stand-in for the delivery system: a real temporary folder and threads, the
// proxy from the environment as Unix programs keep it; no shell, mail client or resolver
// for mail exchangers, so those channels fail here as they do on a system without them.
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

#include "base/FileIO.h"
#include "crashreport/delivery/DeliverySystem.h"

namespace vm {

namespace {

// The thread shares its end state with the handle, so that dropping the handle never
// waits for the send.
class TPosixThread : public TSendThread {
public:
  explicit TPosixThread(std::function<void()> work) : FState(std::make_shared<TState>()) {
    std::thread([state = FState, work = std::move(work)] {
      try {
        work();
      } catch (...) {
      }
      std::lock_guard lock(state->Mutex);
      state->Done = true;
      state->Ended.notify_all();
    }).detach();
  }
  bool Wait(int timeoutMs) override {
    std::unique_lock lock(FState->Mutex);
    return FState->Ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FState->Done; });
  }
  std::uintptr_t NativeHandle() const override { return std::uintptr_t(0); }

private:
  struct TState {
    std::mutex Mutex;
    std::condition_variable Ended;
    bool Done = false;
  };
  std::shared_ptr<TState> FState;
};

}  // namespace

std::string ReporterTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + ReporterFolderName(ProgramPath());
}

namespace {

class TPosixDeliverySystem : public IDeliverySystem {
public:
  std::string TempFolder() override {
    std::string folder = ReporterTempFolder();
    CreateFolder(folder);
    return folder + "/";
  }
  std::string ExeFolder() override { return FolderOf(ProgramPath()); }
  std::string InternetProxy() override {
    const char* p = std::getenv("http_proxy");
    return p ? p : "";
  }
  void OpenWithShell(const std::string&) override {}
  void ShowSendFailure(std::uintptr_t, const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  bool SendViaSystemMail(const TMailMessage&, std::uintptr_t) override { return false; }
  std::vector<std::string> MailExchangers(const std::string&) override { return {}; }
  std::string MailtoOpenCommand() override { return {}; }
  bool StartCommandLine(const std::string&) override { return false; }
  IProgressBox* ProgressBox() override { return InstalledProgressBox(); }
  std::shared_ptr<TSendThread> StartThread(std::function<void()> work) override {
    return std::make_shared<TPosixThread>(std::move(work));
  }
  std::string MailDate() override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &local);
    return text;
  }
  std::string Charset() override { return "windows-1252"; }
};

}  // namespace

IDeliverySystem& PlatformDeliverySystem() {
  static TPosixDeliverySystem system;
  return system;
}

}  // namespace vm

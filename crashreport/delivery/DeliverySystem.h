// What a send needs from the system besides sockets and files, behind one narrow seam:
// DeliverySystem_win32.cpp on Windows, DeliverySystem_posix.cpp as the host's stand-in;
// host tests install a recording one. Also the progress box's seam, which the error dialog
// fills with a window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/delivery/MailMessage.h"

namespace vm {

// The steps of a send as the progress box shows them; the weights share out its bar.
enum class TSendStep { PrepareAttachments, MxLookup, Connect, Authenticate, SendMail, Fields, Attachments, Final };

struct TProgressStep {
  TSendStep Step;
  std::string Text;
  int Weight;
};

class IProgressBox {
public:
  virtual ~IProgressBox() = default;
  // `modal`: the box keeps `parent` (a window handle, or 0) disabled while it is open.
  virtual void Open(const std::string& title, const std::vector<TProgressStep>& steps, std::uintptr_t parent,
                    bool modal) = 0;
  virtual void Enter(TSendStep step) = 0;
  virtual void Close() = 0;
};

// A sending thread the caller may wait on.
class TSendThread {
public:
  virtual ~TSendThread() = default;
  // True when the thread ended within `timeoutMs`.
  virtual bool Wait(int timeoutMs) = 0;
  // The platform's handle (a thread HANDLE on Windows).
  virtual std::uintptr_t NativeHandle() const = 0;
};

// The reporter's own folder in the user's temporary folder, "<program>.Zentrapix", without a
// trailing separator and not created here: the screenshot, a send's copies of the files it
// attaches and the pending-report files live in it. ReporterFolderName is its last part.
std::string ReporterTempFolder();
std::string ReporterFolderName(const std::string& programPath);

class IDeliverySystem {
public:
  virtual ~IDeliverySystem() = default;
  // The reporter's temporary folder, with its trailing separator; created when missing.
  virtual std::string TempFolder() = 0;
  // The executable's folder with its trailing separator, for a relative `BugRepFile`.
  virtual std::string ExeFolder() = 0;
  // The user's Internet proxy text when a proxy is switched on, else empty.
  virtual std::string InternetProxy() = 0;
  virtual void OpenWithShell(const std::string& address) = 0;
  // The error box of a failed send.
  virtual void ShowSendFailure(std::uintptr_t parent, const std::string& text) = 0;
  // Hands the mail to the system's mail client; false when there is none or it refused.
  virtual bool SendViaSystemMail(const TMailMessage& mail, std::uintptr_t parent) = 0;
  // The mail exchangers of a domain, best first.
  virtual std::vector<std::string> MailExchangers(const std::string& domain) = 0;
  // The shell's open command for mailto links, and the start of a command line.
  virtual std::string MailtoOpenCommand() = 0;
  virtual bool StartCommandLine(const std::string& commandLine) = 0;
  // The progress box in use, or none (then nothing is shown).
  virtual IProgressBox* ProgressBox() = 0;
  virtual std::shared_ptr<TSendThread> StartThread(std::function<void()> work) = 0;
  // The "Date" header of mails: RFC 5322 local time.
  virtual std::string MailDate() = 0;
  // The name of the ANSI code page for mail headers ("windows-1252").
  virtual std::string Charset() = 0;
};

IDeliverySystem& DeliverySystem();
// Installs `system` (nullptr: the platform's own again) and returns the previous one.
IDeliverySystem* SetDeliverySystem(IDeliverySystem* system);
IDeliverySystem& PlatformDeliverySystem();

}  // namespace vm

namespace vm {
// The progress box that the platform systems hand out; the error dialog installs its window.
IProgressBox* InstalledProgressBox();
IProgressBox* SetProgressBox(IProgressBox* box);
}  // namespace vm

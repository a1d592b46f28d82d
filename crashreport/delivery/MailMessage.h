// The report as a mail: the texts and files every mail channel sends, and the MIME form
// the SMTP channels put on the wire. Tests: tests/crashreport/delivery/MailChannelsTest.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm {

struct TMailFile {
  std::string Path, SendAs;
};

struct TMailMessage {
  std::string Sender;                   // "Name <a@b>" or "a@b"; may be empty
  std::vector<std::string> Recipients;  // bare addresses
  std::string Subject, Body;
  std::vector<TMailFile> Files;
};

// `MailAddr` split at "," and ";", trimmed, empty entries dropped.
std::vector<std::string> SplitRecipients(std::string_view list);
// The address inside the angle brackets, or the trimmed text when it has none.
std::string BareAddress(std::string_view address);

// A header text as is when it is plain ASCII without controls, else as RFC 2047 encoded
// words ("=?charset?B?...?=") of at most 75 characters each, joined by CR LF and a blank.
std::string EncodeHeaderText(std::string_view text, std::string_view charset);
// "Name <a@b>" with only the name part encoded.
std::string EncodeAddressHeader(std::string_view address, std::string_view charset);

// One multipart message: "MIME-Version: 1.0", the text part, each file in Base64. Lines end
// in CR LF; dot-stuffing is the transport's business. Files that cannot be read are left out.
std::string BuildMimeMessage(const TMailMessage& mail, std::string_view charset, std::string_view date);

}  // namespace vm

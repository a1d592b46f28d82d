// The program's exception base class. Every error of our own code is an Exception with a
// message; the crash reporter filters on class names, so each class can tell whether it or
// any ancestor carries a given name.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace vm {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}

  const std::string& Message() const { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

  virtual std::string_view ClassName() const { return "Exception"; }
  // True when this class or one of its ancestors is called `name` (case-insensitive, as
  // class names are compared by the reporter's filters).
  virtual bool InheritsFrom(std::string_view name) const;

private:
  std::string FMessage;
};

// Declares an exception class: ExceptionClass<EFoo, EBar> makes EFoo a child of EBar whose
// class name is EFoo::kClassName.
template <class Self, class Base>
class ExceptionClass : public Base {
public:
  using Base::Base;
  std::string_view ClassName() const override { return Self::kClassName; }
  bool InheritsFrom(std::string_view name) const override {
    return SameClassName(name, Self::kClassName) || Base::InheritsFrom(name);
  }

protected:
  static bool SameClassName(std::string_view a, std::string_view b);
};

bool SameClassNameImpl(std::string_view a, std::string_view b);

template <class Self, class Base>
bool ExceptionClass<Self, Base>::SameClassName(std::string_view a, std::string_view b) {
  return SameClassNameImpl(a, b);
}

// Ends an operation on purpose without an error report.
class EAbort : public ExceptionClass<EAbort, Exception> {
public:
  static constexpr const char* kClassName = "EAbort";
  using ExceptionClass::ExceptionClass;
};

class EStreamError : public ExceptionClass<EStreamError, Exception> {
public:
  static constexpr const char* kClassName = "EStreamError";
  using ExceptionClass::ExceptionClass;
};

class EFileStreamError : public ExceptionClass<EFileStreamError, EStreamError> {
public:
  static constexpr const char* kClassName = "EFileStreamError";
  using ExceptionClass::ExceptionClass;
};

// "Cannot open file "%s". %s"
class EFOpenError : public ExceptionClass<EFOpenError, EFileStreamError> {
public:
  static constexpr const char* kClassName = "EFOpenError";
  using ExceptionClass::ExceptionClass;
};

// "Cannot create file "%s". %s"
class EFCreateError : public ExceptionClass<EFCreateError, EFileStreamError> {
public:
  static constexpr const char* kClassName = "EFCreateError";
  using ExceptionClass::ExceptionClass;
};

// An operating-system call failed; the message is the system's description.
class EOSError : public ExceptionClass<EOSError, Exception> {
public:
  static constexpr const char* kClassName = "EOSError";
  EOSError(std::string message, unsigned long code) : ExceptionClass(std::move(message)), ErrorCode(code) {}
  unsigned long ErrorCode;
};

}  // namespace vm

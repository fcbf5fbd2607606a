// Message boxes. The application asks by string; the text table supplies the
// words (see app/messages.h for the by-number variants).
#pragma once

#include <string>

namespace kivo {

enum class MessageType { Information, Warning, Error, Confirmation };
enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class MessageResult { Ok, Yes, No, Cancel };

class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual MessageResult Show(const std::string& message, MessageType type,
                             MessageButtons buttons) = 0;
  // Hourglass while a long operation runs.
  virtual void SetBusy(bool /*busy*/) {}
};

}  // namespace kivo

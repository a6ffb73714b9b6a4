// The operating-system style error that platform calls raise: an error code and the system's
// text for it, like the toolkit's EOSError on the original platform.
#pragma once

#include <QString>
#include <stdexcept>

namespace platform
{

class OSError : public std::runtime_error
{
public:
    OSError(int code, const QString& message);
    int code() const { return code_; }
    QString message() const { return QString::fromUtf8(what()); }

private:
    int code_;
};

// The system's text for errno-style `code`, in the user's language where the system has it.
QString SystemErrorText(int code);

// Raises OSError for errno-style `code`, with `context` put before the system's text.
[[noreturn]] void RaiseOSError(int code, const QString& context = {});

} // namespace platform

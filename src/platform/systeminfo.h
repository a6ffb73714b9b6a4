// What the update check tells the maker's web service about this machine: the machine's
// identifier, the operating system and the user's locale.
#pragma once

#include <QString>

namespace platform
{

// The machine's identifier (/etc/machine-id, else /var/lib/dbus/machine-id) written as
// 8-4-4-4-12 lower-case hexadecimal digits; empty when neither file holds a valid identifier.
QString ReadMachineGuid();
// `raw` (32 hexadecimal digits, as the machine-id file holds them) in the 8-4-4-4-12 form; empty
// when it is not such an identifier.
QString FormatMachineGuid(const QString& raw);

// "<system> (Version <major>.<minor>, Build <build>, <64-bit|32-bit> Edition)" from the
// distribution's name (/etc/os-release) and the kernel's version.
QString OsDescription();
// The same text from the contents of an os-release file, the kernel release ("6.1.0-18-amd64")
// and the machine name ("x86_64").
QString FormatOsDescription(const QString& osRelease, const QString& kernelRelease,
                            const QString& machine);

// The user's locale as language and region joined by a hyphen ("en-US"), or "xx" when the
// process has no named locale.
QString UserLocaleName();
// The same from a locale name such as "en_US", "en_US.UTF-8" or "C".
QString FormatLocaleName(const QString& localeName);

} // namespace platform

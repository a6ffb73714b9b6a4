// The test process's private environment: its own HOME and XDG folders, set up before any test.
#pragma once

#include <QString>

namespace testenv {

// The root of this test process's private folders.
QString Root();

// A new empty folder under Root() for one test.
QString NewFolder(const QString& hint = QStringLiteral("case"));

// Writes `bytes` to `path`, creating parent folders.
void WriteFile(const QString& path, const QByteArray& bytes);

} // namespace testenv

// The test process's private environment: its own HOME and XDG folders, set up before any test.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for image sizes.
inline void PrintTo(const QSize& size, std::ostream* out)
{
    *out << size.width() << 'x' << size.height();
}

namespace testenv
{

// The root of this test process's private folders.
QString Root();

// A new empty folder under Root() for one test.
QString NewFolder(const QString& hint = QStringLiteral("case"));

// Writes `bytes` to `path`, creating parent folders.
void WriteFile(const QString& path, const QByteArray& bytes);

// The bytes of `path`; empty when it cannot be read.
QByteArray ReadFile(const QString& path);

// What can be seen of the entry at `path` without following a link or reading a device: its type,
// permissions, identity, size and time of change, a link's target and a regular file's bytes.
// Equal states mean the entry was left as it was.
QByteArray EntryState(const QString& path);

// Every entry of a folder by name, hidden ones included, so a leftover temporary file shows.
QStringList FolderEntries(const QString& folder);

// Saves a plain `width` x `height` image at `path` (JPEG or WebP by its extension, else PNG),
// creating parent folders; returns `path`.
QString WriteImage(const QString& path, int width, int height);

// Lays `folder` (ending with '/') out as the upscaler's: `program` linked in as
// realesrgan-ncnn-vulkan, and files for the Photo and Artwork models.
void LayOutUpscalerFolder(const QString& folder, const QString& program);

// True when the process has ended: gone, or a zombie that its parent has not reaped yet.
bool ProcessEnded(qint64 pid);

// The size an image file's header gives; invalid when it cannot be read.
QSize ImageSize(const QString& path);

} // namespace testenv

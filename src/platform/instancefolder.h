// A private temporary folder that belongs to one running instance of the program, so that two
// instances never share, judge or delete each other's upscaler output.
#pragma once

#include <QString>

namespace platform
{

class TInstanceFolder
{
public:
    // Makes a new folder "run-XXXXXX" under `parent` (ending with '/'; empty: TempFolder()) and
    // marks it as owned for as long as this object lives. Path() is empty when that failed.
    explicit TInstanceFolder(const QString& parent = {});
    // Removes the folder with everything in it.
    ~TInstanceFolder();
    TInstanceFolder(const TInstanceFolder&) = delete;
    TInstanceFolder& operator=(const TInstanceFolder&) = delete;

    // The folder, ending with '/'; empty when it could not be made.
    const QString& Path() const { return path_; }

    // Removes the folders under `parent` (empty: TempFolder()) whose owner has ended, in any way,
    // SIGKILL included; a folder that a running instance owns is left alone.
    static void RemoveAbandoned(const QString& parent = {});

private:
    QString path_;
    int ownerLock_ = -1;
};

} // namespace platform

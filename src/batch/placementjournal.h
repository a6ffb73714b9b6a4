// A record, kept while one enlarged image is put in place, of the files that placement creates:
// work that a crash or a kill cut off is finished or undone at the next start, whichever keeps
// the user's files whole. It only ever names files the program itself creates, and the original.
#pragma once

#include <QString>
#include <memory>

class TPlacementJournal
{
public:
    enum class TKind { Copy, ReplaceDeleting, ReplaceRecycling };

    // The journal folder in the per-user private folder, ending with '/'; empty when unusable.
    static QString Folder();

    // Starts an entry in `folder` for putting `part` (a hidden file not yet made) in place of or
    // beside `original`, before the first step. With `durable` every note reaches the disk
    // before the step it announces. Empty when no entry could be written: then the placement
    // must not begin.
    static std::unique_ptr<TPlacementJournal> Begin(const QString& folder, TKind kind,
                                                    const QString& original, const QString& part,
                                                    bool durable);
    // Only closes the entry; one that was not finished stays for the next recovery, as it would
    // after a kill.
    ~TPlacementJournal();
    TPlacementJournal(const TPlacementJournal&) = delete;
    TPlacementJournal& operator=(const TPlacementJournal&) = delete;

    // Notes the trash slot (file, record, hidden copy) before any of it is made.
    bool NoteTrashSlot(const QString& file, const QString& info, const QString& part);
    // The placement is over, done or undone.
    void Finish();

    // Finishes or undoes every entry in `folder` that no running placement holds. Returns how
    // many entries it handled.
    static int Recover(const QString& folder);

private:
    TPlacementJournal(QString path, int fd, bool durable);
    bool Append(const char* key, const QString& value);

    QString path_;
    int fd_ = -1;
    bool durable_ = false;
};

#pragma once
// The archive the launcher carries: "ARCH", an entry count, then per entry a
// name ("\"-separated, relative), the uncompressed size, the compressed size
// and one zlib stream. BundleArchive reads the archive in place from a block
// that outlives it (the archive in the executable's own image) and unpacks
// every entry into a folder.

#include <cstdint>
#include <memory>

#include "platform/fs.h"

namespace scrivel {

class BundleArchive {
public:
    // What the last extractTo did; for diagnostics only.
    enum class Outcome {
        NotRun,          // extractTo has not been called
        Complete,        // every entry was read (see entriesSkipped)
        NotLoaded,       // no successful load before extractTo
        BadMagic,        // the copy does not begin with "ARCH"
        FolderUnusable,  // the destination is not an existing directory
        Damaged,         // a record is truncated, has impossible sizes or
                         // does not inflate; unpacking stopped there
        OutOfMemory,     // a buffer for an entry could not be allocated
        NoSpace          // an entry could not be created or written for
                         // lack of space (or quota); unpacking stopped
                         // there, without a partial file of that entry
    };

    BundleArchive();
    ~BundleArchive();
    BundleArchive(const BundleArchive&) = delete;
    BundleArchive& operator=(const BundleArchive&) = delete;

    // Takes the block to read, where it lies: it must stay as it is for as
    // long as this object may read it. False (and nothing held) for an empty
    // block; a second call replaces the first block.
    bool loadInPlace(const unsigned char* block, int32_t length);

    // Unpacks every entry into `folder`, an existing directory held open;
    // every entry is created through it (see platform::openEntry). Entry
    // names that are absolute, contain "..", or do not fit in a path are
    // passed over; a damaged record, or a file system that runs out of
    // space, stops the unpacking without leaving a partial file of that
    // entry.
    void extractTo(const platform::Folder& folder);

    Outcome lastOutcome() const { return outcome_; }
    // Files written / entries passed over by the last extractTo.
    int32_t entriesWritten() const { return written_; }
    int32_t entriesSkipped() const { return skipped_; }

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
    Outcome outcome_;
    int32_t written_;
    int32_t skipped_;
};

}  // namespace scrivel

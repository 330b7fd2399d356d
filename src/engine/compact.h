// Giving a database file's free space back. While a database is in use its
// file only grows (by doubling) and never shrinks, however much is deleted.
// dbCompactFile copies the last committed state of a file that no process
// uses into a fresh file beside it, laid out tightly, checks that copy as
// the program's start checks a database, syncs it and renames it over the
// file: a kill or a full disk at any point leaves the old file or the new
// one, whole.
//
// The copy takes the file's place with all that says who may use it: the
// file's group, permission bits and extended attributes, access control
// lists among them, each by name (and none that the file has not, such as a
// folder's default ACL given to a new file). The owner needs no copying: a
// file of another user is not compacted. A database shared with a group or
// by ACL is usual, so it is compacted as any other; where one of these
// cannot be given to the copy (a group its user is not in, an attribute the
// system or the user may not set), the file is left as it was: a copy that
// kept less would lock out those the file is shared with, without a word,
// and the file is only larger for it. Attributes the system shows only to
// its administrator (trusted.*) are neither seen nor kept by another user.
//
// The caller keeps no database of its own process open while it compacts
// (the check of the copy attaches the program's table descriptors), and
// opens the database only afterwards.
//
// The compacted file is laid out as a new file is formatted:
//   page 0         the header: size = the file's size, curr 0, clean, the
//                  source's version; both roots alike, with the committed
//                  root's ids in use and free-id chain, and its index
//                  capacity doubled until a quarter of it is free
//   4,096          object index of root 0, then that of root 1 (the same)
//   then           the bitmap pages, ids 2 on, one run covering the whole file
//   then           the objects whose size is a multiple of 4,096 (pages: each
//                  starts on a page boundary, and the pages of one hash table
//                  lie one after the other), in id order, then every other
//                  object in id order, each straight after the last
//   to the end     free and zero: a quarter of what the file holds, at the
//                  least, so that the next commits and edits need no growth
// Every object keeps its id and its bytes, and every free id its place in
// the free-id chain, but for a hash table of a size that this release would
// move to a larger one (see hashtab.h), sound as the copy reads it: its items
// are moved into that size, on new page ids after the last id in use (laid
// out after the other pages), its items' links and its table object are
// rewritten, and its old page ids are put at the head of the free-id chain. The size is a multiple of 524,288 bytes (what one
// bitmap page covers) and at least the size of a new file.
#pragma once

#include <cstdint>
#include <string>

// What a compaction found and did.
struct dbCompactionResult {
    enum Outcome {
        dbCompacted,      // the file was replaced by its compacted copy
        dbNothingToGain,  // too little of the file is free, or there is no file: left as it was
        dbFileInUse,      // another process, or a database of this one, has it open: left as it was
        dbNotCompacted,   // the file or its copy failed a check, or the copy could not be
                          // written, given the file's access or put in place: the file
                          // was left as it was
    };
    Outcome outcome = dbNothingToGain;
    uint64_t fileSize = 0;       // bytes of the file found
    uint64_t inUse = 0;          // bytes its committed state takes, as its bitmap marks them
    uint64_t compactedSize = 0;  // bytes of the compacted file: written, or that it would have
    int error = 0;               // errno value of the step that failed, 0 when none did
    std::string reason;          // why the file was not compacted, for a log
};

enum dbCompactionRule {
    dbCompactWhenWorthIt,  // compact when at most half of the file is in use and the compacted
                           // file takes at most two thirds of it
    dbCompactAlways,       // compact whatever it gains
    dbMeasureOnly,         // only tell fileSize, inUse and compactedSize
};

// Points of a compaction reported to dbFileObserver::reached (with the
// compacted file's dbFile), one before each step on the files that the
// observer hears of no other way.
enum dbCompactionPoint {
    dbPointFileLocked = 10,  // the file is open and locked, before a copy left over is removed
    dbPointCopyMade,         // the copy has been made, before it is sized
    dbPointCopyWritten,      // the copy holds everything, before it is flushed
    dbPointCopyClosed,       // the copy has been synced and closed, before it is checked
    dbPointCopyChecked,      // the copy passed its check, before it is renamed over the file
    dbPointCopyInPlace,      // the copy has been renamed over the file and the folder synced
};

// The name of the copy made beside a file.
std::string dbCompactionCopyName(const std::string& fileName);

// Compacts the database file by the rule. Decides from the header and the
// committed bitmap alone before it reads anything else, and leaves the file
// byte for byte as it was whenever it does not compact it. A copy left over
// by a compaction that was stopped is removed.
dbCompactionResult dbCompactFile(const char* fileName, dbCompactionRule rule = dbCompactWhenWorthIt);

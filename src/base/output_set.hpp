#pragma once
/// Output files written as one set: each to a temporary file beside its target, moved into place
/// together once every one is complete, the previous files kept whole when anything fails.

#include <optional>
#include <string>
#include <vector>

#include "base/text_io.hpp"

/// Why a set, or the folder meant for it, cannot be used: the exit status (the system's error
/// code, or one of exitStatus) and one sentence.
struct OutputFailure {
    int status = 0;
    std::string sentence;
};

/// One file of a set.
struct OutputMember {
    std::string target;     // the path it replaces (the final file when the given one is a link)
    std::string shownName;  // how sentences name it
    std::string temporary;  // where it is written until the set is moved into place
    std::string backup;     // the previous file's second name while the set is moved
    bool existed = false;   // a previous file stood at the target
    bool linkedBackup = false;  // the backup is a second link, not the previous file moved away
    bool removed = false;   // the set removes the target instead of writing it (no temporary)
};

/// The files of one run into one folder.
struct OutputSet {
    std::string folder;  // as given ("" or "." for the current folder)
    std::vector<OutputMember> members;
    std::vector<std::string> expected;        // shown names of the files still to be put in place
    std::vector<std::string> createdFolders;  // made for this set, removed again when it fails
    int lockDescriptor = -1;                  // the folder's lock while this set holds it
    /// Moves a file; ::rename unless a test makes it fail.
    int (*moveFile)(const char* from, const char* to) = nullptr;
};

/// How long a run waits for another run to let go of the folder before it is refused as busy.
inline constexpr double folderLockWaitSeconds = 20;
/// How long a run about to start waits for the folder before it is refused as busy: longer than
/// another run takes to move its finished files into place, far shorter than a dialogue holds it.
inline constexpr double folderProbeWaitSeconds = 2;

/// A set of the files `names` (more may join) that will write into `folder` (created, with its
/// missing parents, only when the first file is written).
OutputSet startOutputSet(const std::string& folder, const std::vector<std::string>& names);

/// Checks, before any work, that `folder` can take the set: an existing folder must be
/// writable; a missing one must be creatable (its nearest existing parent a writable folder).
/// `option` names it in sentences ("--out"). 73 for a folder that cannot be used, 64 for a file.
std::optional<OutputFailure> checkOutputFolder(const std::string& folder, const std::string& option);

/// Writes `text` whole as the file `name` of the set.
std::optional<OutputFailure> addOutputText(OutputSet& set, const std::string& name, const std::string& text);

/// Creates the temporary file of `name` and opens it as `channel` (named as the target in
/// sentences); the caller writes it and closes it with closeChannel.
std::optional<OutputFailure> openOutputChannel(OutputSet& set, const std::string& name, OutputChannel& channel);

/// Reserves a temporary path for `name` that a writer given a path (a library) creates itself;
/// the path keeps the name's extension. The file must exist when the set is committed.
std::optional<OutputFailure> reserveOutputPath(OutputSet& set, const std::string& name, std::string& path);

/// Makes the file `name` of the folder a member that the set removes: it goes when the set is
/// moved into place, and is put back when the set fails, so that a folder never holds a file of an
/// earlier set beside the files of this one. A name that no file has is left alone.
void removeWithOutputSet(OutputSet& set, const std::string& name);

/// Takes the folder's lock, waiting up to `waitSeconds` for another run to let it go (75 after).
std::optional<OutputFailure> lockOutputFolder(OutputSet& set, double waitSeconds);

/// Moves every file of the set into place, or none: the targets are checked first, SIGINT and
/// SIGTERM wait until the moves are done, and a move that fails puts back the files already
/// replaced. The set is empty afterwards either way.
std::optional<OutputFailure> commitOutputSet(OutputSet& set);

/// Removes the temporary files of the set (and the folders made for it); the targets stay.
void abandonOutputSet(OutputSet& set);

/// "kelmar.txt, kelmar.coe and kelmar.dxf are as they were": what a failed set leaves.
std::string untouchedFilesClause(const OutputSet& set);

/// What the set being written would leave if the run ended now ("" when no set is pending).
std::string pendingFilesClause();

/// Makes SIGINT and SIGTERM end the run with 130 and 143 after removing every temporary file of
/// the sets still being written, with a sentence on standard error.
void installInterruptCleanup();

/// Removes every temporary file of the sets still being written. Safe in a signal handler.
void removePendingTemporaries();

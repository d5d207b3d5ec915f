#include "base/output_set.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "base/run_error.hpp"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- what a signal handler may see

// The temporary files being written, as fixed buffers: a signal handler may only read them.
constexpr int pendingSlots = 64;
constexpr std::size_t pendingPathBytes = 4096;
char pendingPaths[pendingSlots][pendingPathBytes];
std::atomic<bool> pendingUsed[pendingSlots];
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs lock-free flags");

// What an interrupted run says about its files.
char interruptClause[2048] = "";
std::atomic<int> committing{0};
std::atomic<int> deferredSignal{0};

void registerTemporary(const std::string& path) {
    if (path.size() >= pendingPathBytes) return;
    for (int i = 0; i < pendingSlots; ++i) {
        if (pendingUsed[i].load()) continue;
        std::memcpy(pendingPaths[i], path.c_str(), path.size() + 1);
        pendingUsed[i].store(true);
        return;
    }
}

void unregisterTemporary(const std::string& path) {
    for (int i = 0; i < pendingSlots; ++i) {
        if (pendingUsed[i].load() && path == pendingPaths[i]) pendingUsed[i].store(false);
    }
}

void setInterruptClause(const std::string& clause) {
    std::size_t length = std::min(clause.size(), sizeof interruptClause - 1);
    interruptClause[0] = '\0';
    std::memcpy(interruptClause, clause.data(), length);
    interruptClause[length] = '\0';
}

void writeAll(int fd, const char* text, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, text, length);
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

void writeText(int fd, const char* text) { writeAll(fd, text, std::strlen(text)); }

[[noreturn]] void endInterrupted(int signal, bool afterWriting) {
    writeText(STDERR_FILENO, signal == SIGINT ? "kelmar: interrupted (SIGINT)" : "kelmar: interrupted (SIGTERM)");
    if (afterWriting) {
        writeText(STDERR_FILENO, " after the files of this run were written");
    } else if (interruptClause[0] != '\0') {
        writeText(STDERR_FILENO, "; nothing was replaced: ");
        writeText(STDERR_FILENO, interruptClause);
    }
    writeText(STDERR_FILENO, "\n");
    _exit(128 + signal);
}

void onInterrupt(int signal) {
    // While the set is moved into place the signal waits: the moves finish, or are undone, first.
    if (committing.load() != 0) {
        deferredSignal.store(signal);
        return;
    }
    removePendingTemporaries();
    endInterrupted(signal, false);
}

void removeAtExit() { removePendingTemporaries(); }

// ---------------------------------------------------------------- names and sentences

std::string systemText(int code) { return std::strerror(code); }

int lastError() { return errno != 0 ? errno : EIO; }

std::string shownNameOf(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder == ".") return name;
    return (fs::path(folder) / name).string();
}

std::string inQuotes(const std::string& name) { return "'" + name + "'"; }

std::string joinNames(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

/// The path a name of the set replaces: the final file when the name is a link, so that the link
/// stays and leads to the new content.
std::string targetPathOf(const OutputSet& set, const std::string& name) {
    const fs::path given = set.folder.empty() ? fs::path(name) : fs::path(set.folder) / name;
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(given, error))) {
        const fs::path resolved = fs::weakly_canonical(given, error);
        if (!error) return resolved.string();
    }
    return given.string();
}

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

unsigned temporaryCounter = 0;

/// A name beside `path` that no file has: ".kelmar-PID-N-" and the file's own name, so that the
/// extension stays (a library may choose its format by it).
std::string temporaryBeside(const std::string& path, const char* tag) {
    const std::string folder = folderOf(path);
    const std::string base = fs::path(path).filename().string();
    for (;;) {
        const std::string candidate = (fs::path(folder) / (".kelmar-" + std::to_string(::getpid()) + "-" +
                                                           std::to_string(++temporaryCounter) + tag + base))
                                          .string();
        struct stat info {};
        if (::lstat(candidate.c_str(), &info) != 0 && errno == ENOENT) return candidate;
    }
}

OutputFailure failureOf(const OutputSet& set, int code, const std::string& what) {
    return {code, what + ": " + systemText(code) + "; nothing was replaced: " + untouchedFilesClause(set)};
}

/// Creates the set's folder and its missing parents, remembering which it made.
std::optional<OutputFailure> ensureFolder(OutputSet& set) {
    if (set.folder.empty()) return std::nullopt;
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path p = fs::path(set.folder); !p.empty() && !fs::exists(p, error); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST) {
            const int code = lastError();
            return failureOf(set, code, "cannot create the folder " + inQuotes(it->string()));
        }
        set.createdFolders.push_back(it->string());
    }
    return std::nullopt;
}

/// The member of `name`, added with a fresh temporary name when it is new.
std::optional<OutputFailure> memberFor(OutputSet& set, const std::string& name, OutputMember*& member) {
    for (OutputMember& m : set.members) {
        if (m.shownName == shownNameOf(set.folder, name)) {
            member = &m;
            return std::nullopt;
        }
    }
    if (auto failure = ensureFolder(set)) return failure;
    OutputMember m;
    m.shownName = shownNameOf(set.folder, name);
    m.target = targetPathOf(set, name);
    m.temporary = temporaryBeside(m.target, "-");
    if (std::find(set.expected.begin(), set.expected.end(), m.shownName) == set.expected.end()) {
        set.expected.push_back(m.shownName);
    }
    set.members.push_back(m);
    member = &set.members.back();
    registerTemporary(member->temporary);
    setInterruptClause(untouchedFilesClause(set));
    return std::nullopt;
}

/// Creates the temporary file of a member with the previous file's permissions.
int createTemporary(const OutputMember& member) {
    const int fd = ::open(member.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return fd;
    struct stat previous {};
    if (::stat(member.target.c_str(), &previous) == 0 && S_ISREG(previous.st_mode)) {
        (void)::fchmod(fd, previous.st_mode & 07777);
    }
    return fd;
}

void releaseLock(OutputSet& set) {
    if (set.lockDescriptor < 0) return;
    ::close(set.lockDescriptor);  // closing lets the lock go
    set.lockDescriptor = -1;
}

void dropTemporaries(OutputSet& set) {
    for (const OutputMember& m : set.members) {
        if (m.removed) continue;
        ::unlink(m.temporary.c_str());
        unregisterTemporary(m.temporary);
    }
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

OutputSet startOutputSet(const std::string& folder, const std::vector<std::string>& names) {
    OutputSet set;
    set.folder = folder;
    for (const std::string& name : names) set.expected.push_back(shownNameOf(folder, name));
    set.moveFile = &::rename;
    return set;
}

std::optional<OutputFailure> checkOutputFolder(const std::string& folder, const std::string& option) {
    if (folder.empty()) {
        return OutputFailure{exitStatus::usage, option + " is empty: name a folder for the output files"};
    }
    const std::string named = option + " " + inQuotes(folder);
    std::error_code error;
    const fs::file_status link = fs::symlink_status(folder, error);
    if (error && error != std::errc::no_such_file_or_directory) {
        return OutputFailure{exitStatus::outputFolder, named + " cannot be a folder: " + error.message() +
                                                         " (part of its path is a file, not a folder)"};
    }
    const fs::file_status status = fs::status(folder, error);
    if (fs::is_symlink(link) && !fs::exists(status)) {
        return OutputFailure{exitStatus::outputFolder,
                             named + " is a link to " + inQuotes(fs::read_symlink(folder, error).string()) +
                                 ", which does not exist: make the folder it names, or name another"};
    }
    if (fs::exists(status)) {
        if (!fs::is_directory(status)) return OutputFailure{exitStatus::usage, named + " is a file, not a folder"};
        if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            const int code = lastError();
            return OutputFailure{exitStatus::outputFolder,
                                 named + " is a folder this run cannot write into: " + systemText(code)};
        }
        return std::nullopt;
    }
    // A missing folder is made when the files are written: its nearest existing parent must allow it.
    fs::path parent = fs::path(folder).lexically_normal();
    for (;;) {
        parent = parent.has_relative_path() ? parent.parent_path() : parent;
        const fs::path probe = parent.empty() ? fs::path(".") : parent;
        const fs::file_status parentStatus = fs::status(probe, error);
        if (error && error != std::errc::no_such_file_or_directory) {
            return OutputFailure{exitStatus::outputFolder, named + " cannot be a folder: " + error.message() +
                                                             " (part of its path is a file, not a folder)"};
        }
        if (!fs::exists(parentStatus)) {
            if (parent.empty() || parent == parent.parent_path()) break;
            continue;
        }
        if (!fs::is_directory(parentStatus)) {
            return OutputFailure{exitStatus::outputFolder, named + " cannot be made: " + inQuotes(probe.string()) +
                                                             " is a file, not a folder"};
        }
        if (::access(probe.c_str(), W_OK | X_OK) != 0) {
            const int code = lastError();
            return OutputFailure{exitStatus::outputFolder, named + " cannot be made in " + inQuotes(probe.string()) +
                                                             ": " + systemText(code)};
        }
        return std::nullopt;
    }
    return OutputFailure{exitStatus::outputFolder, named + " cannot be made: no part of its path exists"};
}

std::optional<OutputFailure> addOutputText(OutputSet& set, const std::string& name, const std::string& text) {
    OutputMember* member = nullptr;
    if (auto failure = memberFor(set, name, member)) return failure;
    const std::string shown = member->shownName;
    errno = 0;
    const int fd = createTemporary(*member);
    if (fd < 0) return failureOf(set, lastError(), "cannot create " + inQuotes(shown));
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        errno = 0;
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0) {
            const int code = lastError();
            ::close(fd);
            return failureOf(set, code, "cannot write to " + inQuotes(shown));
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0) return failureOf(set, lastError(), "cannot finish writing " + inQuotes(shown));
    return std::nullopt;
}

std::optional<OutputFailure> openOutputChannel(OutputSet& set, const std::string& name, OutputChannel& channel) {
    OutputMember* member = nullptr;
    if (auto failure = memberFor(set, name, member)) return failure;
    errno = 0;
    const int fd = createTemporary(*member);
    if (fd < 0) return failureOf(set, lastError(), "cannot create " + inQuotes(member->shownName));
    channel = OutputChannel{};
    channel.name = member->shownName;
    channel.file = ::fdopen(fd, "wb");
    if (channel.file == nullptr) {
        const int code = lastError();
        ::close(fd);
        return failureOf(set, code, "cannot create " + inQuotes(member->shownName));
    }
    return std::nullopt;
}

std::optional<OutputFailure> reserveOutputPath(OutputSet& set, const std::string& name, std::string& path) {
    OutputMember* member = nullptr;
    if (auto failure = memberFor(set, name, member)) return failure;
    path = member->temporary;
    return std::nullopt;
}

void removeWithOutputSet(OutputSet& set, const std::string& name) {
    const std::string shown = shownNameOf(set.folder, name);
    for (const OutputMember& m : set.members) {
        if (m.shownName == shown) return;
    }
    OutputMember m;
    m.shownName = shown;
    // The name itself, not what a link leads to: a link left by an earlier set goes, its file stays.
    m.target = set.folder.empty() ? name : (fs::path(set.folder) / name).string();
    m.removed = true;
    set.members.push_back(m);
}

std::optional<OutputFailure> lockOutputFolder(OutputSet& set, double waitSeconds) {
    if (set.lockDescriptor >= 0) return std::nullopt;
    const std::string folder = set.folder.empty() ? std::string(".") : set.folder;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return failureOf(set, lastError(), "cannot open the folder " + inQuotes(folder));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            set.lockDescriptor = fd;
            return std::nullopt;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            // A file system without locks: the run goes on unguarded rather than not at all.
            ::close(fd);
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::close(fd);
    std::string sentence = "the folder " + inQuotes(folder) +
                           " is busy: another kelmar run is writing its files there; run again when it has ended";
    if (!set.expected.empty()) sentence += "; nothing was replaced: " + untouchedFilesClause(set);
    return OutputFailure{exitStatus::folderBusy, sentence};
}

std::optional<OutputFailure> commitOutputSet(OutputSet& set) {
    if (set.members.empty()) return std::nullopt;
    const bool lockedHere = set.lockDescriptor < 0;
    auto fail = [&](OutputFailure failure) {
        abandonOutputSet(set);
        return failure;
    };
    if (auto failure = lockOutputFolder(set, folderLockWaitSeconds)) return fail(*failure);

    // Every file is on the disk, and every target checked, before the first move: what can be
    // known to fail, fails here. A full disk may show only when the blocks are allocated, at the sync.
    for (OutputMember& m : set.members) {
        if (m.removed) {
            struct stat info {};
            errno = 0;
            if (::lstat(m.target.c_str(), &info) == 0) {
                if (S_ISDIR(info.st_mode)) return fail(failureOf(set, EISDIR, "cannot remove " + inQuotes(m.shownName)));
                m.existed = true;
            } else if (errno != ENOENT) {
                return fail(failureOf(set, lastError(), "cannot remove " + inQuotes(m.shownName)));
            } else {
                m.existed = false;
            }
            continue;
        }
        errno = 0;
        const int fd = ::open(m.temporary.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return fail(failureOf(set, lastError(), "the file " + inQuotes(m.shownName) + " was not written"));
        errno = 0;
        const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
        const int code = lastError();
        ::close(fd);
        if (!synced) return fail(failureOf(set, code, "cannot write to " + inQuotes(m.shownName)));
        struct stat info {};
        errno = 0;
        if (::lstat(m.target.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) return fail(failureOf(set, EISDIR, "cannot create " + inQuotes(m.shownName)));
            m.existed = true;
        } else if (errno != ENOENT) {
            return fail(failureOf(set, lastError(), "cannot replace " + inQuotes(m.shownName)));
        } else {
            m.existed = false;
        }
    }

    sigset_t interrupts, previousMask;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &interrupts, &previousMask);
    committing.store(1);

    // The previous files keep a second name until the whole set is in place.
    for (OutputMember& m : set.members) {
        if (!m.existed) continue;
        m.backup = temporaryBeside(m.target, "-previous-");
        m.linkedBackup = ::link(m.target.c_str(), m.backup.c_str()) == 0;
    }
    std::size_t moved = 0;
    int code = 0;
    std::string failedName;
    for (; moved < set.members.size(); ++moved) {
        OutputMember& m = set.members[moved];
        errno = 0;
        if (m.existed && !m.linkedBackup && set.moveFile(m.target.c_str(), m.backup.c_str()) != 0) {
            code = lastError();
            failedName = m.shownName;
            break;
        }
        if (m.removed) {
            // The backup holds the previous file: with a second link, the name goes now; without
            // one, the move to the backup above took it away.
            errno = 0;
            if (m.existed && m.linkedBackup && ::unlink(m.target.c_str()) != 0) {
                code = lastError();
                failedName = m.shownName;
                break;
            }
            continue;
        }
        errno = 0;
        if (set.moveFile(m.temporary.c_str(), m.target.c_str()) != 0) {
            code = lastError();
            failedName = m.shownName;
            if (m.existed && !m.linkedBackup) (void)::rename(m.backup.c_str(), m.target.c_str());
            break;
        }
        unregisterTemporary(m.temporary);
    }
    std::optional<OutputFailure> failure;
    if (code != 0) {
        // Put back what was already replaced, newest first.
        for (std::size_t i = moved; i-- > 0;) {
            const OutputMember& m = set.members[i];
            if (m.existed) {
                (void)::rename(m.backup.c_str(), m.target.c_str());
            } else if (!m.removed) {
                (void)::unlink(m.target.c_str());
            }
        }
        for (std::size_t i = moved; i < set.members.size(); ++i) {
            if (set.members[i].linkedBackup) (void)::unlink(set.members[i].backup.c_str());
        }
        const bool removal = std::any_of(set.members.begin(), set.members.end(), [&](const OutputMember& m) {
            return m.removed && m.shownName == failedName;
        });
        failure = failureOf(set, code, (removal ? "cannot remove " : "cannot move ") + inQuotes(failedName) +
                                           (removal ? "" : " into place"));
    } else {
        for (const OutputMember& m : set.members) {
            if (m.existed) (void)::unlink(m.backup.c_str());
        }
        syncFolder(folderOf(set.members.front().target));
    }

    committing.store(0);
    int signal = deferredSignal.exchange(0);
    if (failure) {
        abandonOutputSet(set);
    } else {
        for (const OutputMember& m : set.members) {
            set.expected.erase(std::remove(set.expected.begin(), set.expected.end(), m.shownName), set.expected.end());
        }
        set.members.clear();
        set.createdFolders.clear();
        if (lockedHere) releaseLock(set);
        setInterruptClause("");
    }
    // A signal held back in this thread is ended here, saying whether the set is in place.
    sigset_t waiting;
    sigemptyset(&waiting);
    if (signal == 0 && sigpending(&waiting) == 0) {
        if (sigismember(&waiting, SIGTERM)) signal = SIGTERM;
        else if (sigismember(&waiting, SIGINT)) signal = SIGINT;
    }
    if (signal != 0) endInterrupted(signal, !failure);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    return failure;
}

void abandonOutputSet(OutputSet& set) {
    dropTemporaries(set);
    set.members.clear();
    for (auto it = set.createdFolders.rbegin(); it != set.createdFolders.rend(); ++it) (void)::rmdir(it->c_str());
    set.createdFolders.clear();
    releaseLock(set);
    set.expected.clear();
    setInterruptClause("");
}

std::string untouchedFilesClause(const OutputSet& set) {
    std::vector<std::string> names = set.expected;
    if (names.empty()) {
        for (const OutputMember& m : set.members) names.push_back(m.shownName);
    }
    if (names.empty()) return "no file was replaced";
    return joinNames(names) + (names.size() == 1 ? " is as it was" : " are as they were");
}

void installInterruptCleanup() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    std::atexit(removeAtExit);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void removePendingTemporaries() {
    for (int i = 0; i < pendingSlots; ++i) {
        if (pendingUsed[i].exchange(false)) ::unlink(pendingPaths[i]);
    }
}

std::string pendingFilesClause() { return interruptClause; }

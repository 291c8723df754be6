#include "driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bundle_archive.h"
#include "embedded_archive.h"
#include "platform/host.h"
#include "runtime_host.h"

namespace scrivel {

namespace {

const char* const kSilentSwitch = "/silent";

// The vector of C strings over `texts`, null-terminated, as the start-up
// code and the runtime take arguments.
std::vector<char*> argumentVector(std::vector<std::string>& texts) {
    std::vector<char*> vector;
    for (std::string& text : texts)
        vector.push_back(&text[0]);
    vector.push_back(nullptr);
    return vector;
}

// Spare working folders: "<folder>-<process id>-<n>" beside the usual one,
// for runs that find the usual folder impossible to clear.
constexpr int kSpareAttempts = 16;

std::string spareFolderName(const std::string& folder, unsigned long pid, int n) {
    return folder + "-" + std::to_string(pid) + "-" + std::to_string(n);
}

bool isDigits(const std::string& text, std::size_t from, std::size_t to) {
    if (from >= to)
        return false;
    for (std::size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// Whether an entry name is that of a spare folder: the folder's name, "-",
// digits, "-", digits, and nothing else.
bool isSpareFolderName(const std::string& name) {
    const std::string prefix = std::string(platform::kWorkFolderName) + "-";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::size_t dash = name.find('-', prefix.size());
    return dash != std::string::npos && isDigits(name, prefix.size(), dash) &&
           isDigits(name, dash + 1, name.size());
}

// Removes the spare folders earlier runs left in the temporary directory,
// as far as they can go now. Only runs under the lock, so none of them is
// in use.
void removeSpareFolders(const std::string& temp) {
    for (const std::string& name : platform::entryNames(temp))
        if (isSpareFolderName(name))
            platform::removeWorkFolder(platform::joinPath(temp, name));
}

// Creates a spare folder of this run under a name no other path has.
// Not open after reporting why none could be made, or with `noSpace` set
// (and nothing reported) when there was no room for it.
platform::Folder createSpareFolder(const platform::Folder& temp, const std::string& folder, bool& noSpace) {
    std::string error;
    platform::Folder spare;
    for (int n = 1; n <= kSpareAttempts && !noSpace; ++n) {
        const std::string name = spareFolderName(platform::kWorkFolderName, platform::processId(), n);
        if (!platform::fitsPath(platform::joinPath(temp.path(), name)))
            break;
        if (platform::createWorkFolder(temp, name, spare, error, &noSpace))
            return spare;
    }
    if (!noSpace)
        platform::reportFailure("the working folder " + folder + " left by an earlier run cannot be removed, " +
                                "and no other folder can be made beside it" + (error.empty() ? "" : ": " + error));
    return spare;
}

// Deletes whatever an earlier run left at the folder's path and creates the
// folder anew. When what is there cannot be removed (a file in it is held
// open or protected), a spare folder beside it serves this run instead; a
// later run removes both once they can go. Returns the folder to use, not
// open after reporting why there is none, or with `noSpace` set when the
// place has no room even for the folder.
platform::Folder recreateWorkFolder(const platform::Folder& temp, const std::string& folder, bool& noSpace) {
    removeSpareFolders(temp.path());
    platform::Folder work;
    switch (platform::removeWorkFolder(folder)) {
    case platform::RemoveResult::Absent:
    case platform::RemoveResult::Removed:
        break;
    case platform::RemoveResult::Foreign:
        platform::reportFailure("the working folder " + folder + " belongs to another user; it is left alone");
        return work;
    case platform::RemoveResult::Failed:
        return createSpareFolder(temp, folder, noSpace);
    }
    std::string error;
    if (!platform::createWorkFolder(temp, platform::kWorkFolderName, work, error, &noSpace) && !noSpace)
        platform::reportFailure(error);
    return work;
}

// How far unpacking the archive got.
enum class Unpacked {
    NoArchive,   // the executable carries none; nothing was written
    Incomplete,  // some files are missing; the runtime must not start
    NoSpace,     // the place ran out of space; another may have room
    Complete
};

// Unpacks the archive into the folder, read in place from the executable's
// image, which stays mapped for the whole process.
Unpacked unpackArchive(const platform::Folder& folder) {
    const EmbeddedArchive block = embeddedArchive();
    BundleArchive archive;
    if (!archive.loadInPlace(block.data, block.length)) {
        platform::reportFailure("the executable carries no archive");
        return Unpacked::NoArchive;
    }
    archive.extractTo(folder);
    // The runtime never reads the block again.
    releaseEmbeddedArchive(block);
    switch (archive.lastOutcome()) {
    case BundleArchive::Outcome::Complete:
        if (archive.entriesSkipped() == 0)
            return Unpacked::Complete;
        // A full disk, for one: starting a runtime with files missing could
        // fail in any way, so it is not started at all.
        platform::reportFailure("some files of the archive could not be unpacked into " + folder.path());
        break;
    case BundleArchive::Outcome::NoSpace:
        return Unpacked::NoSpace;
    case BundleArchive::Outcome::BadMagic:
        platform::reportFailure("the archive in the executable is not an archive");
        break;
    case BundleArchive::Outcome::Damaged:
        platform::reportFailure("the archive in the executable is damaged");
        break;
    default:
        platform::reportFailure("the archive could not be unpacked into " + folder.path());
        break;
    }
    return Unpacked::Incomplete;
}

// The runtime the launcher carries is configured by the launcher alone: the
// runtime reads settings from every MONO_* variable (debug options, log
// levels, the thread suspension policy, ...), and a stray one can make it
// print its own messages, skip the tool or abort with the working folder
// left behind. They are dropped before the runtime is loaded, unless
// SCRIVEL_KEEP_MONO_ENV=1 asks to keep them for profiling or tracing.
void dropRuntimeVariables() {
    const char* keep = std::getenv("SCRIVEL_KEEP_MONO_ENV");
    if (keep == nullptr || std::strcmp(keep, "1") != 0)
        platform::removeEnvironmentVariables("MONO_");
}

// Whether a run in one temporary directory is over, or the next candidate
// may do better.
enum class Attempt { Done, TryNext };

// Loads the runtime from the folder, if it is still the one this run made,
// and has it run the tool. Argument 0 becomes the launcher's own absolute
// path. TryNext, with the reason, when the folder does not allow running
// programs: nothing of the runtime has been loaded then.
Attempt startTool(const platform::Folder& folder, int argc, char** argv, std::string& reason) {
    std::string error;
    if (!platform::isStillWorkFolder(folder, error)) {
        platform::reportFailure(error);
        return Attempt::Done;
    }
    platform::prepareLocale();
    dropRuntimeVariables();
    if (!loadRuntime(folder.path(), error)) {
        reason = "cannot load the runtime library: " + error;
        if (platform::isExecutionRefused(error))
            return Attempt::TryNext;
        platform::reportFailure(reason);
        return Attempt::Done;
    }
    // Argument 0 is the launcher's own absolute path; the rest are the
    // user's arguments as the platform's entry point handed them over.
    std::vector<std::string> texts;
    texts.push_back(platform::executablePath(argc > 0 ? argv[0] : nullptr));
    for (int i = 1; i < argc; ++i)
        texts.push_back(argv[i]);
    std::vector<char*> args = argumentVector(texts);
    if (runTool(folder.path(), static_cast<int>(args.size()) - 1, args.data(), error) != ToolRun::Ran)
        platform::reportFailure(error);
    return Attempt::Done;
}

// One run with its working folder in `temp`, the directory `candidate`
// gave: under the lock, from the first deletion to the last, so a second
// launcher waits instead of deleting this one's folder. Failures that
// another place cannot mend are reported here and end the run; a place
// without room for the runtime is left as it was found (but for the lock
// file) for the next. A fresh directory goes with the run.
Attempt runIn(const platform::Folder& temp, const platform::TempCandidate& candidate, int argc, char** argv,
              std::string& reason) {
    const std::string folder = platform::joinPath(temp.path(), platform::kWorkFolderName);
    if (!platform::fitsPath(folder)) {
        reason = "the working folder's path is too long (the limit is " + std::to_string(platform::kMaxPath) +
                 " bytes): " + folder;
        return Attempt::TryNext;
    }
    if (!platform::lockWorkFolder(folder, reason))
        return Attempt::TryNext;
    // A fresh directory holds nothing but this run's: all of it goes.
    platform::armCleanup(candidate.fresh ? temp.path() : folder);
    Attempt attempt = Attempt::Done;
    bool noSpace = false;
    const platform::Folder work = recreateWorkFolder(temp, folder, noSpace);
    if (work.isOpen()) {
        if (work.path() != folder && !candidate.fresh)
            platform::armCleanup(work.path());
        // After a failed archive load the empty folder stays until the next start.
        const Unpacked unpacked = unpackArchive(work);
        noSpace = unpacked == Unpacked::NoSpace;
        if (unpacked == Unpacked::Complete)
            attempt = startTool(work, argc, argv, reason);
        if (unpacked != Unpacked::NoArchive &&
            platform::removeWorkFolder(work.path()) == platform::RemoveResult::Failed)
            platform::reportFailure("the working folder " + work.path() + " could not be removed completely");
    }
    if (noSpace) {
        // A fresh directory is gone by now: its place is named instead.
        reason = candidate.origin + ": no space left in " + (candidate.fresh ? candidate.path : temp.path()) +
                 " for the working folder";
        attempt = Attempt::TryNext;
    }
    platform::disarmCleanup();
    platform::unlockWorkFolder();
    if (candidate.fresh)
        platform::removeWorkFolder(temp.path());
    return attempt;
}

// Everything between choosing the output mode and releasing it: the
// candidates for the temporary directory are tried in order until a run has
// taken place in one; when none would do, one line says why for each.
void run(int argc, char** argv) {
    std::vector<std::string> reasons;
    std::vector<std::string> tried;
    for (const platform::TempCandidate& candidate : platform::temporaryCandidates()) {
        platform::Folder temp;
        std::string reason;
        if (!platform::openTemporaryDirectory(candidate, temp, reason)) {
            if (!reason.empty())
                reasons.push_back(reason);
            continue;
        }
        if (std::find(tried.begin(), tried.end(), temp.path()) != tried.end())
            continue;
        tried.push_back(temp.path());
        if (runIn(temp, candidate, argc, argv, reason) == Attempt::Done)
            return;
        reasons.push_back(reason);
    }
    if (reasons.empty())
        reasons.push_back("no temporary directory");
    std::string line = reasons.size() == 1 ? std::string() : "no usable place for the working folder: ";
    for (std::size_t i = 0; i < reasons.size(); ++i)
        line += (i == 0 ? "" : "; ") + reasons[i];
    platform::reportFailure(line);
}

}  // namespace

bool takeSilentSwitch(int& argc, char** argv) {
    // Element 0 is the program itself, never the switch.
    if (argc < 2 || argv[argc - 1] == nullptr || std::strcmp(argv[argc - 1], kSilentSwitch) != 0)
        return false;
    --argc;
    argv[argc] = nullptr;
    return true;
}

int runLauncher(int argc, char** argv) {
    const bool silent = takeSilentSwitch(argc, argv);
    platform::beginOutput(silent ? platform::OutputMode::Silent : platform::OutputMode::Console);
    run(argc, argv);
    platform::endOutput();
    return 0;
}

int runLauncher(std::vector<std::string> arguments) {
    std::vector<char*> argv = argumentVector(arguments);
    return runLauncher(static_cast<int>(arguments.size()), argv.data());
}

}  // namespace scrivel

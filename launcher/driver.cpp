#include "driver.h"

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
    const std::string prefix = std::string(host::kWorkFolderName) + "-";
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
    for (const std::string& name : host::entryNames(temp))
        if (isSpareFolderName(name))
            host::removeWorkFolder(host::joinPath(temp, name));
}

// Creates a spare folder of this run under a name no other path has.
// "" after reporting why none could be made.
std::string createSpareFolder(const std::string& folder) {
    std::string error;
    for (int n = 1; n <= kSpareAttempts; ++n) {
        const std::string spare = spareFolderName(folder, host::processId(), n);
        if (spare.size() >= host::kMaxPath)
            break;
        if (host::createWorkFolder(spare, error))
            return spare;
    }
    host::reportFailure("the working folder " + folder + " left by an earlier run cannot be removed, " +
                        "and no other folder can be made beside it" + (error.empty() ? "" : ": " + error));
    return std::string();
}

// Deletes whatever an earlier run left at the folder's path and creates the
// folder anew. When what is there cannot be removed (a file in it is held
// open or protected), a spare folder beside it serves this run instead; a
// later run removes both once they can go. Returns the folder to use, or ""
// after reporting why there is none.
std::string recreateWorkFolder(const std::string& temp, const std::string& folder) {
    removeSpareFolders(temp);
    switch (host::removeWorkFolder(folder)) {
    case host::RemoveResult::Absent:
    case host::RemoveResult::Removed:
        break;
    case host::RemoveResult::Foreign:
        host::reportFailure("the working folder " + folder + " belongs to another user; it is left alone");
        return std::string();
    case host::RemoveResult::Failed:
        return createSpareFolder(folder);
    }
    std::string error;
    if (!host::createWorkFolder(folder, error)) {
        host::reportFailure(error);
        return std::string();
    }
    return folder;
}

// How far unpacking the archive got.
enum class Unpacked {
    NoArchive,   // the executable carries none; nothing was written
    Incomplete,  // some files are missing; the runtime must not start
    Complete
};

// Copies the archive out of the executable and unpacks it into the folder;
// the copy is gone again when this returns.
Unpacked unpackArchive(const std::string& folder) {
    const EmbeddedArchive block = embeddedArchive();
    BundleArchive archive;
    if (!archive.load(block.data, block.length)) {
        host::reportFailure("the executable carries no archive");
        return Unpacked::NoArchive;
    }
    archive.extractTo(folder.c_str());
    switch (archive.lastOutcome()) {
    case BundleArchive::Outcome::Complete:
        if (archive.entriesSkipped() == 0)
            return Unpacked::Complete;
        // A full disk, for one: starting a runtime with files missing could
        // fail in any way, so it is not started at all.
        host::reportFailure("some files of the archive could not be unpacked into " + folder);
        break;
    case BundleArchive::Outcome::BadMagic:
        host::reportFailure("the archive in the executable is not an archive");
        break;
    case BundleArchive::Outcome::Damaged:
        host::reportFailure("the archive in the executable is damaged");
        break;
    default:
        host::reportFailure("the archive could not be unpacked into " + folder);
        break;
    }
    return Unpacked::Incomplete;
}

// Loads the runtime from the folder and has it run the tool. Argument 0
// becomes the launcher's own absolute path.
void startTool(const std::string& folder, int argc, char** argv) {
    std::string error;
    host::prepareLocale();
    if (!loadRuntime(folder, error)) {
        host::reportFailure("cannot load the runtime library: " + error);
        return;
    }
    // Argument 0 is the launcher's own absolute path; the rest are the
    // user's arguments as the start-up code split them.
    std::string self = host::executablePath(argc > 0 ? argv[0] : nullptr);
    std::vector<char*> args;
    args.push_back(&self[0]);
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    if (runTool(folder, static_cast<int>(args.size()) - 1, args.data(), error) != ToolRun::Ran)
        host::reportFailure(error);
}

// Everything between choosing the output mode and releasing it.
void run(int argc, char** argv) {
    std::string error;
    std::string temp;
    if (!host::temporaryDirectory(temp, error)) {
        host::reportFailure(error);
        return;
    }
    const std::string folder = host::joinPath(temp, host::kWorkFolderName);
    if (folder.size() >= host::kMaxPath) {
        host::reportFailure("the working folder's path is too long: " + folder);
        return;
    }
    // The lock is held from the first deletion to the last, so a second
    // launcher waits instead of deleting this one's folder.
    if (!host::lockWorkFolder(folder, error)) {
        host::reportFailure(error);
        return;
    }
    host::armCleanup(folder);
    const std::string work = recreateWorkFolder(temp, folder);
    if (!work.empty()) {
        if (work != folder)
            host::armCleanup(work);
        // After a failed archive load the empty folder stays until the next start.
        const Unpacked unpacked = unpackArchive(work);
        if (unpacked == Unpacked::Complete)
            startTool(work, argc, argv);
        if (unpacked != Unpacked::NoArchive && host::removeWorkFolder(work) == host::RemoveResult::Failed)
            host::reportFailure("the working folder " + work + " could not be removed completely");
    }
    host::disarmCleanup();
    host::unlockWorkFolder();
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
    host::beginOutput(silent ? host::OutputMode::Silent : host::OutputMode::Console);
    run(argc, argv);
    host::endOutput();
    return 0;
}

}  // namespace scrivel

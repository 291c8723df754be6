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

// Deletes whatever an earlier run left at the folder's path and creates the
// folder anew. False, after reporting why, when the folder cannot be used.
bool recreateWorkFolder(const std::string& folder) {
    switch (host::removeWorkFolder(folder)) {
    case host::RemoveResult::Absent:
    case host::RemoveResult::Removed:
        break;
    case host::RemoveResult::Foreign:
        host::reportFailure("the working folder " + folder + " belongs to another user; it is left alone");
        return false;
    case host::RemoveResult::Failed:
        host::reportFailure("the working folder " + folder + " left by an earlier run cannot be removed");
        return false;
    }
    std::string error;
    if (!host::createWorkFolder(folder, error)) {
        host::reportFailure(error);
        return false;
    }
    return true;
}

// Copies the archive out of the executable and unpacks it into the folder;
// the copy is gone again when this returns. False when the executable
// carries no archive.
bool unpackArchive(const std::string& folder) {
    const EmbeddedArchive block = embeddedArchive();
    BundleArchive archive;
    if (!archive.load(block.data, block.length)) {
        host::reportFailure("the executable carries no archive");
        return false;
    }
    archive.extractTo(folder.c_str());
    switch (archive.lastOutcome()) {
    case BundleArchive::Outcome::Complete:
        if (archive.entriesSkipped() > 0)
            host::reportFailure("some files of the archive could not be unpacked");
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
    return true;
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
    if (recreateWorkFolder(folder) && unpackArchive(folder)) {
        startTool(folder, argc, argv);
        if (host::removeWorkFolder(folder) == host::RemoveResult::Failed)
            host::reportFailure("the working folder " + folder + " could not be removed completely");
    }
    // After a failed archive load the empty folder stays until the next start.
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

// Checks a built Windows launcher without running it:
//
//   pe_check EXE --machine x86_64|i386 (--archive FILE | --no-archive)
//
// - the machine type, and the GUI subsystem (no console window of its own);
// - imports only from system libraries (a C++ runtime, zlib or thread library
//   linked as a DLL would be missing on the user's machine);
// - exactly one manifest, asking for asInvoker without UI access;
// - icon group 107 with two 32x32 images at 4 and 8 bits per pixel, each
//   present as an icon resource of the size the group states;
// - RCDATA 129 byte-identical to the archive the build made (or absent).
// Prints one line per failed check and ends with 1 if there was any.
#include "pe_image.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what.c_str());
        ++g_failures;
    }
}

std::vector<unsigned char> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PeError(std::string("cannot read ") + path);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool isSystemLibrary(const std::string& name) {
    static const std::set<std::string> allowed = {
        "kernel32.dll", "user32.dll",  "shell32.dll", "shlwapi.dll",
        "advapi32.dll", "msvcrt.dll",  "ole32.dll",   "gdi32.dll"};
    return allowed.count(lower(name)) != 0;
}

void checkImports(const PeImage& pe) {
    std::vector<std::string> dlls = pe.importedLibraries();
    check(!dlls.empty(), "the executable imports nothing (not a linked program?)");
    for (const std::string& dll : dlls)
        check(isSystemLibrary(dll), "imports from " + dll + ", which is not a system library");
}

void checkManifest(const PeImage& pe) {
    std::vector<PeResource> manifests = pe.resources(kResourceManifest);
    check(manifests.size() == 1, "expected exactly one manifest, found " +
                                     std::to_string(manifests.size()));
    if (manifests.empty()) return;
    check(manifests[0].id == 1, "the manifest is not resource 1 (process manifest)");
    std::string text(manifests[0].data.begin(), manifests[0].data.end());
    check(text.find("level=\"asInvoker\"") != std::string::npos,
          "the manifest does not ask for asInvoker");
    check(text.find("uiAccess=\"false\"") != std::string::npos,
          "the manifest does not refuse UI access");
    check(text.find("requireAdministrator") == std::string::npos &&
              text.find("highestAvailable") == std::string::npos,
          "the manifest asks for elevation");
}

void checkIcon(const PeImage& pe) {
    const PeResource* group = pe.findResource(kResourceGroupIcon, 107);
    check(group != nullptr, "icon group 107 is missing");
    if (!group) return;
    const std::vector<unsigned char>& g = group->data;
    check(g.size() >= 6 && readU16(g, 2) == 1, "icon group 107 is not an icon directory");
    if (g.size() < 6) return;
    unsigned count = readU16(g, 4);
    check(count == 2, "icon group 107 holds " + std::to_string(count) + " images, not 2");
    check(g.size() >= 6 + 14u * count, "icon group 107 is truncated");
    if (g.size() < 6 + 14u * count) return;
    std::set<unsigned> depths;
    for (unsigned i = 0; i < count; ++i) {
        std::size_t at = 6 + 14 * i;
        unsigned width = g[at] ? g[at] : 256, height = g[at + 1] ? g[at + 1] : 256;
        unsigned bits = readU16(g, at + 6);
        std::uint32_t bytes = readU32(g, at + 8);
        unsigned id = readU16(g, at + 12);
        std::string name = "icon image " + std::to_string(id);
        check(width == 32 && height == 32, name + " is not 32x32");
        depths.insert(bits);
        const PeResource* image = pe.findResource(kResourceIcon, id);
        check(image != nullptr, name + " named by the group is missing");
        if (!image) continue;
        check(image->data.size() == bytes, name + " differs in size from the group's entry");
        check(image->data.size() >= 40 && readU32(image->data, 0) == 40 &&
                  readU32(image->data, 4) == 32 && readU32(image->data, 8) == 64 &&
                  readU16(image->data, 14) == bits,
              name + " is not a 32x32 bitmap of the stated depth");
    }
    check(depths == std::set<unsigned>{4, 8}, "the icon images are not at 4 and 8 bits per pixel");
}

void checkArchive(const PeImage& pe, const char* archivePath) {
    const PeResource* archive = pe.findResource(kResourceRcData, 129);
    if (!archivePath) {
        check(archive == nullptr, "RCDATA 129 is present in an executable built without archive");
        return;
    }
    check(archive != nullptr, "RCDATA 129 (the archive) is missing");
    if (!archive) return;
    std::vector<unsigned char> expected = readFile(archivePath);
    check(archive->data == expected,
          "RCDATA 129 differs from " + std::string(archivePath) + " (" +
              std::to_string(archive->data.size()) + " bytes against " +
              std::to_string(expected.size()) + ")");
    check(pe.resources(kResourceRcData).size() == 1, "more than one RCDATA resource");
}

}  // namespace

int main(int argc, char** argv) {
    const char* exe = nullptr;
    const char* machine = nullptr;
    const char* archive = nullptr;
    bool noArchive = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--machine") == 0 && i + 1 < argc) machine = argv[++i];
        else if (std::strcmp(argv[i], "--archive") == 0 && i + 1 < argc) archive = argv[++i];
        else if (std::strcmp(argv[i], "--no-archive") == 0) noArchive = true;
        else exe = argv[i];
    }
    if (!exe || !machine || (archive == nullptr) == !noArchive) {
        std::fprintf(stderr, "usage: pe_check EXE --machine x86_64|i386 (--archive FILE | --no-archive)\n");
        return 2;
    }
    try {
        PeImage pe(readFile(exe));
        std::uint16_t wanted = std::strcmp(machine, "i386") == 0 ? kMachineI386 : kMachineAmd64;
        check(pe.machine() == wanted, std::string("the machine type is not ") + machine);
        check(pe.subsystem() == kSubsystemWindowsGui, "not built for the GUI subsystem");
        checkImports(pe);
        checkManifest(pe);
        checkIcon(pe);
        checkArchive(pe, archive);
    } catch (const PeError& e) {
        std::printf("FAILED: %s: %s\n", exe, e.what());
        return 1;
    }
    if (g_failures == 0) std::printf("%s: all checks passed\n", exe);
    return g_failures == 0 ? 0 : 1;
}

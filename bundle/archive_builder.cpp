// Writes the "ARCH" archive that the launcher carries.
//
//   archive_builder [--base <folder>] [--level <0-9>] <list-file> <output-archive>
//
// The list holds one entry per line: source path, TAB, entry name with "\"
// separators; blank lines and lines starting with # are ignored; relative
// source paths are taken from <folder> (default: the current folder).
// Entries are written in ascending order of their names compared without
// regard to case, each as: name length, name, size, compressed size, and one
// zlib stream from zlib's one-call compression at the default level, or at
// the level --level gives (0: stored, which unpacks at the speed of a copy,
// its checksum still checked). All
// integers are 32-bit little-endian. Any problem with the list leaves no
// output and ends with a message and exit status 1.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "entry_name.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMaxFieldValue = 0x7FFFFFFF;

struct Entry {
    std::string source;
    std::string name;
    int lineNumber;
};

struct Failure {
    std::string message;
};

[[noreturn]] void fail(const std::string& message) { throw Failure{message}; }

unsigned char lowerAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Negative, zero or positive as a sorts before, with or after b, ignoring
// the case of ASCII letters.
int compareIgnoringCase(const std::string& a, const std::string& b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const unsigned char x = lowerAscii(static_cast<unsigned char>(a[i]));
        const unsigned char y = lowerAscii(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool isBlank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

std::vector<Entry> readList(const std::string& listPath, const fs::path& base) {
    std::ifstream in(listPath, std::ios::binary);
    if (!in) fail(listPath + ": cannot read the list");
    std::vector<Entry> entries;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (isBlank(line) || line[0] == '#') continue;
        const std::string where = listPath + ":" + std::to_string(lineNumber) + ": ";
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0)
            fail(where + "expected <source path><TAB><entry name>");
        Entry entry;
        entry.source = line.substr(0, tab);
        entry.name = line.substr(tab + 1);
        entry.lineNumber = lineNumber;
        if (entry.name.find('/') != std::string::npos)
            fail(where + "entry name \"" + entry.name + "\" must separate folders with \\, not /");
        if (entry.name.size() > kMaxFieldValue ||
            !scrivel::isSafeEntryName(entry.name.data(), static_cast<int32_t>(entry.name.size())))
            fail(where + "entry name \"" + entry.name +
                 "\" must be a relative path without empty, \".\" or \"..\" components");
        fs::path source(entry.source);
        if (source.is_relative()) source = base / source;
        entry.source = source.string();
        entries.push_back(entry);
    }
    if (in.bad()) fail(listPath + ": cannot read the list");
    return entries;
}

void checkEntries(std::vector<Entry>& entries, const std::string& listPath) {
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return compareIgnoringCase(a.name, b.name) < 0;
    });
    for (size_t i = 1; i < entries.size(); ++i) {
        // Names equal but for case would land on one file on Windows.
        if (compareIgnoringCase(entries[i - 1].name, entries[i].name) == 0)
            fail(listPath + ":" + std::to_string(entries[i].lineNumber) + ": duplicate entry name \"" +
                 entries[i].name + "\" (also on line " + std::to_string(entries[i - 1].lineNumber) + ")");
    }
    for (const Entry& entry : entries) {
        const std::string where = listPath + ":" + std::to_string(entry.lineNumber) + ": ";
        std::error_code error;
        if (!fs::is_regular_file(entry.source, error))
            fail(where + "source file not found: " + entry.source);
        const uintmax_t size = fs::file_size(entry.source, error);
        if (error) fail(where + "cannot read the size of " + entry.source);
        if (size > kMaxFieldValue)
            fail(where + entry.source + " is larger than 2147483647 bytes");
    }
    if (entries.size() > kMaxFieldValue) fail(listPath + ": too many entries");
}

void putInt32(std::ostream& out, uint64_t value) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    out.write(reinterpret_cast<const char*>(bytes), 4);
}

std::vector<unsigned char> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot open " + path);
    std::vector<unsigned char> bytes(static_cast<size_t>(fs::file_size(path)));
    if (!bytes.empty()) in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<size_t>(in.gcount()) != bytes.size() && !bytes.empty())
        fail("cannot read " + path);
    return bytes;
}

void writeRecords(std::ostream& out, const std::vector<Entry>& entries, int level) {
    out.write("ARCH", 4);
    putInt32(out, entries.size());
    std::vector<unsigned char> packed;
    for (const Entry& entry : entries) {
        const std::vector<unsigned char> raw = readWhole(entry.source);
        uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
        packed.resize(packedSize);
        if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK)
            fail("cannot compress " + entry.source);
        if (packedSize > kMaxFieldValue)
            fail(entry.source + " compresses to more than 2147483647 bytes");
        putInt32(out, entry.name.size());
        out.write(entry.name.data(), static_cast<std::streamsize>(entry.name.size()));
        putInt32(out, raw.size());
        putInt32(out, packedSize);
        out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packedSize));
    }
}

void writeArchive(const std::vector<Entry>& entries, const std::string& outputPath, int level) {
    const std::string temporary = outputPath + ".part";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) fail("cannot create " + temporary);
    try {
        writeRecords(out, entries, level);
    } catch (...) {
        out.close();
        std::remove(temporary.c_str());
        throw;
    }
    out.close();
    if (!out) {
        std::remove(temporary.c_str());
        fail("cannot write " + temporary);
    }
    std::error_code error;
    fs::rename(temporary, outputPath, error);
    if (error) {
        std::remove(temporary.c_str());
        fail("cannot replace " + outputPath + ": " + error.message());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    fs::path base = ".";
    if (args.size() >= 2 && args[0] == "--base") {
        base = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    int level = Z_DEFAULT_COMPRESSION;
    if (args.size() >= 2 && args[0] == "--level") {
        if (args[1].size() != 1 || args[1][0] < '0' || args[1][0] > '9') {
            std::cerr << "archive_builder: --level takes 0 to 9\n";
            return 2;
        }
        level = args[1][0] - '0';
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 2) {
        std::cerr << "usage: archive_builder [--base <folder>] [--level <0-9>] <list-file> <output-archive>\n";
        return 2;
    }
    try {
        std::vector<Entry> entries = readList(args[0], base);
        checkEntries(entries, args[0]);
        writeArchive(entries, args[1], level);
    } catch (const Failure& failure) {
        std::cerr << "archive_builder: " << failure.message << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "archive_builder: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

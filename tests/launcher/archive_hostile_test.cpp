// Damaged and hostile archives: nothing outside the destination, no partial
// file of the entry where unpacking stopped.

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "test_support.h"

using namespace test_support;
using scrivel::BundleArchive;

namespace {
// The largest request the archive code has made for nothrow array storage
// (the form ByteBuffer and the archive copy use).
std::size_t largestArrayRequest = 0;
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    if (size > largestArrayRequest) largestArrayRequest = size;
    return ::operator new(size, tag);
}

namespace {

// A sandbox holding the destination folder "dest", so anything written
// beside or above the destination shows up in the sandbox listing.
struct Sandbox {
    Scratch root;
    std::string dest = root / "dest";
    Sandbox() { mkdir(dest.c_str(), 0700); }
    std::vector<std::string> outsideDest() const {
        std::vector<std::string> outside;
        for (const std::string& p : listTree(root.path()))
            if (p == "dest/" || p.compare(0, 5, "dest/") != 0) outside.push_back(p);
        return outside;
    }
};

}  // namespace

TEST(BundleArchiveHostile, NamesLeavingTheFolderArePassedOver) {
    const std::vector<std::string> hostile = {
        "..\\escape.txt", "lib\\..\\..\\escape.txt", "..", "\\escape.txt", "/tmp/escape.txt",
        "C:\\escape.txt", "lib\\ ..\\escape.txt", "lib\\...\\x", "lib\\\\x", "lib\\", ".\\x", "",
        std::string("lib\\a\0..\\x", 10), "../escape.txt"};
    for (const std::string& name : hostile) {
        Sandbox box;
        const Unpacked u =
            unpack(archive({record("before.txt", "b"), record(name, "evil"), record("after.txt", "a")}), box.dest);
        EXPECT_EQ(BundleArchive::Outcome::Complete, u.outcome) << name;
        EXPECT_EQ(std::vector<std::string>{"dest/"}, box.outsideDest()) << name;
        EXPECT_EQ((std::vector<std::string>{"after.txt", "before.txt"}), listTree(box.dest)) << name;
        EXPECT_EQ(2, u.written) << name;
        EXPECT_EQ(1, u.skipped) << name;
    }
    EXPECT_FALSE(exists("/tmp/escape.txt"));
}

TEST(BundleArchiveHostile, PathsLongerThanTheLimitArePassedOver) {
    Sandbox box;
    // dest + "/" + name + NUL must fit in kMaxPath bytes; components of 200.
    std::string dirs;
    while (scrivel::platform::kMaxPath - box.dest.size() - 2 - dirs.size() > 250)
        dirs += std::string(200, 'd') + "\\";
    const size_t room = scrivel::platform::kMaxPath - box.dest.size() - 2 - dirs.size();
    const std::string fits = dirs + std::string(room, 'f');
    const std::string tooLong = dirs + std::string(room + 1, 'g');
    const Unpacked u = unpack(archive({record(tooLong, "long"), record(fits, "fits")}), box.dest);
    EXPECT_EQ(1, u.written);
    EXPECT_EQ(1, u.skipped);
    std::string stored = fits;
    for (char& c : stored) c = c == '\\' ? '/' : c;
    EXPECT_EQ("fits", readFile(box.dest + "/" + stored));
}

TEST(BundleArchiveHostile, SymbolicLinkAtTheTargetIsNotFollowed) {
    Sandbox box;
    writeFile(box.root / "outside.txt", "outside");
    ASSERT_EQ(0, symlink((box.root / "outside.txt").c_str(), (box.dest + "/a.txt").c_str()));
    EXPECT_EQ(1, unpack(archive({record("a.txt", "evil")}), box.dest).skipped);
    EXPECT_EQ("outside", readFile(box.root / "outside.txt"));
}

TEST(BundleArchiveHostile, TruncationAnywhereLeavesOnlyCompleteFiles) {
    const std::string first = mixedBytes(70000, 1);
    const std::string second = mixedBytes(50000, 2);
    const std::string whole = archive({record("lib\\first.dll", first), record("lib\\second.dll", second)});
    const std::string firstRecord = record("lib\\first.dll", first);
    const size_t firstEnd = 8 + firstRecord.size();
    // Every cut near a record's header or end, and a sample of cuts in
    // between, up to one byte short of the end.
    const auto nearBoundary = [&](size_t cut) {
        return cut < 40 || cut + 40 > whole.size() || (cut + 40 > firstEnd && cut < firstEnd + 40);
    };
    for (size_t cut = 8; cut < whole.size(); cut += nearBoundary(cut) ? 1 : 997) {
        Sandbox box;
        ASSERT_EQ(BundleArchive::Outcome::Damaged, unpack(whole.substr(0, cut), box.dest).outcome) << cut;
        std::vector<std::string> expected = {};
        if (cut >= firstEnd) expected = {"lib/", "lib/first.dll"};
        std::vector<std::string> found = listTree(box.dest);
        // The parent folder of an entry may already exist when its record
        // breaks off; the file itself must not.
        if (found == std::vector<std::string>{"lib/"}) found.clear();
        ASSERT_EQ(expected, found) << cut;
        if (cut >= firstEnd) {
            ASSERT_EQ(first, readFile(box.dest + "/lib/first.dll")) << cut;
        }
        ASSERT_EQ(std::vector<std::string>{"dest/"}, box.outsideDest());
    }
    Sandbox box;
    EXPECT_EQ(BundleArchive::Outcome::Damaged, unpack(whole.substr(0, 6), box.dest).outcome);
}

// Compressed streams, and stored ones (level 0, written from where they lie,
// several blocks here), damaged in each part: data, checksum, sizes, a
// block's length.
TEST(BundleArchiveHostile, StreamThatDoesNotInflateToItsSizeStopsWithoutAFile) {
    std::vector<std::string> broken;
    for (const auto& [raw, level] : {std::pair<std::string, int>{mixedBytes(10000, 3), -1}, {mixedBytes(150000, 4), 0}}) {
        const std::string packed = zlibStream(raw, level);
        std::string flipped = packed;
        flipped[flipped.size() / 2] ^= 0x55;
        std::string badChecksum = packed;
        badChecksum[badChecksum.size() - 1] ^= 0x01;
        const int32_t size = static_cast<int32_t>(raw.size());
        const int32_t k = static_cast<int32_t>(packed.size());
        broken.push_back(rawRecord("bad.dll", size, k, flipped));
        broken.push_back(rawRecord("bad.dll", size, k, badChecksum));
        broken.push_back(rawRecord("bad.dll", size + 1, k, packed));  // stated size too large
        broken.push_back(rawRecord("bad.dll", size - 1, k, packed));  // stated size too small
        broken.push_back(rawRecord("bad.dll", size, k, std::string(static_cast<size_t>(k), 'x')));
        if (level == 0) {
            std::string badLength = packed;
            badLength[3] ^= 0x01;  // the first block's length no longer matches its complement
            broken.push_back(rawRecord("bad.dll", size, k, badLength));
        }
    }
    for (size_t i = 0; i < broken.size(); ++i) {
        Sandbox box;
        writeFile(box.dest + "/old.txt", "old");
        const Unpacked u = unpack(archive({record("good.txt", "good"), broken[i], record("z.txt", "z")}), box.dest);
        EXPECT_EQ(BundleArchive::Outcome::Damaged, u.outcome) << i;
        EXPECT_EQ((std::vector<std::string>{"good.txt", "old.txt"}), listTree(box.dest)) << i;
    }
}

TEST(BundleArchiveHostile, StoredStreamsUnpackByteForByte) {
    Sandbox box;
    const std::vector<std::string> raws = {"", "x", mixedBytes(65535, 5), mixedBytes(200000, 6)};
    std::vector<std::string> records;
    for (size_t i = 0; i < raws.size(); ++i) {
        const std::string packed = zlibStream(raws[i], 0);
        records.push_back(rawRecord("s" + std::to_string(i), static_cast<int32_t>(raws[i].size()),
                                    static_cast<int32_t>(packed.size()), packed));
    }
    const Unpacked u = unpack(archive(records), box.dest);
    EXPECT_EQ(BundleArchive::Outcome::Complete, u.outcome);
    for (size_t i = 0; i < raws.size(); ++i)
        EXPECT_TRUE(readFile(box.dest + "/s" + std::to_string(i)) == raws[i]) << i;
}

TEST(BundleArchiveHostile, ImpossibleSizesStopBeforeAnyAllocation) {
    const std::string packed = zlibStream("data");
    const int32_t k = static_cast<int32_t>(packed.size());
    const std::vector<std::string> broken = {
        rawRecord("bad.dll", -1, k, packed),
        rawRecord("bad.dll", 4, -1, packed),
        rawRecord("bad.dll", 4, k + 1, packed),             // data runs past the end
        rawRecord("bad.dll", 4, INT32_MAX, packed),
        rawRecord("bad.dll", INT32_MAX, k, packed),          // more than k bytes can inflate to
        int32Bytes(-3) + "bad.dll" + int32Bytes(4) + int32Bytes(k) + packed,
        int32Bytes(INT32_MAX) + "bad.dll",                   // name runs past the end
    };
    for (size_t i = 0; i < broken.size(); ++i) {
        Sandbox box;
        largestArrayRequest = 0;
        EXPECT_EQ(BundleArchive::Outcome::Damaged, unpack(archive({broken[i]}), box.dest).outcome) << i;
        EXPECT_TRUE(listTree(box.dest).empty()) << i;
        EXPECT_LT(largestArrayRequest, 4096u) << i;
    }
}

TEST(BundleArchiveHostile, CountLargerThanTheRecordsStopsAfterTheLastOne) {
    Sandbox box;
    const Unpacked u = unpack(archive(3, {record("a.txt", "a"), record("b.txt", "b")}), box.dest);
    EXPECT_EQ(BundleArchive::Outcome::Damaged, u.outcome);
    EXPECT_EQ(2, u.written);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), listTree(box.dest));
}

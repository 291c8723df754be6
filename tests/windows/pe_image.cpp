#include "pe_image.h"

#include <utility>

std::uint16_t readU16(const std::vector<unsigned char>& data, std::size_t at) {
    if (at > data.size() || data.size() - at < 2) throw PeError("read past the end of the data");
    return std::uint16_t(data[at] | (data[at + 1] << 8));
}

std::uint32_t readU32(const std::vector<unsigned char>& data, std::size_t at) {
    if (at > data.size() || data.size() - at < 4) throw PeError("read past the end of the data");
    return std::uint32_t(data[at]) | (std::uint32_t(data[at + 1]) << 8) |
           (std::uint32_t(data[at + 2]) << 16) | (std::uint32_t(data[at + 3]) << 24);
}

PeImage::PeImage(std::vector<unsigned char> file) : file_(std::move(file)) {
    if (readU16(file_, 0) != 0x5a4d) throw PeError("no MZ header");
    std::size_t pe = readU32(file_, 0x3c);
    if (readU32(file_, pe) != 0x00004550) throw PeError("no PE signature");
    machine_ = readU16(file_, pe + 4);
    unsigned sectionCount = readU16(file_, pe + 6);
    std::size_t optionalSize = readU16(file_, pe + 20);
    std::size_t optional = pe + 24;
    std::uint16_t magic = readU16(file_, optional);
    if (magic != 0x10b && magic != 0x20b) throw PeError("unknown optional header");
    subsystem_ = readU16(file_, optional + 68);
    std::size_t directories = optional + (magic == 0x10b ? 96 : 112);
    std::uint32_t directoryCount = readU32(file_, directories - 4);
    auto directoryRva = [&](std::uint32_t index) -> std::uint32_t {
        return index < directoryCount ? readU32(file_, directories + 8 * index) : 0;
    };
    std::size_t table = optional + optionalSize;
    for (unsigned i = 0; i < sectionCount; ++i) {
        std::size_t at = table + 40 * i;
        sections_.push_back({readU32(file_, at + 12), readU32(file_, at + 8),
                             readU32(file_, at + 20), readU32(file_, at + 16)});
    }
    importRva_ = directoryRva(1);
    delayImportRva_ = directoryRva(13);
    if (std::uint32_t resourceRva = directoryRva(2)) readResources(resourceRva);
}

std::size_t PeImage::offsetOf(std::uint32_t rva) const {
    for (const Section& s : sections_) {
        std::uint32_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
            std::uint32_t inside = rva - s.virtualAddress;
            if (inside >= s.rawSize) throw PeError("address outside the section's file data");
            return std::size_t(s.rawOffset) + inside;
        }
    }
    throw PeError("address in no section");
}

std::string PeImage::stringAt(std::uint32_t rva) const {
    std::size_t at = offsetOf(rva);
    std::string s;
    while (at < file_.size() && file_[at] != 0) s += char(file_[at++]);
    if (at >= file_.size()) throw PeError("unterminated name");
    return s;
}

std::vector<std::string> PeImage::importedLibraries() const {
    std::vector<std::string> names;
    if (importRva_) {
        for (std::size_t at = offsetOf(importRva_);; at += 20) {
            std::uint32_t name = readU32(file_, at + 12);
            if (name == 0 && readU32(file_, at + 16) == 0) break;
            names.push_back(stringAt(name));
        }
    }
    if (delayImportRva_) {
        for (std::size_t at = offsetOf(delayImportRva_);; at += 32) {
            std::uint32_t name = readU32(file_, at + 4);
            if (name == 0) break;
            names.push_back(stringAt(name));
        }
    }
    return names;
}

// The resource tree has three levels (type, name, language); offsets inside
// it are relative to its root, data entries hold addresses.
void PeImage::readResources(std::uint32_t rootRva) {
    std::size_t root = offsetOf(rootRva);
    auto entries = [&](std::size_t directory) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> list;
        unsigned count = readU16(file_, directory + 12) + readU16(file_, directory + 14);
        for (unsigned i = 0; i < count; ++i) {
            std::size_t at = directory + 16 + 8 * i;
            list.emplace_back(readU32(file_, at), readU32(file_, at + 4));
        }
        return list;
    };
    auto idOf = [](std::uint32_t name) { return (name & 0x80000000u) ? 0u : name & 0xffffu; };
    auto subdirectory = [&](std::uint32_t target) {
        if (!(target & 0x80000000u)) throw PeError("resource tree too shallow");
        return root + (target & 0x7fffffffu);
    };
    for (const auto& type : entries(root)) {
        for (const auto& name : entries(subdirectory(type.second))) {
            for (const auto& language : entries(subdirectory(name.second))) {
                if (language.second & 0x80000000u) throw PeError("resource tree too deep");
                std::size_t entry = root + language.second;
                std::uint32_t dataRva = readU32(file_, entry);
                std::uint32_t size = readU32(file_, entry + 4);
                std::size_t at = size ? offsetOf(dataRva) : 0;
                if (at > file_.size() || file_.size() - at < size)
                    throw PeError("resource data past the end of the file");
                resources_.push_back({idOf(type.first), idOf(name.first), idOf(language.first),
                                      std::vector<unsigned char>(file_.begin() + at,
                                                                 file_.begin() + at + size)});
            }
        }
    }
}

std::vector<PeResource> PeImage::resources(std::uint32_t type) const {
    std::vector<PeResource> list;
    for (const PeResource& r : resources_)
        if (r.type == type) list.push_back(r);
    return list;
}

const PeResource* PeImage::findResource(std::uint32_t type, std::uint32_t id) const {
    for (const PeResource& r : resources_)
        if (r.type == type && r.id == id) return &r;
    return nullptr;
}

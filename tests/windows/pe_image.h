// A read-only view of a Windows executable (PE32 or PE32+) for the tests:
// machine, subsystem, imported libraries and resources. Every read is
// bounds-checked; a damaged file throws PeError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct PeError : std::runtime_error {
    explicit PeError(const std::string& what) : std::runtime_error(what) {}
};

constexpr std::uint16_t kMachineI386 = 0x014c;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kSubsystemWindowsGui = 2;
constexpr std::uint32_t kResourceIcon = 3;
constexpr std::uint32_t kResourceRcData = 10;
constexpr std::uint32_t kResourceGroupIcon = 14;
constexpr std::uint32_t kResourceManifest = 24;

std::uint16_t readU16(const std::vector<unsigned char>& data, std::size_t at);
std::uint32_t readU32(const std::vector<unsigned char>& data, std::size_t at);

// One resource with a numeric identifier (named ones are listed with id 0).
struct PeResource {
    std::uint32_t type;
    std::uint32_t id;
    std::uint32_t language;
    std::vector<unsigned char> data;
};

class PeImage {
public:
    explicit PeImage(std::vector<unsigned char> file);

    std::uint16_t machine() const { return machine_; }
    std::uint16_t subsystem() const { return subsystem_; }

    // Names of the libraries in the import and delay-import tables.
    std::vector<std::string> importedLibraries() const;

    // All resources of one type, in directory order.
    std::vector<PeResource> resources(std::uint32_t type) const;
    // The first resource of the type with the identifier, or null.
    const PeResource* findResource(std::uint32_t type, std::uint32_t id) const;

private:
    struct Section {
        std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
    };
    std::size_t offsetOf(std::uint32_t rva) const;
    std::string stringAt(std::uint32_t rva) const;
    void readResources(std::uint32_t rootRva);

    std::vector<unsigned char> file_;
    std::uint16_t machine_ = 0;
    std::uint16_t subsystem_ = 0;
    std::uint32_t importRva_ = 0;
    std::uint32_t delayImportRva_ = 0;
    std::vector<Section> sections_;
    std::vector<PeResource> resources_;
};

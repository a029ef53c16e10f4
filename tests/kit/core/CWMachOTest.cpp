#include "kit/core/CWMachO.h"

#include "kit/support/KBFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Little-endian Mach-O images and big-endian fat wrappers, built byte by byte.
class Bytes {
public:
    Bytes& le(uint32_t value)
    {
        for (int i = 0; i < 4; ++i) {
            text_.push_back(static_cast<char>(value >> (8 * i)));
        }
        return *this;
    }
    Bytes& be(uint32_t value)
    {
        for (int i = 3; i >= 0; --i) {
            text_.push_back(static_cast<char>(value >> (8 * i)));
        }
        return *this;
    }
    Bytes& raw(const std::string& bytes)
    {
        text_ += bytes;
        return *this;
    }
    Bytes& padTo(size_t size)
    {
        text_.resize(size, '\0');
        return *this;
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

uint32_t subtypeFor(int32_t cpuType)
{
    return cpuType == (kCWMachOCpuArch64 | 12) ? 0 : 3;
}

const std::string kUuid = "\x01\x23\x45\x67\x89\xab\xcd\xef\x10\x32\x54\x76\x98\xba\xdc\xfe";

// A 64-bit image with a UUID command and a macOS version-minimum command.
std::string thinImage(int32_t cpuType = kCWMachOCpuArch64 | 7, uint32_t commandCount = 2, uint32_t uuidSize = 24)
{
    Bytes commands;
    commands.le(kCWMachOLoadUUID).le(uuidSize).raw(kUuid);
    commands.le(kCWMachOLoadVersionMinMacOS).le(16).le(0x000a0c01).le(0x000a0d00);
    Bytes image;
    image.le(kCWMachOMagic64)
        .le(static_cast<uint32_t>(cpuType))
        .le(subtypeFor(cpuType))
        .le(2)
        .le(commandCount)
        .le(static_cast<uint32_t>(commands.text().size()))
        .le(0)
        .le(0);
    return image.raw(commands.text()).text();
}

std::string writeFile(const std::string& name, const std::string& bytes)
{
    const std::string path = KBFiles::dataHome() + "/macho/" + name;
    KBFiles::makeFolders(KBFiles::dataHome() + "/macho");
    KBFiles::writeAtomically(path, bytes);
    return path;
}

struct Seen {
    std::vector<std::string> architectures;
    std::vector<uint32_t> commandTypes;
    std::vector<std::string> uuids;
    std::vector<std::string> versions;
    bool opened = false;
};

Seen readAll(const std::string& bytes)
{
    Seen seen;
    CWMachOFile file;
    seen.opened = CWMachOFileInitWithPath(&file, writeFile("image", bytes).c_str());
    CWMachOFileEnumerateSlices(&file, [&](const CWMachOSlice& found) {
        CWMachOSlice slice = found;
        seen.architectures.push_back(CWMachOSliceGetArchitectureName(&slice));
        CWMachOSliceEnumerateLoadCommands(&slice, [&](uint32_t type, uint32_t size, const uint8_t* command) {
            seen.commandTypes.push_back(type);
            if (type == kCWMachOLoadUUID && CWMachOGetUUID(command, size) != nullptr) {
                seen.uuids.push_back(CWMachONormalizedUUIDString(CWMachOGetUUID(command, size)));
            }
            if (type == kCWMachOLoadVersionMinMacOS) {
                const CWMachOVersion minimum = CWMachOGetMinimumOSVersion(command, size);
                const CWMachOVersion sdk = CWMachOGetLinkedSDKVersion(command, size);
                seen.versions.push_back(*CWMachOFormatVersion(&minimum) + "/" + *CWMachOFormatVersion(&sdk));
            }
        });
    });
    CWMachOFileDestroy(&file);
    return seen;
}

std::string fat(bool bigEndianMagic, const std::vector<std::pair<int32_t, std::string>>& slices, uint32_t count = 0,
    uint32_t forcedOffset = 0)
{
    Bytes header;
    bigEndianMagic ? header.be(kCWMachOFatMagic) : header.le(kCWMachOFatMagic);
    header.be(count != 0 ? count : static_cast<uint32_t>(slices.size()));
    uint32_t offset = 4096;
    std::string body;
    for (const auto& [type, image] : slices) {
        header.be(static_cast<uint32_t>(type))
            .be(subtypeFor(type))
            .be(forcedOffset != 0 ? forcedOffset : offset)
            .be(static_cast<uint32_t>(image.size()))
            .be(12);
        body += image;
        body.resize(body.size() + (4096 - image.size() % 4096), '\0');
        offset += static_cast<uint32_t>(image.size() + (4096 - image.size() % 4096));
    }
    return header.padTo(4096).raw(body).text();
}

} // namespace

TEST(CWMachOTest, SlicesAndLoadCommandsOfThinAndFatFiles)
{
    const std::string uuid = "0123456789abcdef1032547698badcfe";
    const Seen thin = readAll(thinImage());
    EXPECT_TRUE(thin.opened);
    EXPECT_EQ(thin.architectures, (std::vector<std::string>{"x86_64"}));
    EXPECT_EQ(thin.uuids, (std::vector<std::string>{uuid}));
    EXPECT_EQ(thin.versions, (std::vector<std::string>{"10.12.1/10.13.0"}));

    for (const bool bigEndianMagic : {true, false}) {
        const Seen both = readAll(
            fat(bigEndianMagic, {{7, thinImage(7)}, {kCWMachOCpuArch64 | 12, thinImage(kCWMachOCpuArch64 | 12)}}));
        EXPECT_EQ(both.architectures, (std::vector<std::string>{"i386", "arm64"})) << bigEndianMagic;
        EXPECT_EQ(both.uuids.size(), 2u);
    }
}

TEST(CWMachOTest, DamagedFilesAreReadOnlyAsFarAsTheyGo)
{
    struct Case {
        const char* name;
        std::string bytes;
        size_t slices;
        size_t commands;
    };
    std::string swapped = thinImage();
    std::swap(swapped[0], swapped[3]);
    std::swap(swapped[1], swapped[2]);
    std::string truncatedCommands = thinImage();
    truncatedCommands[20] = static_cast<char>(0xff); // sizeofcmds past the end
    const std::vector<Case> cases = {
        {"20 bytes of zeros", std::string(20, '\0'), 1, 0},
        {"byte-swapped header", swapped, 1, 0},
        {"command count 1000", thinImage(kCWMachOCpuArch64 | 7, 1000), 1, 2},
        {"command size 0", thinImage(kCWMachOCpuArch64 | 7, 2, 0), 1, 0},
        {"command size past the commands", thinImage(kCWMachOCpuArch64 | 7, 2, 4000), 1, 0},
        {"commands area past the file", truncatedCommands, 1, 0},
        {"huge fat count", fat(true, {{7, thinImage(7)}}, 0xffffffff), 1, 2},
        {"fat offset past the end", fat(true, {{7, thinImage(7)}}, 0, 0x7fffffff), 0, 0},
    };
    for (const auto& test : cases) {
        const Seen seen = readAll(test.bytes);
        EXPECT_TRUE(seen.opened) << test.name;
        EXPECT_EQ(seen.architectures.size(), test.slices) << test.name;
        EXPECT_EQ(seen.commandTypes.size(), test.commands) << test.name;
    }

    // A byte-swapped header still names its CPU.
    EXPECT_EQ(readAll(swapped).architectures, (std::vector<std::string>{"unknown"}));

    CWMachOFile file;
    EXPECT_FALSE(CWMachOFileInitWithPath(&file, writeFile("short", std::string(15, 'x')).c_str()));
    EXPECT_EQ(file.fd, -1);
    EXPECT_FALSE(CWMachOFileInitWithPath(&file, KBFiles::dataHome().c_str()));
    EXPECT_FALSE(CWMachOFileInitWithCurrentProcess(&file)) << "the running program is not Mach-O";
}

TEST(CWMachOTest, ArchitectureNamesAndCommandAccessors)
{
    const std::vector<std::tuple<int32_t, int32_t, const char*>> names = {
        {kCWMachOCpuArch64 | 12, 0, "arm64"},
        {kCWMachOCpuArch64 | 12, static_cast<int32_t>(0x80000002), "arm64e"},
        {12, 11, "armv7s"},
        {12, 12, "armv7k"},
        {12, 9, "armv7"},
        {7, 3, "i386"},
        {kCWMachOCpuArch64 | 7, static_cast<int32_t>(0x80000003), "x86_64"},
        {99, 0, "unknown"},
    };
    for (const auto& [type, subtype, name] : names) {
        const CWMachOSlice slice{nullptr, type, subtype, 0};
        EXPECT_STREQ(CWMachOSliceGetArchitectureName(&slice), name) << type << "/" << subtype;
    }

    const CWMachOVersion decoded = CWMachODecodeVersion(0x000a0c01);
    EXPECT_EQ(CWMachOFormatVersion(&decoded), "10.12.1");
    EXPECT_EQ(CWMachOFormatVersion(nullptr), std::nullopt);

    // A string offset must point inside the command and end there.
    Bytes named;
    named.le(12).le(24).le(12).raw("libname").padTo(24);
    const auto* command = reinterpret_cast<const uint8_t*>(named.text().data());
    EXPECT_STREQ(CWMachOGetString(command, 24), "libname");
    Bytes outside;
    outside.le(12).le(16).le(400).padTo(16);
    EXPECT_EQ(CWMachOGetString(reinterpret_cast<const uint8_t*>(outside.text().data()), 16), nullptr);

    Bytes segment;
    segment.le(kCWMachOLoadSegment32).le(56).raw("__TEXT").padTo(24).le(0x1000).le(0x2000).padTo(56);
    const CWMachOSegment read = CWMachOGetSegmentCommand(reinterpret_cast<const uint8_t*>(segment.text().data()), 56);
    EXPECT_STREQ(read.name, "__TEXT");
    EXPECT_EQ(read.address, 0x1000u);
    EXPECT_EQ(read.size, 0x2000u);
}

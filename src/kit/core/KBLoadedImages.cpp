#include "kit/core/KBLoadedImages.h"

#include "kit/support/KBDigest.h"

#include <elf.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

std::string executablePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string("/proc/self/exe");
}

size_t align4(size_t value)
{
    return (value + 3) & ~size_t{3};
}

// The GNU build-id of one PT_NOTE segment, when it holds one.
std::string buildIdIn(const uint8_t* notes, size_t size)
{
    size_t offset = 0;
    while (offset + sizeof(ElfW(Nhdr)) <= size) {
        ElfW(Nhdr) header;
        std::memcpy(&header, notes + offset, sizeof header);
        const size_t nameAt = offset + sizeof header;
        const size_t descAt = nameAt + align4(header.n_namesz);
        const size_t end = descAt + align4(header.n_descsz);
        if (end > size || end <= offset) {
            return {};
        }
        if (header.n_type == NT_GNU_BUILD_ID && header.n_namesz == 4 && std::memcmp(notes + nameAt, "GNU", 4) == 0) {
            uint8_t uuid[16] = {};
            std::memcpy(uuid, notes + descAt, header.n_descsz < 16 ? header.n_descsz : 16);
            return KBHexStringFromUUIDBytes(uuid);
        }
        offset = end;
    }
    return {};
}

int collect(dl_phdr_info* info, size_t, void* data)
{
    auto* images = static_cast<std::vector<KBLoadedImage>*>(data);
    KBLoadedImage image;
    uintptr_t textEnd = 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD) {
            if (segment.p_offset == 0 && image.base == 0) {
                image.base = start;
            }
            if ((segment.p_flags & PF_X) != 0) {
                textEnd = start + segment.p_memsz;
            }
        } else if (segment.p_type == PT_GNU_EH_FRAME) {
            image.ehFrameHeader = start;
        } else if (segment.p_type == PT_NOTE && image.uuid.empty()) {
            image.uuid = buildIdIn(reinterpret_cast<const uint8_t*>(start), segment.p_memsz);
        }
    }
    if (image.base == 0) {
        return 0;
    }
    image.textSize = textEnd > image.base ? textEnd - image.base : 0;
    const auto* header = reinterpret_cast<const ElfW(Ehdr)*>(image.base);
    image.architecture = KBLoadedImages::architectureName(header->e_machine);
    // The executable is the first image and the one without a name.
    image.isExecutable = images->empty() && (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0');
    image.path = image.isExecutable ? executablePath() : std::string(info->dlpi_name ? info->dlpi_name : "");
    images->push_back(std::move(image));
    return 0;
}

} // namespace

std::vector<KBLoadedImage> KBLoadedImages::all()
{
    std::vector<KBLoadedImage> images;
    dl_iterate_phdr(collect, &images);
    return images;
}

std::optional<KBLoadedImage> KBLoadedImages::executable()
{
    for (auto& image : all()) {
        if (image.isExecutable) {
            return image;
        }
    }
    return std::nullopt;
}

std::optional<KBLoadedImage> KBLoadedImages::containing(uintptr_t address)
{
    for (auto& image : all()) {
        if (image.contains(address)) {
            return image;
        }
    }
    return std::nullopt;
}

std::string KBLoadedImages::architectureName(uint16_t machine)
{
    switch (machine) {
    case EM_X86_64:
        return "x86_64";
    case EM_AARCH64:
        return "arm64";
    case EM_386:
        return "i386";
    case EM_ARM:
        return "armv7";
    case EM_RISCV:
        return "riscv64";
    case EM_PPC64:
        return "ppc64";
    default:
        return "unknown";
    }
}

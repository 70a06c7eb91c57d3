// SPDX-License-Identifier: MIT
#include "binary_image.h"

#include <cstring>
#include <optional>

namespace binimg {

namespace {

// The few ELF constants needed, so that the reader builds where <elf.h> is
// missing (Windows).
constexpr unsigned ELFCLASS32 = 1, ELFCLASS64 = 2;
constexpr unsigned ELFDATA2LSB = 1, ELFDATA2MSB = 2;
constexpr uint32_t SHT_DYNAMIC = 6, SHT_DYNSYM = 11;
constexpr unsigned STB_GLOBAL = 1, STB_WEAK = 2;
constexpr uint64_t DT_NULL = 0, DT_NEEDED = 1, DT_SONAME = 14;

// Field offsets and sizes of one ELF class, laid out as in the ELF
// format's own tables for Elf32_* and Elf64_*.
struct ElfLayout {
    unsigned word; // address and offset width
    // Ehdr
    size_t ehsize, shoff, shentsizeAt, shnumAt;
    // Shdr
    size_t shentsize, shType, shOffset, shSize, shLink, shEntsize;
    // Sym
    size_t symsize, symName, symInfo, symShndx;
    // Dyn
    size_t dynsize, dynTag, dynVal;
};
constexpr ElfLayout ELF32{4, 52, 32, 46, 48, 40, 4, 16, 20, 24, 36, 16, 0, 12, 14, 8, 0, 4};
constexpr ElfLayout ELF64{8, 64, 40, 58, 60, 64, 4, 24, 32, 40, 56, 24, 0, 4, 6, 16, 0, 8};

class Bytes {
  public:
    Bytes(const std::vector<unsigned char> &image, bool bigEndian)
        : image_(image), big_(bigEndian) {}

    bool has(uint64_t offset, uint64_t length) const {
        return offset <= image_.size() && length <= image_.size() - offset;
    }
    std::optional<uint64_t> get(uint64_t offset, unsigned width) const {
        if (!has(offset, width))
            return std::nullopt;
        uint64_t v = 0;
        for (unsigned i = 0; i < width; ++i) {
            const unsigned byte = image_[offset + (big_ ? i : width - 1 - i)];
            v = (v << 8) | byte;
        }
        return v;
    }
    // A NUL-terminated string wholly inside [begin, end).
    std::optional<std::string> str(uint64_t begin, uint64_t end, uint64_t at) const {
        if (end > image_.size() || at >= end - begin)
            return std::nullopt;
        const auto *first = reinterpret_cast<const char *>(image_.data() + begin + at);
        const void *nul = std::memchr(first, 0, end - begin - at);
        if (nul == nullptr)
            return std::nullopt;
        return std::string(first, static_cast<const char *>(nul));
    }

  private:
    const std::vector<unsigned char> &image_;
    bool big_;
};

struct Section {
    uint32_t type;
    uint64_t offset, size, link, entsize;
};

Exports fail(Exports e, const std::string &why) {
    e.error = why;
    return e;
}

} // namespace

Exports readElf(const std::vector<unsigned char> &image) {
    Exports e;
    if (image.size() < 16 || std::memcmp(image.data(),
                                         "\x7f"
                                         "ELF",
                                         4) != 0)
        return fail(e, "not an ELF image");
    const unsigned cls = image[4], data = image[5];
    if ((cls != ELFCLASS32 && cls != ELFCLASS64) || (data != ELFDATA2LSB && data != ELFDATA2MSB))
        return fail(e, "unknown ELF class or byte order");
    const ElfLayout &L = cls == ELFCLASS64 ? ELF64 : ELF32;
    const Bytes b(image, data == ELFDATA2MSB);
    if (!b.has(0, L.ehsize))
        return fail(e, "truncated ELF header");
    const uint64_t shoff = *b.get(L.shoff, L.word);
    const uint64_t shentsize = *b.get(L.shentsizeAt, 2);
    const uint64_t shnum = *b.get(L.shnumAt, 2);
    if (shentsize != L.shentsize)
        return fail(e, "section header size " + std::to_string(shentsize));
    if (!b.has(shoff, shnum * shentsize))
        return fail(e, "section headers past the end of the file");

    std::vector<Section> sections;
    for (uint64_t i = 0; i < shnum; ++i) {
        const uint64_t at = shoff + i * shentsize;
        Section s{static_cast<uint32_t>(*b.get(at + L.shType, 4)), *b.get(at + L.shOffset, L.word),
                  *b.get(at + L.shSize, L.word), *b.get(at + L.shLink, 4),
                  *b.get(at + L.shEntsize, L.word)};
        sections.push_back(s);
    }
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section &s = sections[i];
        if (s.type != SHT_DYNSYM && s.type != SHT_DYNAMIC)
            continue;
        const std::string where = "section " + std::to_string(i);
        const size_t entsize = s.type == SHT_DYNSYM ? L.symsize : L.dynsize;
        if (s.entsize != entsize || !b.has(s.offset, s.size) || s.size % entsize != 0)
            return fail(e, where + ": malformed header");
        if (s.link >= sections.size())
            return fail(e, where + ": string table index out of range");
        const Section &strtab = sections[s.link];
        if (!b.has(strtab.offset, strtab.size))
            return fail(e, where + ": string table past the end of the file");
        const uint64_t strEnd = strtab.offset + strtab.size;
        for (uint64_t at = s.offset; at < s.offset + s.size; at += entsize) {
            if (s.type == SHT_DYNSYM) {
                const uint64_t nameAt = *b.get(at + L.symName, 4);
                const unsigned bind = static_cast<unsigned>(*b.get(at + L.symInfo, 1)) >> 4;
                const uint64_t shndx = *b.get(at + L.symShndx, 2);
                if (shndx == 0 || (bind != STB_GLOBAL && bind != STB_WEAK))
                    continue;
                const auto name = b.str(strtab.offset, strEnd, nameAt);
                if (!name)
                    return fail(e, where + ": symbol name outside its string table");
                e.defined.insert(*name);
            } else {
                const uint64_t tag = *b.get(at + L.dynTag, L.word);
                if (tag == DT_NULL)
                    break;
                if (tag != DT_NEEDED && tag != DT_SONAME)
                    continue;
                const auto name = b.str(strtab.offset, strEnd, *b.get(at + L.dynVal, L.word));
                if (!name)
                    return fail(e, where + ": library name outside its string table");
                (tag == DT_NEEDED ? e.needed.emplace_back() : e.name) = *name;
            }
        }
    }
    return e;
}

Exports readPe(const std::vector<unsigned char> &image) {
    Exports e;
    const Bytes b(image, false);
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z')
        return fail(e, "not a PE image");
    const uint64_t pe = *b.get(0x3C, 4);
    if (!b.has(pe, 24) || std::memcmp(image.data() + pe, "PE\0\0", 4) != 0)
        return fail(e, "no PE signature");
    const uint64_t sectionCount = *b.get(pe + 6, 2);
    const uint64_t optionalSize = *b.get(pe + 20, 2);
    const uint64_t optional = pe + 24;
    if (!b.has(optional, optionalSize) || optionalSize < 2)
        return fail(e, "optional header past the end of the file");
    const uint64_t magic = *b.get(optional, 2);
    if (magic != 0x10b && magic != 0x20b)
        return fail(e, "unknown optional header");
    const uint64_t directories = optional + (magic == 0x20b ? 112 : 96);
    if (directories + 16 > optional + optionalSize)
        return fail(e, "no export or import directory");
    const uint64_t sections = optional + optionalSize;
    if (!b.has(sections, sectionCount * 40))
        return fail(e, "section table past the end of the file");

    // The file offset of an address the loader maps, and how many bytes of
    // its section follow it in the file.
    auto locate = [&](uint64_t rva, uint64_t &offset, uint64_t &room) {
        for (uint64_t i = 0; i < sectionCount; ++i) {
            const uint64_t at = sections + i * 40;
            const uint64_t va = *b.get(at + 12, 4), rawSize = *b.get(at + 16, 4),
                           raw = *b.get(at + 20, 4);
            if (rva >= va && rva - va < rawSize && b.has(raw, rawSize)) {
                offset = raw + (rva - va);
                room = rawSize - (rva - va);
                return true;
            }
        }
        return false;
    };
    auto stringAt = [&](uint64_t rva) -> std::optional<std::string> {
        uint64_t offset = 0, room = 0;
        if (!locate(rva, offset, room))
            return std::nullopt;
        return b.str(offset, offset + room, 0);
    };

    uint64_t exp = 0, room = 0;
    const uint64_t exportRva = *b.get(directories, 4);
    if (exportRva != 0) {
        if (!locate(exportRva, exp, room) || room < 40)
            return fail(e, "export directory outside every section");
        const auto name = stringAt(*b.get(exp + 12, 4));
        if (!name)
            return fail(e, "export name outside every section");
        e.name = *name;
        const uint64_t count = *b.get(exp + 24, 4);
        uint64_t names = 0;
        if (!locate(*b.get(exp + 32, 4), names, room) || room / 4 < count)
            return fail(e, "export name table outside its section");
        for (uint64_t i = 0; i < count; ++i) {
            const auto symbol = stringAt(*b.get(names + 4 * i, 4));
            if (!symbol)
                return fail(e, "exported name " + std::to_string(i) + " outside every section");
            e.defined.insert(*symbol);
        }
    }
    const uint64_t importRva = *b.get(directories + 8, 4);
    if (importRva != 0) {
        uint64_t imp = 0;
        if (!locate(importRva, imp, room))
            return fail(e, "import directory outside every section");
        for (uint64_t at = imp;; at += 20) {
            if (at + 20 > imp + room)
                return fail(e, "import directory runs past its section");
            const uint64_t nameRva = *b.get(at + 12, 4);
            if (nameRva == 0)
                break;
            const auto name = stringAt(nameRva);
            if (!name)
                return fail(e, "imported library name outside every section");
            e.needed.push_back(*name);
        }
    }
    return e;
}

Exports readSharedLibrary(const std::vector<unsigned char> &image) {
    if (image.size() >= 2 && image[0] == 'M' && image[1] == 'Z')
        return readPe(image);
    return readElf(image);
}

std::vector<unsigned char> makeElf(bool is64, bool bigEndian,
                                   const std::vector<std::string> &defined,
                                   const std::vector<std::string> &needed,
                                   const std::string &soname) {
    const ElfLayout &L = is64 ? ELF64 : ELF32;
    std::vector<unsigned char> out;
    auto put = [&](uint64_t at, uint64_t value, unsigned width) {
        if (out.size() < at + width)
            out.resize(at + width);
        for (unsigned i = 0; i < width; ++i)
            out[at + (bigEndian ? width - 1 - i : i)] =
                static_cast<unsigned char>(value >> (8 * i));
    };

    // .dynstr: a leading NUL, then every name.
    std::string strtab(1, '\0');
    auto addString = [&](const std::string &s) {
        const uint64_t at = strtab.size();
        strtab += s + '\0';
        return at;
    };
    std::vector<uint64_t> symNames, neededNames;
    for (const std::string &s : defined)
        symNames.push_back(addString(s));
    for (const std::string &s : needed)
        neededNames.push_back(addString(s));
    const uint64_t sonameAt = addString(soname);

    // Layout: header, .dynstr, .dynsym (a null symbol first), .dynamic,
    // then the section headers: null, .dynstr, .dynsym, .dynamic.
    const uint64_t strOff = L.ehsize;
    const uint64_t symOff = (strOff + strtab.size() + 7) / 8 * 8;
    const uint64_t symCount = defined.size() + 1;
    const uint64_t dynOff = symOff + symCount * L.symsize;
    const uint64_t dynCount = needed.size() + 2;
    const uint64_t shOff = dynOff + dynCount * L.dynsize;

    out.assign(shOff + 4 * L.shentsize, 0);
    std::memcpy(out.data(),
                "\x7f"
                "ELF",
                4);
    out[4] = static_cast<unsigned char>(is64 ? ELFCLASS64 : ELFCLASS32);
    out[5] = static_cast<unsigned char>(bigEndian ? ELFDATA2MSB : ELFDATA2LSB);
    out[6] = 1;
    put(16, 3, 2); // ET_DYN
    put(L.shoff, shOff, L.word);
    put(L.shentsizeAt, L.shentsize, 2);
    put(L.shnumAt, 4, 2);
    std::memcpy(out.data() + strOff, strtab.data(), strtab.size());
    for (size_t i = 0; i < symNames.size(); ++i) {
        const uint64_t at = symOff + (i + 1) * L.symsize;
        put(at + L.symName, symNames[i], 4);
        put(at + L.symInfo, (STB_GLOBAL << 4) | 2, 1); // a global function
        put(at + L.symShndx, 2, 2);
    }
    for (size_t i = 0; i < neededNames.size(); ++i) {
        put(dynOff + i * L.dynsize + L.dynTag, DT_NEEDED, L.word);
        put(dynOff + i * L.dynsize + L.dynVal, neededNames[i], L.word);
    }
    put(dynOff + needed.size() * L.dynsize + L.dynTag, DT_SONAME, L.word);
    put(dynOff + needed.size() * L.dynsize + L.dynVal, sonameAt, L.word);

    auto section = [&](unsigned index, uint32_t type, uint64_t offset, uint64_t size, uint64_t link,
                       uint64_t entsize) {
        const uint64_t at = shOff + index * L.shentsize;
        put(at + L.shType, type, 4);
        put(at + L.shOffset, offset, L.word);
        put(at + L.shSize, size, L.word);
        put(at + L.shLink, link, 4);
        put(at + L.shEntsize, entsize, L.word);
    };
    section(1, 3 /* SHT_STRTAB */, strOff, strtab.size(), 0, 0);
    section(2, SHT_DYNSYM, symOff, symCount * L.symsize, 1, L.symsize);
    section(3, SHT_DYNAMIC, dynOff, dynCount * L.dynsize, 1, L.dynsize);
    return out;
}

} // namespace binimg

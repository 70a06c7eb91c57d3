// SPDX-License-Identifier: MIT
// The plug-in's binary interface: what its dynamic symbol table exports, what
// it needs, and the explicit export list shipped for other linkers.
#include <elf.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

const std::set<std::string> kListed = {"sh_callback_set_hal",
                                       "sh_callback_set_logout",
                                       "sh_callback_set_mutex",
                                       "sh_callback_set_postevent",
                                       "sh_set_varkey_delay",
                                       "sh_set_varkey_timevalue",
                                       "sh_func_manager_init",
                                       "sh_func_manager_deinit",
                                       "qo_sh_sys_version",
                                       "sh_time_update",
                                       "sh_func_manager_delay_task_delete",
                                       "sh_delay",
                                       "sh_cancel_delay",
                                       "sh_time_range",
                                       "sh_calendar",
                                       "sh_week_day",
                                       "sh_lunar_time"};

// The plug-in's own natives, exported beside the standard set in both lists.
const std::set<std::string> kOwnConditions = {"sh_time_of_day", "sh_lunar_day", "sh_solar_term"};
const std::set<std::string> kTimerControls = {"sh_delay_restart", "sh_delay_remaining"};

std::set<std::string> withOwn(std::set<std::string> names) {
    names.insert(kOwnConditions.begin(), kOwnConditions.end());
    names.insert(kTimerControls.begin(), kTimerControls.end());
    return names;
}

std::vector<char> readFile(const char *path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct DynamicInfo {
    std::set<std::string> defined;
    std::vector<std::string> needed;
    std::string soname;
};

// Reads .dynsym and .dynamic of a 64-bit little-endian ELF shared object.
DynamicInfo readDynamic(const std::vector<char> &image) {
    DynamicInfo info;
    const auto *eh = reinterpret_cast<const Elf64_Ehdr *>(image.data());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(eh->e_ident), 4), "\x7f"
                                                                           "ELF");
    EXPECT_EQ(eh->e_ident[EI_CLASS], ELFCLASS64);
    const auto *sh = reinterpret_cast<const Elf64_Shdr *>(image.data() + eh->e_shoff);
    for (int i = 0; i < eh->e_shnum; ++i) {
        const Elf64_Shdr &sec = sh[i];
        const char *strtab = image.data() + sh[sec.sh_link].sh_offset;
        if (sec.sh_type == SHT_DYNSYM) {
            const auto *sym = reinterpret_cast<const Elf64_Sym *>(image.data() + sec.sh_offset);
            for (size_t k = 0; k < sec.sh_size / sizeof(Elf64_Sym); ++k) {
                const unsigned bind = ELF64_ST_BIND(sym[k].st_info);
                if (sym[k].st_shndx != SHN_UNDEF && (bind == STB_GLOBAL || bind == STB_WEAK))
                    info.defined.insert(strtab + sym[k].st_name);
            }
        } else if (sec.sh_type == SHT_DYNAMIC) {
            const auto *dyn = reinterpret_cast<const Elf64_Dyn *>(image.data() + sec.sh_offset);
            for (size_t k = 0; k < sec.sh_size / sizeof(Elf64_Dyn); ++k) {
                if (dyn[k].d_tag == DT_NEEDED)
                    info.needed.emplace_back(strtab + dyn[k].d_un.d_val);
                else if (dyn[k].d_tag == DT_SONAME)
                    info.soname = strtab + dyn[k].d_un.d_val;
            }
        }
    }
    return info;
}

TEST(Symbols, PlugInExportsTheListedNamesAndSecondOfDay) {
    const std::vector<char> image = readFile(KELVO_PLUGIN_PATH);
    ASSERT_GT(image.size(), sizeof(Elf64_Ehdr)) << KELVO_PLUGIN_PATH;
    const DynamicInfo info = readDynamic(image);
    std::set<std::string> expected = withOwn(kListed);
    expected.insert("sh_get_second_of_day");
    EXPECT_EQ(info.defined, expected);
    EXPECT_EQ(info.defined.size(), 18u + kOwnConditions.size() + kTimerControls.size());
}

TEST(Symbols, PlugInNeedsQolibByNameAndCarriesAVersionedSoname) {
    const DynamicInfo info = readDynamic(readFile(KELVO_PLUGIN_PATH));
    EXPECT_EQ(info.soname, "libkelvo-sh-sys.so.4");
    EXPECT_TRUE(std::any_of(info.needed.begin(), info.needed.end(),
                            [](const std::string &n) { return n.rfind("libqolib.so", 0) == 0; }));
    for (const std::string &n : info.needed)
        EXPECT_EQ(n.find('/'), std::string::npos) << n << " is recorded with a path";
}

TEST(Symbols, DefFileListsTheSeventeenAndTheOwnConditions) {
    std::ifstream in(KELVO_DEF_PATH);
    ASSERT_TRUE(in) << KELVO_DEF_PATH;
    std::set<std::string> names;
    std::string line;
    bool inExports = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string word;
        if (!(words >> word))
            continue;
        if (word == "EXPORTS")
            inExports = true;
        else if (inExports)
            names.insert(word);
    }
    EXPECT_EQ(names, withOwn(kListed));
}

TEST(Symbols, QolibExportsOnlyItsInterface) {
    const DynamicInfo info = readDynamic(readFile(KELVO_QOLIB_PATH));
    for (const std::string &name : info.defined)
        EXPECT_EQ(name.rfind("qo_", 0), 0u) << name;
    EXPECT_EQ(info.defined.size(), 14u);
}

} // namespace

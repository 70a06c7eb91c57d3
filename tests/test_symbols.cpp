// SPDX-License-Identifier: MIT
// The plug-in's binary interface: what its dynamic symbol table (ELF) or
// export table (PE) holds, what it needs, and the export lists it is built
// from. The lists are read from include/, so a new native is one line in
// each list and nothing here.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binary_image.h"

namespace {

using binimg::Exports;

std::vector<unsigned char> readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Exports readLibrary(const char *path) {
    const Exports e = binimg::readSharedLibrary(readFile(path));
    EXPECT_EQ(e.error, "") << path;
    return e;
}

struct DefFile {
    std::string library;
    std::set<std::string> exports;
};

// LIBRARY and EXPORTS of a module-definition file; ';' starts a comment.
DefFile readDef() {
    std::ifstream in(KELVO_DEF_PATH);
    EXPECT_TRUE(in) << KELVO_DEF_PATH;
    DefFile def;
    std::string line;
    bool inExports = false;
    while (std::getline(in, line)) {
        std::istringstream words(line.substr(0, line.find(';')));
        std::string word;
        if (!(words >> word))
            continue;
        if (word == "LIBRARY")
            words >> def.library;
        else if (word == "EXPORTS")
            inExports = true;
        else if (inExports)
            def.exports.insert(word);
    }
    return def;
}

// The names of the version script's global: block.
std::set<std::string> readMapGlobals() {
    std::ifstream in(KELVO_MAP_PATH);
    EXPECT_TRUE(in) << KELVO_MAP_PATH;
    std::set<std::string> names;
    std::string word;
    bool inGlobal = false;
    while (in >> word) {
        if (word == "global:")
            inGlobal = true;
        else if (word == "local:")
            inGlobal = false;
        else if (inGlobal && word.size() > 1 && word.back() == ';')
            names.insert(word.substr(0, word.size() - 1));
    }
    return names;
}

#if defined(_WIN32)
std::string fileName(const char *path) {
    return std::filesystem::path(path).filename().string();
}
#endif

TEST(Symbols, ExportListsAgree) {
    const DefFile def = readDef();
    EXPECT_TRUE(def.exports.count("sh_get_second_of_day"));
    EXPECT_TRUE(def.exports.count("sh_func_manager_init"));
    EXPECT_EQ(readMapGlobals(), def.exports);
}

// Hosts call these by name: the 17 standard natives and entry points,
// sh_get_second_of_day, and the plug-in's own natives. A name that leaves
// the lists breaks every host that calls it.
TEST(Symbols, ListsHoldEveryNameHostsCall) {
    const std::set<std::string> expected = {
        "sh_callback_set_hal", "sh_callback_set_logout", "sh_callback_set_mutex",
        "sh_callback_set_postevent", "sh_set_varkey_delay", "sh_set_varkey_timevalue",
        "sh_func_manager_init", "sh_func_manager_deinit", "qo_sh_sys_version", "sh_time_update",
        "sh_func_manager_delay_task_delete", "sh_delay", "sh_cancel_delay", "sh_time_range",
        "sh_calendar", "sh_week_day", "sh_lunar_time", "sh_get_second_of_day",
        // the plug-in's own
        "sh_time_of_day", "sh_lunar_day", "sh_solar_term", "sh_delay_restart", "sh_delay_remaining",
        // the home's place and zone, and the sun conditions
        "sh_set_home_location", "sh_set_home_zone", "sh_sun_window", "sh_sun_elevation",
        // the holiday schedule
        "sh_workday", "sh_holiday", "sh_holiday_schedule_load", "sh_holiday_schedule_covers"};
    EXPECT_EQ(readDef().exports, expected);
}

TEST(Symbols, DefNamesTheDllTheBuildMakes) {
    // The plug-in's Windows name: lib prefix, no version in the name.
    EXPECT_EQ(readDef().library, "libkelvo-sh-sys.dll");
#if defined(_WIN32)
    EXPECT_EQ(fileName(KELVO_PLUGIN_PATH), readDef().library);
#endif
}

TEST(Symbols, PlugInExportsExactlyTheListedNames) {
    EXPECT_EQ(readLibrary(KELVO_PLUGIN_PATH).defined, readDef().exports);
}

TEST(Symbols, PlugInNeedsQolibByNameAndCarriesItsName) {
    const Exports e = readLibrary(KELVO_PLUGIN_PATH);
#if defined(_WIN32)
    EXPECT_EQ(e.name, readDef().library);
    const std::string qolib = "libqolib.dll";
#else
    EXPECT_EQ(e.name, "libkelvo-sh-sys.so.4");
    const std::string qolib = "libqolib.so";
#endif
    EXPECT_TRUE(std::any_of(e.needed.begin(), e.needed.end(), [&](const std::string &n) {
        return n.rfind(qolib, 0) == 0;
    })) << qolib;
    for (const std::string &n : e.needed)
        EXPECT_EQ(n.find('/'), std::string::npos) << n << " is recorded with a path";
}

TEST(Symbols, QolibExportsOnlyItsInterface) {
#if defined(KELVO_QOLIB_SYSTEM)
    GTEST_SKIP() << "the host's own qolib may export more than the stand-in";
#endif
    const Exports e = readLibrary(KELVO_QOLIB_PATH);
    for (const std::string &name : e.defined)
        EXPECT_EQ(name.rfind("qo_", 0), 0u) << name;
    EXPECT_EQ(e.defined.size(), 14u);
}

// ---------------------------------------------------------------- reader

TEST(BinaryImage, ReadsEveryElfClassAndByteOrder) {
    const std::vector<std::string> names = {"alpha", "beta_gamma", "sh_delay"};
    for (const bool is64 : {false, true}) {
        for (const bool big : {false, true}) {
            const auto image =
                binimg::makeElf(is64, big, names, {"libqolib.so.1", "libc.so.6"}, "libx.so.4");
            const Exports e = binimg::readElf(image);
            SCOPED_TRACE(std::string(is64 ? "ELF64 " : "ELF32 ") + (big ? "MSB" : "LSB"));
            EXPECT_EQ(e.error, "");
            EXPECT_EQ(e.defined, std::set<std::string>(names.begin(), names.end()));
            EXPECT_EQ(e.needed, (std::vector<std::string>{"libqolib.so.1", "libc.so.6"}));
            EXPECT_EQ(e.name, "libx.so.4");
        }
    }
}

// Little-endian field writes into a made image, at ELF64 offsets.
void poke(std::vector<unsigned char> &image, size_t at, uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i)
        image.at(at + i) = static_cast<unsigned char>(value >> (8 * i));
}

TEST(BinaryImage, StopsAtTheFirstMalformedHeader) {
    const auto good = binimg::makeElf(true, false, {"a"}, {}, "x");
    const uint64_t shoff = good[40] | (uint64_t(good[41]) << 8);
    struct Case {
        const char *what;
        std::vector<unsigned char> image;
        const char *error;
    };
    std::vector<Case> cases;
    cases.push_back({"truncated", {good.begin(), good.begin() + 20}, "truncated ELF header"});
    auto bad = good;
    bad[4] = 7;
    cases.push_back({"class", bad, "unknown ELF class or byte order"});
    bad = good;
    poke(bad, 40, good.size() - 10, 8);
    cases.push_back({"e_shoff", bad, "section headers past the end of the file"});
    bad = good;
    poke(bad, 58, 40, 2);
    cases.push_back({"e_shentsize", bad, "section header size 40"});
    bad = good;
    poke(bad, shoff + 2 * 64 + 24, 1u << 30, 8); // .dynsym's sh_offset
    cases.push_back({"sh_offset", bad, "section 2: malformed header"});
    bad = good;
    poke(bad, shoff + 2 * 64 + 40, 99, 4); // .dynsym's sh_link
    cases.push_back({"sh_link", bad, "section 2: string table index out of range"});
    bad = good;
    poke(bad, shoff + 1 * 64 + 32, 1, 8); // .dynstr shrunk to its first byte
    cases.push_back({"st_name", bad, "section 2: symbol name outside its string table"});
    for (const Case &c : cases) {
        const Exports e = binimg::readElf(c.image);
        EXPECT_EQ(e.error, c.error) << c.what;
        EXPECT_TRUE(e.defined.empty()) << c.what << ": read on past the bad header";
    }
}

TEST(BinaryImage, RejectsMalformedPe) {
    std::vector<unsigned char> image(0x80, 0);
    image[0] = 'M';
    image[1] = 'Z';
    EXPECT_EQ(binimg::readPe(image).error, "no PE signature");
    poke(image, 0x3C, 0x1000, 4);
    EXPECT_EQ(binimg::readPe(image).error, "no PE signature");
    poke(image, 0x3C, 0x40, 4);
    std::memcpy(image.data() + 0x40, "PE\0\0", 4);
    poke(image, 0x40 + 20, 0x200, 2); // an optional header past the end
    EXPECT_EQ(binimg::readPe(image).error, "optional header past the end of the file");
}

} // namespace

// The library's own layout of dumps, its reading of colour tags, and how it opens its log.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "colour_tag.h"
#include "hex_dump.h"
#include "platform/process.h"
#include "system.h"

namespace {

using vldebug::AppendHexRows;
using vldebug::Colour;
using vldebug::ParseColourTag;
using vldebug::RowHead;

std::vector<uint8_t> Sequence(size_t count, uint8_t first) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(first + i);
    }
    return bytes;
}

TEST(HexRows, Layout) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        RowHead head;
        uint32_t first;
        std::string rows;
    };
    const std::vector<Case> cases = {
        {"nothing", {}, RowHead::Offset, 0, ""},
        {"a short row is padded so its text column lines up",
         {0x11, 0x00, 0x08},
         RowHead::Offset,
         0,
         "0000  11 00 08                                          ...\n"},
        {"printable bytes show as text, others as dots",
         {'T', 'Q', '8', 0x7F, 0x20, 0x80, 0xFF, '~'},
         RowHead::Offset,
         0,
         "0000  54 51 38 7F 20 80 FF 7E                           TQ8. ..~\n"},
        {"a full row, then offsets count on", Sequence(17, 0x41), RowHead::Offset, 0,
         "0000  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  ABCDEFGHIJKLMNOP\n"
         "0010  51                                                Q\n"},
        {"addresses run on from the start address in eight digits", Sequence(32, 0x30),
         RowHead::Address, 0x4020,
         "00004020  30 31 32 33 34 35 36 37  38 39 3A 3B 3C 3D 3E 3F  0123456789:;<=>?\n"
         "00004030  40 41 42 43 44 45 46 47  48 49 4A 4B 4C 4D 4E 4F  @ABCDEFGHIJKLMNO\n"},
        {"addresses wrap at 2^32 rather than grow a digit", Sequence(17, 0x61), RowHead::Address,
         0xFFFFFFF8U,
         "FFFFFFF8  61 62 63 64 65 66 67 68  69 6A 6B 6C 6D 6E 6F 70  abcdefghijklmnop\n"
         "00000008  71                                                q\n"},
    };
    for (const Case& c : cases) {
        std::string out;
        AppendHexRows(out, c.bytes.data(), c.bytes.size(), c.head, c.first);
        EXPECT_EQ(out, c.rows) << c.what;
    }
}

TEST(HexRows, OffsetsPastFourDigitsKeepEveryDigit) {
    const std::vector<uint8_t> bytes(0x10010, 0xAA);
    std::string out;
    AppendHexRows(out, bytes.data(), bytes.size(), RowHead::Offset, 0);
    const size_t lastRow = out.rfind('\n', out.size() - 2) + 1;
    EXPECT_EQ(out.substr(lastRow, 7), "10000  ");
    EXPECT_EQ(static_cast<size_t>(std::count(out.begin(), out.end(), '\n')), 0x1001U);
}

TEST(ColourTags, Recognised) {
    struct Case {
        const char* text;
        Colour colour;
        size_t length;
    };
    const Case cases[] = {
        {"{cb}OpenComm (COM1)", Colour::Blue, 4},
        {"{cg}*OpenComm (COM1) = 1", Colour::Green, 4},
        {"{cr}WaitForData: TimeOut", Colour::Red, 4},
        {"{cy}FlushComm (1, 2)", Colour::Yellow, 4},
        {"{cc}RX: ", Colour::Cyan, 4},
        {"{cm}TX: ", Colour::Magenta, 4},
        {"{cm}", Colour::Magenta, 4},
        // Not tags: shown as they are.
        {"GetCheckSum (1)", Colour::Default, 0},
        {"{cx}unknown letter", Colour::Default, 0},
        {"{cB}upper case", Colour::Default, 0},
        {"{c", Colour::Default, 0},
        {"{cr", Colour::Default, 0},
        {" {cr}late tag", Colour::Default, 0},
        {"", Colour::Default, 0},
    };
    for (const Case& c : cases) {
        const auto tag = ParseColourTag(c.text);
        EXPECT_EQ(tag.colour, c.colour) << c.text;
        EXPECT_EQ(tag.length, c.length) << c.text;
    }
}

TEST(LogOpening, DefaultLogDoesNotFollowALinkPlantedInItsPlace) {
    if (platform::PathSeparator() != '/') {
        GTEST_SKIP() << "links are refused on POSIX only";
    }
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("vldebug-link-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const fs::path victim = dir / "victim.txt";
    std::ofstream(victim) << "kept\n";
    fs::create_symlink(victim, dir / "VLdebug.log");

    EXPECT_EQ(vldebug::OpenForAppend((dir / "VLdebug.log").string(), true), nullptr);
    // A log named on purpose may be a link.
    std::FILE* named = vldebug::OpenForAppend((dir / "VLdebug.log").string(), false);
    ASSERT_NE(named, nullptr);
    std::fputs("added\n", named);
    std::fclose(named);
    std::ifstream in(victim);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "kept\nadded\n");
    fs::remove_all(dir);
}

}  // namespace

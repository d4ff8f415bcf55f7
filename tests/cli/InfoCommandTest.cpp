// kestrune-cli info, run in-process: what it prints, writes and returns.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Command.h"
#include "cli/ExitCodes.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

class InfoCommand : public ::testing::Test {
protected:
    // Arguments are UTF-8 on every platform.
    static std::string Arg(const fs::path& path) {
        const std::u8string utf8 = path.u8string();
        return std::string(utf8.begin(), utf8.end());
    }

    std::string Write(const fs::path& name, const std::string& bytes) {
        return Arg(folder.Write(name, bytes));
    }

    int Run(const CommandArgs& args) {
        out.str("");
        err.str("");
        return RunInfoCommand(args, out, err);
    }

    test_support::TempFolder folder{"kestrune-cli"};
    const fs::path dir = folder.Path();
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(InfoCommand, PrintsPathSizeAndChecksum) {
    const std::string raw = Write("fw.bin", std::string("\x01\x02\xFF", 3));
    ASSERT_EQ(Run({raw}), kExitOk);
    EXPECT_EQ(out.str(), "path: " + raw + "\nformat: binary\nsize: 3\nchecksum: 0102\n");
    EXPECT_EQ(err.str(), "");

    const std::string ff = Write("ff.bin", std::string(258, '\xFF'));
    ASSERT_EQ(Run({ff}), kExitOk);
    EXPECT_EQ(out.str(), "path: " + ff + "\nformat: binary\nsize: 258\nchecksum: 00FE\n");

    // A HEX file shows its image length (0x8001), not its text length:
    // 0x8000 bytes of 0xFF and one 0x41 sum to 0x7F8041.
    const std::string hex = Write("fw.Hex", ":01800000413E\n:00000001FF\n");
    ASSERT_EQ(Run({hex}), kExitOk);
    EXPECT_EQ(out.str(), "path: " + hex +
                             "\nformat: Intel HEX\nsize: 32769\nchecksum: 8041\n"
                             "range: 0x00008000-0x00008000\n");
}

TEST_F(InfoCommand, OutputWritesTheFlatImage) {
    const std::string hex = Write("fw.hex", ":02000200AABB97\n:00000001FF\n");
    const std::string image = Arg(dir / "image.bin");
    ASSERT_EQ(Run({hex, "--output", image}), kExitOk);
    std::ifstream in(image, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, std::string("\xFF\xFF\xAA\xBB", 4));
    ASSERT_EQ(Run({"--output=" + Arg(dir / "again.bin"), hex}), kExitOk);
    EXPECT_EQ(fs::file_size(dir / "again.bin"), 4u);

    // Unwritable target: its own exit status, the reason, and no summary.
    const std::string unwritable = Arg(dir / "no-such-dir" / "x.bin");
    EXPECT_EQ(Run({hex, "--output", unwritable}), kExitCannotWrite);
    EXPECT_EQ(err.str(),
              "kestrune-cli: " + unwritable + ": No such file or directory\nCan't write file !\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(InfoCommand, UnopenableFileSaysWhyOnStderr) {
    const std::string missing = Arg(dir / "missing.hex");
    EXPECT_EQ(Run({missing}), kExitCannotOpen);
    EXPECT_EQ(err.str(),
              "kestrune-cli: " + missing + ": No such file or directory\nCan't open file !\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(Run({Arg(dir)}), kExitCannotOpen);
    EXPECT_EQ(err.str(), "kestrune-cli: " + Arg(dir) + ": Is a directory\nCan't open file !\n");
}

// Each kind of damage, after a good record: nothing on stdout.
TEST_F(InfoCommand, DamagedHexFilesAreRefusedWithLineAndReason) {
    const struct {
        std::string lines;
        const char* where;
    } cases[] = {
        {":0100010002FD", "line 2: checksum mismatch"},
        {":01000100x2FC", "line 2: not a hex digit"},
        {std::string(":0100010002FC\0", 14), "line 2: not a hex digit"},
        {":0100010002F", "line 2: odd number of digits"},
        {":0500010002FC", "line 2: length byte does not match the record"},
        {":03000004000100F8", "line 2: bad extended address record"},
        {":020000050000F9", "line 2: bad start address record"},
        {":00000006FA", "line 2: unknown record type"},
        {":02000004FFFFFC\r\n:02FFFF000102FD", "line 3: data at or above 4 GiB"},
    };
    for (const auto& c : cases) {
        const std::string file =
            Write("bad.hex", ":0100000001FE\r\n" + c.lines + "\r\n:00000001FF\r\n");
        EXPECT_EQ(Run({file}), kExitDamaged) << c.where;
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), "kestrune-cli: " + file + ": " + c.where + "\n");
    }
}

TEST_F(InfoCommand, ToleratedHexTextLoadsAndStartAddressesShowAsEntry) {
    // One byte 0x01 at 0: size 1, checksum 0001, whatever surrounds it; a
    // warning when there is no end record.
    const std::string summary =
        "\nformat: Intel HEX\nsize: 1\nchecksum: 0001\nrange: 0x00000000-0x00000000\n";
    const std::string cut = ": no end-of-file record; the file may be cut short\n";
    for (const std::string& text :
         {std::string("\xEF\xBB\xBF:0100000001FE\n"), std::string(":0100000001FE \t\r\n"),
          std::string("; comment\n:0100000001FE"), std::string(":0100000001FE\n:00000001FF\nrest"),
          std::string(":0100000001FE\n:00100000F0\n")}) {
        ASSERT_EQ(Run({Write("ok.hex", text)}), kExitOk) << text;
        EXPECT_EQ(out.str(), "path: " + Arg(dir / "ok.hex") + summary);
        EXPECT_EQ(err.str(), text.find(":00000001FF") == std::string::npos
                                 ? "kestrune-cli: " + Arg(dir / "ok.hex") + cut
                                 : "");
    }
    // 05: the 32-bit address; 03: segment x 16 + offset. Data after them still counts.
    const std::string linear = Write("l.hex", ":0400000508000123CB\n:0100000001FE\n:00000001FF\n");
    ASSERT_EQ(Run({linear}), kExitOk);
    EXPECT_EQ(out.str(), "path: " + linear + summary + "entry: 0x08000123\n");
    const std::string segmented =
        Write("s.hex", ":04000003F0001234C3\n:0100000001FE\n:00000001FF\n");
    ASSERT_EQ(Run({segmented}), kExitOk);
    EXPECT_EQ(out.str(), "path: " + segmented + summary + "entry: 0x000F1234\n");
}

// One S-record file (data at 0x0800_0010..0x0800_0012, entry in S7) under each origin.
TEST_F(InfoCommand, OriginStartsTheImageWhereAsked) {
    const std::string file = Write("fw.S37", "S30908000010010203FFD9\nS70508000010E2\n");
    const std::string head = "path: " + file + "\nformat: Motorola S-record\n";
    const std::string tail = "range: 0x08000010-0x08000013\n";
    const struct {
        CommandArgs options;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {{"--origin", "lowest"},
         kExitOk,
         head + "size: 4\nchecksum: 0105\n" + tail + "origin: 0x08000010\nentry: 0x08000010\n",
         ""},
        {{"--origin=0x08000000"},
         kExitOk,
         head + "size: 20\nchecksum: 10F5\n" + tail + "origin: 0x08000000\nentry: 0x08000010\n",
         ""},
        {{"--origin", "134217744"},
         kExitOk,
         head + "size: 4\nchecksum: 0105\n" + tail + "origin: 0x08000010\nentry: 0x08000010\n",
         ""},
        {{"--origin", "0x08000011"},
         kExitDamaged,
         "",
         "kestrune-cli: " + file + ": data at 0x08000010 lies below the origin 0x08000011\n"},
        // From 0 the data reach 128 MiB: within the default limit, not within 64M.
        {{"--max-span=64M", "--origin", "0"},
         kExitDamaged,
         "",
         "kestrune-cli: " + file +
             ": the data reach from 0x00000000 to 0x08000013 (128 MiB): a stray record, or an "
             "image that needs --origin?\n"},
        {{"--max-span", "4K", "--origin", "0x08000000"},
         kExitOk,
         head + "size: 20\nchecksum: 10F5\n" + tail + "origin: 0x08000000\nentry: 0x08000010\n",
         ""},
    };
    for (const auto& c : cases) {
        CommandArgs args = c.options;
        args.push_back(file);
        EXPECT_EQ(Run(args), c.status) << c.options[0];
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
}

TEST_F(InfoCommand, CommandLineMistakesAreUsageErrors) {
    const std::string raw = Write("fw.bin", "x");
    for (const CommandArgs& args : std::vector<CommandArgs>{{},
                                                            {"--bogus", raw},
                                                            {raw, raw},
                                                            {raw, "--output"},
                                                            {raw, "--output="},
                                                            {"--output", raw},
                                                            {raw, "--origin"},
                                                            {raw, "--origin", "0x100000000"},
                                                            {raw, "--origin=12a"},
                                                            {raw, "--origin="},
                                                            {raw, "--max-span", "0"},
                                                            {raw, "--max-span", "5G"},
                                                            {raw, "--max-span=4097M"},
                                                            {raw, "--max-span", "1T"},
                                                            {raw, "--max-span=K"}}) {
        EXPECT_EQ(Run(args), kExitUsage) << ::testing::PrintToString(args);
        EXPECT_NE(err.str().find("Usage: kestrune-cli info"), std::string::npos);
        EXPECT_EQ(out.str(), "");
    }
    // After "--" a name may start with a dash.
    EXPECT_EQ(Run({"--", "-fw.bin"}),
              kExitCannotOpen);  // a file name, looked up and not found here
    EXPECT_EQ(err.str(), "kestrune-cli: -fw.bin: No such file or directory\nCan't open file !\n");
}

TEST_F(InfoCommand, HelpExplainsTheCommand) {
    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_NE(
        out.str().find("Usage: kestrune-cli info FILE [--origin ADDR|lowest] [--max-span SIZE]"),
        std::string::npos);
    EXPECT_NE(out.str().find("Can't open file !"), std::string::npos);
    EXPECT_EQ(Run({"-h"}), kExitOk);
}

TEST_F(InfoCommand, NamesWithAnyCharactersWork) {
    const std::string name = Write(fs::path(u8"f\u00fcr-\u20ac.bin"), "ab");
    ASSERT_EQ(Run({name}), kExitOk);
    EXPECT_EQ(out.str(), "path: " + name + "\nformat: binary\nsize: 2\nchecksum: 00C3\n");
}

}  // namespace

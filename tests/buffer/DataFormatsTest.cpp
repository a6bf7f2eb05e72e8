// The format table and the rules that read it: names, extensions, what the
// window shows and which routines a FileType gets.
#include <gtest/gtest.h>

#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"

namespace velmar {
namespace {

TEST(DataFormats, RowsInFileTypeOrder) {
    for (std::size_t i = 0; i < kDataFormats.size(); ++i)
        EXPECT_EQ(kDataFormats[i].Type, static_cast<int>(i));
    EXPECT_EQ(DataFormatOf(MotorolaHexFileType).ListText, "Motorola Hex");
    EXPECT_EQ(DataFormatOf(AsciiHexFileType).ButtonCaption, "Ascii Hex File");
    EXPECT_EQ(DataFormatOf(IntelHexFileType).Description, "Intel hex");
    EXPECT_EQ(DataFormatOf(BinaryFileType).DefaultExt, "Bin");
    EXPECT_EQ(DataFormatOf(BinaryFileType).FilterIndex, 1);
    EXPECT_EQ(DataFormatOf(AsciiHexFileType).DefaultExt, "Hex");
    EXPECT_EQ(DataFormatOf(AsciiHexFileType).FilterIndex, 2);
}

// A settings file can hold any number: it is a hex type without a caption.
TEST(DataFormats, UnlistedTypeIsHexWithoutCaption) {
    for (FileType type : {FileType{-1}, FileType{4}, FileType{7}}) {
        const DataFormat& format = DataFormatOf(type);
        EXPECT_EQ(format.ButtonCaption, "") << type;
        EXPECT_EQ(format.DefaultExt, "Hex") << type;
        EXPECT_EQ(format.FilterIndex, 2) << type;
        EXPECT_FALSE(HasBinaryRoutines(type)) << type;
    }
    EXPECT_TRUE(HasBinaryRoutines(BinaryFileType));
    for (FileType type : {IntelHexFileType, MotorolaHexFileType, AsciiHexFileType})
        EXPECT_FALSE(HasBinaryRoutines(type)) << type;
}

TEST(DataFormats, NamesInAnyCase) {
    EXPECT_EQ(FileTypeFromName("intel"), IntelHexFileType);
    EXPECT_EQ(FileTypeFromName("Intel"), IntelHexFileType);
    EXPECT_EQ(FileTypeFromName("ASCII"), AsciiHexFileType);
    EXPECT_FALSE(FileTypeFromName("motorol"));
    EXPECT_FALSE(FileTypeFromName("binary "));
    EXPECT_FALSE(FileTypeFromName(""));
}

TEST(DataFormats, ExtensionsNameTheirRows) {
    EXPECT_EQ(FileTypeListing(".BIN"), BinaryFileType);
    EXPECT_EQ(FileTypeListing(".Ihx"), IntelHexFileType);
    EXPECT_EQ(FileTypeListing(".mot"), MotorolaHexFileType);
    EXPECT_FALSE(FileTypeListing("bin"));
    EXPECT_FALSE(FileTypeListing(""));
    EXPECT_FALSE(FileTypeListing(".txt"));
    EXPECT_EQ(FileTypeFromExtension("a.b/c.S37"), MotorolaHexFileType);
    EXPECT_FALSE(FileTypeFromExtension("a.bin\\c"));
    EXPECT_FALSE(FileTypeFromExtension("."));
}

// .Hex is the dialogs' extension of three rows; .Bin of one.
TEST(DataFormats, SharedDialogExtension) {
    EXPECT_EQ(RowsWithDefaultExt(".hex"), 3);
    EXPECT_EQ(RowsWithDefaultExt(".Bin"), 1);
    EXPECT_EQ(RowsWithDefaultExt("Hex"), 0);
    EXPECT_EQ(RowsWithDefaultExt("."), 0);
    EXPECT_TRUE(ExtensionIsShared("dir/image.HEX"));
    EXPECT_FALSE(ExtensionIsShared("image.bin"));
    EXPECT_FALSE(ExtensionIsShared("image.ihx"));
    EXPECT_FALSE(ExtensionIsShared("dir.hex/image"));
}

// Text never passes for a binary image, nor bytes that are not text for a
// hex file, unless a format is asked for; hex text is told by its lines.
TEST(FormatDetection, TextIsNotBinaryNorBytesHex) {
    const auto judge = [](std::string_view name, std::string_view bytes) {
        const FormatVerdict v = JudgeDataFile(name, bytes);
        return std::pair{v.fileType, v.problem};
    };
    using P = FormatProblem;
    const std::string utf16le("\xFF\xFEH\0i\0 \0\xE9\0\r\0\n\0", 14);
    const std::string utf16be("\xFE\xFF\0H\0i", 6);
    const std::string bare16("0\0 \x00"
                             "1\0\n\0",
                             8);
    for (const std::string& text :
         {std::string("Remember to erase the part first.\n"), utf16le, utf16be, bare16,
          std::string("00 01 02 03\n"), std::string("caf\xC3\xA9 \xE2\x82\xAC\n"),
          std::string("0102\n0304 \n")}) {
        EXPECT_EQ(judge("notes.txt", text), std::pair(BinaryFileType, P::TextAsBinary)) << text;
        EXPECT_EQ(judge("", text), std::pair(BinaryFileType, P::TextAsBinary)) << text;
    }
    // Named binary, it is taken as named; named .hex, the reader judges it.
    EXPECT_EQ(judge("notes.bin", "plain words\n"), std::pair(BinaryFileType, P::None));
    EXPECT_EQ(judge("notes.hex", "plain words\n"), std::pair(IntelHexFileType, P::None));

    const std::string image("\x02\x00\x30\xFF\xC3\x80", 6);
    EXPECT_EQ(judge("rom", image), std::pair(BinaryFileType, P::None));
    // A byte-order mark alone makes no text of an image.
    EXPECT_EQ(judge("rom", std::string("\xFF\xFEH\0\x12\xE0", 6)),
              std::pair(BinaryFileType, P::None));
    EXPECT_EQ(judge("rom.hex", image), std::pair(IntelHexFileType, P::BytesAsHex));
    EXPECT_EQ(judge("rom.S19", image), std::pair(MotorolaHexFileType, P::BytesAsHex));
    // A record with a stray byte is still a record: its line is reported.
    EXPECT_EQ(judge("a.hex", std::string(":0100000\0\0\n", 11)),
              std::pair(IntelHexFileType, P::None));
    EXPECT_EQ(judge("a.hex", std::string("S1040000\x01\x02\n", 11)),
              std::pair(MotorolaHexFileType, P::None));
    EXPECT_EQ(judge("a.ihx", std::string(" :01\x80\n", 6)), std::pair(IntelHexFileType, P::None));

    EXPECT_EQ(judge("a", "0102A0ff\r\n3344\r\n"), std::pair(AsciiHexFileType, P::None));
    EXPECT_EQ(judge("a", "\r\n:0100000055AA\r\n"), std::pair(IntelHexFileType, P::None));
    EXPECT_EQ(judge("a", " \r\n"),
              std::pair(BinaryFileType, P::None)); // nothing: binary, and empty
    // Only the head counts, whoever read how much.
    EXPECT_EQ(judge("a", std::string(kFormatHeadSize, 'x') + '\0'),
              std::pair(BinaryFileType, P::TextAsBinary));
    EXPECT_EQ(FormatProblemText(P::TextAsBinary, "n.txt"),
              "n.txt looks like text, not a binary image or a hex format");
}

} // namespace
} // namespace velmar

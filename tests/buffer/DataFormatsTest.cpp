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
    for (int type : {-1, 4, 7}) {
        const DataFormat& format = DataFormatOf(type);
        EXPECT_EQ(format.ButtonCaption, "") << type;
        EXPECT_EQ(format.DefaultExt, "Hex") << type;
        EXPECT_EQ(format.FilterIndex, 2) << type;
        EXPECT_FALSE(HasBinaryRoutines(type)) << type;
    }
    EXPECT_TRUE(HasBinaryRoutines(BinaryFileType));
    for (int type : {IntelHexFileType, MotorolaHexFileType, AsciiHexFileType})
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

} // namespace
} // namespace velmar

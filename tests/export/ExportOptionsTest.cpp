#include "export/ExportOptions.h"
#include "export/ExportFailure.h"

#include <gtest/gtest.h>

using namespace oxel;

TEST(ExportFormat, ReadsOnlyExactRawValues)
{
    for (ExportFormat format : allExportFormats) EXPECT_EQ(exportFormatFromRawValue(rawValue(format)), format);
    EXPECT_FALSE(exportFormatFromRawValue("PSD"));
    EXPECT_FALSE(exportFormatFromRawValue("tif"));
    EXPECT_FALSE(exportFormatFromRawValue(""));
    EXPECT_EQ(exportColourFromRawValue("sRGB"), ExportColour::sRGB);
    EXPECT_EQ(exportColourFromRawValue("embedded"), ExportColour::embedded);
    EXPECT_FALSE(exportColourFromRawValue("srgb"));
}

TEST(ExportFormat, KnowsWhichFormatsHoldSixteenBits)
{
    EXPECT_TRUE(allowsSixteenBit(ExportFormat::psd));
    EXPECT_TRUE(allowsSixteenBit(ExportFormat::tiff));
    EXPECT_TRUE(allowsSixteenBit(ExportFormat::png));
    EXPECT_FALSE(allowsSixteenBit(ExportFormat::jpeg));
    EXPECT_FALSE(allowsSixteenBit(ExportFormat::heic));
}

TEST(ExportFormat, OnlyJPEGAndHEICCarryAGainMap)
{
    for (ExportFormat format : allExportFormats)
        EXPECT_EQ(carriesGainMap(format), format == ExportFormat::jpeg || format == ExportFormat::heic)
            << rawValue(format);
}

TEST(ExportFormat, NamesFilesWithTheFormatsExtensionAndReadsItBack)
{
    EXPECT_EQ(fileExtension(ExportFormat::psd), "psd");
    EXPECT_EQ(fileExtension(ExportFormat::tiff), "tif");
    EXPECT_EQ(fileExtension(ExportFormat::jpeg), "jpg");
    EXPECT_EQ(fileExtension(ExportFormat::png), "png");
    EXPECT_EQ(fileExtension(ExportFormat::heic), "heic");
    EXPECT_EQ(layeredTemporarySuffix(ExportFormat::psd), ".psd.part");
    EXPECT_EQ(layeredTemporarySuffix(ExportFormat::tiff), ".tif.part");

    for (ExportFormat format : allExportFormats) EXPECT_EQ(exportFormatForExtension(fileExtension(format)), format);
    EXPECT_EQ(exportFormatForExtension("TIFF"), ExportFormat::tiff);
    EXPECT_EQ(exportFormatForExtension("Jpeg"), ExportFormat::jpeg);
    EXPECT_EQ(exportFormatForExtension("PSD"), ExportFormat::psd);
    for (std::string_view other : {"", "psb", "gif", ".psd", "tif "})
        EXPECT_FALSE(exportFormatForExtension(other)) << other;
}

TEST(ExportFormat, PSDAlwaysHoldsLayersAndTIFFWhenAsked)
{
    for (ExportFormat format : allExportFormats)
        EXPECT_EQ(carriesLayers(format), format == ExportFormat::psd || format == ExportFormat::tiff)
            << rawValue(format);
    EXPECT_TRUE(writesLayers({.format = ExportFormat::psd, .tiffLayered = false}));
    EXPECT_TRUE(writesLayers({.format = ExportFormat::tiff, .tiffLayered = true}));
    EXPECT_FALSE(writesLayers({.format = ExportFormat::tiff, .tiffLayered = false}));
    EXPECT_FALSE(writesLayers({.format = ExportFormat::jpeg, .tiffLayered = true}));
}

TEST(ExportFormat, NamesAnExportAfterTheOriginalWithItsTag)
{
    EXPECT_EQ(exportFileName("IMG_7", exportTag(false), ExportFormat::psd), "IMG_7-oxel.psd");
    EXPECT_EQ(exportFileName("IMG_7", exportTag(false), ExportFormat::tiff, 2), "IMG_7-oxel-2.tif");
    EXPECT_EQ(exportFileName("a.b", exportTag(true), ExportFormat::jpeg), "a.b-colour-only.jpg");
}

TEST(ExportFormat, SendsBackInTheOriginalsOwnFormat)
{
    EXPECT_EQ(exportFormatForSourceType("public.heif"), ExportFormat::heic);
    EXPECT_EQ(exportFormatForSourceType("public.heic"), ExportFormat::heic);
    EXPECT_EQ(exportFormatForSourceType("com.compuserve.gif"), ExportFormat::jpeg);
    EXPECT_EQ(exportFormatForSourceType(std::nullopt), ExportFormat::jpeg);
    EXPECT_EQ(exportFormatForSourceType("com.adobe.photoshop-image"), ExportFormat::psd);
    EXPECT_EQ(exportFormatForSourceType("public.tiff"), ExportFormat::tiff);
    EXPECT_EQ(exportFormatForSourceType("public.png"), ExportFormat::png);
}

TEST(ExportOptions, ComparesEveryField)
{
    ExportOptions a, b;
    EXPECT_EQ(a, b);
    b.jpegQuality = 0.9;
    EXPECT_NE(a, b);
    EXPECT_EQ(a.format, ExportFormat::psd);
    EXPECT_TRUE(a.sixteenBit && a.tiffLayered && a.inheritCaptureDate);
    EXPECT_DOUBLE_EQ(a.jpegQuality, 0.95);
}

TEST(ExportError, DescribesItselfInThePhotographersWords)
{
    EXPECT_EQ(ExportError::writeFailed("could not write png").description(), "write failed: could not write png");
    EXPECT_EQ(ExportError::transferDeclined("too far").description(), "transfer declined: too far");
    EXPECT_EQ(ExportError::noResult().description(), "nothing to export yet");
    EXPECT_EQ(ExportFailure{PSDWriterError::tooLarge()}.description(), "canvas is larger than a PSB allows");
}

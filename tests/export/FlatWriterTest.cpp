#include "export/ExportTestSupport.h"

#include "export/FlatWriter.h"
#include "export/HEICAuxiliary.h"

#include "develop/codecs/GainMapLocator.h"
#include "platform/AtomicFile.h"
#include "support/LinkRacer.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/resource.h>

using namespace oxel;
using namespace oxel::layeredtest;

namespace {

const std::string gainMapXmp =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:HDRGainMap=\"http://ns.apple.com/HDRGainMap/1.0/\" "
    "HDRGainMap:HDRGainMapVersion=\"65536\"/></rdf:RDF></x:xmpmeta>";

Image testPicture(int64_t width = 40, int64_t height = 30)
{
    return pictureOf(width, height,
                     [](int64_t x, int64_t y, int c) { return uint16_t((x * 1500 + y * 700 + c * 9000) % 65536); });
}

Metadata cameraMetadata()
{
    Metadata metadata;
    metadata.setText("Exif.Image.Make", "Maker");
    metadata.setText("Exif.Image.Model", "Model 7");
    metadata.setText("Exif.Image.Orientation", "6");
    metadata.setText("Exif.Image.DateTime", "2024:05:01 10:00:00");
    metadata.setText("Exif.Photo.DateTimeOriginal", "2024:05:01 09:59:58");
    metadata.setText("Exif.Photo.DateTimeDigitized", "2024:05:01 09:59:58");
    metadata.setText("Exif.Photo.PixelXDimension", "6000");
    metadata.setText("Exif.Photo.ExposureTime", "1/250");
    metadata.setText("Exif.GPSInfo.GPSLatitudeRef", "N");
    metadata.setText("Exif.GPSInfo.GPSLatitude", "52/1 30/1 0/1");
    metadata.setText("Iptc.Application2.Keywords", "harbour");
    metadata.setText("Xmp.dc.title", "not carried");
    return metadata;
}

FlatWriteServices servicesCarrying(std::vector<nlohmann::json>* events, bool carried = true,
                                   std::string xmp = gainMapXmp)
{
    FlatWriteServices services;
    services.softwareVersion = "1.2.3";
    services.carryGainMap = [carried, xmp](std::span<const uint8_t>, const Image&, const RenderContext&,
                                           std::string& reason) -> std::optional<CarriedGainMap> {
        reason = carried ? "applied:apple" : "no-map:public.jpeg";
        if (!carried) return std::nullopt;
        CarriedGainMap map;
        map.picture = {20, 15, std::vector<uint8_t>(300, 180), xmp};
        map.paramsMax = 1.234f;
        map.appliedMean = 0.5;
        return map;
    };
    services.reportDetailTransfer = [events](const nlohmann::json& metadata) { events->push_back(metadata); };
    return services;
}

FlatWriteOriginal originalWithGainMap()
{
    FlatWriteOriginal original;
    original.metadata = cameraMetadata();
    original.hasGainMap = true;
    original.gainMapFile = FileBytes({0xFF, 0xD8});
    return original;
}

ExportOptions optionsFor(ExportFormat format, bool sixteenBit = true)
{
    ExportOptions options;
    options.format = format;
    options.sixteenBit = sixteenBit;
    return options;
}

// Writes the test picture with a carried gain map; nothing when the write failed.
std::optional<FlatWriteResult> writeCarryingGainMap(const std::filesystem::path& file, ExportFormat format,
                                                    std::vector<nlohmann::json>* events)
{
    const auto result = writeFlat(testPicture(), originalWithGainMap(), file, optionsFor(format), ColourSpace::sRGB(),
                                  RenderContext(), servicesCarrying(events));
    if (!std::holds_alternative<FlatWriteResult>(result)) return std::nullopt;
    return std::get<FlatWriteResult>(result);
}

} // namespace

TEST(FlatWriter, WritesEveryFormatAtItsDepthAndLeavesNothingElse)
{
    struct Case {
        ExportFormat format;
        std::string name;
        std::string expected;
    };
    for (const auto& [format, name, expected] : {Case{ExportFormat::jpeg, "a.jpg", "JPEG 41 30 8"},
                                                 {ExportFormat::png, "a.png", "PNG 41 30 16"},
                                                 {ExportFormat::tiff, "a.tif", "TIFF 41 30 16"},
                                                 {ExportFormat::heic, "a.heic", "HEIC 41 30 8"},
                                                 {ExportFormat::psd, "a.psd", "PSD 41 30 16"}}) {
        ScratchFolder folder;
        const auto result = writeFlat(testPicture(41, 30), {}, folder / name, optionsFor(format),
                                      ColourSpace::displayP3(), RenderContext());
        ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(result))
            << name << ": " << std::get<ExportFailure>(result).description();
        EXPECT_EQ(std::get<FlatWriteResult>(result), (FlatWriteResult{false, "no-map"}));
        EXPECT_EQ(identify(folder / name), expected);
        EXPECT_EQ(exiftool(folder / name).value("ICC_Profile:ProfileDescription", ""), "Display P3") << name;
        EXPECT_EQ(folder.entries(), std::vector<std::string>{name});
        // Readable by others as any new file, not only by the owner as while it was written.
        EXPECT_EQ(std::filesystem::status(folder / name).permissions(), std::filesystem::perms(maskedByUmask(0644)))
            << name;
    }
    ScratchFolder folder;
    writeFlat(testPicture(), {}, folder / "b.png", optionsFor(ExportFormat::png, false), ColourSpace::sRGB(),
              RenderContext());
    EXPECT_EQ(identify(folder / "b.png"), "PNG 40 30 8");
}

TEST(FlatWriter, CarriesTheOriginalsMetadataLessWhatNoLongerApplies)
{
    FlatWriteOriginal original;
    original.metadata = cameraMetadata();
    FlatWriteServices services;
    services.softwareVersion = "1.2.3";
    for (ExportFormat format :
         {ExportFormat::jpeg, ExportFormat::tiff, ExportFormat::png, ExportFormat::heic, ExportFormat::psd}) {
        ScratchFolder folder;
        const auto file = folder / ("m." + std::string(rawValue(format)));
        ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(writeFlat(testPicture(), original, file, optionsFor(format),
                                                                      ColourSpace::sRGB(), RenderContext(), services)));
        const auto tags = exiftool(file);
        SCOPED_TRACE(rawValue(format));
        EXPECT_EQ(tags.value("IFD0:Software", ""), "oxel pro 1.2.3");
        EXPECT_EQ(tags.value("IFD0:Make", ""), "Maker");
        EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal", ""), "2024:05:01 09:59:58");
        EXPECT_EQ(tags.value("IFD0:ModifyDate", ""), "2024:05:01 10:00:00");
        EXPECT_TRUE(tags.contains("GPS:GPSLatitude"));
        EXPECT_FALSE(tags.contains("IFD0:Orientation"));
        EXPECT_FALSE(hasTagEnding(tags, ":Title"));
        EXPECT_FALSE(tags.contains("ExifIFD:ExifImageWidth"));
        if (format == ExportFormat::heic) {
            EXPECT_EQ(tags.value("XMP-dc:Subject", ""), "harbour");
        } else {
            EXPECT_EQ(tags.value("IPTC:Keywords", ""), "harbour");
        }
        EXPECT_FALSE(tags.contains("ExifTool:Warning")) << tags.value("ExifTool:Warning", "");
    }
}

TEST(FlatWriter, CarriesTheIptcOfAJPEGIntoHEICAsXmpInUtf8)
{
    ScratchFolder folder;
    const auto camera = folder / "camera.jpg";
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(
        writeFlat(testPicture(), {}, camera, optionsFor(ExportFormat::jpeg), ColourSpace::sRGB(), RenderContext())));
    run("exiftool -q -overwrite_original -charset iptc=UTF8 -IPTC:Keywords='Möwe' -IPTC:Keywords='harbour' "
        "-IPTC:By-line='Zoë Ødegård' -IPTC:CopyrightNotice='© 2024 Zoë Ødegård' -IPTC:City='Århus' "
        "-XMP-dc:Title='the original packet' '" +
        camera.string() + "'");
    FlatWriteOriginal original;
    original.metadata = *Metadata::read(camera);
    ASSERT_TRUE(original.metadata.hasIptc());

    const auto file = folder / "c.heic";
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(writeFlat(
        testPicture(), original, file, optionsFor(ExportFormat::heic), ColourSpace::sRGB(), RenderContext())));
    const auto tags = exiftool(file);
    EXPECT_EQ(tags.value("XMP-dc:Subject", nlohmann::json()), (nlohmann::json{"Möwe", "harbour"}));
    EXPECT_EQ(tags.value("XMP-dc:Creator", ""), "Zoë Ødegård");
    EXPECT_EQ(tags.value("XMP-dc:Rights", ""), "© 2024 Zoë Ødegård");
    EXPECT_EQ(tags.value("XMP-photoshop:City", ""), "Århus");
    EXPECT_FALSE(tags.contains("XMP-dc:Title")) << "the original's own XMP is not carried";
    EXPECT_FALSE(tags.contains("ExifTool:Warning")) << tags.value("ExifTool:Warning", "");
}

// The original's XMP packet, whether the metadata library could parse it or not, goes into no
// flat file: a TIFF got it whole, dates and all.
TEST(FlatWriter, CarriesNoXmpPacketOfTheOriginals)
{
    ScratchFolder folder;
    const auto camera = folder / "camera.tif";
    for (const std::string unclosed : {"<xmp:Unclosed>", ""}) {
        ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(writeFlat(
            testPicture(), {}, camera, optionsFor(ExportFormat::tiff), ColourSpace::sRGB(), RenderContext())));
        std::ofstream(folder / "packet.xmp")
            << "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
               "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
               "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
               "xmp:CreateDate=\"2024-05-01T09:59:58\">" +
                   unclosed + "</rdf:Description></rdf:RDF></x:xmpmeta>";
        run("exiftool -q -overwrite_original '-XMP<=" + (folder / "packet.xmp").string() + "' '" + camera.string() +
            "'");
        ASSERT_TRUE(exiftool(camera).contains("XMP-xmp:CreateDate"));
        FlatWriteOriginal original;
        original.metadata = *Metadata::read(camera);
        for (ExportFormat format :
             {ExportFormat::jpeg, ExportFormat::tiff, ExportFormat::png, ExportFormat::heic, ExportFormat::psd}) {
            const auto file = folder / ("x." + std::string(rawValue(format)));
            ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(
                writeFlat(testPicture(), original, file, optionsFor(format), ColourSpace::sRGB(), RenderContext())));
            EXPECT_FALSE(hasTagEnding(exiftool(file), ":CreateDate")) << rawValue(format) << " " << unclosed;
        }
    }
}

namespace {

// Every date a reader finds in the file, but the file system's and the colour profile's own.
std::vector<std::string> datesIn(const nlohmann::json& tags)
{
    std::vector<std::string> dates;
    for (const auto& [key, value] : tags.items())
        if ((key.find("Date") != std::string::npos || key.ends_with("TimeCreated") || key.ends_with("CreationTime")) &&
            !key.starts_with("System:") && !key.starts_with("ICC_Profile:") && !key.starts_with("ICC-"))
            dates.push_back(key);
    return dates;
}

} // namespace

TEST(FlatWriter, LeavesEveryCaptureDateOutWhenAskedAndKeepsThemAllOtherwise)
{
    FlatWriteOriginal original;
    original.metadata = cameraMetadata();
    original.metadata.setText("Iptc.Application2.DateCreated", "2024-05-01");
    original.metadata.setText("Iptc.Application2.TimeCreated", "09:59:58+02:00");
    original.metadata.setText("Iptc.Application2.DigitizationDate", "2024-05-01");
    original.metadata.setText("Iptc.Application2.DigitizationTime", "09:59:58+02:00");
    original.metadata.setText("Exif.GPSInfo.GPSDateStamp", "2024:05:01");
    original.metadata.setText("Exif.GPSInfo.GPSTimeStamp", "7/1 59/1 58/1");
    original.metadata.setText("Exif.Image.TimeZoneOffset", "2");
    original.metadata.setText("Exif.Photo.0x882a", "2");
    for (ExportFormat format :
         {ExportFormat::jpeg, ExportFormat::tiff, ExportFormat::png, ExportFormat::heic, ExportFormat::psd}) {
        SCOPED_TRACE(rawValue(format));
        ScratchFolder folder;
        for (bool keep : {false, true}) {
            ExportOptions options = optionsFor(format);
            options.inheritCaptureDate = keep;
            const auto file = folder / ((keep ? "kept." : "left.") + std::string(rawValue(format)));
            ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(
                writeFlat(testPicture(), original, file, options, ColourSpace::sRGB(), RenderContext())));
            const auto tags = exiftool(file);
            if (!keep) {
                EXPECT_EQ(datesIn(tags), std::vector<std::string>{});
                EXPECT_FALSE(hasTagEnding(tags, ":TimeZoneOffset"));
                EXPECT_FALSE(tags.contains("GPS:GPSTimeStamp"));
                EXPECT_TRUE(tags.contains("GPS:GPSLatitude"));
                EXPECT_EQ(tags.value("IFD0:Model", ""), "Model 7");
                EXPECT_EQ(tags.value("IFD0:Software", ""), "oxel pro " + appVersion());
                continue;
            }
            EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal", ""), "2024:05:01 09:59:58");
            EXPECT_EQ(tags.value("IFD0:ModifyDate", ""), "2024:05:01 10:00:00");
            EXPECT_EQ(tags.value("GPS:GPSDateStamp", ""), "2024:05:01");
            EXPECT_TRUE(tags.contains("ExifIFD:TimeZoneOffset"));
            // HEIC files carry the IPTC as XMP, which states the date created alone.
            if (format == ExportFormat::heic) {
                EXPECT_EQ(tags.value("XMP-photoshop:DateCreated", ""), "2024:05:01 09:59:58+02:00");
            } else {
                EXPECT_EQ(tags.value("IPTC:DateCreated", ""), "2024:05:01");
                EXPECT_EQ(tags.value("IPTC:DigitalCreationTime", ""), "09:59:58+02:00");
            }
        }
    }
}

// Times written without their zone, as many programs write them, come out as they went in,
// through TIFF, PNG and PSD exports and originals as well, and into a HEIC file's date created.
TEST(FlatWriter, KeepsTheOriginalsIptcTimesAsWritten)
{
    // 15:44:44 with no zone.
    const uint8_t block[] = {
        0x1C, 2, 55, 0, 8, '2', '0', '2', '4', '0', '5', '0', '1', // date created
        0x1C, 2, 60, 0, 6, '1', '5', '4', '4', '4', '4',           // time created
        0x1C, 2, 63, 0, 6, '1', '5', '4', '4', '4', '4',           // time digitised
    };
    FlatWriteOriginal original;
    original.metadata = *Metadata::fromIptc(block);
    ScratchFolder folder;
    for (ExportFormat format :
         {ExportFormat::tiff, ExportFormat::png, ExportFormat::psd, ExportFormat::jpeg, ExportFormat::heic}) {
        const auto file = folder / ("x." + std::string(rawValue(format)));
        ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(
            writeFlat(testPicture(), original, file, optionsFor(format), ColourSpace::sRGB(), RenderContext())));
        const auto tags = exiftool(file);
        if (format == ExportFormat::heic)
            EXPECT_EQ(tags.value("XMP-photoshop:DateCreated", ""), "2024:05:01 15:44:44");
        else
            EXPECT_EQ(tags.value("IPTC:TimeCreated", "") + tags.value("IPTC:DigitalCreationTime", ""),
                      "15:44:4415:44:44")
                << rawValue(format);
        original.metadata = *Metadata::read(file);
    }
}

TEST(FlatWriter, CarriesAGainMapIntoJPEGAsASecondPicture)
{
    std::vector<nlohmann::json> events;
    ScratchFolder folder;
    EXPECT_EQ(writeCarryingGainMap(folder / "g.jpg", ExportFormat::jpeg, &events),
              (FlatWriteResult{true, "applied:apple"}));

    const auto tags = exiftool(folder / "g.jpg");
    EXPECT_EQ(tags.value("MPF0:NumberOfImages", 0), 2);
    run("exiftool -b -MPImage2 '" + (folder / "g.jpg").string() + "' > '" + (folder / "map.jpg").string() + "'");
    EXPECT_EQ(identify(folder / "map.jpg"), "JPEG 20 15 8");
    EXPECT_EQ(exiftool(folder / "map.jpg").value("XMP-HDRGainMap:HDRGainMapVersion", 0), 65536);
    EXPECT_EQ(identify(folder / "g.jpg"), "JPEG 40 30 8");
    EXPECT_EQ(tags.value("IFD0:Make", ""), "Maker");

    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(
        events[0],
        (nlohmann::json{
            {"hdr", true}, {"hdrWhy", "applied:apple"}, {"format", "jpeg"}, {"gainMean", 0.5}, {"gainMax", 1.23}}));
}

TEST(FlatWriter, MarksAGainMapWithoutMetadataSoThatReadersFindIt)
{
    std::vector<nlohmann::json> events;
    ScratchFolder folder;
    const auto result =
        writeFlat(testPicture(), originalWithGainMap(), folder / "g.jpg", optionsFor(ExportFormat::jpeg),
                  ColourSpace::sRGB(), RenderContext(), servicesCarrying(&events, true, ""));
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(result));
    run("exiftool -b -MPImage2 '" + (folder / "g.jpg").string() + "' > '" + (folder / "map.jpg").string() + "'");
    EXPECT_EQ(exiftool(folder / "map.jpg").value("XMP-HDRGainMap:HDRGainMapVersion", 0), 65536);
}

TEST(FlatWriter, CarriesAGainMapIntoHEICAsAHiddenAuxiliaryImage)
{
    std::vector<nlohmann::json> events;
    ScratchFolder folder;
    EXPECT_EQ(writeCarryingGainMap(folder / "g.heic", ExportFormat::heic, &events),
              (FlatWriteResult{true, "applied:apple"}));

    const auto bytes = fileBytes(folder / "g.heic");
    heif_context* context = heif_context_alloc();
    ASSERT_EQ(heif_context_read_from_memory_without_copy(context, bytes.data(), bytes.size(), nullptr).code,
              heif_error_Ok);
    EXPECT_EQ(heif_context_get_number_of_top_level_images(context), 1);
    heif_image_handle* primary = nullptr;
    ASSERT_EQ(heif_context_get_primary_image_handle(context, &primary).code, heif_error_Ok);
    EXPECT_EQ(heif_image_handle_get_width(primary), 40);
    ASSERT_EQ(heif_image_handle_get_number_of_auxiliary_images(primary, 0), 1);
    heif_item_id auxiliaryId = 0;
    heif_image_handle_get_list_of_auxiliary_image_IDs(primary, 0, &auxiliaryId, 1);
    heif_image_handle* map = nullptr;
    ASSERT_EQ(heif_image_handle_get_auxiliary_image_handle(primary, auxiliaryId, &map).code, heif_error_Ok);
    const char* type = nullptr;
    ASSERT_EQ(heif_image_handle_get_auxiliary_type(map, &type).code, heif_error_Ok);
    EXPECT_STREQ(type, heicGainMapAuxiliaryType);
    heif_image_handle_free_auxiliary_types(map, &type);
    EXPECT_EQ(heif_image_handle_get_width(map), 20);
    EXPECT_EQ(heif_image_handle_get_height(map), 15);
    heif_item_id xmpId = 0;
    ASSERT_EQ(heif_image_handle_get_list_of_metadata_block_IDs(map, "mime", &xmpId, 1), 1);
    std::string xmp(heif_image_handle_get_metadata_size(map, xmpId), '\0');
    heif_image_handle_get_metadata(map, xmpId, xmp.data());
    EXPECT_EQ(xmp, gainMapXmp);
    heif_image* decoded = nullptr;
    const heif_error decodeError =
        heif_decode_image(map, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
    ASSERT_EQ(decodeError.code, heif_error_Ok) << decodeError.message;
    int stride = 0;
    EXPECT_NEAR(heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride)[0], 180, 3);
    heif_image_release(decoded);
    heif_image_handle_release(map);
    heif_image_handle_release(primary);
    heif_context_free(context);

    // The moved item locations still lead to the primary's pixels.
    EXPECT_EQ(identify(folder / "g.heic"), "HEIC 40 30 8");
    EXPECT_NE(run("heif-info -d '" + (folder / "g.heic").string() + "'").find("auxl"), std::string::npos);
}

TEST(FlatWriter, SaysWhyNoGainMapWasCarried)
{
    std::vector<nlohmann::json> events;
    const auto whyFor = [&](ExportFormat format, const FlatWriteOriginal& original, bool carried = true) {
        ScratchFolder folder;
        const auto result = writeFlat(testPicture(), original, folder / "w", optionsFor(format), ColourSpace::sRGB(),
                                      RenderContext(), servicesCarrying(&events, carried));
        return std::get<FlatWriteResult>(result);
    };
    EXPECT_EQ(whyFor(ExportFormat::heic, {}), (FlatWriteResult{false, "no-map"}));
    EXPECT_EQ(whyFor(ExportFormat::tiff, originalWithGainMap()), (FlatWriteResult{false, "format-cannot-carry"}));
    EXPECT_EQ(whyFor(ExportFormat::png, originalWithGainMap()), (FlatWriteResult{false, "format-cannot-carry"}));
    EXPECT_EQ(whyFor(ExportFormat::jpeg, originalWithGainMap(), false), (FlatWriteResult{false, "no-map:public.jpeg"}));
    FlatWriteOriginal vanished = originalWithGainMap();
    vanished.gainMapFile.reset();
    EXPECT_EQ(whyFor(ExportFormat::heic, vanished), (FlatWriteResult{false, "no-map:unreadable"}));
    EXPECT_EQ(events[events.size() - 2],
              (nlohmann::json{{"hdr", false}, {"hdrWhy", "no-map:public.jpeg"}, {"format", "jpeg"}}));
}

TEST(FlatWriter, FailsWithoutTouchingTheDestination)
{
    ScratchFolder folder;
    const auto destination = folder / "keep.tif";
    writeBytes(destination, {1, 2, 3});

    // A folder that isn't there.
    const auto gone = folder / "gone" / "x.jpg";
    auto result =
        writeFlat(testPicture(), {}, gone, optionsFor(ExportFormat::jpeg), ColourSpace::sRGB(), RenderContext());
    ASSERT_TRUE(std::holds_alternative<ExportFailure>(result));
    EXPECT_EQ(std::get<ExportFailure>(result).description(),
              "write failed: could not create jpeg destination: the folder " + (folder / "gone").string() +
                  " is not there");

    // Nothing to render.
    result = writeFlat(Image(), {}, destination, optionsFor(ExportFormat::tiff), ColourSpace::sRGB(), RenderContext());
    EXPECT_EQ(std::get<ExportFailure>(result).description(), "write failed: could not render the composite");

    // A disk that fills up half way: files may grow no larger than 4 KB.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    result =
        writeFlat(testPicture(), {}, destination, optionsFor(ExportFormat::tiff), ColourSpace::sRGB(), RenderContext());
    setrlimit(RLIMIT_FSIZE, &previous);
    ASSERT_TRUE(std::holds_alternative<ExportFailure>(result));
    EXPECT_EQ(std::get<ExportFailure>(result).description(), "write failed: could not write tiff");
    EXPECT_EQ(fileBytes(destination), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"keep.tif"});

    // And when it works, the old file is replaced whole.
    result =
        writeFlat(testPicture(), {}, destination, optionsFor(ExportFormat::tiff), ColourSpace::sRGB(), RenderContext());
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(result));
    EXPECT_EQ(identify(destination), "TIFF 40 30 16");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"keep.tif"});
}

TEST(FlatWriter, NeverWritesThroughALinkSwappedInForItsTemporary)
{
    ScratchFolder elsewhere;
    const auto victim = elsewhere / "victim.tif";
    writeFlat(testPicture(), {}, victim, optionsFor(ExportFormat::tiff), ColourSpace::sRGB(), RenderContext());
    const auto victimBytes = fileBytes(victim);
    ASSERT_FALSE(victimBytes.empty());

    struct Case {
        ExportFormat format;
        std::string name;
        std::string expected;
    };
    for (const auto& [format, name, expected] : {Case{ExportFormat::tiff, "a.tif", "TIFF 40 30 16"},
                                                 {ExportFormat::jpeg, "a.jpg", "JPEG 40 30 8"},
                                                 {ExportFormat::psd, "a.psd", "PSD 40 30 16"},
                                                 {ExportFormat::png, "a.png", "PNG 40 30 16"}})
        for (int run = 0; run < 6; ++run) {
            ScratchFolder folder;
            oxel::testing::LinkRacer racer(folder.path(), victim);
            FlatWriteOriginal original;
            original.metadata = cameraMetadata();
            const auto result = writeFlat(testPicture(), original, folder / name, optionsFor(format),
                                          ColourSpace::sRGB(), RenderContext());
            EXPECT_EQ(fileBytes(victim), victimBytes) << name << ": the link's target was written";
            const auto status = std::filesystem::symlink_status(folder / name);
            if (std::holds_alternative<FlatWriteResult>(result)) {
                EXPECT_EQ(status.type(), std::filesystem::file_type::regular) << name << " reported written";
                EXPECT_EQ(identify(folder / name), expected);
            } else {
                EXPECT_EQ(status.type(), std::filesystem::file_type::not_found) << name;
            }
        }
}

TEST(FlatWriter, RemovesOurOwnTemporariesThatAKilledExportLeftMoreThanADayAgo)
{
    ScratchFolder folder;
    const std::string digits(32, 'A');
    const auto twoDaysAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
    const auto leave = [&](const std::string& name, bool old) {
        writeBytes(folder / name, {1, 2, 3});
        if (old) std::filesystem::last_write_time(folder / name, twoDaysAgo);
    };
    leave(".oxel-" + digits + ".psd.part", true);
    leave(".oxel-0123ABCD.jpg", true);
    leave(".oxel-" + digits + ".tif.part", false);
    leave("holiday.jpg", true);
    leave(".oxel-notes", true);
    std::filesystem::create_symlink(folder / "holiday.jpg", folder / (".oxel-" + digits + ".png"));

    const auto result = writeFlat(testPicture(), {}, folder / "a.png", optionsFor(ExportFormat::png),
                                  ColourSpace::sRGB(), RenderContext());
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(result));
    auto entries = folder.entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{".oxel-" + digits + ".png", ".oxel-" + digits + ".tif.part",
                                                 ".oxel-notes", "a.png", "holiday.jpg"}));
}

TEST(FlatWriter, AFileSizeLimitFailsTheExportInsteadOfEndingTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScratchFolder folder;
    const auto destination = folder / "a.tif";
    const auto limitedExport = [&] {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit small{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &small);
        const auto result = writeFlat(testPicture(), {}, destination, optionsFor(ExportFormat::tiff),
                                      ColourSpace::sRGB(), RenderContext());
        std::exit(std::holds_alternative<ExportFailure>(result) ? 3 : 4);
    };
    EXPECT_EXIT(limitedExport(), ::testing::ExitedWithCode(3), "");
}

TEST(FlatWriter, NamesAFolderThatCannotBeWrittenTo)
{
    if (geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere";
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "locked");
    std::filesystem::permissions(folder / "locked",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const auto result = writeFlat(testPicture(), {}, folder / "locked" / "x.png", optionsFor(ExportFormat::png),
                                  ColourSpace::sRGB(), RenderContext());
    std::filesystem::permissions(folder / "locked", std::filesystem::perms::owner_all);
    EXPECT_EQ(std::get<ExportFailure>(result).description(),
              "write failed: could not create png destination: the folder " + (folder / "locked").string() +
                  " cannot be written to");
}

TEST(FlatWriter, WritesMapsThatTheOriginalReaderFindsAgain)
{
    std::vector<nlohmann::json> events;
    for (ExportFormat first : {ExportFormat::jpeg, ExportFormat::heic})
        for (ExportFormat second : {ExportFormat::jpeg, ExportFormat::heic}) {
            SCOPED_TRACE(std::string(rawValue(first)) + " then " + std::string(rawValue(second)));
            ScratchFolder folder;
            ASSERT_TRUE(writeCarryingGainMap(folder / "first", first, &events));
            const auto firstBytes = fileBytes(folder / "first");
            ASSERT_TRUE(containsGainMap(firstBytes));

            // Exported again from that file with the real transfer: a bright picture keeps the map.
            FlatWriteOriginal original;
            original.hasGainMap = true;
            original.gainMapFile = FileBytes(firstBytes);
            const Image bright = Image::constant({1, 1, 1}).cropped({0, 0, 40, 30});
            const auto result = writeFlat(bright, original, folder / "second", optionsFor(second), ColourSpace::sRGB(),
                                          RenderContext());
            ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(result));
            EXPECT_EQ(std::get<FlatWriteResult>(result), (FlatWriteResult{true, "applied:apple"}));
            const auto map = readGainMap(fileBytes(folder / "second"));
            ASSERT_TRUE(map);
            EXPECT_EQ(map->pixels.width(), 20);
            EXPECT_EQ(map->pixels.height(), 15);
            EXPECT_NEAR(map->pixels.row(7)[10 * channelCount(map->pixels.format())], 180, 4);
            EXPECT_EQ(map->kind, GainMapKind::hdr);
        }
}

TEST(FlatWriter, WritesWithoutAGainMapTheFileCannotTake)
{
    // A map whose metadata outgrows a JPEG segment (a HEIC original may hold any amount).
    const std::string largeXmp =
        gainMapXmp.substr(0, gainMapXmp.size() - 16) + std::string(70000, ' ') + "</x:xmpmeta>";
    std::vector<nlohmann::json> events;
    ScratchFolder folder;
    const auto result =
        writeFlat(testPicture(), originalWithGainMap(), folder / "g.jpg", optionsFor(ExportFormat::jpeg),
                  ColourSpace::sRGB(), RenderContext(), servicesCarrying(&events, true, largeXmp));
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(result)) << std::get<ExportFailure>(result).description();
    EXPECT_FALSE(std::get<FlatWriteResult>(result).hdr);
    EXPECT_EQ(identify(folder / "g.jpg"), "JPEG 40 30 8");
    EXPECT_FALSE(exiftool(folder / "g.jpg").contains("MPF0:NumberOfImages"));
    EXPECT_FALSE(containsGainMap(fileBytes(folder / "g.jpg")));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["hdr"], false);
    EXPECT_FALSE(events[0].contains("gainMax"));

    // A map HEIC cannot hold: the picture is written on its own.
    FlatWriteServices services = servicesCarrying(&events);
    services.carryGainMap = [](std::span<const uint8_t>, const Image&, const RenderContext&, std::string& reason) {
        reason = "applied:apple";
        return std::optional<CarriedGainMap>(CarriedGainMap{{70000, 1, std::vector<uint8_t>(70000, 9), {}}, 1, {}, {}});
    };
    const auto heic = writeFlat(testPicture(), originalWithGainMap(), folder / "g.heic", optionsFor(ExportFormat::heic),
                                ColourSpace::sRGB(), RenderContext(), services);
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(heic)) << std::get<ExportFailure>(heic).description();
    EXPECT_FALSE(std::get<FlatWriteResult>(heic).hdr);
    EXPECT_EQ(identify(folder / "g.heic"), "HEIC 40 30 8");
    EXPECT_FALSE(containsGainMap(fileBytes(folder / "g.heic")));
}

TEST(FlatWriter, CarriesAnIsoMapSoThatItIsReadWithItsOwnParameters)
{
    const std::string isoXmp =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" hdrgm:Version=\"1.0\" "
        "hdrgm:GainMapMin=\"0\" hdrgm:GainMapMax=\"2.5\" hdrgm:Gamma=\"1\"/></rdf:RDF></x:xmpmeta>";
    std::vector<nlohmann::json> events;
    for (ExportFormat first : {ExportFormat::jpeg, ExportFormat::heic})
        for (ExportFormat second : {ExportFormat::jpeg, ExportFormat::heic}) {
            SCOPED_TRACE(std::string(rawValue(first)) + " then " + std::string(rawValue(second)));
            ScratchFolder folder;
            ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(
                writeFlat(testPicture(), originalWithGainMap(), folder / "first", optionsFor(first),
                          ColourSpace::sRGB(), RenderContext(), servicesCarrying(&events, true, isoXmp))));
            FlatWriteOriginal original;
            original.hasGainMap = true;
            original.gainMapFile = FileBytes(fileBytes(folder / "first"));
            FlatWriteServices services;
            services.reportDetailTransfer = [&events](const nlohmann::json& metadata) { events.push_back(metadata); };
            const Image bright = Image::constant({1, 1, 1}).cropped({0, 0, 40, 30});
            const auto result = writeFlat(bright, original, folder / "second", optionsFor(second), ColourSpace::sRGB(),
                                          RenderContext(), services);
            ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(result));
            EXPECT_EQ(std::get<FlatWriteResult>(result), (FlatWriteResult{true, "applied:iso"}));
            EXPECT_EQ(events.back()["gainMax"], 2.5);
            const auto map = readGainMap(fileBytes(folder / "second"));
            ASSERT_TRUE(map);
            EXPECT_EQ(map->metadata.number("Xmp.hdrgm.GainMapMax"), 2.5);
        }
}

TEST(FlatWriter, KeepsTheOriginalsResolution)
{
    // Found outside the Exif (a PNG's or a JFIF header's): every format states it.
    FlatWriteOriginal original;
    original.metadata = cameraMetadata();
    original.dpi = 240;
    for (ExportFormat format :
         {ExportFormat::jpeg, ExportFormat::tiff, ExportFormat::png, ExportFormat::heic, ExportFormat::psd}) {
        SCOPED_TRACE(rawValue(format));
        ScratchFolder folder;
        const auto file = folder / ("r." + std::string(rawValue(format)));
        ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(
            writeFlat(testPicture(), original, file, optionsFor(format), ColourSpace::sRGB(), RenderContext())));
        const auto tags = exiftool(file);
        if (format == ExportFormat::psd) {
            EXPECT_EQ(tags.value("Photoshop:XResolution", 0.0), 240);
        } else {
            EXPECT_EQ(tags.value("IFD0:XResolution", 0.0), 240);
        }
        if (format == ExportFormat::png) {
            EXPECT_NEAR(std::stod(run(magick("identify -units PixelsPerInch -format '%x' '" + file.string() + "'"))),
                        240, 0.01);
        }
        if (format == ExportFormat::tiff) {
            EXPECT_EQ(tags.value("IFD0:ResolutionUnit", 0), 2);
        }
        if (format == ExportFormat::jpeg) {
            // Readers that look only at the JFIF header see the same resolution, in dots per inch.
            EXPECT_EQ(tags.value("JFIF:XResolution", 0), 240);
            EXPECT_EQ(tags.value("JFIF:YResolution", 0), 240);
            EXPECT_EQ(tags.value("JFIF:ResolutionUnit", 0), 1);
        }
    }

    // The Exif's own resolution is kept as it was.
    original.metadata.setText("Exif.Image.XResolution", "350/1");
    ScratchFolder folder;
    ASSERT_TRUE(std::holds_alternative<FlatWriteResult>(writeFlat(testPicture(), original, folder / "r.jpg",
                                                                  optionsFor(ExportFormat::jpeg), ColourSpace::sRGB(),
                                                                  RenderContext())));
    EXPECT_EQ(exiftool(folder / "r.jpg").value("IFD0:XResolution", 0.0), 350);
}
